// The effect kernel on its own: parameter store and routing, meters, bypass, MIDI, lines.
#include "ConsoleCapture.h"
#include "StereoBuffers.h"
#include "YUX_Sorvane_Extension_DSPKernel.h"

#include "plat/console.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

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

TEST(Kernel, MetersAfterResetAndOnSilence) {
    YUX_Sorvane_Extension_DSPKernel k;
    k.reset();
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(k.getLevels()[i], 0.0f);
        EXPECT_EQ(k.getFactors()[i], 0.5f);
        k.setParameter(plat::AUParameterAddress(3000 + i), 0.25f + 0.5f * float(i % 2));
    }
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
    const int loudest = int(std::max_element(levels, levels + 32) - levels);
    // The bands pass the high side of each filter: a 440 Hz tone is loud up to the bands
    // around it and faint far above it.
    EXPECT_GE(loudest, 12);
    EXPECT_LE(loudest, 16);
    EXPECT_LE(levels[loudest], 1.0f);
    for (int i = 22; i < 32; ++i) EXPECT_LT(levels[i], 0.5f * levels[loudest]) << i;
}

// (The bypass flag and other channel counts pass through too: the adapter's tests.)
TEST(Kernel, AnyNonZeroBypassParameterPassesTheInputThrough) {
    YUX_Sorvane_Extension_DSPKernel k;
    Stereo in(128, 0.5f), out(128);
    k.setBuffers(&in.list, &out.list, 0);
    plat::AudioTimeStamp ts;
    k.setParameter(0, 0.25f);
    k.renderCycle(&ts, 128, nullptr, nullptr);
    EXPECT_TRUE(out.l == in.l && out.r == in.r);
    k.setParameter(0, 0.0f);
    k.renderCycle(&ts, 128, nullptr, nullptr);
    EXPECT_NE(out.l, in.l);
}

TEST(Kernel, TheFiltersAndFollowersFollowTheSampleRate) {
    YUX_Sorvane_Extension_DSPKernel k;
    k.init(2, 96000.0);
    EXPECT_EQ(k.spectralCompander.compander[1].outFollower.sampleRate, 96000.0f);
    EXPECT_EQ(k.spectralCompander.bandpass[1].sampleRate, 96000.0f);
    EXPECT_GT(k.spectralCompander.bandpass[1].att[31], 0.0f); // 21.1 kHz lies below 0.4 x 96 kHz
}

// A rate the instance ran at before leaves no trace: a 10 kHz tone comes out as from a fresh
// instance at 48 kHz, bit for bit. A rate no host uses is not taken.
TEST(Kernel, RendersAfterARateChangeAsAFreshInstanceAtTheNewRate) {
    auto render = [](YUX_Sorvane_Extension_DSPKernel& k) {
        Stereo io(4800);
        for (std::size_t i = 0; i < io.l.size(); ++i)
            io.l[i] = io.r[i] = 0.5f * float(std::sin(2 * 3.14159265358979 * 10000 * double(i) / 48000));
        cycle(k, io, 4800);
        return io.l;
    };
    YUX_Sorvane_Extension_DSPKernel fresh;
    fresh.init(2, 48000.0);
    const std::vector<float> want = render(fresh);
    const struct {
        const char* fault;
        std::vector<double> rates;
    } rows[] = {
        {"16 kHz mutes the bands above 6.4 kHz for good", {16000.0, 48000.0}},
        {"8 kHz mutes the bands above 3.2 kHz for good", {8000.0, 48000.0}},
        {"a rate below 8 kHz is taken", {20.0}},
        {"a rate below 8 kHz is taken (and mutes for good)", {100.0, 48000.0}},
        {"a rate above 768 kHz is taken", {1e6}},
    };
    for (const auto& row : rows) {
        YUX_Sorvane_Extension_DSPKernel k;
        for (const double rate : row.rates) k.init(2, rate);
        EXPECT_EQ(k.getSamplerate(), 48000.0f) << row.fault;
        EXPECT_TRUE(render(k) == want) << row.fault;
    }
    YUX_Sorvane_Extension_DSPKernel direct;
    for (const float rate : {20.0f, 7999.0f, 768001.0f}) direct.setSamplerate(rate);
    direct.reset();
    EXPECT_EQ(direct.getSamplerate(), 48000.0f) << "a rate no host uses is set on the kernel directly";
    EXPECT_TRUE(render(direct) == want) << "a rate no host uses is set on the kernel directly";
}

TEST(Kernel, MissingBuffersRenderNothing) {
    YUX_Sorvane_Extension_DSPKernel k;
    Stereo one(16, 0.5f);
    one.list.mNumberBuffers = 1;
    cycle(k, one, 16);
    k.setBuffers(nullptr, nullptr, 0);
    plat::AudioTimeStamp ts;
    k.renderCycle(&ts, 16, nullptr, nullptr);
    EXPECT_EQ(one.l[0], 0.5f);
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
    {
        const plat::RealtimeScope renderThread;
        cycle(k, io, 8, &e);
    }
    EXPECT_EQ(console.text(), "unit received parameter : address:1005, value:0.250000\n"
                              "unit sent parameter : address:3\n"
                              "unit received parameter : address:4, value:0.700000\n"
                              "unit received parameter : address:2, value:0.500000\n");
}

} // namespace
