// The effect kernel on its own: parameter store and routing, meters, bypass, MIDI, lines.
#include "ConsoleCapture.h"
#include "StereoBuffers.h"
#include "YUX_Sorvane_Extension_DSPKernel.h"

#include "plat/console.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void cycle(YUX_Sorvane_Extension_DSPKernel& k, Stereo& io, std::uint32_t frames,
           const plat::AURenderEvent* events = nullptr) {
    plat::AudioTimeStamp ts;
    k.setBuffers(&io.list, &io.list, 0);
    k.renderCycle(&ts, frames, events, nullptr);
}

TEST(Kernel, StoresAndReportsParametersByAddress) {
    YUX_Sorvane_Extension_DSPKernel k;
    EXPECT_EQ(k.getParameter(1006), 1.0f); // stored defaults
    EXPECT_EQ(k.getParameter(2006), 0.1f);
    for (auto [address, value] :
         {std::pair{1005ull, 0.25f}, {2031ull, 0.75f}, {3000ull, 0.125f}, {2ull, 0.5f}}) {
        k.setParameter(address, value);
        EXPECT_EQ(k.getParameter(address), value) << address;
    }
    for (plat::AUParameterAddress unknown : {4ull, 999ull, 1032ull, 2032ull, 3032ull, 1ull << 40}) {
        k.setParameter(unknown, 0.7f);
        EXPECT_EQ(k.getParameter(unknown), 0.0f) << unknown;
    }
}

TEST(Kernel, ABandValueRefreshesItsWholeStoredVector) {
    YUX_Sorvane_Extension_DSPKernel k;
    Stereo io(64);
    // Before any level is set the banks keep their own unity gain.
    cycle(k, io, 64);
    EXPECT_EQ(k.spectralCompander.bandpass[0].gain[9], 0.5f);
    k.setParameter(1005, 0.25f);
    cycle(k, io, 64);
    for (auto& bank : k.spectralCompander.bandpass) {
        EXPECT_EQ(bank.gain2[5], 0.5f);
        EXPECT_EQ(bank.gain2[9], 2.0f); // the stored 1.0 of every other band
    }
    k.setParameter(3007, 0.75f);
    cycle(k, io, 64);
    EXPECT_EQ(k.spectralCompander.compander[1].multiplier[7], 0.5f);
    EXPECT_EQ(k.spectralCompander.compander[1].multiplier[8], -1.0f); // stored 0.0
}

TEST(Kernel, ResetKeepsTheStoredLevels) {
    YUX_Sorvane_Extension_DSPKernel k;
    k.setParameter(1003, 0.2f);
    k.reset();
    EXPECT_EQ(k.spectralCompander.bandpass[1].gain[3], 0.2f);
    k.init(2, 44100.0);
    EXPECT_EQ(k.spectralCompander.bandpass[0].gain[3], 0.2f);
    EXPECT_EQ(k.spectralCompander.bandpass[0].gain[4], 1.0f);
}

TEST(Kernel, MetersAfterResetAndOnSilence) {
    YUX_Sorvane_Extension_DSPKernel k;
    k.reset();
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(k.getLevels()[i], 0.0f);
        EXPECT_EQ(k.getFactors()[i], 0.5f);
    }
    for (int i = 0; i < 32; ++i)
        k.setParameter(plat::AUParameterAddress(3000 + i), 0.25f + 0.5f * float(i % 2));
    Stereo io(256);
    cycle(k, io, 256);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(k.getFactors()[i], 0.25f + 0.5f * float(i % 2)) << i;
}

TEST(Kernel, LevelsFollowALoudBand) {
    YUX_Sorvane_Extension_DSPKernel k;
    Stereo io(4800);
    for (std::size_t i = 0; i < io.l.size(); ++i)
        io.l[i] = io.r[i] = std::sin(2.0f * 3.14159265f * 440.0f * i / 48000.0f);
    cycle(k, io, 4800);
    const float* levels = k.getLevels();
    int loudest = 0;
    for (int i = 0; i < 32; ++i)
        if (levels[i] > levels[loudest]) loudest = i;
    // The bands pass the high side of each filter: a 440 Hz tone is loud up to the bands
    // around it and faint far above it.
    EXPECT_GE(loudest, 12);
    EXPECT_LE(loudest, 16);
    EXPECT_GT(levels[loudest], 0.0f);
    EXPECT_LE(levels[loudest], 1.0f);
    for (int i = 22; i < 32; ++i) EXPECT_LT(levels[i], 0.5f * levels[loudest]) << i;
}

TEST(Kernel, BypassByFlagByParameterAndForOtherChannelCounts) {
    for (int mode : {0, 1, 3}) {
        YUX_Sorvane_Extension_DSPKernel k;
        if (mode == 0) k.setBypassed(true);
        if (mode == 1) k.setParameter(0, 1.0f);
        Stereo in(128), out(128);
        for (std::size_t i = 0; i < 128; ++i) in.l[i] = in.r[i] = float(i % 7) * 0.1f;
        if (mode == 3) k.init(1, 48000.0);
        plat::AudioTimeStamp ts;
        k.setBuffers(&in.list, &out.list, 0);
        k.renderCycle(&ts, 128, nullptr, nullptr);
        EXPECT_EQ(out.l, in.l) << mode;
        if (mode != 3) {
            EXPECT_EQ(out.r, in.r) << mode;
        }
    }
    YUX_Sorvane_Extension_DSPKernel k;
    k.setParameter(0, 1.0f);
    k.setParameter(0, 0.0f);
    Stereo io(128, 0.5f);
    cycle(k, io, 128);
    EXPECT_NE(io.l[127], 0.5f);
}

TEST(Kernel, EveryPartFollowsTheSampleRate) {
    YUX_Sorvane_Extension_DSPKernel k;
    k.init(2, 96000.0);
    EXPECT_EQ(k.getSamplerate(), 96000.0f);
    EXPECT_EQ(k.analyzer.getSamplerate(), 96000.0f);
    EXPECT_EQ(k.followers[1][0].sampleRate, 96000.0f);
    EXPECT_EQ(k.spectralCompander.compander[1].outFollower.sampleRate, 96000.0f);
    EXPECT_EQ(k.spectralCompander.bandpass[1].sampleRate, 96000.0f);
}

TEST(Kernel, MissingBuffersRenderNothing) {
    YUX_Sorvane_Extension_DSPKernel k;
    Stereo one(16, 0.5f);
    one.list.mNumberBuffers = 1;
    k.setBuffers(&one.list, &one.list, 0);
    plat::AudioTimeStamp ts;
    k.renderCycle(&ts, 16, nullptr, nullptr);
    k.setBuffers(nullptr, nullptr, 0);
    k.renderCycle(&ts, 16, nullptr, nullptr);
    EXPECT_EQ(one.l[0], 0.5f);
}

TEST(Kernel, RealtimeMidiIsFilteredAndNothingLeavesWithoutThru) {
    YUX_Sorvane_Extension_DSPKernel k;
    std::vector<std::uint8_t> sent;
    plat::AUMIDIOutputEventBlock out = [&](plat::AUEventSampleTime, std::uint8_t cable,
                                           plat::NSInteger length, const std::uint8_t* bytes) {
        EXPECT_EQ(cable, 0);
        EXPECT_EQ(length, 3);
        sent.push_back(bytes[0]);
        return plat::noErr;
    };
    std::vector<plat::AURenderEvent> ev(7);
    const std::uint8_t status[7] = {0xF8, 0x90, 0xFA, 0xFB, 0xFC, 0xFF, 0x80};
    for (int i = 0; i < 7; ++i) {
        ev[i].MIDI.eventType = plat::AURenderEventType::MIDI;
        ev[i].MIDI.length = 3;
        ev[i].MIDI.data[0] = status[i];
        ev[i].MIDI.next = i < 6 ? &ev[i + 1] : nullptr;
    }
    Stereo io(32);
    plat::AudioTimeStamp ts;
    k.setBuffers(&io.list, &io.list, 0);
    k.renderCycle(&ts, 32, &ev[0], &out);
    EXPECT_TRUE(sent.empty());
    k.midiThru = true;
    k.renderCycle(&ts, 32, &ev[0], &out);
    EXPECT_EQ(sent, std::vector<std::uint8_t>({0x90, 0x80}));
}

TEST(Kernel, EveryParameterSetAndReadPrintsItsLineInOrder) {
    YUX_Sorvane_Extension_DSPKernel k;
    ConsoleCapture console;
    k.setParameter(1005, 0.25f);
    (void)k.getParameter(3);
    k.setParameter(4, 0.7f);
    // An event on the render thread prints the same line, through the ring.
    plat::AURenderEvent e{};
    e.parameter.eventType = plat::AURenderEventType::Parameter;
    e.parameter.parameterAddress = 2;
    e.parameter.value = 0.5f;
    Stereo io(8);
    cycle(k, io, 8, &e);
    EXPECT_EQ(console.text(), "unit received parameter : address:1005, value:0.250000\n"
                              "unit sent parameter : address:3"
                              "unit received parameter : address:4, value:0.700000\n"
                              "unit received parameter : address:2, value:0.500000\n");
}

} // namespace
