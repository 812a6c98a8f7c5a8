#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "AllocationCounter.h"
#include "Analyzer.h"
#include "ConsoleCapture.h"
#include "SpectroTestSignals.h"

using SPECTRO::Analyzer;
using namespace spectro_test;

namespace {
// Counts frames and analyses.
class CountingAnalyzer : public Analyzer {
public:
    using Analyzer::Analyzer;
    void onBufferReady() override {
        ++frames;
        Analyzer::onBufferReady();
    }
    void onAnalysis(float* f, float* m) override {
        ++analyses;
        Analyzer::onAnalysis(f, m);
    }
    int frames = 0;
    int analyses = 0;
};

int peakBin(const float* mag, int half) {
    return static_cast<int>(std::max_element(mag, mag + half + 1) - mag);
}
} // namespace

TEST(Analyzer, ConstructionPrintsItsLineAndFallsBackFromBadValues) {
    ConsoleCapture console;
    Analyzer a(4096, 2, 48000.0f);
    const std::string line = console.text();
    EXPECT_EQ(line.rfind("DIAGNOSTICS: FFT Analyzer loaded. [ ", 0), 0u);
    EXPECT_EQ(line.back(), '\n');
    EXPECT_FLOAT_EQ(a.binWidth, 11.71875f);
    EXPECT_EQ(a.hop, 2048);
    Analyzer bad(1000, 0, 0.0f), overlapped(256, 512, 44100.0f);
    EXPECT_EQ(bad.getSize(), 4096);
    EXPECT_EQ(bad.getOverlap(), 2);
    EXPECT_FLOAT_EQ(bad.getSamplerate(), 48000.0f);
    EXPECT_EQ(overlapped.getSize(), 256);
    EXPECT_EQ(overlapped.getOverlap(), 2);
}

TEST(FFTBase, ForwardThenInverseGivesSizeTimesTheInput) {
    Analyzer a(256, 2, 48000.0f);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> data(2 * 256), original;
    for (float& v : data) v = d(rng);
    original = data;
    a.fft(-1, data.data());
    a.fft(+1, data.data());
    for (std::size_t i = 0; i < data.size(); ++i) EXPECT_NEAR(data[i], 256.0f * original[i], 1e-3f);
}

TEST(FFTBase, ForwardTransformOfACosineHitsItsBins) {
    Analyzer a(64, 2, 48000.0f);
    std::vector<float> data(2 * 64, 0.0f);
    for (int i = 0; i < 64; ++i)
        data[2 * i] = static_cast<float>(std::cos(2.0 * std::numbers::pi * 5 * i / 64));
    a.fft(-1, data.data());
    for (int k = 0; k < 64; ++k) {
        const float m = std::hypot(data[2 * k], data[2 * k + 1]);
        EXPECT_NEAR(m, (k == 5 || k == 59) ? 32.0f : 0.0f, 1e-3f) << k;
    }
}

TEST(Analyzer, SinesOnAndBetweenBinsGiveTheirTrueFrequency) {
    Analyzer a(1024, 4, 48000.0f);
    a.setUpdateRate(0);
    const float hz = 10.0f * a.binWidth;
    auto x = sine(hz, 48000.0, 8 * 1024);
    a.process(x.data(), static_cast<int>(x.size()));
    EXPECT_NEAR(a.getFrequencies(10), hz, 1e-2f);
    EXPECT_EQ(peakBin(a.getMagnitudes(), a.halfSize), 10);
    EXPECT_NEAR(a.getMagnitudes(10), 1024.0f * 0.5f, 5.0f);
    x = sine(1000.0, 48000.0, 8 * 1024);
    a.process(x.data(), static_cast<int>(x.size()));
    EXPECT_NEAR(a.getFrequencies(peakBin(a.getMagnitudes(), a.halfSize)), 1000.0f, 1.0f);
}

TEST(Analyzer, FramesFireEveryHopAfterTheFirstHop) {
    CountingAnalyzer a(256, 4, 48000.0f);
    std::vector<float> x(64 - 1, 0.1f);
    a.process(x.data(), static_cast<int>(x.size()));
    EXPECT_EQ(a.frames, 0);
    float one = 0.1f;
    a.process(&one, 1);
    EXPECT_EQ(a.frames, 1);
    std::vector<float> more(64 * 3, 0.1f);
    a.process(more.data(), static_cast<int>(more.size()));
    EXPECT_EQ(a.frames, 4);
}

TEST(Analyzer, UpdateRateThinsAnalysesAndZeroAnalysesEveryFrame) {
    CountingAnalyzer a(256, 4, 48000.0f);
    a.setUpdateRate(375); // 48000 / 256 * 4 / 375 = 2
    EXPECT_EQ(a.updateInterval, 2);
    std::vector<float> x(64 * 8, 0.1f);
    a.process(x.data(), static_cast<int>(x.size()));
    EXPECT_EQ(a.analyses, 4);
    a.setUpdateRate(0);
    a.analyses = 0;
    a.process(x.data(), static_cast<int>(x.size()));
    EXPECT_EQ(a.analyses, 8);
    a.setUpdateRate(-3);
    EXPECT_EQ(a.updateRate, 0);
    EXPECT_EQ(a.updateInterval, 1);
}

TEST(Analyzer, QuietFramesAreNormalisedByOne) {
    Analyzer a(256, 4, 48000.0f);
    a.setUpdateRate(0);
    auto x = sine(48000.0 / 256 * 8, 48000.0, 64 * 10, 1e-3);
    a.process(x.data(), static_cast<int>(x.size()));
    EXPECT_FLOAT_EQ(a.normMax, 0.99f);
    for (int k = 0; k <= a.halfSize; ++k) EXPECT_FLOAT_EQ(a.getMagnitudesNormalized(k), a.getMagnitudes(k));
}

TEST(Analyzer, ChromaticReadoutPutsA440OnItsTone) {
    Analyzer a(8192, 4, 48000.0f);
    a.setChromatic(true);
    a.setUpdateRate(0);
    auto x = sine(440.0, 48000.0, 6 * 8192);
    a.process(x.data(), static_cast<int>(x.size()));
    const float* chroma = a.scala.getChromatic(0, 127, true);
    EXPECT_EQ(std::max_element(chroma, chroma + 128) - chroma, 69);
    EXPECT_FLOAT_EQ(chroma[69], 1.0f);
    const int k = static_cast<int>(std::lround(440.0 / a.binWidth));
    EXPECT_EQ(a.binToTone[static_cast<std::size_t>(k)], 72);
    EXPECT_GT(a.scala.tones[72].records.Count(), 0u);
}

TEST(Analyzer, BadSettingsAreRefusedAndTheOldValuesKept) {
    Analyzer a(512, 4, 48000.0f);
    for (int size : {0, -512, 1, 1000, 3, 1 << 30}) a.setSize(size);
    a.setSize(2); // below the overlap
    EXPECT_EQ(a.getSize(), 512);
    for (int overlap : {0, -2, 513}) a.setOverlap(overlap);
    EXPECT_EQ(a.getOverlap(), 4);
    a.setSamplerate(0.0f);
    a.setSamplerate(-1.0f);
    a.setSamplerate(NAN);
    EXPECT_FLOAT_EQ(a.getSamplerate(), 48000.0f);
    EXPECT_EQ(a.hop, 128);
    auto x = sine(1000.0, 48000.0, 4096);
    a.process(x.data(), static_cast<int>(x.size()));
    EXPECT_TRUE(std::isfinite(a.getFrequencies(10)));
}

TEST(Analyzer, ResizingInChromaticModeResizesTheBinMap) {
    Analyzer a(256, 2, 48000.0f);
    a.setChromatic(true);
    a.setUpdateRate(0);
    a.setSize(2048);
    auto x = sine(3000.0, 48000.0, 4 * 2048);
    a.process(x.data(), static_cast<int>(x.size()));
    EXPECT_EQ(a.halfSize, 1024);
    EXPECT_GT(a.binToTone[1024], 100);
}

TEST(FFTBase, ResynthesisPhasesStayWrapped) {
    Analyzer a(256, 4, 48000.0f);
    std::vector<float> mag(129, 1.0f), freq(129), sum(129, 0.0f), out(2 * 257);
    for (int k = 0; k <= 128; ++k) freq[static_cast<std::size_t>(k)] = (k + 0.3f) * a.binWidth;
    for (int frame = 0; frame < 10000; ++frame)
        a.frequencies2complex(mag.data(), freq.data(), sum.data(), out.data());
    for (float p : sum) {
        EXPECT_LE(std::fabs(p), std::numbers::pi_v<float> + 1e-5f);
    }
}

TEST(Analyzer, NeitherFeedingNorANewRateAllocates) {
    Analyzer a(1024, 4, 48000.0f);
    a.setUpdateRate(0);
    auto x = sine(440.0, 48000.0, 16384);
    const long before = allocations::onThisThread();
    a.process(x.data(), static_cast<int>(x.size()));
    a.process(x.data(), x.data(), static_cast<int>(x.size()));
    a.setUpdateRate(4);
    a.setSamplerate(96000.0f);
    EXPECT_EQ(allocations::onThisThread(), before);
    EXPECT_FLOAT_EQ(a.binWidth, 96000.0f / 1024.0f);
    EXPECT_EQ(a.updateInterval, static_cast<int>(std::ceil(96000.0 / 1024.0 * 4.0 / 4.0)));
}
