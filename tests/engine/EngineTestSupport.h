#pragma once
// Shared pieces of the engine's tests: an engine in manual rendering mode with a player attached,
// and what its output is compared with.

#include "TestClips.h"
#include "UnitTestSupport.h"

#include "plat/engine.h"

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <thread>

using Channels = std::vector<std::vector<float>>;

// A file's decoded samples as `channels` output channels (a mono file feeds them all).
inline Channels decoded(const plat::AVAudioFile& file, std::uint32_t channels) {
    const auto& samples = *file.samples();
    Channels out(channels);
    for (std::uint32_t c = 0; c < channels; ++c)
        out[c] = samples.channels[samples.channels.size() == 1 ? 0 : c];
    return out;
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

    // Renders `frames` in blocks of kBlock and returns what came out.
    Channels render(std::uint32_t frames) {
        Channels out(2);
        for (std::uint32_t done = 0; done < frames; done += kBlock) {
            const std::uint32_t n = std::min(kBlock, frames - done);
            EXPECT_TRUE(engine.renderOffline(n, *buffer).ok());
            for (std::uint32_t c = 0; c < 2; ++c)
                out[c].insert(out[c].end(), buffer->channel(c), buffer->channel(c) + n);
        }
        return out;
    }
};

// Waits (serving nothing) until `done` holds, for at most `seconds`.
template <class Pred>
bool waitFor(Pred done, double seconds = 10.0) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// A file-size limit on this process while it lives: a write past it fails with EFBIG, as on a full
// disk (SIGXFSZ is ignored meanwhile, as the application ignores it).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, old_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*previous_)(int) = SIG_DFL;
};
