// The adapter driven as a host drives it.
#include "HostHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

std::vector<float> tone(std::size_t n, float hz) {
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = 0.5f * std::sin(2.0f * 3.14159265f * hz * float(i) / 48000.0f);
    return v;
}

TEST(Adapter, StartsWithTheStandardStereoFormat) {
    YUX_Sorvane_ExtensionDSPKernelAdapter a;
    EXPECT_EQ(a.outputBus()->format(), plat::AVAudioFormat(48000.0, 2));
    EXPECT_EQ(a.inputBus()->format(), plat::AVAudioFormat(48000.0, 2));
    EXPECT_EQ(a.outputBus()->maximumChannelCount(), 2u);
    EXPECT_EQ(a.maximumFramesToRender(), 4096u);
    EXPECT_EQ(a.getFrequencies()[0], 2.0f * Modulator::freqTable[0]);
}

TEST(Adapter, RefusesToRenderBeforeAllocationAndAfterRelease) {
    YUX_Sorvane_ExtensionDSPKernelAdapter a;
    HostHarness host(a);
    std::vector<float> src(512, 0.1f), dst(512);
    EXPECT_EQ(host.cycle(src.data(), src.data(), dst.data(), dst.data(), 0, 512),
              plat::kAudioUnitErr_Uninitialized);
    ASSERT_TRUE(a.allocateRenderResources());
    EXPECT_EQ(host.cycle(src.data(), src.data(), dst.data(), dst.data(), 0, 512), plat::noErr);
    a.deallocateRenderResources();
    EXPECT_EQ(host.cycle(src.data(), src.data(), dst.data(), dst.data(), 0, 512),
              plat::kAudioUnitErr_Uninitialized);
}

TEST(Adapter, FrameLimitAndItsChangeAfterAllocation) {
    YUX_Sorvane_ExtensionDSPKernelAdapter a;
    ASSERT_TRUE(a.allocateRenderResources());
    HostHarness host(a, 8192);
    std::vector<float> src(8192, 0.1f), dst(8192);
    EXPECT_EQ(host.cycle(src.data(), src.data(), dst.data(), dst.data(), 0, 4096), plat::noErr);
    EXPECT_EQ(host.cycle(src.data(), src.data(), dst.data(), dst.data(), 0, 4097),
              plat::kAudioUnitErr_TooManyFramesToProcess);
    // Raised after allocation: the input buffer still holds 4096 frames only.
    a.setMaximumFramesToRender(8192);
    EXPECT_EQ(host.cycle(src.data(), src.data(), dst.data(), dst.data(), 0, 8192),
              plat::kAudioUnitErr_TooManyFramesToProcess);
    a.deallocateRenderResources();
    a.setMaximumFramesToRender(256);
    ASSERT_TRUE(a.allocateRenderResources());
    EXPECT_EQ(host.cycle(src.data(), src.data(), dst.data(), dst.data(), 0, 257),
              plat::kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(host.cycle(src.data(), src.data(), dst.data(), dst.data(), 0, 256), plat::noErr);
}

TEST(Adapter, PullFailureIsReturnedAndTheOutputUntouched) {
    YUX_Sorvane_ExtensionDSPKernelAdapter a;
    ASSERT_TRUE(a.allocateRenderResources());
    plat::AURenderPullInputBlock failing = [](auto*, auto*, auto, auto, auto*) {
        return plat::OSStatus(-50);
    };
    std::vector<float> l(64, 9.0f), r(64, 9.0f);
    plat::AudioBufferList out;
    out.mNumberBuffers = 2;
    out.mBuffers[0] = {1, 256, l.data()};
    out.mBuffers[1] = {1, 256, r.data()};
    plat::AudioTimeStamp ts;
    EXPECT_EQ(a.render(nullptr, &ts, 64, 0, &out, nullptr, &failing), -50);
    EXPECT_EQ(l[0], 9.0f);
    // The render block insists on a pull block.
    auto block = a.internalRenderBlock();
    EXPECT_EQ(block(nullptr, &ts, 64, 0, &out, nullptr, nullptr), plat::kAudioUnitErr_NoConnection);
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
        YUX_Sorvane_ExtensionDSPKernelAdapter a;
        ASSERT_TRUE(a.allocateRenderResources());
        std::vector<float> l(64, 9.0f), r(64, 9.0f);
        plat::AudioBufferList out;
        out.mNumberBuffers = c.buffers;
        out.mBuffers[0] = {1, 256, c.firstNull ? nullptr : l.data()};
        out.mBuffers[1] = {1, 256, c.secondNull ? nullptr : r.data()};
        const plat::AudioBufferList before = out;
        plat::AURenderPullInputBlock pull = [](auto*, auto*, auto, auto, auto*) { return plat::noErr; };
        plat::AudioTimeStamp ts;
        EXPECT_NE(a.render(nullptr, &ts, 64, 0, &out, nullptr, &pull), plat::noErr) << c.fault;
        for (int i = 0; i < 2; ++i) EXPECT_EQ(out.mBuffers[i].mData, before.mBuffers[i].mData) << c.fault;
        EXPECT_EQ(l, std::vector<float>(64, 9.0f)) << c.fault;
    }
}

TEST(Adapter, WithoutAPullBlockRendersWhatTheInputBufferHolds) {
    YUX_Sorvane_ExtensionDSPKernelAdapter a;
    ASSERT_TRUE(a.allocateRenderResources());
    a.setBypass(true);
    HostHarness host(a);
    std::vector<float> src(64, 0.25f), dst(64);
    ASSERT_EQ(host.cycle(src.data(), src.data(), dst.data(), dst.data(), 0, 64), plat::noErr);
    std::vector<float> l(64), r(64);
    plat::AudioBufferList out;
    out.mNumberBuffers = 2;
    out.mBuffers[0] = {1, 256, l.data()};
    out.mBuffers[1] = {1, 256, r.data()};
    plat::AudioTimeStamp ts;
    EXPECT_EQ(a.render(nullptr, &ts, 64, 0, &out, nullptr, nullptr), plat::noErr);
    EXPECT_EQ(l[10], 0.25f); // the last pulled input, passed through by the bypass
}

TEST(Adapter, InPlaceRenderingMapsOnlyTheInputsBuffers) {
    YUX_Sorvane_ExtensionDSPKernelAdapter a;
    ASSERT_TRUE(a.allocateRenderResources());
    auto src = tone(256, 300.0f);
    plat::AURenderPullInputBlock pull = [&](auto*, auto*, plat::AUAudioFrameCount n, auto,
                                            plat::AudioBufferList* in) {
        for (std::uint32_t c = 0; c < in->mNumberBuffers; ++c)
            std::copy(src.begin(), src.begin() + n, static_cast<float*>(in->mBuffers[c].mData));
        return plat::noErr;
    };
    plat::AudioBufferList out;
    out.mNumberBuffers = 3; // one more than the input has
    plat::AudioTimeStamp ts;
    EXPECT_EQ(a.render(nullptr, &ts, 256, 0, &out, nullptr, &pull), plat::noErr);
    ASSERT_NE(out.mBuffers[0].mData, nullptr);
    EXPECT_NE(out.mBuffers[1].mData, nullptr);
    EXPECT_EQ(out.mBuffers[2].mData, nullptr);
    const float* l = static_cast<const float*>(out.mBuffers[0].mData);
    EXPECT_NE(l[200], src[200]); // processed, in the input buffer
}

TEST(Adapter, BypassByFlagAndByParameterPassesTheInput) {
    for (int how = 0; how < 2; ++how) {
        YUX_Sorvane_ExtensionDSPKernelAdapter a;
        ASSERT_TRUE(a.allocateRenderResources());
        if (how == 0) a.setBypass(true);
        if (how == 1) a.setParameter(0, 1.0f);
        EXPECT_EQ(a.shouldBypassEffect(), how == 0);
        HostHarness host(a);
        auto src = tone(1024, 440.0f);
        std::vector<float> l(1024), r(1024);
        ASSERT_EQ(host.cycle(src.data(), src.data(), l.data(), r.data(), 0, 512), plat::noErr);
        ASSERT_EQ(host.cycle(src.data(), src.data(), l.data(), r.data(), 512, 512), plat::noErr);
        EXPECT_EQ(l, src);
        EXPECT_EQ(r, src);
    }
}

TEST(Adapter, ChannelCountsOtherThanTwoPassThrough) {
    YUX_Sorvane_ExtensionDSPKernelAdapter a;
    ASSERT_TRUE(a.outputBus()->setFormat(plat::AVAudioFormat(44100.0, 1)));
    ASSERT_TRUE(a.inputBus()->setFormat(plat::AVAudioFormat(44100.0, 1)));
    ASSERT_TRUE(a.allocateRenderResources());
    EXPECT_FALSE(a.outputBus()->setFormat(plat::AVAudioFormat(48000.0, 2))); // allocated
    EXPECT_EQ(a.getSamplerate(), 44100.0f);
    auto src = tone(128, 1000.0f);
    plat::AURenderPullInputBlock pull = [&](auto*, auto*, plat::AUAudioFrameCount n, auto,
                                            plat::AudioBufferList* in) {
        std::copy(src.begin(), src.begin() + n, static_cast<float*>(in->mBuffers[0].mData));
        return plat::noErr;
    };
    std::vector<float> l(128);
    plat::AudioBufferList out;
    out.mNumberBuffers = 1;
    out.mBuffers[0] = {1, 512, l.data()};
    plat::AudioTimeStamp ts;
    EXPECT_EQ(a.render(nullptr, &ts, 128, 0, &out, nullptr, &pull), plat::noErr);
    EXPECT_EQ(l, src);
}

TEST(Adapter, EventsAtSampleOffsetsTakeEffectThere) {
    // A bypass switched on mid-cycle: the input passes unchanged from that frame on.
    YUX_Sorvane_ExtensionDSPKernelAdapter a;
    ASSERT_TRUE(a.allocateRenderResources());
    HostHarness host(a);
    auto src = tone(512, 500.0f);
    std::vector<float> l(512), r(512);
    ASSERT_EQ(host.cycle(src.data(), src.data(), l.data(), r.data(), 0, 512,
                         {{-100, 1005, 0.3f}, {200, 0, 1.0f}, {200, 1006, 0.3f}}),
              plat::noErr);
    EXPECT_NE(l[199], src[199]);
    for (int i = 200; i < 512; ++i) ASSERT_EQ(l[i], src[i]) << i;
    EXPECT_EQ(a.valueForParameter(1006), 0.3f);
}

TEST(Adapter, ResetWhileAllocatedIsCarriedOutByTheNextCycle) {
    YUX_Sorvane_ExtensionDSPKernelAdapter a;
    a.setParameter(1002, 0.1f);
    ASSERT_TRUE(a.allocateRenderResources());
    HostHarness host(a);
    auto src = tone(2048, 200.0f);
    std::vector<float> l(2048), r(2048);
    ASSERT_EQ(host.cycle(src.data(), src.data(), l.data(), r.data(), 0, 2048), plat::noErr);
    EXPECT_GT(a.getLevels()[8], 0.0f);
    a.reset();
    std::vector<float> silence(64, 0.0f);
    ASSERT_EQ(host.cycle(silence.data(), silence.data(), l.data(), r.data(), 0, 64), plat::noErr);
    EXPECT_EQ(a.getLevels()[8], 0.0f);
    EXPECT_EQ(a.kernel().spectralCompander.bandpass[0].gain[2], 0.1f); // levels survive the reset
}

TEST(Adapter, MidiOutputBlockReachesTheKernelOnlyWhileSet) {
    YUX_Sorvane_ExtensionDSPKernelAdapter a;
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
    plat::AURenderPullInputBlock silence = [](auto*, auto*, auto, auto, auto*) { return plat::noErr; };
    std::vector<float> l(64), r(64);
    plat::AudioBufferList out;
    out.mNumberBuffers = 2;
    out.mBuffers[0] = {1, 256, l.data()};
    out.mBuffers[1] = {1, 256, r.data()};
    plat::AudioTimeStamp ts;
    auto block = a.internalRenderBlock();
    EXPECT_EQ(a.render(nullptr, &ts, 64, 0, &out, &note, &silence), plat::noErr);
    EXPECT_EQ(calls, 1);
    a.setAUMIDIOutputEventBlock(nullptr);
    EXPECT_EQ(a.render(nullptr, &ts, 64, 0, &out, &note, &silence), plat::noErr);
    EXPECT_EQ(calls, 1);
    // The render block keeps the block that was current when it was made.
    EXPECT_EQ(block(nullptr, &ts, 64, 0, &out, &note, &silence), plat::noErr);
    EXPECT_EQ(calls, 2);
}

} // namespace
