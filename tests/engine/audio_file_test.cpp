// Audio files: what is written reads back, bad files fail with their name, and a written file
// appears only complete.
#include "EngineTestSupport.h"

#include <fstream>
#include <iterator>

namespace {

std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(AudioFile, WrittenFilesReadBackWithTheirLengthAndSound) {
    struct Case {
        const char* name;
        plat::AudioFileType type;
        std::uint32_t channels;
        float noise;
        double tolerance; // error power over signal power
    } cases[] = {
        {"float WAV is exact", plat::AudioFileType::wav, 2, 0.2f, 0.0},
        {"mono WAV is exact", plat::AudioFileType::wav, 1, 0.2f, 0.0},
        // AAC is lossy (and cuts the highs): the priming and padding frames must be gone and the
        // sound in its place.
        {"m4a keeps length and sound", plat::AudioFileType::m4a, 2, 0.02f, 0.01},
    };
    ScratchFolder scratch;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint32_t frames = 48000 + 123;
        const auto file = writeClip(scratch.path() / "clip", c.type, c.channels, frames, 48000, c.noise);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->processingFormat(), plat::AVAudioFormat(48000, c.channels));
        ASSERT_EQ(file->length(), frames);
        const auto written = clipSamples(c.channels, frames, c.noise);
        double error = 0, signal = 0;
        for (std::uint32_t ch = 0; ch < c.channels; ++ch)
            for (std::uint32_t i = 0; i < frames; ++i) {
                const double d = file->samples()->channels[ch][i] - written[ch][i];
                error += d * d;
                signal += double(written[ch][i]) * written[ch][i];
            }
        EXPECT_LE(error / signal, c.tolerance);
    }
}

TEST(AudioFile, UnreadableFilesFailWithTheirName) {
    ScratchFolder scratch;
    writeText(scratch.path() / "text.m4a", "this is not audio at all, just some words in a file");
    writeText(scratch.path() / "empty.wav", "");
    fs::create_directories(scratch.path() / "folder.m4a");
    struct Case {
        const char* name;
        long code;
    } cases[] = {
        {"missing.m4a", plat::kFileReadNoSuchFileError},
        {"text.m4a", plat::kFileReadCorruptFileError},
        {"empty.wav", plat::kFileReadCorruptFileError},
        {"folder.m4a", plat::kFileReadCorruptFileError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = plat::AVAudioFile::forReading(plat::URL::fileURL(scratch.path() / c.name));
        ASSERT_FALSE(file.ok());
        EXPECT_EQ(file.error().code, c.code);
        EXPECT_NE(file.error().description.find((scratch.path() / c.name).string()), std::string::npos)
            << file.error().description;
    }
}

TEST(AudioFile, AWrittenFileReplacesTheOldOneOnlyWhenClosed) {
    ScratchFolder scratch;
    const fs::path target = scratch.path() / "clip.wav";
    writeText(target, "old");
    plat::AVAudioFileSettings settings;
    auto file = plat::AVAudioFile::forWriting(plat::URL::fileURL(target), settings);
    ASSERT_TRUE(file.ok());
    auto buffer = plat::AVAudioPCMBuffer::make(file.value()->processingFormat(), 1000);
    buffer->setFrameLength(1000);
    ASSERT_TRUE(file.value()->write(*buffer).ok());
    EXPECT_EQ(bytesOf(target), "old");
    ASSERT_TRUE(file.value()->close().ok());
    EXPECT_EQ(plat::AVAudioFile::forReading(plat::URL::fileURL(target)).value()->length(), 1000);
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 1);
}

} // namespace
