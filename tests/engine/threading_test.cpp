// One thread renders the graph while another rewires it (attaches, reformats and detaches the
// effect), schedules and stops files, and a third automates the effect. A WAV take's writer thread,
// held back as by a stalled disk, loses or tears nothing that waits for it.
#include "EngineTestSupport.h"

#include "plat/audiofile.h"

namespace {

TEST(EngineThreading, RenderingWhileTheGraphIsEdited) {
    plat::Console::shared().setSink([](std::string_view) {});
    ScratchFolder scratch;
    const auto file = writeClip(scratch.path() / "clip.wav", plat::AudioFileType::wav, 2, 2000);
    OfflineRig rig;
    const auto mixer = rig.engine.mainMixerNode();
    ASSERT_TRUE(rig.engine.start().ok());
    rig.player->play();
    auto unit = makeUnit();

    std::atomic<bool> stop{false};
    std::atomic<long> completions{0};
    std::thread render([&] {
        while (!stop) ASSERT_TRUE(rig.engine.renderOffline(256, *rig.buffer).ok());
    });
    std::thread automation([&] {
        for (int i = 0; !stop; ++i) unit->setParameter(1000 + i % 32, float(i % 10) / 10.0f);
    });
    auto node = std::make_shared<plat::AVAudioUnit>(unit);
    for (int i = 0; i < 60; ++i) {
        // Every change of format reallocates the unit while it is in the graph being rendered; for a
        // moment its two sides disagree and it refuses, which is fine here.
        const plat::AVAudioFormat format(48000, i % 2 ? 1 : 2);
        if (!node->isAttached()) rig.engine.attach(node);
        rig.engine.connect(rig.player, node, format);
        EXPECT_TRUE(rig.engine.connect(node, mixer, format).ok());
        EXPECT_TRUE(rig.player->scheduleFile(file, [&] { ++completions; }).ok());
        if (i % 3 == 0) rig.player->stop();
        rig.player->play();
        if (i % 4 == 0) rig.engine.detach(node);
    }
    stop = true;
    render.join();
    automation.join();
    rig.player->stop();
    EXPECT_GT(completions, 0);
    plat::RunLoop::main().drain();
    plat::Console::shared().setSink({});
}

// How the writer is held back: until the take is stopped, or until the ring is full and then for
// half a second more (the render thread must wait for room meanwhile). Plain functions, as the
// writer asks through a function pointer.
namespace stall {
std::atomic<bool> release{false};
std::atomic<std::size_t> mostWaiting{0}, capacity{0};
std::atomic<std::int64_t> fullSince{0}; // steady clock ticks, 0 before the ring was full

void note(const plat::engine_detail::WavWriterQueue& queue) {
    capacity = queue.capacity;
    for (std::size_t most = mostWaiting;
         queue.waiting > most && !mostWaiting.compare_exchange_weak(most, queue.waiting);) {
    }
}

bool untilStopped(const plat::engine_detail::WavWriterQueue& queue) {
    note(queue);
    return !queue.stopping && !release;
}

bool pastAFullRing(const plat::engine_detail::WavWriterQueue& queue) {
    note(queue);
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    if (queue.waiting >= queue.capacity && fullSince == 0) fullSince = now;
    const auto since = fullSince.load();
    return !release &&
           (since == 0 || std::chrono::steady_clock::duration(now - since) < std::chrono::milliseconds(500));
}
} // namespace stall

// The take holds what the player played, sample for sample from its first frame, then silence.
TEST(EngineThreading, AStalledWavWriterLosesNothingThatWaitsInItsRing) {
    using Queue = plat::engine_detail::WavWriterQueue;
    const struct {
        const char* fault;
        bool (*stalled)(const Queue&);
        std::uint32_t frames; // of the clip played
        bool fillsTheRing;
    } cases[] = {
        {"stop closes the take before what waits is written out", &stall::untilStopped, 48000, false},
        {"a full ring overwritten while the writer waits", &stall::pastAFullRing, 3 * 48000, true},
    };
    plat::Console::shared().setSink([](std::string_view) {});
    for (const auto& c : cases) {
        ScratchFolder scratch;
        const auto clip = writeClip(scratch.path() / "clip.wav", plat::AudioFileType::wav, 2, c.frames);
        const fs::path take = scratch.path() / "take.wav";
        stall::release = false;
        stall::mostWaiting = stall::capacity = 0;
        stall::fullSince = 0;
        plat::engine_detail::wavWriterStalled = c.stalled;
        {
            plat::AVAudioEngine engine(plat::AudioOutputConfiguration::parse("wav:" + take.string()).value());
            struct LetGo { // a failed assertion leaves no writer held for the engine's stop
                ~LetGo() { stall::release = true; }
            } letGo;
            auto player = std::make_shared<plat::AVAudioPlayerNode>();
            engine.attach(player);
            engine.connect(player, engine.mainMixerNode(), clip->processingFormat());
            std::atomic<bool> played{false};
            ASSERT_TRUE(player->scheduleFile(clip, [&] { played = true; }).ok());
            player->play();
            ASSERT_TRUE(engine.start().ok());
            const bool rendered = waitFor([&] { return played.load(); }, 60);
            EXPECT_TRUE(rendered) << c.fault << ": the clip was not rendered while the writer was held";
            // The writer looks at its ring between naps: it may see the last periods only later.
            const auto wanted = [&] {
                return c.fillsTheRing ? stall::capacity * 512 : std::size_t(c.frames);
            };
            const auto behind = [&] {
                const std::size_t most = stall::mostWaiting; // noted after the capacity
                return most > 0 && most * 512 >= wanted();
            };
            EXPECT_TRUE(waitFor(behind, 60)) << c.fault << ": the writer was not behind ("
                                             << stall::mostWaiting * 512 << " vs " << wanted() << ")";
            if (!rendered) stall::release = true;
            engine.stop();
        }
        const auto written = plat::AVAudioFile::forReading(plat::URL::fileURL(take));
        ASSERT_TRUE(written.ok()) << c.fault;
        const auto& got = written.value()->samples()->channels;
        const auto& want = clip->samples()->channels;
        for (std::uint32_t ch = 0; ch < 2; ++ch) {
            ASSERT_GE(got[ch].size(), want[ch].size()) << c.fault << ": the take is short";
            std::size_t wrong = 0;
            for (std::size_t i = 0; i < got[ch].size(); ++i)
                wrong += got[ch][i] != (i < want[ch].size() ? want[ch][i] : 0.0f);
            EXPECT_EQ(wrong, 0u) << c.fault << ": channel " << ch;
        }
    }
    plat::engine_detail::wavWriterStalled = nullptr;
    plat::Console::shared().setSink({});
}

} // namespace
