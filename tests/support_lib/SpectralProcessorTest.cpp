#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "ChromaticPitch.h"
#include "CrossModulator.h"
#include "Interpolator2.h"
#include "PitchShifter.h"
#include "SpectroTestSignals.h"
#include "SuperSpectro.h"

using namespace SPECTRO;
using namespace spectro_test;

namespace {
constexpr double kRate = 48000.0;
constexpr double kA4 = 440.0, kC5 = 523.2511, kE5 = 659.2551;

std::vector<float> triad(int n) {
    auto x = sine(kA4, kRate, n, 0.3);
    add(x, sine(kC5, kRate, n, 0.3));
    add(x, sine(kE5, kRate, n, 0.3));
    return x;
}

double peak(const std::vector<float>& x, std::size_t from) {
    double m = 0.0;
    for (std::size_t i = from; i < x.size(); ++i) m = std::max(m, std::fabs(static_cast<double>(x[i])));
    return m;
}
} // namespace

TEST(ChromaticFilter, GainsAndPitchFactorsFromSettingsWithinTheNoteRange) {
    ChromaticPitch p(1024, 4, 48000.0f), inverted(1024, 4, 48000.0f);
    // Note n is tone n + 3. A band setting v gives 2 v, squared above one; the second form v itself.
    const std::tuple<std::function<void()>, const float*, int, float> cases[] = {
        {[&] { p.setChromaticFilterBand(60, 0.8f); }, p.filterGains, 63, 2.56f},
        {[&] { p.setChromaticFilterBand(60, 0.4f); }, p.filterGains, 63, 0.8f},
        {[&] { p.setChromaticFilterBand2(61, 0.3f); }, p.filterGains, 64, 0.3f},
        {[&] { p.setChromaticPitch(60, 0.5f, 3.0f); }, p.pitchFactors, 63, 1.5f},
        {[&] { p.setChromaticPitch(60, -0.5f, 4.0f); }, p.pitchFactors, 63, 0.75f},
        {[&] { p.setChromaticPitch(60, 0.0f, 4.0f); }, p.pitchFactors, 63, 1.0f},
        {[&] { p.setChromaticPitch(60, -0.5f, 0.0f); }, p.pitchFactors, 63, 1.0f},
    };
    for (int note : {-4, -1, 128, 137, 100000}) { // outside MIDI: ignored
        p.setChromaticFilterBand(note, 0.0f), p.setChromaticFilterBand2(note, 0.0f),
            p.setChromaticPitch(note, 0.5f, 2.0f);
    }
    for (int tone : {0, 2, 131, 139})
        EXPECT_EQ(std::tuple(p.filterGains[tone], p.pitchFactors[tone]), std::tuple(1.0f, 1.0f));
    for (const auto& [set, values, tone, expected] : cases) {
        set();
        EXPECT_FLOAT_EQ(values[tone], expected) << tone;
    }
    std::vector<float> gains(Scala::kTones, 0.25f);
    p.setChromaticFilterBands(gains.data(), 0.7f);
    for (const auto& [tone, gain] : {std::pair{2, 0.7f}, {3, 0.5f}, {130, 0.5f}, {131, 0.7f}})
        EXPECT_FLOAT_EQ(p.filterGains[tone], gain);
    p.setChromaticFilterRange(60, 72,
                              0.0f); // silences the notes outside, and sets what lies beyond the notes
    inverted.setInverted(true);
    inverted.setChromaticFilterRange(60, 72, 1.0f);
    for (int t = 3; t <= 130; ++t) {
        const bool inside = t >= 63 && t <= 75;
        EXPECT_EQ(p.filterGains[t], inside ? 0.5f : 0.0f) << t;
        EXPECT_EQ(p.pitchFactors[t], inside ? 1.0f : 0.0f) << t;
        EXPECT_EQ(inverted.filterGains[t], inside ? 0.0f : 1.0f) << t;
    }
    EXPECT_EQ(std::tuple(p.filterGains[0], p.pitchFactors[0]), std::tuple(0.0f, 0.0f));
}

TEST(ChromaticFilter, AClosedToneBetweenOpenOnesIsAttenuated) {
    ChromaticFilter f(8192, 4, static_cast<float>(kRate));
    f.setChromaticFilterBand2(72, 0.0f); // C5
    const int n = 12 * 8192, from = n - 4 * 8192, len = 4 * 8192;
    auto x = triad(n);
    f.process(x.data(), n);
    const double a = amplitudeAt(x, kA4, kRate, from, len), c = amplitudeAt(x, kC5, kRate, from, len),
                 e = amplitudeAt(x, kE5, kRate, from, len);
    EXPECT_GT(std::min(a, e), 0.2);
    EXPECT_LT(c / std::min(a, e), 0.01); // 40 dB down
    EXPECT_NEAR(a / e, 1.0, 0.05);       // untouched tones keep their balance
}

TEST(ChromaticPitch, EveryModePassesAToneAtUnitSettingsAndByDefaultItIsTheFilter) {
    for (int mode : {ChromaticPitch::kShiftPitches, ChromaticPitch::kShiftMagnitudes,
                     ChromaticPitch::kFilterPhases, ChromaticPitch::kFilter}) {
        ChromaticPitch p(4096, 4, static_cast<float>(kRate));
        p.setMode(mode);
        auto x = sine(kA4, kRate, 16 * 4096, 0.5);
        p.process(x.data(), 16 * 4096);
        EXPECT_NEAR(amplitudeAt(x, kA4, kRate, 10 * 4096, 4 * 4096), 0.75, 0.02)
            << mode; // resynthesis gain 1.5
    }
    ChromaticPitch p(1024, 4, static_cast<float>(kRate));
    ChromaticFilter f(1024, 4, static_cast<float>(kRate));
    auto x = triad(8 * 1024), y = x;
    p.process(x.data(), 8 * 1024);
    f.process(y.data(), 8 * 1024);
    EXPECT_EQ(x, y);
}

TEST(ChromaticPitch, PitchModeShiftsByThePitchFactors) {
    ChromaticPitch p(4096, 4, static_cast<float>(kRate));
    p.setMode(ChromaticPitch::kShiftPitches);
    for (int note = 0; note < 128; ++note) p.setChromaticPitch(note, 2.0f, 1.0f);
    p.setOutsideRange(2.0f);
    EXPECT_FLOAT_EQ(p.pitchFactors[60], 2.0f);
    // The filter gains are not pitch factors: a closed filter must not silence the shift.
    for (int note = 0; note < 128; ++note) p.setChromaticFilterBand2(note, 0.0f);
    const int n = 8 * 4096;
    auto x = sine(kA4, kRate, n, 0.5);
    p.process(x.data(), n);
    const int a4 = static_cast<int>(std::lround(kA4 / p.binWidth));
    EXPECT_NEAR(p.shiftedFrequencies[2 * a4], 2 * kA4, 2.0);
    EXPECT_GT(p.shiftedMagnitudes[2 * a4], 0.5f * p.magnitudes[a4]);
    EXPECT_LT(p.shiftedMagnitudes[a4], 1e-3f * p.magnitudes[a4]);
}

TEST(Interpolator2, GlidesInEqualStepsHoldsFirstAndJumpsOverSmallChanges) {
    Interpolator2 g(1.0f), h(0.0f), small(1.0f);
    g.setDestinationValue(2.0f, 12);
    for (int i = 1; i < 12; ++i) EXPECT_NEAR(g.getValue(), 1.0f + i / 12.0f, 1e-5f);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(g.getValue(), 2.0f);
    EXPECT_EQ(g.increment, 0.0f);
    h.hold = 2;
    h.setDestinationValue(-1.0f, 0); // at least one step
    for (float expected : {0.0f, 0.0f, -1.0f}) EXPECT_EQ(h.getValue(), expected);
    small.setDestinationValue(1.00005f, 10);
    EXPECT_EQ(small.value, 1.00005f);
}

TEST(PitchShifter, AUnitShiftPassesAudioUntouchedAndDoublingGlidesUpAnOctave) {
    PitchShifter unit(1024, 4, static_cast<float>(kRate)), p(4096, 4, static_cast<float>(kRate));
    auto x = triad(4096);
    const auto in = x;
    unit.process(x.data(), 4096);
    EXPECT_EQ(x, in);
    p.setShift(2.0f);
    EXPECT_EQ(p.getShift(), 2.0f);
    auto y = sine(kA4, kRate, 16 * 4096, 0.5);
    p.process(y.data(), 1024 * 12); // twelve frames of glide
    EXPECT_FLOAT_EQ(p.glide.value, 2.0f);
    p.process(y.data() + 1024 * 12, 16 * 4096 - 1024 * 12);
    EXPECT_GT(amplitudeAt(y, 2 * kA4, kRate, 10 * 4096, 4 * 4096), 0.1);
    EXPECT_LT(amplitudeAt(y, kA4, kRate, 10 * 4096, 4 * 4096), 0.02);
}

TEST(CrossModulator, PassesOnlySharedEnergyNothingAtZeroAmountAndKeepsItsRangeOnTheGrid) {
    CrossModulator m(4096, 4, static_cast<float>(kRate)), silent(1024, 4, static_cast<float>(kRate)),
        wide(512, 4, 48000.0f);
    const int n = 24 * 4096, from = n - 6 * 4096, len = 4 * 4096;
    auto a = sine(kA4, kRate, n, 0.5), b = sine(kA4, kRate, n, 0.5);
    add(b, sine(kE5, kRate, n, 0.5));
    auto c = b;
    m.process(a.data(), b.data(), n);
    const double shared = amplitudeAt(b, kA4, kRate, from, len),
                 other = amplitudeAt(b, kE5, kRate, from, len);
    EXPECT_GT(shared, 1e-3);
    EXPECT_LT(other / shared, 0.01); // 40 dB down
    silent.setAmount(0.0f);
    silent.process(a.data(), c.data(), n);
    EXPECT_EQ(peak(c, 0), 0.0);
    wide.setRange(-10, 1000);
    EXPECT_EQ(std::tuple(wide.rangeLow, wide.rangeHigh), std::tuple(0, Scala::kNoteEnd));
    wide.process(a.data(), c.data(), 8192);
    wide.setSize(2048);
    wide.process(a.data(), c.data(), 8192);
    EXPECT_TRUE(std::isfinite(peak(c, 0)));
}

TEST(SuperSpectro, WaveletsPeakAtTheirCentreForEveryQualityAndTheOutputIsASteadyTone) {
    for (float q : {10.0f, 5.0f})
        EXPECT_NEAR(wavelet(100.0f, 0.01f, q), std::sqrt(0.01f * q) * 1.8827925f, 1e-5f);
    EXPECT_LT(wavelet(110.0f, 0.01f, 10.0f), wavelet(100.0f, 0.01f, 10.0f) * 0.01f);
    const double rate = 8000.0, hz = 440.0;
    SuperSpectro s(1024, 4, static_cast<float>(rate));
    const int n = 40 * 1024;
    auto x = sine(hz, rate, n, 0.5);
    s.process(x.data(), n);
    const std::size_t from = static_cast<std::size_t>(n / 2);
    const double top = peak(x, from);
    EXPECT_GT(top, 0.01);
    EXPECT_LT(top, 4.0);
    // The bands keep the phase of what they pass: no level swelling and sinking with each frame, and
    // no jumps at frame seams (a sinusoid of peak `top` moves at most 2 pi f / rate x top per sample).
    EXPECT_NEAR(amplitudeAt(x, hz, rate, static_cast<int>(from), 8192) / top, 1.0, 0.05);
    double step = 0.0;
    for (std::size_t i = from; i + 1 < x.size(); ++i)
        step = std::max(step, std::fabs(double(x[i + 1] - x[i])));
    EXPECT_LT(step, 1.2 * 2.0 * std::numbers::pi * hz / rate * top);
}
