#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Analyzer.h"
#include "ChromaticFilter.h"

namespace {
std::vector<float> tone(int n) {
    std::vector<float> x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) x[static_cast<std::size_t>(i)] = std::sin(0.05f * static_cast<float>(i));
    return x;
}
} // namespace

// One forward and one inverse transform of the kernel's analyser size.
static void BM_FFTRoundTrip4096(benchmark::State& state) {
    SPECTRO::Analyzer a(4096, 2, 48000.0f);
    std::vector<float> data = tone(2 * 4096);
    for (auto _ : state) {
        a.fft(-1, data.data());
        a.fft(+1, data.data());
        benchmark::DoNotOptimize(data.data());
    }
}
BENCHMARK(BM_FFTRoundTrip4096);

// Feeding one second of 48 kHz audio through an analyser, plain and chromatic.
static void BM_AnalyzerSecond(benchmark::State& state) {
    SPECTRO::Analyzer a(4096, 4, 48000.0f);
    a.setUpdateRate(0);
    a.setChromatic(state.range(0) != 0);
    std::vector<float> x = tone(48000);
    for (auto _ : state) a.process(x.data(), static_cast<int>(x.size()));
    state.SetItemsProcessed(state.iterations() * 48000);
}
BENCHMARK(BM_AnalyzerSecond)->Arg(0)->Arg(1);

static void BM_ChromaticFilterSecond(benchmark::State& state) {
    SPECTRO::ChromaticFilter f(4096, 4, 48000.0f);
    std::vector<float> x = tone(48000);
    for (auto _ : state) f.process(x.data(), static_cast<int>(x.size()));
    state.SetItemsProcessed(state.iterations() * 48000);
}
BENCHMARK(BM_ChromaticFilterSecond);
BENCHMARK_MAIN();
