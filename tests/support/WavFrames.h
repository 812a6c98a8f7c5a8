#pragma once
// What a WAV reader (libsndfile) makes of a file, for tests of recordings.

#include <sndfile.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// Frames a WAV reader finds in the file, -1 when it refuses it.
inline long wavFrames(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return -1;
    sf_close(file);
    return long(info.frames);
}

// Frames whose bytes follow the header of the file's data chunk, whatever that header declares
// (`frameBytes` each); -1 without a data chunk.
inline long framesHeld(const std::filesystem::path& path, long frameBytes = 8) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    const auto data = bytes.find("data", 12);
    if (data == std::string::npos) return -1;
    return long(bytes.size() - data - 8) / frameBytes;
}
