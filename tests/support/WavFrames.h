#pragma once
// What a WAV reader (libsndfile) makes of a file, for tests of recordings.

#include <sndfile.h>

#include <filesystem>

// Frames a WAV reader finds in the file, -1 when it refuses it.
inline long wavFrames(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return -1;
    sf_close(file);
    return long(info.frames);
}
