// The engine player through the real graph (player, the effect made from its record, the unit-gain
// mixer), rendered offline, and its ways of failing.
#include "AppTestSupport.h"

#include "plat/audiosession.h"

#include <fstream>

namespace {

constexpr int kClip = 39; // the shortest demonstration clip

Channels head(const Channels& channels, std::size_t frames) {
    Channels out;
    for (const auto& c : channels) out.emplace_back(c.begin(), c.begin() + long(std::min(frames, c.size())));
    return out;
}

// The effect alone through its render block, on the same samples in the same blocks.
Channels throughUnitAlone(const Channels& input, std::size_t frames) {
    auto unit = makeEffect()->auAudioUnit();
    EXPECT_TRUE(unit->allocateRenderResources().ok());
    Channels out(2, std::vector<float>(frames));
    std::size_t at = 0;
    const plat::AURenderPullInputBlock pull = [&](auto*, auto*, plat::AUAudioFrameCount n, auto,
                                                  plat::AudioBufferList* list) {
        for (std::uint32_t c = 0; c < 2; ++c)
            std::copy_n(input[c].begin() + long(at), n, static_cast<float*>(list->mBuffers[c].mData));
        return plat::noErr;
    };
    for (plat::AudioTimeStamp time; at < frames; at += OfflinePlayer::kBlock) {
        plat::AudioBufferList list{2,
                                   {{1, OfflinePlayer::kBlock * 4, out[0].data() + at},
                                    {1, OfflinePlayer::kBlock * 4, out[1].data() + at}}};
        time.mSampleTime = double(at);
        EXPECT_EQ(unit->renderBlock()(nullptr, &time, OfflinePlayer::kBlock, 0, &list, nullptr, &pull),
                  plat::noErr);
    }
    unit->deallocateRenderResources();
    return out;
}

} // namespace

TEST(EnginePlayer, BypassedEffectPlaysTheClipBitForBitAndCountsEachPass) {
    OfflinePlayer rig(fs::path(SORVANE_APP_DIR) / "Resources", {kClip});
    const auto effect = makeEffect();
    rig.player->connect(effect);
    effect->auAudioUnit()->setShouldBypassEffect(true);
    ConsoleCapture console;
    EXPECT_TRUE(rig.player->toggle());
    const auto clip = decoded(appClip(kClip));
    for (long pass = 0; pass < 2; ++pass) {
        EXPECT_TRUE(rig.render(clip[0].size()) == clip) << "pass " << pass;
        ASSERT_TRUE(spin([&] { return rig.recorder->loops.size() == std::size_t(pass + 1); }));
        EXPECT_EQ(console.count("AUEnginePlayer: Current audio file '" + appClip(kClip).string() +
                                "' looped: " + std::to_string(pass + 1) + "."),
                  1u);
    }
    EXPECT_EQ(rig.recorder->loops, (std::vector<long>{0, 1}));
    EXPECT_EQ(rig.recorder->files, std::vector<std::string>{appClip(kClip).string()});
    EXPECT_FALSE(rig.player->toggle());
    spin([&] { return rig.recorder->states.size() == 2; });
    EXPECT_EQ(rig.recorder->states, (std::vector<bool>{true, false}));
    EXPECT_EQ(rig.recorder->loops.size(), 2u) << "a stop is no pass";
}

TEST(EnginePlayer, TheEffectChangesTheClipExactlyAsTheUnitAloneDoes) {
    OfflinePlayer rig(fs::path(SORVANE_APP_DIR) / "Resources", {kClip});
    rig.player->connect(makeEffect());
    ASSERT_TRUE(rig.player->toggle());
    constexpr std::size_t frames = 48 * OfflinePlayer::kBlock;
    const auto played = rig.render(frames);
    const auto clip = decoded(appClip(kClip));
    EXPECT_FALSE(played == head(clip, frames));
    EXPECT_TRUE(played == throughUnitAlone(clip, frames));
}

// A clip that cannot be played leaves the one that plays, and the lines name that one.
TEST(EnginePlayer, AClipThatCannotBeOpenedOrFoundLeavesTheOneThatPlays) {
    ScratchFolder clips;
    fs::copy_file(appClip(kClip), clips.path() / "1.m4a");
    std::ofstream(clips.path() / "2.m4a") << "not audio";
    OfflinePlayer rig(clips.path(), {1, 2, 3});
    ConsoleCapture console;
    const auto frames = decoded(appClip(kClip))[0].size();
    for (int start = 0; start < 3; ++start) {
        ASSERT_TRUE(rig.player->toggle()) << "start " << start;
        rig.render(frames);
        ASSERT_TRUE(spin([&] { return rig.recorder->loops.size() == std::size_t(start + 1); }));
        EXPECT_FALSE(rig.player->toggle());
    }
    const std::string one = (clips.path() / "1.m4a").string(), two = (clips.path() / "2.m4a").string();
    EXPECT_EQ(console.count("AUEnginePlayer::ERROR: Could not create AVAudioFile instance for URL 'file://" +
                            two + "'. error: "),
              1u);
    EXPECT_EQ(console.count(
                  "AUEnginePlayer::ERROR: The audio file '3.m4a' was not found inside the resource folder "
                  "for the app."),
              1u);
    EXPECT_EQ(console.count("AUEnginePlayer: Current audio file '" + one + "' looped: "), 3u);
    EXPECT_EQ(console.count("AUEnginePlayer: Current audio file '" + two), 0u);
    EXPECT_EQ(rig.recorder->files, std::vector<std::string>{one});
}

TEST(EnginePlayer, AnEngineThatCannotStartIsReportedAsNotPlaying) {
    OfflinePlayer rig(fs::path(SORVANE_APP_DIR) / "Resources", {kClip},
                      plat::AudioOutputConfiguration::parse("alsa:no-such-device").value());
    ConsoleCapture console;
    EXPECT_FALSE(rig.player->toggle());
    spin([&] { return !rig.recorder->states.empty(); });
    EXPECT_EQ(rig.recorder->states, std::vector<bool>{false});
    EXPECT_EQ(console.count("AUEnginePlayer::ERROR: Could not start audio engine. error: "), 1u);
    EXPECT_EQ(console.count("AUEnginePlayer: Audio engine starting."), 0u);
    EXPECT_FALSE(plat::AVAudioSession::sharedInstance().isActive());
}

TEST(EnginePlayer, MIDIEventsAreLoggedWithTheBytesTheyHave) {
    OfflinePlayer rig(fs::path(SORVANE_APP_DIR) / "Resources", {kClip});
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
