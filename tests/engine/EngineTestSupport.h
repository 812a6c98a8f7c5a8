#pragma once
// Shared pieces of the engine's tests: clips written to a scratch folder, and an engine in manual
// rendering mode with a player, optionally through the effect.

#include "UnitTestSupport.h"

#include "plat/engine.h"

#include <chrono>
#include <cmath>
#include <random>
#include <thread>

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

inline std::shared_ptr<plat::AVAudioFile> writeClip(const fs::path& path, plat::AudioFileType type,
                                                    std::uint32_t channels, std::uint32_t frames,
                                                    double rate = 48000, float noiseLevel = 0.2f) {
    plat::AVAudioFileSettings settings;
    settings.fileType = type;
    settings.sampleRate = rate;
    settings.channelCount = channels;
    auto file = plat::AVAudioFile::forWriting(plat::URL::fileURL(path), settings);
    EXPECT_TRUE(file.ok()) << (file.ok() ? "" : file.error().description);
    auto buffer = plat::AVAudioPCMBuffer::make(plat::AVAudioFormat(rate, channels), frames);
    const auto samples = clipSamples(channels, frames, noiseLevel);
    for (std::uint32_t c = 0; c < channels; ++c)
        std::copy(samples[c].begin(), samples[c].end(), buffer->channel(c));
    buffer->setFrameLength(frames);
    EXPECT_TRUE(file.value()->write(*buffer).ok());
    EXPECT_TRUE(file.value()->close().ok());
    auto read = plat::AVAudioFile::forReading(plat::URL::fileURL(path));
    EXPECT_TRUE(read.ok()) << (read.ok() ? "" : read.error().description);
    return read.ok() ? read.value() : nullptr;
}

using Channels = std::vector<std::vector<float>>;

// A file's decoded samples as `channels` output channels (a mono file feeds them all).
inline Channels decoded(const plat::AVAudioFile& file, std::uint32_t channels) {
    const auto& samples = *file.samples();
    Channels out(channels);
    for (std::uint32_t c = 0; c < channels; ++c)
        out[c] = samples.channels[samples.channels.size() == 1 ? 0 : c];
    return out;
}

inline void append(Channels& to, const Channels& more) {
    if (to.empty()) to.resize(more.size());
    for (std::size_t c = 0; c < more.size(); ++c) to[c].insert(to[c].end(), more[c].begin(), more[c].end());
}

// An engine in manual rendering mode at 48 kHz stereo, with a player attached.
struct OfflineRig {
    static constexpr std::uint32_t kBlock = 512;

    OfflineRig() {
        EXPECT_TRUE(engine.enableManualRenderingMode(format, 4096).ok());
        EXPECT_TRUE(engine.attach(player).ok());
    }

    plat::AVAudioFormat format{48000, 2};
    plat::AVAudioEngine engine{plat::AudioOutputConfiguration{}};
    std::shared_ptr<plat::AVAudioPlayerNode> player = std::make_shared<plat::AVAudioPlayerNode>();
    std::unique_ptr<plat::AVAudioPCMBuffer> buffer = plat::AVAudioPCMBuffer::make(format, 4096);

    // Renders `frames` in blocks of `block` and returns what came out.
    Channels render(std::uint32_t frames, std::uint32_t block = kBlock) {
        Channels out(format.channelCount());
        for (std::uint32_t done = 0; done < frames; done += block) {
            const std::uint32_t n = std::min(block, frames - done);
            const auto rendered = engine.renderOffline(n, *buffer);
            EXPECT_TRUE(rendered.ok()) << (rendered.ok() ? "" : rendered.error().description);
            for (std::uint32_t c = 0; c < format.channelCount(); ++c)
                out[c].insert(out[c].end(), buffer->channel(c), buffer->channel(c) + n);
        }
        return out;
    }
};

// Waits (serving nothing) until `done` holds, for at most `seconds`.
template <class Pred>
bool waitFor(Pred done, double seconds = 2.0) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
