#pragma once
// The codec work behind AVAudioFile: whole-file decoding and the two writers.

#include "plat/audiofile.h"

#include <filesystem>
#include <memory>

namespace plat {

class AVAudioFile::Writer {
public:
    virtual ~Writer() = default;
    // One pointer per channel of the processing format.
    virtual Result<void> write(const float* const* channels, AUAudioFrameCount frames) = 0;
    // Flushes what is buffered and puts the file in place; called once.
    virtual Result<void> finish() = 0;
};

namespace engine_detail {

Result<std::shared_ptr<const AVAudioFile::Samples>> decodeAudioFile(const std::filesystem::path& path);
// The file of an output's `take`-th start (from 1): the first goes to the file named, later ones
// beside it, numbered ("take-2.wav"). A numbered name past the limit loses the end of its stem, at a
// character (`shortened` says so), and is never the first take's.
std::filesystem::path takePath(const std::filesystem::path& first, unsigned take, bool& shortened);
// The visible file a WAV take for `target` is written as until it is finished, the first
// ("take.partial.wav") or, when that is taken, a numbered one ("take.partial-2.wav") up to
// kPartialNumbers. A name past the limit loses the end of its stem, at a character.
inline constexpr unsigned kPartialNumbers = 999;
std::filesystem::path partialPath(const std::filesystem::path& target, unsigned number);
Result<std::unique_ptr<AVAudioFile::Writer>> makeAudioFileWriter(const std::filesystem::path& path,
                                                                 const AVAudioFileSettings& settings);

} // namespace engine_detail
} // namespace plat
