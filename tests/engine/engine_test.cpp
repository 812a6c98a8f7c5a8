// The engine graph rendered offline, the player's completions, refused edits, and the sinks.
#include "ConsoleCapture.h"
#include "EngineTestSupport.h"

#include "plat/audiosession.h"
#include "plat/files.h"

#include <sys/stat.h>

namespace {

using plat::AudioFileType;

// Players (one after another through the effect, or side by side into the mixer) rendered offline
// against the decoded samples, summed at unity gain, or against the effect rendering alone.
TEST(EngineOffline, TheGraphRendersBitForBit) {
    enum Effect { none, active, bypassed };
    using Files = std::vector<std::pair<AudioFileType, std::uint32_t>>; // type, channels
    struct Case {
        const char* name;
        std::vector<Files> players;
        Effect effect = none;
        bool formatsGiven = true;
    } cases[] = {
        {"decoded m4a", {{{AudioFileType::m4a, 2}}}},
        {"a mono file fills both channels", {{{AudioFileType::wav, 1}}}},
        {"files follow each other without a gap", {{{AudioFileType::wav, 2}, {AudioFileType::m4a, 2}}}},
        {"two players are summed, neither replaces the other",
         {{{AudioFileType::wav, 2}}, {{AudioFileType::wav, 1}}}},
        {"the effect in the clip's format", {{{AudioFileType::m4a, 2}}}, active},
        {"the effect with formats left to the engine", {{{AudioFileType::m4a, 2}}}, active, false},
        {"the effect bypassed passes the clip unchanged", {{{AudioFileType::m4a, 2}}}, bypassed},
        {"the effect allocated for mono, which it passes unchanged", {{{AudioFileType::wav, 1}}}, active},
    };
    CapturedConsole console;
    ScratchFolder scratch;
    auto effectUnit = [](bool bypass) {
        auto unit = makeUnit();
        setDistinctValues(*unit);
        unit->setShouldBypassEffect(bypass);
        return unit;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OfflineRig rig;
        Channels expected(2);
        std::uint32_t n = 0;
        for (const auto& files : c.players) {
            auto player = n == 0 ? rig.player : std::make_shared<plat::AVAudioPlayerNode>();
            if (player != rig.player) rig.engine.attach(player);
            std::size_t at = 0;
            for (const auto& [type, channels] : files) {
                ++n;
                const auto file = writeClip(scratch.path() / std::to_string(n), type, channels,
                                            c.effect ? 12288 : 20000 + 77 * n, 48000, 0.1f * n);
                ASSERT_TRUE(file);
                ASSERT_TRUE(player->scheduleFile(file).ok());
                const auto samples = decoded(*file, 2);
                for (std::uint32_t ch = 0; ch < 2; ++ch) {
                    expected[ch].resize(std::max(expected[ch].size(), at + samples[ch].size()));
                    for (std::size_t i = 0; i < samples[ch].size(); ++i)
                        expected[ch][at + i] += samples[ch][i];
                }
                at += samples[0].size();
                if (!c.effect) continue;
                auto node = std::make_shared<plat::AVAudioUnit>(effectUnit(c.effect == bypassed));
                std::optional<plat::AVAudioFormat> format;
                if (c.formatsGiven) format = file->processingFormat();
                ASSERT_TRUE(rig.engine.attach(node).ok());
                ASSERT_TRUE(rig.engine.connect(player, node, format).ok());
                ASSERT_TRUE(rig.engine.connect(node, rig.engine.mainMixerNode(), format).ok());
            }
            if (!c.effect) rig.engine.connect(player, rig.engine.mainMixerNode());
            player->play();
        }
        if (c.effect == active && c.players[0][0].second == 2)
            expected = throughUnitAlone(*effectUnit(false), expected, OfflineRig::kBlock);
        for (auto& channel : expected) channel.resize(channel.size() + (c.effect ? 0 : 1000)); // then silence
        ASSERT_TRUE(rig.engine.start().ok());
        EXPECT_TRUE(rig.render(std::uint32_t(expected[0].size())) == expected);
    }
}

TEST(EnginePlayer, EachCompletionRunsOnceOffTheRenderThread) {
    ScratchFolder scratch;
    OfflineRig rig;
    const auto file = writeClip(scratch.path() / "clip.wav", AudioFileType::wav, 2, 3000);
    rig.engine.connect(rig.player, rig.engine.mainMixerNode(), file->processingFormat());
    ASSERT_TRUE(rig.engine.start().ok());
    std::mutex m;
    std::vector<int> calls;
    bool onRenderThread = false;
    const auto renderThread = std::this_thread::get_id();
    auto schedule = [&](int tag) {
        rig.player->scheduleFile(file, [&, tag] {
            std::lock_guard<std::mutex> lock(m);
            calls.push_back(tag);
            onRenderThread |= std::this_thread::get_id() == renderThread || plat::isRealtimeThread();
        });
    };
    auto heard = [&] {
        std::lock_guard<std::mutex> lock(m);
        return calls;
    };
    schedule(1);
    schedule(2);
    rig.player->play();
    rig.render(3000 * 2 + 512);
    ASSERT_TRUE(waitFor([&] { return heard().size() == 2; }));
    // Paused with a file half played, then stopped: the stop completes it, and only it, before it returns.
    schedule(3);
    rig.render(1024);
    rig.player->pause();
    rig.render(4096);
    EXPECT_EQ(heard().size(), 2u);
    for (int stop = 0; stop < 2; ++stop) {
        rig.player->stop();
        EXPECT_EQ(heard(), (std::vector<int>{1, 2, 3}));
        rig.render(4096);
    }
    EXPECT_FALSE(onRenderThread); // its writer is done: the handlers ran before the stops returned
}

TEST(EngineGraph, MisuseIsRefusedWithAReason) {
    CapturedConsole console;
    ScratchFolder scratch;
    const auto clip = writeClip(scratch.path() / "clip.wav", AudioFileType::wav, 2, 1000);
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
        {"attaching twice", [](OfflineRig& r) { return r.engine.attach(r.player); }},
        {"detaching the mixer", [](OfflineRig& r) { return r.engine.detach(r.engine.mainMixerNode()); }},
        {"a file at a rate that cannot be converted to the player's",
         [&](OfflineRig& r) {
             r.engine.connect(r.player, r.engine.mainMixerNode(), plat::AVAudioFormat(2000, 2));
             return r.player->scheduleFile(clip); // 48 kHz down to 2 kHz: by more than 16
         }},
        {"a connection at a rate that cannot be converted",
         [&](OfflineRig& r) {
             r.engine.connect(r.player, r.engine.mainMixerNode(), plat::AVAudioFormat(100, 2));
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
    const fs::path pipe = scratch.path() / "pipe.wav", folder = scratch.path() / "folder.wav";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    fs::create_directory(folder);
    // Past 512 bytes, a path keeps its file name: its middle gives way.
    const std::string deep = "/nonexistent-folder/" + std::string(200, 'a') + "/" + std::string(200, 'b') +
                             "/" + std::string(200, 'c') + "/out.wav";
    struct Case {
        std::string setting;
        std::string named; // what the error says
    } cases[] = {
        {"alsa:sorvane_no_such_device", "sorvane_no_such_device"},
        {"wav:/nonexistent-folder/out.wav", "'/nonexistent-folder/out.wav' cannot be written: No such file"},
        {"wav:" + deep, "..." + deep.substr(deep.size() - 256) + "' cannot be written: No such file"},
        {"wav:" + (scratch.path() / "new/").string(), "SORVANE_AUDIO_OUTPUT"}, // wrote a file "new"
        {"wav:" + pipe.string(), pipe.string() + "' cannot be written: it is not a regular file."},
        {"wav:" + folder.string(), folder.string() + "' cannot be written: it is a folder."},
        {"wav:" + (scratch.path() / ".take.unfinished-save-abc123").string(),
         "cannot be written: " + std::string(plat::kTemporaryNameRefusal) + "."},
        {"speakers", "SORVANE_AUDIO_OUTPUT"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        ::setenv(plat::AudioOutputConfiguration::kEnvironmentVariable, c.setting.c_str(), 1);
        plat::AVAudioEngine engine;
        ::unsetenv(plat::AudioOutputConfiguration::kEnvironmentVariable);
        const auto started = engine.start();
        ASSERT_FALSE(started.ok());
        EXPECT_NE(started.error().description.find(c.named), std::string::npos)
            << started.error().description;
        EXPECT_FALSE(engine.isRunning());
    }
}

// The WAV sink paces itself as the null sink does, and each start is a take of its own: a numbered
// name past the limit is cut short, with a line, and never to the first take's name.
TEST(EngineOutput, AWavFileIsWrittenInRealTimeAndEachTakeKeepsItsOwn) {
    ScratchFolder scratch;
    const auto file = writeClip(scratch.path() / "clip.wav", AudioFileType::wav, 2, 14400); // 0.3 s
    const struct {
        const char* fault;
        std::string first, second;
    } cases[] = {
        {"a take replacing the one before", "out.wav", "out-2.wav"},
        {"a numbered name past the limit, or cut back to the first take's", std::string(249, 't') + "-2.wav",
         std::string(248, 't') + "-2.wav"},
    };
    ConsoleCapture console;
    for (const auto& c : cases) {
        plat::AVAudioEngine engine(
            plat::AudioOutputConfiguration::parse("wav:" + (scratch.path() / c.first).string()).value());
        auto player = std::make_shared<plat::AVAudioPlayerNode>();
        engine.attach(player);
        engine.connect(player, engine.mainMixerNode(), file->processingFormat());
        for (const auto& take : {scratch.path() / c.first, scratch.path() / c.second}) {
            SCOPED_TRACE(c.fault);
            std::atomic<bool> done{false};
            ASSERT_TRUE(player->scheduleFile(file, [&] { done = true; }).ok());
            player->play();
            const auto begin = std::chrono::steady_clock::now();
            ASSERT_TRUE(engine.start().ok());
            ASSERT_TRUE(waitFor([&] { return done.load(); }));
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
            // Paced like a device: never faster, and not many times slower even on a busy machine.
            EXPECT_GT(seconds, 0.27);
            EXPECT_LT(seconds, 5.0);
            engine.stop();
            // The take holds what was rendered, from its first frame.
            const auto read = plat::AVAudioFile::forReading(plat::URL::fileURL(take));
            ASSERT_TRUE(read.ok()) << take;
            const auto out = read.value()->samples();
            for (std::uint32_t ch = 0; ch < 2; ++ch)
                EXPECT_TRUE(out->channels[ch].size() >= 14400 &&
                            std::equal(out->channels[ch].begin(), out->channels[ch].begin() + 14400,
                                       file->samples()->channels[ch].begin()));
        }
    }
    EXPECT_EQ(console.count("' is written to '" + (scratch.path() / cases[1].second).string() +
                            "': its name is too long to take its number."),
              1u)
        << console.text();
    EXPECT_EQ(console.count("its name is too long to take its number."), 1u)
        << "said of a take not shortened";
}

TEST(AudioSession, ARefusedChangeChangesNothing) {
    using S = plat::AVAudioSession;
    auto& session = S::sharedInstance();
    ASSERT_TRUE(session.setCategory(S::Category::ambient, S::Mode::defaultMode) && session.setActive(false));
    session.setFailure(S::Operation::setCategory, plat::Error{"test", 1, "no category"});
    session.setFailure(S::Operation::setActive, plat::Error{"test", 2, "no activation"});
    EXPECT_FALSE(session.setCategory(S::Category::playback, S::Mode::defaultMode) || session.setActive(true));
    EXPECT_TRUE(session.category() == S::Category::ambient && !session.isActive());
    session.setFailure(S::Operation::setCategory, std::nullopt);
    session.setFailure(S::Operation::setActive, std::nullopt);
}

} // namespace
