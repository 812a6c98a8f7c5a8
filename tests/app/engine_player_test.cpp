// The engine player through the real graph (player, the effect made from its record, the unit-gain
// mixer), rendered offline, and its ways of failing.
#include "AppTestSupport.h"
#include "TestClips.h"

#include "plat/audiosession.h"

#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>

namespace {

Channels head(const Channels& channels, std::size_t frames) {
    Channels out;
    for (const auto& c : channels) out.emplace_back(c.begin(), c.begin() + long(std::min(frames, c.size())));
    return out;
}

Channels repeated(const Channels& clip, int times) {
    Channels out(clip.size());
    for (std::size_t c = 0; c < clip.size(); ++c)
        for (int n = 0; n < times; ++n) out[c].insert(out[c].end(), clip[c].begin(), clip[c].end());
    return out;
}

// Clips "1.m4a", "2.m4a" ... of these lengths (no render cycle divides them), each unlike the others.
struct Clips {
    ScratchFolder folder;
    std::vector<Channels> samples;
    explicit Clips(std::initializer_list<std::uint32_t> lengths) {
        for (const auto frames : lengths)
            samples.push_back(writeClip(path(int(samples.size()) + 1), plat::AudioFileType::wav, 2, frames,
                                        48000, 0.1f * float(samples.size() + 1))
                                  ->samples()
                                  ->channels);
    }
    fs::path path(int number) const { return folder.path() / (std::to_string(number) + ".m4a"); }
};

// Play or Stop, then what the delegate heard of it.
bool toggle(OfflinePlayer& rig) {
    const auto heard = rig.recorder->states.size();
    rig.player->toggle();
    EXPECT_TRUE(spin([&] { return rig.recorder->states.size() > heard; }));
    return rig.recorder->states.back();
}

// Renders as many frames as `expected` holds and compares.
bool plays(OfflinePlayer& rig, const Channels& expected) {
    return head(rig.render(expected[0].size()), expected[0].size()) == expected;
}

} // namespace

TEST(EnginePlayer, PassesFollowWithoutAGapThroughTheEffectAndAStopIsNoPass) {
    Clips clips{24100, 300};
    OfflinePlayer rig(clips.folder.path(), {1, 2});
    const auto effect = makeEffect();
    rig.player->connect(effect);
    EXPECT_TRUE(rig.player->toggle());
    EXPECT_TRUE(rig.recorder->files.empty()) << "the clip is opened off the main thread";
    ASSERT_TRUE(spin([&] { return !rig.recorder->states.empty(); }));
    // Two passes and the start of a third, straight after each other, as the effect alone makes them.
    // Rendering waits for the first pass to be counted, as a real-time output leaves time for that.
    Channels played = rig.render(48 * 512);
    ASSERT_TRUE(spin([&] { return rig.recorder->loops.size() == 1; }));
    const auto more = rig.render(48 * 512);
    for (int c = 0; c < 2; ++c) played[c].insert(played[c].end(), more[c].begin(), more[c].end());
    const auto passes =
        throughUnitAlone(*makeEffect()->auAudioUnit(), repeated(clips.samples[0], 3), OfflinePlayer::kBlock);
    EXPECT_TRUE(head(played, 2 * 24100 + 512) == head(passes, 2 * 24100 + 512));
    ASSERT_TRUE(spin([&] { return rig.recorder->loops.size() == 2; }));
    EXPECT_FALSE(toggle(rig));
    effect->auAudioUnit()->setShouldBypassEffect(true);
    EXPECT_TRUE(toggle(rig));
    EXPECT_EQ(rig.recorder->loops, (std::vector<long>{0, 1})) << "a stop is no pass";
    EXPECT_TRUE(plays(rig, repeated(clips.samples[1], 7)))
        << "a start plays its own clip first, and a short one without a gap";
}

// However short the clip, a quarter of a second of passes is queued before the output needs them, so
// it never waits for a completion to come round (one frame: 1001 passes, then silence), at the
// clip's own rate too.
TEST(EnginePlayer, AOneFrameClipPlaysAQuarterOfASecondWithoutWaiting) {
    Clips clips{1};
    OfflinePlayer rig(clips.folder.path(), {1, 2});
    ASSERT_TRUE(toggle(rig));
    EXPECT_TRUE(plays(rig, repeated(clips.samples[0], 12000)));
    EXPECT_FALSE(toggle(rig));
    // At another rate the quarter second is counted in the clip's own frames, and converted.
    const float level =
        writeClip(clips.path(2), plat::AudioFileType::wav, 2, 1, 96000)->samples()->channels[0][0];
    ASSERT_TRUE(toggle(rig));
    const auto out = rig.render(11900);
    for (std::size_t i = 200; i < 11900; ++i) ASSERT_NEAR(out[0][i], level, 1e-3) << "frame " << i;
    EXPECT_FALSE(toggle(rig));
}

// A clip of one frame at 768 kHz ends 768,000 times a second. Passes that end before the state queue
// and the main queue take them up are counted together: a few tasks and lines, every pass counted
// once, and the count the delegate hears is the last line's before it.
TEST(EnginePlayer, PassesOfATinyClipAreCountedTogetherWithoutFloodingTheMainQueue) {
    ScratchFolder folder;
    writeClip(folder.path() / "1.m4a", plat::AudioFileType::wav, 2, 1, 768000);
    OfflinePlayer rig(folder.path(), {1});
    ConsoleCapture console;
    ASSERT_TRUE(toggle(rig));
    rig.render(10 * OfflinePlayer::kBlock); // 81,920 passes, and the few the mixer reads ahead
    const long passes = 10 * OfflinePlayer::kBlock * 16;
    ASSERT_TRUE(
        spin([&] { return !rig.recorder->loops.empty() && rig.recorder->loops.back() + 1 >= passes; }));
    EXPECT_LE(rig.recorder->loops.back() + 1, passes + 1024);
    // Passes told one by one would be 81,920 lines; how many share one depends on how busy the
    // machine keeps the main thread, so the bound leaves room for a loaded one.
    EXPECT_LT(rig.recorder->loops.size(), std::size_t(passes / 10));
    EXPECT_EQ(console.count("' looped: "), rig.recorder->loops.size());
    EXPECT_EQ(console.count("' looped: " + std::to_string(rig.recorder->loops.back() + 1) + ".\n"), 1u);
    EXPECT_FALSE(toggle(rig));
}

// Opens clips for the engine player, each held until the test lets it go, and keeps an eye on the
// files it opened.
struct HeldOpens : std::enable_shared_from_this<HeldOpens> {
    std::mutex mutex;
    std::condition_variable released;
    std::set<int> held;
    std::map<int, std::weak_ptr<plat::AVAudioFile>> opened;

    decltype(AUEnginePlayer::Configuration::openClip) opener() {
        return [self = shared_from_this()](const plat::URL& url) {
            const int clip = std::stoi(url.filePath().stem().string());
            std::unique_lock<std::mutex> lock(self->mutex);
            if (!self->released.wait_for(lock, std::chrono::seconds(60),
                                         [&] { return !self->held.contains(clip); }))
                ADD_FAILURE() << "clip " << clip << " was held 60 s and never let go";
            auto file = plat::AVAudioFile::forReading(url);
            if (file) self->opened[clip] = file.value();
            return file;
        };
    }
    void hold(int clip) {
        std::lock_guard<std::mutex> lock(mutex);
        held.insert(clip);
    }
    void release(int clip) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            held.erase(clip);
        }
        released.notify_all();
    }
    // Whether the clip was opened and the engine player has either put it in or let it go.
    bool settled(int clip, const std::vector<std::string>& selected, const fs::path& path) {
        std::lock_guard<std::mutex> lock(mutex);
        return opened.contains(clip) && (opened[clip].expired() ||
                                         std::find(selected.begin(), selected.end(), path) != selected.end());
    }
};

// Play, Stop and a new clip in quick succession, with the clips opening in an order the test sets:
// the clip asked for last is the one put in and played, whichever finished opening last.
TEST(EnginePlayer, TheClipAskedForLastPlaysWhicheverOpensLast) {
    struct Case {
        const char* name;
        std::vector<int> draws;
        std::vector<std::string> steps; // start, stop, load N, release N
        int plays;                      // the clip that plays, or 0
        std::vector<int> selected;      // the clips put in, in order
    } cases[] = {
        {"a clip opened for a start that a stop and a new start followed is dropped",
         {1, 2},
         {"start", "stop", "start", "release 2", "release 1"},
         2,
         {2}},
        {"a clip opened for a start that a stop and a new start followed is dropped, also when first",
         {1, 2},
         {"start", "stop", "start", "release 1", "release 2"},
         2,
         {2}},
        {"a clip opened for a start that a stop followed plays nothing",
         {1},
         {"start", "stop", "release 1"},
         0,
         {}},
        {"a clip opened for a load that another load followed is dropped",
         {1},
         {"load 1", "load 2", "release 2", "release 1"},
         0,
         {2}},
    };
    Clips clips{3000, 4000};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto opens = std::make_shared<HeldOpens>();
        opens->hold(1), opens->hold(2);
        OfflinePlayer rig(clips.folder.path(), c.draws, std::nullopt, opens->opener());
        // Whatever fails, no open stays held.
        const std::unique_ptr<HeldOpens, void (*)(HeldOpens*)> letGo(
            opens.get(), [](HeldOpens* o) { o->release(1), o->release(2); });
        for (const auto& step : c.steps) {
            if (step == "start") rig.player->start();
            if (step == "stop") rig.player->stop();
            if (step.starts_with("load "))
                rig.player->load(plat::URL::fileURL(clips.path(std::stoi(step.substr(5)))));
            if (step.starts_with("release ")) {
                const int clip = std::stoi(step.substr(8));
                opens->release(clip);
                ASSERT_TRUE(
                    spin([&] { return opens->settled(clip, rig.recorder->files, clips.path(clip)); }));
            }
        }
        std::vector<std::string> selected;
        for (const int clip : c.selected) selected.push_back(clips.path(clip).string());
        EXPECT_EQ(rig.recorder->files, selected);
        if (c.plays) {
            ASSERT_TRUE(spin([&] { return !rig.recorder->states.empty(); }));
            EXPECT_EQ(rig.recorder->states, std::vector<bool>{true});
            EXPECT_TRUE(plays(rig, repeated(clips.samples[std::size_t(c.plays - 1)], 2)));
            rig.player->stop();
        } else {
            EXPECT_TRUE(rig.recorder->states.empty());
        }
    }
}

// A clip that cannot be played leaves the one that plays, and the lines name that one; with none
// to play, Play stays Play.
TEST(EnginePlayer, AClipThatCannotBeOpenedOrFoundLeavesTheOneThatPlays) {
    Clips clips{4000};
    std::ofstream(clips.path(2)) << "not audio";
    OfflinePlayer rig(clips.folder.path(), {2, 1, 2, 3});
    ConsoleCapture console;
    EXPECT_FALSE(toggle(rig)) << "nothing to play";
    for (int start = 0; start < 3; ++start) {
        ASSERT_TRUE(toggle(rig)) << "start " << start;
        rig.render(4000);
        ASSERT_TRUE(spin([&] { return rig.recorder->loops.size() == std::size_t(start + 1); }));
        EXPECT_FALSE(toggle(rig));
    }
    const std::string one = clips.path(1).string(), two = clips.path(2).string();
    EXPECT_EQ(console.count("AUEnginePlayer::ERROR: Could not create AVAudioFile instance for URL 'file://" +
                            two + "'. error: "),
              2u);
    EXPECT_EQ(console.count(
                  "AUEnginePlayer::ERROR: The audio file '3.m4a' was not found inside the resource folder "
                  "for the app."),
              1u);
    EXPECT_EQ(console.count("AUEnginePlayer: Current audio file '" + one + "' looped: "), 3u);
    EXPECT_EQ(console.count("AUEnginePlayer: Current audio file '" + two), 0u);
    EXPECT_EQ(rig.recorder->files, std::vector<std::string>{one});
}

TEST(EnginePlayer, AnEngineThatCannotStartIsReportedAsNotPlaying) {
    Clips clips{3000, 5000};
    OfflinePlayer rig(clips.folder.path(), {1, 2},
                      plat::AudioOutputConfiguration::parse("alsa:no-such-device").value());
    ConsoleCapture console;
    EXPECT_FALSE(toggle(rig));
    EXPECT_EQ(console.count("AUEnginePlayer::ERROR: Could not start audio engine. error: "), 1u);
    EXPECT_EQ(console.text().find("..\n"), std::string::npos) << "one full stop ends a line";
    EXPECT_EQ(console.count("AUEnginePlayer: Audio engine starting."), 0u);
    EXPECT_FALSE(plat::AVAudioSession::sharedInstance().isActive());
    ASSERT_TRUE(rig.player->audioEngine().enableManualRenderingMode(plat::AVAudioFormat(48000, 2), 512).ok());
    EXPECT_TRUE(toggle(rig));
    EXPECT_TRUE(plays(rig, clips.samples[1])) << "the failed start left nothing scheduled";
}

TEST(EnginePlayer, MIDIEventsAreLoggedWithTheBytesTheyHave) {
    OfflinePlayer rig(fs::path(SORVANE_APP_DIR) / "Resources", {39});
    const auto effect = makeEffect();
    rig.player->connect(effect);
    const auto block = effect->auAudioUnit()->MIDIOutputEventBlock();
    ASSERT_TRUE(block);
    plat::RunLoop::main().drain();
    ConsoleCapture console;
    const auto noteOn = std::make_unique<std::uint8_t[]>(3), pitch = std::make_unique<std::uint8_t[]>(2);
    noteOn[0] = 0x90, noteOn[1] = 60, noteOn[2] = 100, pitch[0] = 0xE0, pitch[1] = 7;
    EXPECT_EQ(block(12, 0, 3, noteOn.get()), plat::noErr);
    EXPECT_EQ(block(40, 0, 2, pitch.get()), plat::noErr);
    spin([&] { return console.count("MIDI event") == 2; });
    EXPECT_EQ(console.text(), "AUEnginePlayer: MIDI event from audio unit at: 12, data: 144, 60, 100\n"
                              "AUEnginePlayer::WARNING: The MIDI data length is not as expected.\n"
                              "AUEnginePlayer: MIDI event from audio unit at: 40, data: 224, 7\n");
}
