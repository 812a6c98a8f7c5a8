// The adapter driven as a host drives it (refusals before allocation and after release, bypass
// and events are the audio unit's and the kernel's tests).
#include "Cores.h"
#include "RenderHost.h"
#include "StereoBuffers.h"
#include "YUX_Sorvane_ExtensionDSPKernelAdapter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

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

// A failed pull, or an output list that cannot take every channel: refused, the output untouched.
TEST(Adapter, RefusesCyclesItCannotRenderWhole) {
    struct Case {
        const char* fault;
        std::uint32_t buffers;
        int nullBuffer; // -1: none
        bool pullFails;
    };
    const Case cases[] = {
        {"a failed pull rendered", 2, -1, true},
        {"second buffer missing", 2, 1, false},
        {"one buffer for two channels", 1, -1, false},
        {"in place with one buffer", 1, 0, false},
        {"no buffers", 0, -1, false},
        {"in place with lists claiming more buffers than a list holds", 9, 0, false},
    };
    for (const Case& c : cases) {
        Adapter a;
        ASSERT_TRUE(a.allocateRenderResources());
        Stereo out(64, 9.0f);
        out.list.mNumberBuffers = c.buffers;
        if (c.nullBuffer >= 0) out.list.mBuffers[c.nullBuffer].mData = nullptr;
        const plat::AudioBufferList before = out.list;
        const std::vector<float> silence(64);
        plat::AURenderPullInputBlock pull = pullOf(silence);
        if (c.pullFails) pull = [](auto*, auto*, auto, auto, auto*) { return plat::OSStatus(-50); };
        plat::AudioTimeStamp ts;
        EXPECT_EQ(a.render(nullptr, &ts, 64, 0, &out.list, nullptr, &pull),
                  c.pullFails ? -50 : plat::kAudioUnitErr_InvalidPropertyValue)
            << c.fault;
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
    // The render block insists on a pull block.
    EXPECT_EQ(a.internalRenderBlock()(nullptr, &ts, 64, 0, &out.list, nullptr, nullptr),
              plat::kAudioUnitErr_NoConnection);
}

TEST(Adapter, InPlaceRenderingMapsOnlyTheInputsBuffers) {
    Adapter a;
    ASSERT_TRUE(a.allocateRenderResources());
    const std::vector<float> src(256, 0.25f);
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
    const std::vector<float> src(128, 0.25f);
    const auto pull = pullOf(src);
    Stereo out(128);
    out.list.mNumberBuffers = 1;
    plat::AudioTimeStamp ts;
    EXPECT_EQ(a.render(nullptr, &ts, 128, 0, &out.list, nullptr, &pull), plat::noErr);
    EXPECT_EQ(out.l, src);
}

// Rates the filters cannot be computed at (none, or beyond single precision either way) are not
// taken: a bus refuses them, and the kernel renders on at the rate it had.
TEST(Adapter, RatesTheFiltersCannotRunAtAreNotTaken) {
    for (const double rate : {1e39, 1e-40})
        EXPECT_FALSE(Adapter().outputBus()->setFormat(plat::AVAudioFormat(rate, 2))) << rate;
    for (const float rate : {0.0f, NAN, INFINITY, 1e-40f}) {
        Adapter a;
        ASSERT_TRUE(a.allocateRenderResources());
        a.setSamplerate(rate);
        RenderHost host(a.internalRenderBlock(), 512);
        ASSERT_EQ(host.cycle(512), plat::noErr);
        EXPECT_TRUE(std::all_of(host.out[0].begin(), host.out[0].end(), [](float x) {
            return std::isfinite(x);
        })) << rate;
    }
}

// A bus takes the rates a real host runs at and refuses every other, saying why; a refused
// rate leaves the format, and the rate the kernel allocates with, as they were.
TEST(Adapter, BusesTakeTheRatesARealHostUsesAndRefuseOthersWithAnError) {
    const struct {
        double rate;
        const char* refusal; // null: taken
    } rows[] = {
        {7999.0, "sample rate 7999 Hz not supported: a bus carries 8000 to 768000 Hz"},
        {8000.0, nullptr},
        {768000.0, nullptr},
        {768001.0, "sample rate 768001 Hz not supported: a bus carries 8000 to 768000 Hz"},
        {1e-30, "sample rate 1e-30 Hz not supported: a bus carries 8000 to 768000 Hz"},
        {3e38, "sample rate 3e+38 Hz not supported: a bus carries 8000 to 768000 Hz"},
        {NAN, "sample rate nan Hz not supported: a bus carries 8000 to 768000 Hz"},
    };
    for (const auto& [rate, refusal] : rows) {
        const plat::AVAudioFormat format(rate, 2);
        plat::Error made, set;
        const auto bus = plat::AUAudioUnitBus::make(format, &made);
        Adapter a;
        const bool taken = a.outputBus()->setFormat(format, &set);
        EXPECT_EQ(taken, refusal == nullptr) << rate;
        EXPECT_EQ(bus != nullptr, refusal == nullptr) << rate;
        if (refusal) {
            EXPECT_EQ(set.description, refusal);
            EXPECT_EQ(made.description, refusal);
            EXPECT_EQ(set.code, plat::kAudioUnitErr_FormatNotSupported);
        }
        ASSERT_TRUE(a.allocateRenderResources());
        const double held = refusal ? 48000.0 : rate;
        EXPECT_EQ(a.outputBus()->format().sampleRate(), held) << rate;
        EXPECT_EQ(a.getSamplerate(), float(held)) << rate;
    }
}

// What the panel's ring labels show: band i is centred a major third above band i - 1, band 0 on
// the C of MIDI note 12 (440 Hz x 2^((4 i - 57) / 12), 16.35 Hz); a band whose centre lies above
// 0.4 x the rate in force reports that limit.
TEST(Adapter, FrequenciesAreTheBandCentresCutAtTheLimitOfTheRateInForce) {
    const struct {
        const char* fault;
        std::vector<float> rates; // set in turn; none: as made
    } rows[] = {
        {"a centre off its note at 48 kHz, or band 31 above the limit", {}},
        {"band 31 above the limit at 44.1 kHz", {44100.0f}},
        {"band 31 still at the limit of a lower rate at 96 kHz", {96000.0f}},
        {"the top bands not cut to the limit at 8 kHz", {8000.0f}},
        {"the limit of 8 kHz kept after a change to 32 kHz", {8000.0f, 32000.0f}},
        {"the limit of 44.1 kHz kept after a change back to 48 kHz", {44100.0f, 48000.0f}},
    };
    for (const auto& row : rows) {
        Adapter a;
        for (const float rate : row.rates) a.setSamplerate(rate);
        const float limit = 0.4f * a.getSamplerate();
        const float* centres = a.getFrequencies();
        for (int i = 0; i < 32; ++i) {
            const float centre = float(440.0 * std::exp2((4 * i - 57) / 12.0));
            EXPECT_FLOAT_EQ(centres[i], std::min(centre, limit)) << row.fault << ", band " << i;
        }
    }
}

TEST(Adapter, ResetWhileAllocatedIsCarriedOutByTheNextCycle) {
    Adapter a;
    a.setParameter(1002, 0.1f);
    ASSERT_TRUE(a.allocateRenderResources());
    RenderHost host(a.internalRenderBlock(), 2048);
    ASSERT_EQ(host.cycle(2048), plat::noErr);
    EXPECT_GT(a.getLevels()[8], 0.0f);
    a.reset();
    for (auto& in : host.in) std::fill(in.begin(), in.end(), 0.0f);
    ASSERT_EQ(host.cycle(64), plat::noErr);
    EXPECT_EQ(a.getLevels()[8], 0.0f);
    EXPECT_EQ(a.kernel().spectralCompander.bandpass[0].gain[2], 0.1f); // levels survive the reset
}

// MIDI leaves only with the kernel's thru set, never the real-time messages, through the block set
// last, or the one a render block was made with.
TEST(Adapter, MidiReachesTheOutputBlockOnlyThroughThruAndNeverRealtime) {
    Adapter a;
    std::vector<std::uint8_t> sent;
    a.setAUMIDIOutputEventBlock([&](auto, std::uint8_t cable, auto, const std::uint8_t* bytes) {
        EXPECT_EQ(cable, 0);
        sent.push_back(bytes[0]);
        return plat::noErr;
    });
    ASSERT_TRUE(a.allocateRenderResources());
    std::vector<plat::AURenderEvent> ev(7);
    const std::uint8_t status[7] = {0xF8, 0x90, 0xFA, 0xFB, 0xFC, 0xFF, 0x80};
    for (int i = 0; i < 7; ++i) {
        ev[i].MIDI.eventType = plat::AURenderEventType::MIDI;
        ev[i].MIDI.length = 3;
        ev[i].MIDI.data[0] = status[i];
        ev[i].MIDI.next = i < 6 ? &ev[i + 1] : nullptr;
    }
    const std::vector<float> silence(64);
    const auto pull = pullOf(silence);
    Stereo out(64);
    plat::AudioTimeStamp ts;
    auto block = a.internalRenderBlock();
    const auto render = [&] { return a.render(nullptr, &ts, 64, 0, &out.list, &ev[0], &pull); };
    EXPECT_EQ(render(), plat::noErr);
    EXPECT_TRUE(sent.empty());
    a.kernel().midiThru = true;
    EXPECT_EQ(render(), plat::noErr);
    EXPECT_EQ(sent, std::vector<std::uint8_t>({0x90, 0x80}));
    a.setAUMIDIOutputEventBlock(nullptr);
    EXPECT_EQ(render(), plat::noErr);
    EXPECT_EQ(block(nullptr, &ts, 64, 0, &out.list, &ev[0], &pull), plat::noErr);
    EXPECT_EQ(sent, std::vector<std::uint8_t>({0x90, 0x80, 0x90, 0x80}));
}

class BadSamples : public ::testing::TestWithParam<CompanderCoreFn> {};

// One bad sample in a loud tone spoils no more than its own cycle: the output is finite from the
// next cycle on, and in the silence that follows the meters fall back to rest.
TEST_P(BadSamples, SpoilNoMoreThanTheirOwnCycle) {
    const struct {
        const char* input;
        float value;
        std::uint32_t frame;
    } rows[] = {
        {"NaN", NAN, 100},
        {"+inf", INFINITY, 100},
        {"-inf on the last frame: the state infinite, not yet NaN, when the cycle ends", -INFINITY, 511},
        {"3e38: finite, yet the state overflows within its cycle", 3e38f, 100},
        {"-3e38 on the last frame: a finite state that overflows in the next cycle", -3e38f, 511},
    };
    for (const auto& row : rows) {
        Adapter a;
        a.kernel().spectralCompander.setCore(GetParam());
        a.setParameter(1, 1.0f); // the detectors see the tone far above full scale
        ASSERT_TRUE(a.allocateRenderResources());
        RenderHost host(a.internalRenderBlock(), 512);
        host.in[0][row.frame] = row.value;
        host.cycle(512);
        for (auto& in : host.in) std::fill(in.begin(), in.end(), 0.0f);
        int nonFinite = 0;
        for (int c = 0; c < 100; ++c) {
            host.cycle(512);
            for (const auto& out : host.out)
                for (float x : out) nonFinite += !std::isfinite(x);
        }
        EXPECT_EQ(nonFinite, 0) << row.input;
        float worst = 0.0f; // at rest: no level, and a factor of 1 + the compander's own slope 0.2
        for (int i = 0; i < 32; ++i)
            worst = std::max({worst, a.getLevels()[i], std::fabs(a.getFactors()[i] - 0.6f)});
        EXPECT_LT(worst, 0.01f) << row.input;
    }
}

// A sample beyond the input bound, however large, spoils no more than its cycle either: from the
// next cycle on, each cycle's peak lies within 1 dB of an untouched unit's (the restarted filters
// ring back within the first). The fastest attack lets the spike drive the followers far up.
TEST_P(BadSamples, HugeOnesLeaveTheFollowingCyclesAsTheyWouldHaveBeen) {
    constexpr std::uint32_t kFrames = 510; // no multiple of four: the last frame is checked alone
    const struct {
        const char* fault;
        float value;
        std::uint32_t frame; // kFrames: every frame
    } rows[] = {
        {"1e4 on the last frame rings on", 1e4f, kFrames - 1},
        {"1e6 rings for half a second", 1e6f, 100},
        {"1e10 rings for a second", 1e10f, 100},
        {"1e30 leaves the bands it reaches least ringing at 1e15", 1e30f, 100},
        {"the float maximum leaves bands ringing", FLT_MAX, 100},
        {"a whole cycle of 1e6 rings for seconds", 1e6f, kFrames},
    };
    const auto peak = [](const std::vector<float>& v) {
        float p = 0.0f;
        for (const float x : v) p = std::max(p, std::fabs(x));
        return p;
    };
    for (const auto& row : rows) {
        Adapter spiked, untouched;
        for (Adapter* a : {&spiked, &untouched}) {
            a->kernel().spectralCompander.setCore(GetParam());
            a->setParameter(1, 1.0f);
            a->setParameter(2, 0.0f); // the fastest attack
            ASSERT_TRUE(a->allocateRenderResources());
        }
        RenderHost host(spiked.internalRenderBlock(), kFrames),
            reference(untouched.internalRenderBlock(), kFrames);
        for (int c = 0; c < 10; ++c) host.cycle(kFrames), reference.cycle(kFrames);
        const std::vector<float> tone = host.in[0];
        if (row.frame == kFrames)
            std::fill(host.in[0].begin(), host.in[0].end(), row.value);
        else
            host.in[0][row.frame] = row.value;
        host.cycle(kFrames), reference.cycle(kFrames);
        host.in[0] = tone;
        float worst = 0.0f; // dB either way
        for (int c = 0; c < 40; ++c) {
            host.cycle(kFrames), reference.cycle(kFrames);
            for (int ch = 0; ch < 2; ++ch)
                worst = std::max(worst,
                                 std::fabs(20.0f * std::log10(peak(host.out[ch]) / peak(reference.out[ch]))));
        }
        EXPECT_LT(worst, 1.0f) << row.fault;
    }
}

INSTANTIATE_TEST_SUITE_P(Cores, BadSamples, ::testing::ValuesIn(cores()), coreName);

} // namespace
