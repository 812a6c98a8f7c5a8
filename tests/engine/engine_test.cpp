// The engine graph rendered offline, the player's completions, refused edits, and the sinks.
#include "EngineTestSupport.h"

#include "plat/audiosession.h"

#include <thread>

namespace {

using plat::AudioFileType;

TEST(EngineOffline, PlayerThroughTheMixerGivesTheDecodedSamplesBitForBit) {
    struct Case {
        const char* name;
        std::vector<std::pair<AudioFileType, std::uint32_t>> files; // type, channels
    } cases[] = {
        {"decoded m4a", {{AudioFileType::m4a, 2}}},
        {"a mono file fills both channels", {{AudioFileType::wav, 1}}},
        {"files follow each other without a gap", {{AudioFileType::wav, 2}, {AudioFileType::m4a, 2}}},
    };
    ScratchFolder scratch;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OfflineRig rig;
        Channels expected;
        ASSERT_TRUE(rig.engine.connect(rig.player, rig.engine.mainMixerNode()).ok());
        std::uint32_t n = 0;
        for (const auto& [type, channels] : c.files) {
            ++n;
            const auto file = writeClip(scratch.path() / std::to_string(n), type, channels, 20000 + 77 * n);
            ASSERT_TRUE(file);
            ASSERT_TRUE(rig.player->scheduleFile(file).ok());
            append(expected, decoded(*file, 2));
        }
        ASSERT_TRUE(rig.engine.start().ok());
        rig.player->play();
        const auto total = std::uint32_t(expected[0].size());
        auto out = rig.render(total + 1000);
        for (auto& channel : out) {
            EXPECT_TRUE(
                std::all_of(channel.begin() + total, channel.end(), [](float x) { return x == 0.0f; }));
            channel.resize(total);
        }
        EXPECT_TRUE(out == expected);
    }
}

// The unit rendered by hand, as a host would: same input, same block size, its own channels.
Channels renderDirectly(YUX_Sorvane_Extension_AudioUnit& unit, const Channels& input, std::uint32_t block) {
    const auto channels = std::uint32_t(input.size());
    const plat::AVAudioFormat format(48000, channels);
    EXPECT_TRUE(unit.inputBusses()[0]->setFormat(format) && unit.outputBusses()[0]->setFormat(format));
    EXPECT_TRUE(unit.allocateRenderResources().ok());
    auto render = unit.renderBlock();
    const auto frames = std::uint32_t(input[0].size());
    Channels out(channels, std::vector<float>(frames));
    std::uint32_t position = 0;
    plat::AURenderPullInputBlock pull = [&](auto*, auto*, plat::AUAudioFrameCount n, plat::NSInteger,
                                            plat::AudioBufferList* list) -> plat::AUAudioUnitStatus {
        for (std::uint32_t c = 0; c < channels; ++c)
            std::copy_n(input[c].begin() + position, n, static_cast<float*>(list->mBuffers[c].mData));
        return plat::noErr;
    };
    for (; position < frames; position += block) {
        const std::uint32_t n = std::min(block, frames - position);
        plat::AudioBufferList list;
        list.mNumberBuffers = channels;
        for (std::uint32_t c = 0; c < channels; ++c) list.mBuffers[c] = {1, n * 4, out[c].data() + position};
        plat::AudioTimeStamp ts;
        ts.mSampleTime = position;
        ts.mFlags = plat::kAudioTimeStampSampleTimeValid;
        plat::AudioUnitRenderActionFlags flags = 0;
        EXPECT_EQ(render(&flags, &ts, n, 0, &list, nullptr, &pull), plat::noErr);
    }
    if (channels == 1) out.push_back(out[0]); // the mixer's mono to stereo
    return out;
}

TEST(EngineOffline, EffectNodeRendersLikeTheUnitItself) {
    struct Case {
        const char* name;
        AudioFileType type;
        std::uint32_t channels;
        bool bypass;
        bool formatsGiven;
    } cases[] = {
        {"bypassed, the clip passes unchanged", AudioFileType::m4a, 2, true, true},
        {"in the clip's format", AudioFileType::m4a, 2, false, true},
        {"with formats left to the engine", AudioFileType::m4a, 2, false, false},
        {"allocated for a mono connection", AudioFileType::wav, 1, false, true},
    };
    CapturedConsole console;
    ScratchFolder scratch;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = writeClip(scratch.path() / "clip", c.type, c.channels, 12000);
        ASSERT_TRUE(file);
        OfflineRig rig;
        auto unit = makeUnit();
        setDistinctValues(*unit);
        unit->setShouldBypassEffect(c.bypass);
        auto node = std::make_shared<plat::AVAudioUnit>(unit);
        ASSERT_TRUE(rig.engine.attach(node).ok());
        std::optional<plat::AVAudioFormat> format;
        if (c.formatsGiven) format = file->processingFormat();
        ASSERT_TRUE(rig.engine.connect(rig.player, node, format).ok());
        ASSERT_TRUE(rig.engine.connect(node, rig.engine.mainMixerNode(), format).ok());
        ASSERT_TRUE(rig.player->scheduleFile(file).ok());
        rig.player->play();
        ASSERT_TRUE(rig.engine.start().ok());
        const auto out = rig.render(12000);

        auto reference = makeUnit();
        setDistinctValues(*reference);
        reference->setShouldBypassEffect(c.bypass);
        const auto expected = renderDirectly(*reference, decoded(*file, c.channels), OfflineRig::kBlock);
        EXPECT_TRUE(out == expected);
        // The effect works on stereo only.
        EXPECT_EQ(out == decoded(*file, 2), c.bypass || c.channels == 1);
    }
}

TEST(EnginePlayer, EachCompletionRunsOnceOffTheRenderThread) {
    ScratchFolder scratch;
    OfflineRig rig;
    const auto file = writeClip(scratch.path() / "clip.wav", AudioFileType::wav, 2, 3000);
    ASSERT_TRUE(rig.engine.connect(rig.player, rig.engine.mainMixerNode(), file->processingFormat()).ok());
    ASSERT_TRUE(rig.engine.start().ok());
    std::mutex m;
    std::vector<int> calls;
    bool onRenderThread = false;
    const auto renderThread = std::this_thread::get_id();
    auto schedule = [&](int tag) {
        ASSERT_TRUE(rig.player
                        ->scheduleFile(file,
                                       [&, tag] {
                                           std::lock_guard<std::mutex> lock(m);
                                           calls.push_back(tag);
                                           onRenderThread |= std::this_thread::get_id() == renderThread ||
                                                             plat::isRealtimeThread();
                                       })
                        .ok());
    };
    auto count = [&] {
        std::lock_guard<std::mutex> lock(m);
        return calls.size();
    };
    schedule(1);
    schedule(2);
    rig.player->play();
    rig.render(3000 * 2 + 512);
    ASSERT_TRUE(waitFor([&] { return count() == 2; }));
    // Paused with a file half played, then stopped: the stop completes it, and only it.
    schedule(3);
    rig.render(1024);
    rig.player->pause();
    rig.render(4096);
    EXPECT_EQ(count(), 2u);
    rig.player->stop();
    ASSERT_TRUE(waitFor([&] { return count() == 3; }));
    rig.player->stop();
    rig.render(4096);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::lock_guard<std::mutex> lock(m);
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(onRenderThread);
}

TEST(EngineGraph, MisuseIsRefusedWithAReason) {
    CapturedConsole console;
    ScratchFolder scratch;
    const auto slow = writeClip(scratch.path() / "slow.wav", AudioFileType::wav, 2, 1000, 44100);
    struct Case {
        const char* name;
        std::function<plat::Result<void>(OfflineRig&)> edit;
    } cases[] = {
        {"a loop",
         [](OfflineRig& r) {
             auto unit = std::make_shared<plat::AVAudioUnit>(makeUnit());
             r.engine.attach(unit);
             r.engine.connect(unit, r.engine.mainMixerNode());
             return r.engine.connect(r.engine.mainMixerNode(), unit);
         }},
        {"a node of no engine",
         [](OfflineRig& r) {
             return r.engine.connect(std::make_shared<plat::AVAudioPlayerNode>(), r.engine.mainMixerNode());
         }},
        {"attaching twice", [](OfflineRig& r) { return r.engine.attach(r.player); }},
        {"detaching the mixer", [](OfflineRig& r) { return r.engine.detach(r.engine.mainMixerNode()); }},
        {"a file at another rate", [&](OfflineRig& r) { return r.player->scheduleFile(slow); }},
        {"a connection at another rate",
         [&](OfflineRig& r) {
             r.engine.connect(r.player, r.engine.mainMixerNode(), slow->processingFormat());
             return r.engine.start();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OfflineRig rig;
        const auto result = c.edit(rig);
        ASSERT_FALSE(result.ok());
        EXPECT_FALSE(result.error().description.empty());
    }
}

TEST(EngineOutput, AnOutputThatCannotBeOpenedFailsStartCleanly) {
    ScratchFolder scratch;
    struct Case {
        const char* setting;
        const char* named; // what the error names
    } cases[] = {
        {"alsa:sorvane_no_such_device", "sorvane_no_such_device"},
        {"wav:/nonexistent-folder/out.wav", "/nonexistent-folder/out.wav"},
        {"speakers", "SORVANE_AUDIO_OUTPUT"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        ::setenv(plat::AudioOutputConfiguration::kEnvironmentVariable, c.setting, 1);
        plat::AVAudioEngine engine;
        ::unsetenv(plat::AudioOutputConfiguration::kEnvironmentVariable);
        const auto started = engine.start();
        ASSERT_FALSE(started.ok());
        EXPECT_NE(started.error().description.find(c.named), std::string::npos)
            << started.error().description;
        EXPECT_FALSE(engine.isRunning());
    }
}

TEST(EngineOutput, NullAndWavSinksRunInRealTime) {
    ScratchFolder scratch;
    const auto file = writeClip(scratch.path() / "clip.wav", AudioFileType::wav, 2, 14400); // 0.3 s
    const fs::path written = scratch.path() / "out.wav";
    for (const auto* setting : {"null", "wav"}) {
        SCOPED_TRACE(setting);
        auto output = plat::AudioOutputConfiguration::parse(
            setting == std::string("null") ? "null" : "wav:" + written.string());
        ASSERT_TRUE(output.ok());
        plat::AVAudioEngine engine(output.value());
        auto player = std::make_shared<plat::AVAudioPlayerNode>();
        engine.attach(player);
        engine.connect(player, engine.mainMixerNode(), file->processingFormat());
        std::atomic<bool> done{false};
        ASSERT_TRUE(player->scheduleFile(file, [&] { done = true; }).ok());
        player->play();
        const auto begin = std::chrono::steady_clock::now();
        ASSERT_TRUE(engine.start().ok());
        ASSERT_TRUE(waitFor([&] { return done.load(); }));
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        EXPECT_GT(seconds, 0.27);
        EXPECT_LT(seconds, 0.6);
        engine.stop();
    }
    // The WAV file holds what was rendered, from the first frame.
    const auto out = plat::AVAudioFile::forReading(plat::URL::fileURL(written));
    ASSERT_TRUE(out.ok());
    for (std::uint32_t c = 0; c < 2; ++c) {
        const auto& got = out.value()->samples()->channels[c];
        ASSERT_GE(got.size(), 14400u);
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + 14400, file->samples()->channels[c].begin()));
    }
}

TEST(AudioSession, AnInjectedFailureChangesNothing) {
    auto& session = plat::AVAudioSession::sharedInstance();
    using S = plat::AVAudioSession;
    ASSERT_TRUE(session.setCategory(S::Category::ambient, S::Mode::defaultMode).ok());
    ASSERT_TRUE(session.setActive(false).ok());
    session.setFailure(S::Operation::setCategory, plat::Error{"test", 1, "no category"});
    session.setFailure(S::Operation::setActive, plat::Error{"test", 2, "no activation"});
    EXPECT_EQ(session.setCategory(S::Category::playback, S::Mode::defaultMode).error().code, 1);
    EXPECT_EQ(session.setActive(true).error().code, 2);
    EXPECT_EQ(session.category(), S::Category::ambient);
    EXPECT_FALSE(session.isActive());
    session.setFailure(S::Operation::setCategory, std::nullopt);
    session.setFailure(S::Operation::setActive, std::nullopt);
    EXPECT_TRUE(session.setActive(true).ok());
    EXPECT_TRUE(session.isActive());
}

} // namespace
