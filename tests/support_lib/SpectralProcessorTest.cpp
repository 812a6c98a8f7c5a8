#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "AllocationCounter.h"
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

double db(double ratio) {
    return 20.0 * std::log10(ratio);
}

double peak(const std::vector<float>& x, std::size_t from) {
    double m = 0.0;
    for (std::size_t i = from; i < x.size(); ++i) m = std::max(m, std::fabs(static_cast<double>(x[i])));
    return m;
}
} // namespace

TEST(ChromaticFilter, BandGainsFromSettings) {
    ChromaticFilter f(1024, 4, 48000.0f);
    f.setChromaticFilterBand(60, 0.8f);
    EXPECT_FLOAT_EQ(f.filterGains[63], 2.56f);
    f.setChromaticFilterBand(60, 0.4f);
    EXPECT_FLOAT_EQ(f.filterGains[63], 0.8f);
    f.setChromaticFilterBand2(61, 0.3f);
    EXPECT_FLOAT_EQ(f.filterGains[64], 0.3f);
    std::vector<float> gains(Scala::kTones, 0.25f);
    f.setChromaticFilterBands(gains.data(), 0.7f);
    EXPECT_FLOAT_EQ(f.filterGains[3], 0.5f);
    EXPECT_FLOAT_EQ(f.filterGains[130], 0.5f);
    EXPECT_FLOAT_EQ(f.filterGains[2], 0.7f);
    EXPECT_FLOAT_EQ(f.filterGains[131], 0.7f);
}

TEST(ChromaticFilter, RangeSilencesEverythingOutside) {
    ChromaticFilter f(1024, 4, 48000.0f);
    f.setChromaticFilterRange(60, 72, 0.0f);
    for (int t = 0; t < Scala::kTones; ++t)
        EXPECT_EQ(f.filterGains[t], (t >= 63 && t <= 75) ? 1.0f : 0.0f) << t;
    ChromaticFilter g(1024, 4, 48000.0f);
    g.setInverted(true);
    g.setChromaticFilterRange(60, 72, 1.0f);
    EXPECT_EQ(g.filterGains[63], 0.0f);
    EXPECT_EQ(g.filterGains[62], 1.0f);
}

TEST(ChromaticFilter, NotesOutsideMidiAreIgnored) {
    ChromaticPitch f(1024, 4, 48000.0f);
    for (int note : {-4, -1, 128, 137, 100000}) {
        f.setChromaticFilterBand(note, 0.0f);
        f.setChromaticFilterBand2(note, 0.0f);
        f.setChromaticPitch(note, 0.0f, 2.0f);
    }
    for (int t = 0; t < Scala::kTones; ++t) {
        EXPECT_EQ(f.filterGains[t], 1.0f);
        EXPECT_EQ(f.pitchFactors[t], 1.0f);
    }
}

TEST(ChromaticFilter, ToneWithGainZeroBetweenOpenTonesIsAttenuated) {
    ChromaticFilter f(8192, 4, static_cast<float>(kRate));
    f.setChromaticFilterBand2(72, 0.0f); // C5
    const int n = 12 * 8192;
    auto x = triad(n);
    const auto in = x;
    f.process(x.data(), n);
    const int from = n - 4 * 8192, len = 4 * 8192;
    const double a = amplitudeAt(x, kA4, kRate, from, len);
    const double c = amplitudeAt(x, kC5, kRate, from, len);
    const double e = amplitudeAt(x, kE5, kRate, from, len);
    EXPECT_GT(a, 0.2);
    EXPECT_GT(e, 0.2);
    EXPECT_LT(db(c / a), -40.0);
    EXPECT_LT(db(c / e), -40.0);
    // Untouched tones keep their balance.
    EXPECT_NEAR(a / e, 1.0, 0.05);
}

TEST(ChromaticFilter, OpenFilterPassesTheSignalDelayed) {
    ChromaticFilter f(1024, 4, static_cast<float>(kRate));
    const int n = 16 * 1024;
    auto x = sine(1000.0, kRate, n, 0.5);
    const auto in = x;
    f.process(x.data(), n);
    // With gain 1 everywhere the output is the input one frame late, at the resynthesis gain.
    const int lag = f.fftSize;
    double ratio = 0.0;
    for (int i = n / 2; i < n; ++i)
        if (std::fabs(in[static_cast<std::size_t>(i - lag)]) > 0.4)
            ratio = std::max(ratio, static_cast<double>(x[static_cast<std::size_t>(i)] /
                                                        in[static_cast<std::size_t>(i - lag)]));
    EXPECT_NEAR(ratio, 1.5, 0.01);
}

TEST(ChromaticPitch, ModeFourLeavesTheSpectrumUnchanged) {
    ChromaticPitch p(1024, 4, static_cast<float>(kRate));
    ChromaticFilter f(1024, 4, static_cast<float>(kRate));
    EXPECT_EQ(p.getMode(), 4);
    const int n = 8 * 1024;
    auto x = triad(n), y = x;
    p.process(x.data(), n);
    f.process(y.data(), n);
    for (int i = 0; i < n; ++i)
        ASSERT_FLOAT_EQ(x[static_cast<std::size_t>(i)], y[static_cast<std::size_t>(i)]);
}

TEST(ChromaticPitch, EveryModeWithUnitSettingsPassesATone) {
    for (int mode : {ChromaticPitch::kShiftPitches, ChromaticPitch::kShiftMagnitudes,
                     ChromaticPitch::kFilterPhases, ChromaticPitch::kFilter}) {
        ChromaticPitch p(4096, 4, static_cast<float>(kRate));
        p.setMode(mode);
        const int n = 16 * 4096;
        auto x = sine(kA4, kRate, n, 0.5);
        p.process(x.data(), n);
        // 1.5 is the resynthesis gain of an unchanged spectrum.
        EXPECT_NEAR(amplitudeAt(x, kA4, kRate, n - 6 * 4096, 4 * 4096), 0.75, 0.02) << mode;
    }
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

TEST(ChromaticPitch, PitchFactorFormula) {
    ChromaticPitch p(1024, 4, 48000.0f);
    p.setChromaticPitch(60, 0.5f, 3.0f);
    EXPECT_FLOAT_EQ(p.pitchFactors[63], 1.5f);
    p.setChromaticPitch(60, -0.5f, 4.0f);
    EXPECT_FLOAT_EQ(p.pitchFactors[63], 0.75f);
    p.setChromaticPitch(60, 0.0f, 4.0f);
    EXPECT_FLOAT_EQ(p.pitchFactors[63], 1.0f);
    p.setChromaticPitch(60, -0.5f, 0.0f);
    EXPECT_FLOAT_EQ(p.pitchFactors[63], 1.0f);
    p.setChromaticFilterRange(60, 61, 0.5f);
    EXPECT_EQ(p.pitchFactors[62], 0.0f);
    EXPECT_EQ(p.pitchFactors[63], 1.0f);
    EXPECT_EQ(p.pitchFactors[0], 0.5f);
    EXPECT_EQ(p.filterGains[0], 0.5f);
}

TEST(Interpolator2, GlidesInEqualSteps) {
    Interpolator2 g(1.0f);
    g.setDestinationValue(2.0f, 12);
    EXPECT_FLOAT_EQ(g.increment, 1.0f / 12.0f);
    for (int i = 1; i < 12; ++i) EXPECT_NEAR(g.getValue(), 1.0f + i / 12.0f, 1e-5f);
    EXPECT_EQ(g.getValue(), 2.0f);
    EXPECT_EQ(g.getValue(), 2.0f);
    EXPECT_EQ(g.increment, 0.0f);
}

TEST(Interpolator2, SmallChangesJumpAndHoldDelaysTheGlide) {
    Interpolator2 g(1.0f);
    g.setDestinationValue(1.00005f, 10);
    EXPECT_EQ(g.value, 1.00005f);
    Interpolator2 h(0.0f);
    h.hold = 2;
    h.setDestinationValue(-1.0f, 0);
    EXPECT_EQ(h.steps, 1);
    EXPECT_EQ(h.getValue(), 0.0f);
    EXPECT_EQ(h.getValue(), 0.0f);
    EXPECT_EQ(h.getValue(), -1.0f);
}

TEST(PitchShifter, UnitShiftPassesAudioUntouched) {
    PitchShifter p(1024, 4, static_cast<float>(kRate));
    EXPECT_EQ(p.getShift(), 1.0f);
    auto x = triad(4096);
    const auto in = x;
    p.process(x.data(), 4096);
    EXPECT_EQ(x, in);
}

TEST(PitchShifter, ShiftGlidesOverTwelveFrames) {
    PitchShifter p(1024, 4, static_cast<float>(kRate));
    p.setShift(2.0f);
    EXPECT_EQ(p.getShift(), 2.0f);
    auto x = sine(kA4, kRate, 256 * 12);
    p.process(x.data(), static_cast<int>(x.size()));
    EXPECT_FLOAT_EQ(p.glide.value, 2.0f);
}

TEST(PitchShifter, DoublingMovesTheToneUpAnOctave) {
    PitchShifter p(4096, 4, static_cast<float>(kRate));
    p.setShift(2.0f);
    const int n = 16 * 4096;
    auto x = sine(kA4, kRate, n, 0.5);
    p.process(x.data(), n);
    const int from = n - 6 * 4096, len = 4 * 4096;
    EXPECT_GT(amplitudeAt(x, 2 * kA4, kRate, from, len), 0.1);
    EXPECT_LT(amplitudeAt(x, kA4, kRate, from, len), 0.02);
}

TEST(CrossModulator, ZeroAmountIsSilent) {
    CrossModulator m(1024, 4, static_cast<float>(kRate));
    m.setAmount(0.0f);
    EXPECT_EQ(m.getAmount(), 0.0f);
    const int n = 16 * 1024;
    auto a = triad(n);
    auto b = sine(kC5, kRate, n);
    m.process(a.data(), b.data(), n);
    EXPECT_EQ(peak(b, 0), 0.0);
}

TEST(CrossModulator, SharedEnergyComesThrough) {
    CrossModulator m(4096, 4, static_cast<float>(kRate));
    const int n = 24 * 4096;
    auto a = sine(kA4, kRate, n, 0.5);
    auto b = sine(kA4, kRate, n, 0.5);
    add(b, sine(kE5, kRate, n, 0.5));
    m.process(a.data(), b.data(), n);
    const int from = n - 6 * 4096, len = 4 * 4096;
    const double shared = amplitudeAt(b, kA4, kRate, from, len);
    const double other = amplitudeAt(b, kE5, kRate, from, len);
    EXPECT_GT(shared, 1e-3);
    EXPECT_LT(db(other / shared), -40.0);
}

TEST(CrossModulator, RangeStaysOnTheGrid) {
    CrossModulator m(512, 4, 48000.0f);
    m.setRange(-10, 1000);
    EXPECT_EQ(m.rangeLow, 0);
    EXPECT_EQ(m.rangeHigh, Scala::kNoteEnd);
    auto a = triad(8192), b = triad(8192);
    m.process(a.data(), b.data(), 8192);
    m.setSize(2048);
    m.process(a.data(), b.data(), 8192);
    EXPECT_TRUE(std::isfinite(peak(b, 0)));
}

TEST(SuperSpectro, WaveletPeaksAtTheBandCentreForEveryQuality) {
    const float scale = 0.01f;
    EXPECT_NEAR(wavelet(100.0f, scale, 10.0f), std::sqrt(scale * 10.0f) * 1.8827925f, 1e-5f);
    EXPECT_NEAR(wavelet(100.0f, scale, 5.0f), std::sqrt(scale * 5.0f) * 1.8827925f, 1e-5f);
    EXPECT_LT(wavelet(110.0f, scale, 10.0f), wavelet(100.0f, scale, 10.0f) * 0.01f);
}

TEST(SuperSpectro, OutputStaysBoundedAndContinuous) {
    const double rate = 8000.0, hz = 440.0;
    SuperSpectro s(1024, 4, static_cast<float>(rate));
    const int n = 40 * 1024;
    auto x = sine(hz, rate, n, 0.5);
    s.process(x.data(), n);
    const std::size_t from = static_cast<std::size_t>(n / 2);
    const double top = peak(x, from);
    EXPECT_GT(top, 0.01);
    EXPECT_LT(top, 4.0);
    // The bands keep the phase of what they pass: the output is the same steady tone, not a
    // tone whose level swells and sinks with each frame.
    EXPECT_NEAR(amplitudeAt(x, hz, rate, static_cast<int>(from), 8192) / top, 1.0, 0.05);
    // A sinusoid of peak `top` moves at most 2 pi f / rate x top per sample; frame seams must not jump.
    double step = 0.0;
    for (std::size_t i = from; i + 1 < x.size(); ++i)
        step = std::max(step, std::fabs(static_cast<double>(x[i + 1] - x[i])));
    EXPECT_LT(step, 1.2 * 2.0 * std::numbers::pi * hz / rate * top);
}

TEST(SpectralProcessors, NoAllocationPerSample) {
    PitchShifter p(1024, 4, static_cast<float>(kRate));
    p.setShift(1.5f);
    SuperSpectro s(256, 4, 2000.0f);
    ChromaticPitch c(1024, 4, static_cast<float>(kRate));
    c.setChromatic(false);
    c.setMode(ChromaticPitch::kFilter);
    auto x = triad(8192);
    const long before = allocations::onThisThread();
    p.process(x.data(), 8192);
    s.process(x.data(), 8192);
    c.process(x.data(), 8192);
    EXPECT_EQ(allocations::onThisThread(), before);
}
