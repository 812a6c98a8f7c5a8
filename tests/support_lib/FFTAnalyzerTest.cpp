// The FFT and the analyser: transforms, frame timing, read-outs, settings, the real-time path, and the
// aligned buffers they use.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "AllocationCounter.h"
#include "Analyzer.h"
#include "ConsoleCapture.h"
#include "DynaBuffer.h"
#include "SpectroTestSignals.h"

using SPECTRO::Analyzer;
using namespace spectro_test;

namespace {
// Counts frames and analyses.
struct CountingAnalyzer : Analyzer {
    using Analyzer::Analyzer;
    void onBufferReady() override { ++frames, Analyzer::onBufferReady(); }
    void onAnalysis(float* f, float* m) override { ++analyses, Analyzer::onAnalysis(f, m); }
    int frames = 0, analyses = 0;
};

int peakBin(Analyzer& a) {
    const float* mag = a.magnitudes.getBuffer();
    return static_cast<int>(std::max_element(mag, mag + a.halfSize + 1) - mag);
}

void feed(Analyzer& a, std::vector<float> x) {
    a.process(x.data(), static_cast<int>(x.size()));
}
} // namespace

TEST(FFTBase, ACosineHitsItsBinAndTheMirroredOneAndTheInverseGivesSizeTimesTheInput) {
    Analyzer a(64, 2, 48000.0f);
    std::vector<float> data(2 * 64, 0.0f), noise(2 * 64);
    for (int i = 0; i < 64; ++i)
        data[2 * i] = static_cast<float>(std::cos(2.0 * std::numbers::pi * 5 * i / 64));
    a.fft(-1, data.data());
    for (int k = 0; k < 64; ++k)
        EXPECT_NEAR(std::hypot(data[2 * k], data[2 * k + 1]), (k == 5 || k == 59) ? 32.0f : 0.0f, 1e-3f) << k;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    for (float& v : noise) v = d(rng);
    auto back = noise;
    a.fft(-1, back.data()), a.fft(+1, back.data());
    for (std::size_t i = 0; i < back.size(); ++i) EXPECT_NEAR(back[i], 64.0f * noise[i], 1e-3f);
}

TEST(Analyzer, FramesComeEveryHopAndAnalysesAtTheUpdateRate) {
    CountingAnalyzer a(256, 4, 48000.0f);
    for (const auto& [samples, frames] :
         {std::pair{63, 0}, {1, 1}, {64 * 3, 4}}) { // the first frame after a hop
        feed(a, std::vector<float>(std::size_t(samples), 0.1f));
        EXPECT_EQ(a.frames, frames);
    }
    for (const auto& [rate, interval, analyses] : {std::tuple{375, 2, 4}, {0, 1, 8}, {-3, 1, 8}}) {
        a.setUpdateRate(rate); // 48000 / 256 * 4 / 375 = 2 frames per analysis
        a.analyses = 0;
        feed(a, std::vector<float>(64 * 8, 0.1f));
        EXPECT_EQ(a.updateInterval, interval) << rate;
        EXPECT_EQ(a.analyses, analyses) << rate;
    }
    EXPECT_EQ(a.updateRate, 0);
}

TEST(Analyzer, ReadsTrueFrequenciesLevelsAndTheChromaticToneOfASine) {
    Analyzer a(1024, 4, 48000.0f), chromatic(8192, 4, 48000.0f), quiet(256, 4, 48000.0f);
    for (Analyzer* x : {&a, &chromatic, &quiet}) x->setUpdateRate(0);
    const float hz = 10.0f * a.binWidth; // on a bin, then between bins
    feed(a, sine(hz, 48000.0, 8 * 1024));
    EXPECT_EQ(peakBin(a), 10);
    EXPECT_NEAR(a.getFrequencies(10), hz, 1e-2f);
    EXPECT_NEAR(a.getMagnitudes(10), 1024.0f * 0.5f, 5.0f);
    feed(a, sine(1000.0, 48000.0, 8 * 1024));
    EXPECT_NEAR(a.getFrequencies(peakBin(a)), 1000.0f, 1.0f);
    feed(quiet, sine(48000.0 / 256 * 8, 48000.0, 64 * 10, 1e-3)); // quiet frames are normalised by one
    EXPECT_FLOAT_EQ(quiet.normMax, 0.99f);
    for (int k = 0; k <= quiet.halfSize; ++k)
        EXPECT_FLOAT_EQ(quiet.getMagnitudesNormalized(k), quiet.getMagnitudes(k));

    chromatic.setChromatic(true);
    feed(chromatic, sine(440.0, 48000.0, 6 * 8192));
    const float* chroma = chromatic.scala.getChromatic(0, 127, true);
    EXPECT_EQ(std::max_element(chroma, chroma + 128) - chroma, 69);
    EXPECT_FLOAT_EQ(chroma[69], 1.0f);
    EXPECT_EQ(chromatic.binToTone[static_cast<std::size_t>(std::lround(440.0 / chromatic.binWidth))], 72);
}

TEST(Analyzer, BadSettingsFallBackOrAreRefusedAndAResizeResizesTheBinMap) {
    ConsoleCapture console;
    Analyzer fallback(1000, 0, 0.0f), overlapped(256, 512, 44100.0f), a(512, 4, 48000.0f);
    const std::string line = console.text();
    EXPECT_EQ(line.rfind("DIAGNOSTICS: FFT Analyzer loaded. [ ", 0), 0u);
    EXPECT_EQ(std::tuple(fallback.getSize(), fallback.getOverlap(), fallback.getSamplerate()),
              std::tuple(4096, 2, 48000.0f));
    EXPECT_EQ(std::tuple(overlapped.getSize(), overlapped.getOverlap()), std::tuple(256, 2));
    for (int size : {0, -512, 1, 1000, 3, 1 << 30, 2}) a.setSize(size); // 2 is below the overlap
    for (int overlap : {0, -2, 513}) a.setOverlap(overlap);
    for (float rate : {0.0f, -1.0f, NAN}) a.setSamplerate(rate);
    EXPECT_EQ(std::tuple(a.getSize(), a.getOverlap(), a.getSamplerate(), a.hop),
              std::tuple(512, 4, 48000.0f, 128));
    feed(a, sine(1000.0, 48000.0, 4096));
    EXPECT_TRUE(std::isfinite(a.getFrequencies(10)));

    Analyzer resized(256, 2, 48000.0f);
    resized.setChromatic(true), resized.setUpdateRate(0), resized.setSize(2048);
    feed(resized, sine(3000.0, 48000.0, 4 * 2048));
    const float* chroma = resized.scala.getChromatic(0, 127, true); // through a bin map of the new size
    EXPECT_EQ(std::max_element(chroma, chroma + 128) - chroma, 102);
}

TEST(Analyzer, ResynthesisPhasesStayWrappedAndNeitherFeedingNorANewRateAllocates) {
    Analyzer a(1024, 4, 48000.0f);
    std::vector<float> mag(513, 1.0f), freq(513), sum(513, 0.0f), out(2 * 1025);
    for (int k = 0; k <= 512; ++k) freq[static_cast<std::size_t>(k)] = (k + 0.3f) * a.binWidth;
    for (int frame = 0; frame < 100; ++frame)
        a.frequencies2complex(mag.data(), freq.data(), sum.data(), out.data());
    for (float p : sum) EXPECT_LE(std::fabs(p), std::numbers::pi_v<float> + 1e-5f);

    a.setUpdateRate(0);
    auto x = sine(440.0, 48000.0, 16384);
    const long before = allocations::onThisThread();
    a.process(x.data(), static_cast<int>(x.size()));
    a.process(x.data(), x.data(), static_cast<int>(x.size()));
    a.setUpdateRate(4), a.setSamplerate(96000.0f);
    EXPECT_EQ(allocations::onThisThread(), before);
    EXPECT_EQ(std::tuple(a.binWidth, a.updateInterval), std::tuple(96000.0f / 1024.0f, 94)); // ceil(93.75)
}

// The aligned float block under the transforms: zeroed, growing only when asked to, released by empty
// requests.
TEST(DynaBuffer, NewBlocksAreZeroedAlignedOnlyGrowUnlessReadjustedAndEmptyRequestsRelease) {
    DynaBuffer b(7), a(8), r(8);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.getBuffer()) % 16, 0u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(b[i], 0.0f);
    b.allocate(8);
    b[7] = 3.0f;
    EXPECT_EQ(b.allocate(4), b.getBuffer()); // smaller: the block and its contents stay
    EXPECT_EQ(std::tuple(b.getSize(), b[7]), std::tuple(8, 3.0f));
    b.ensure(16);
    EXPECT_EQ(std::tuple(b.getSize(), b[7]), std::tuple(16, 0.0f));
    b[0] = 1.0f;
    b.readjust(4);
    EXPECT_EQ(std::tuple(b.getSize(), b[0]), std::tuple(4, 0.0f));
    b[1] = 5.0f;
    b.clear();
    EXPECT_EQ(b[1], 0.0f);
    EXPECT_EQ(std::tuple(a.allocate(0), r.readjust(-1), DynaBuffer().getBuffer()),
              std::tuple(nullptr, nullptr, nullptr));
    EXPECT_EQ(a.getSize(), 0);
}
