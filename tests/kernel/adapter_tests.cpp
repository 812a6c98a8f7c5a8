// The adapter driven as a host drives it (refusals before allocation and after release, bypass
// and events are the audio unit's and the kernel's tests).
#include "RenderHost.h"
#include "StereoBuffers.h"
#include "YUX_Sorvane_ExtensionDSPKernelAdapter.h"

#include <gtest/gtest.h>

namespace {

using Adapter = YUX_Sorvane_ExtensionDSPKernelAdapter;

TEST(Adapter, FrameLimitAndItsChangeAfterAllocation) {
    Adapter a;
    ASSERT_TRUE(a.allocateRenderResources());
    RenderHost host(a.internalRenderBlock(), 8192);
    EXPECT_EQ(host.cycle(4096), plat::noErr);
    EXPECT_EQ(host.cycle(4097), plat::kAudioUnitErr_TooManyFramesToProcess);
    a.setMaximumFramesToRender(8192); // raised after allocation: the input still holds 4096 frames
    EXPECT_EQ(host.cycle(8192), plat::kAudioUnitErr_TooManyFramesToProcess);
    a.deallocateRenderResources();
    a.setMaximumFramesToRender(256);
    ASSERT_TRUE(a.allocateRenderResources());
    EXPECT_EQ(host.cycle(257), plat::kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(host.cycle(256), plat::noErr);
}

TEST(Adapter, PullFailureIsReturnedAndTheOutputUntouched) {
    Adapter a;
    ASSERT_TRUE(a.allocateRenderResources());
    plat::AURenderPullInputBlock failing = [](auto*, auto*, auto, auto, auto*) {
        return plat::OSStatus(-50);
    };
    Stereo out(64, 9.0f);
    plat::AudioTimeStamp ts;
    EXPECT_EQ(a.render(nullptr, &ts, 64, 0, &out.list, nullptr, &failing), -50);
    EXPECT_EQ(out.l[0], 9.0f);
    // The render block insists on a pull block.
    EXPECT_EQ(a.internalRenderBlock()(nullptr, &ts, 64, 0, &out.list, nullptr, nullptr),
              plat::kAudioUnitErr_NoConnection);
}

TEST(Adapter, RefusesOutputListsThatCannotTakeEveryChannel) {
    struct Case {
        const char* fault;
        std::uint32_t buffers;
        bool firstNull, secondNull;
    };
    const Case cases[] = {
        {"second buffer missing", 2, false, true},
        {"one buffer for two channels", 1, false, false},
        {"in place with one buffer", 1, true, false},
        {"no buffers", 0, false, false},
    };
    for (const Case& c : cases) {
        Adapter a;
        ASSERT_TRUE(a.allocateRenderResources());
        Stereo out(64, 9.0f);
        out.list.mNumberBuffers = c.buffers;
        if (c.firstNull) out.list.mBuffers[0].mData = nullptr;
        if (c.secondNull) out.list.mBuffers[1].mData = nullptr;
        const plat::AudioBufferList before = out.list;
        const std::vector<float> silence(64);
        const auto pull = pullOf(silence);
        plat::AudioTimeStamp ts;
        EXPECT_NE(a.render(nullptr, &ts, 64, 0, &out.list, nullptr, &pull), plat::noErr) << c.fault;
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(out.list.mBuffers[i].mData, before.mBuffers[i].mData) << c.fault;
        EXPECT_EQ(out.l, std::vector<float>(64, 9.0f)) << c.fault;
    }
}

TEST(Adapter, WithoutAPullBlockRendersWhatTheInputBufferHolds) {
    Adapter a;
    ASSERT_TRUE(a.allocateRenderResources());
    a.setBypass(true);
    RenderHost host(a.internalRenderBlock(), 64, 0.25f);
    ASSERT_EQ(host.cycle(64), plat::noErr);
    Stereo out(64);
    plat::AudioTimeStamp ts;
    EXPECT_EQ(a.render(nullptr, &ts, 64, 0, &out.list, nullptr, nullptr), plat::noErr);
    EXPECT_EQ(out.l, host.in[0]); // the last pulled input, passed through by the bypass
}

TEST(Adapter, InPlaceRenderingMapsOnlyTheInputsBuffers) {
    Adapter a;
    ASSERT_TRUE(a.allocateRenderResources());
    const auto src = tone(256, 300.0f);
    const auto pull = pullOf(src);
    plat::AudioBufferList out;
    out.mNumberBuffers = 3; // one more than the input has
    plat::AudioTimeStamp ts;
    EXPECT_EQ(a.render(nullptr, &ts, 256, 0, &out, nullptr, &pull), plat::noErr);
    ASSERT_NE(out.mBuffers[0].mData, nullptr);
    EXPECT_NE(out.mBuffers[1].mData, nullptr);
    EXPECT_EQ(out.mBuffers[2].mData, nullptr);
    EXPECT_NE(static_cast<const float*>(out.mBuffers[0].mData)[200], src[200]); // processed in place
}

TEST(Adapter, ChannelCountsOtherThanTwoPassThroughAtTheBusRate) {
    Adapter a;
    ASSERT_TRUE(a.outputBus()->setFormat(plat::AVAudioFormat(44100.0, 1)));
    ASSERT_TRUE(a.inputBus()->setFormat(plat::AVAudioFormat(44100.0, 1)));
    ASSERT_TRUE(a.allocateRenderResources());
    EXPECT_FALSE(a.outputBus()->setFormat(plat::AVAudioFormat(48000.0, 2))); // allocated
    EXPECT_EQ(a.getSamplerate(), 44100.0f);
    const auto src = tone(128, 1000.0f);
    const auto pull = pullOf(src);
    Stereo out(128);
    out.list.mNumberBuffers = 1;
    plat::AudioTimeStamp ts;
    EXPECT_EQ(a.render(nullptr, &ts, 128, 0, &out.list, nullptr, &pull), plat::noErr);
    EXPECT_EQ(out.l, src);
}

TEST(Adapter, ResetWhileAllocatedIsCarriedOutByTheNextCycle) {
    Adapter a;
    a.setParameter(1002, 0.1f);
    ASSERT_TRUE(a.allocateRenderResources());
    RenderHost host(a.internalRenderBlock(), 2048);
    ASSERT_EQ(host.cycle(2048), plat::noErr);
    EXPECT_GT(a.getLevels()[8], 0.0f);
    a.reset();
    std::fill(host.in[0].begin(), host.in[0].end(), 0.0f);
    std::fill(host.in[1].begin(), host.in[1].end(), 0.0f);
    ASSERT_EQ(host.cycle(64), plat::noErr);
    EXPECT_EQ(a.getLevels()[8], 0.0f);
    EXPECT_EQ(a.kernel().spectralCompander.bandpass[0].gain[2], 0.1f); // levels survive the reset
}

TEST(Adapter, MidiOutputBlockReachesTheKernelOnlyWhileSet) {
    Adapter a;
    int calls = 0;
    a.setAUMIDIOutputEventBlock([&](auto, auto, auto, auto) {
        ++calls;
        return plat::noErr;
    });
    ASSERT_TRUE(a.allocateRenderResources());
    a.kernel().midiThru = true;
    plat::AURenderEvent note{};
    note.MIDI.eventType = plat::AURenderEventType::MIDI;
    note.MIDI.length = 3;
    note.MIDI.data[0] = 0x90;
    const std::vector<float> silence(64);
    const auto pull = pullOf(silence);
    Stereo out(64);
    plat::AudioTimeStamp ts;
    auto block = a.internalRenderBlock();
    EXPECT_EQ(a.render(nullptr, &ts, 64, 0, &out.list, &note, &pull), plat::noErr);
    EXPECT_EQ(calls, 1);
    a.setAUMIDIOutputEventBlock(nullptr);
    EXPECT_EQ(a.render(nullptr, &ts, 64, 0, &out.list, &note, &pull), plat::noErr);
    EXPECT_EQ(calls, 1);
    // The render block keeps the block that was current when it was made.
    EXPECT_EQ(block(nullptr, &ts, 64, 0, &out.list, &note, &pull), plat::noErr);
    EXPECT_EQ(calls, 2);
}

} // namespace
