#pragma once
// Clips written for a test (tones and noise with a swell, as WAV or m4a files of any length), and
// an audio unit rendered alone on such samples, as a host would.

#include "RenderHost.h"

#include "plat/audiofile.h"
#include "plat/audiounit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <vector>

// A clip of tones and noise with a swell, so every block differs and the effect has work to do.
inline std::vector<std::vector<float>> clipSamples(std::uint32_t channels, std::uint32_t frames,
                                                   float noiseLevel = 0.2f) {
    std::vector<std::vector<float>> out(channels, std::vector<float>(frames));
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> noise(-noiseLevel, noiseLevel);
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::uint32_t i = 0; i < frames; ++i) {
            const double t = double(i) / 48000.0;
            const double swell = 0.5 + 0.5 * std::sin(2 * M_PI * 3 * t);
            out[c][i] = float(swell * 0.5 * std::sin(2 * M_PI * (220.0 + 110.0 * c) * t)) + noise(rng);
        }
    return out;
}

inline std::shared_ptr<plat::AVAudioFile> writeClip(const std::filesystem::path& path,
                                                    plat::AudioFileType type, std::uint32_t channels,
                                                    std::uint32_t frames, double rate = 48000,
                                                    float noiseLevel = 0.2f) {
    const plat::AVAudioFileSettings settings{type, rate, channels};
    auto file = plat::AVAudioFile::forWriting(plat::URL::fileURL(path), settings).value();
    auto buffer = plat::AVAudioPCMBuffer::make(plat::AVAudioFormat(rate, channels), frames);
    const auto samples = clipSamples(channels, frames, noiseLevel);
    for (std::uint32_t c = 0; c < channels; ++c)
        std::copy(samples[c].begin(), samples[c].end(), buffer->channel(c));
    buffer->setFrameLength(frames);
    EXPECT_TRUE(file->write(*buffer) && file->close());
    return plat::AVAudioFile::forReading(plat::URL::fileURL(path)).value(); // throws when it cannot be read
}

// Stereo `input` through the unit's render block in cycles of `block` frames (a last partial cycle
// is left silent).
inline std::vector<std::vector<float>>
throughUnitAlone(plat::AUAudioUnit& unit, const std::vector<std::vector<float>>& input, std::uint32_t block) {
    EXPECT_TRUE(unit.allocateRenderResources().ok());
    RenderHost host(unit.renderBlock(), block);
    std::vector<std::vector<float>> out(2, std::vector<float>(input[0].size()));
    for (std::size_t at = 0; at + block <= input[0].size(); at += block)
        EXPECT_EQ(host.cycle(input[0].data(), input[1].data(), out[0].data(), out[1].data(), at, block),
                  plat::noErr);
    unit.deallocateRenderResources();
    return out;
}
