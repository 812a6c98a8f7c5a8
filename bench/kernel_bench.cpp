// The whole stereo kernel, driven through the adapter as a host drives it: 512-frame cycles
// at 48 kHz on one core. "x_realtime" is how many times faster than real time it runs.
#include "RenderHost.h"
#include "ScalarCompander.h"
#include "YUX_Sorvane_ExtensionDSPKernelAdapter.h"

#include "plat/console.h"
#include "plat/denormals.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr std::uint32_t kCycle = 512;
constexpr std::size_t kFrames = 48000; // one second of input, looped

enum class Input { Noise, BurstThenSilence };

std::vector<float> makeInput(Input kind, unsigned seed) {
    std::vector<float> v(kFrames);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    for (std::size_t i = 0; i < kFrames; ++i)
        v[i] = (kind == Input::Noise || i < kFrames / 10) ? dist(rng) : 0.0f;
    return v;
}

void pushUnitDefaults(YUX_Sorvane_ExtensionDSPKernelAdapter& a) {
    a.setParameter(0, 0.0f);
    a.setParameter(1, 0.5f);
    a.setParameter(2, 0.1f);
    a.setParameter(3, 0.4f);
    for (int i = 0; i < 32; ++i)
        for (int kind = 1; kind <= 3; ++kind) a.setParameter(plat::AUParameterAddress(kind * 1000 + i), 0.5f);
}

void setRealtimeCounter(benchmark::State& state, std::size_t frames) {
    state.counters["x_realtime"] = benchmark::Counter(double(frames) / 48000.0, benchmark::Counter::kIsRate);
}

void runKernel(benchmark::State& state, Input input, std::uint32_t eventSpacing, CompanderCoreFn core) {
    // The kernel's per-parameter lines would flood the terminal; they are counted, not shown.
    plat::Console::shared().setSink([](std::string_view) {});
    YUX_Sorvane_ExtensionDSPKernelAdapter adapter;
    if (core) adapter.kernel().spectralCompander.setCore(core);
    pushUnitDefaults(adapter);
    adapter.allocateRenderResources();
    RenderHost host(adapter.internalRenderBlock());
    const auto left = makeInput(input, 1), right = makeInput(input, 2);
    std::vector<float> outL(kFrames), outR(kFrames);
    std::vector<ParameterChange> changes;
    int k = 0;
    std::size_t pos = 0, frames = 0;
    for (auto _ : state) {
        changes.clear();
        for (std::uint32_t offset = 0; eventSpacing && offset < kCycle; offset += eventSpacing, ++k)
            changes.push_back({offset, plat::AUParameterAddress((k % 4) * 1000 + (k % 4 ? k % 32 : 1)),
                               float(k % 10) * 0.1f});
        host.cycle(left.data(), right.data(), outL.data(), outR.data(), pos, kCycle, changes);
        pos = (pos + kCycle) % (kFrames - kFrames % kCycle);
        frames += kCycle;
    }
    benchmark::DoNotOptimize(outL.data());
    setRealtimeCounter(state, frames);
    plat::Console::shared().setSink({});
}

void BM_Kernel_Noise(benchmark::State& s) {
    runKernel(s, Input::Noise, 0, nullptr);
}
void BM_Kernel_BurstThenSilence(benchmark::State& s) {
    runKernel(s, Input::BurstThenSilence, 0, nullptr);
}
void BM_Kernel_NoiseEventEvery32(benchmark::State& s) {
    runKernel(s, Input::Noise, 32, nullptr);
}
void BM_Kernel_Noise_FourLane(benchmark::State& s) {
    runKernel(s, Input::Noise, 0, &companderCoreSSE);
}
void BM_Kernel_Noise_EightLane(benchmark::State& s) {
    runKernel(s, Input::Noise, 0, &companderCoreAVX2);
}
void BM_Kernel_BurstThenSilence_EightLane(benchmark::State& s) {
    runKernel(s, Input::BurstThenSilence, 0, &companderCoreAVX2);
}
void BM_Kernel_NoiseEventEvery32_EightLane(benchmark::State& s) {
    runKernel(s, Input::Noise, 32, &companderCoreAVX2);
}
void BM_Kernel_Noise_SixteenLane(benchmark::State& s) {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx512f")) return s.SkipWithError("no AVX-512 on this processor");
    runKernel(s, Input::Noise, 0, &companderCoreAVX512);
}

// The check of both channels' input against the bound, which every cycle of BM_Kernel_* runs
// once: against their time per cycle, its share of the render road.
void BM_InputBoundCheck(benchmark::State& state) {
    const auto left = makeInput(Input::Noise, 1), right = makeInput(Input::Noise, 2);
    for (auto _ : state) {
        bool within = SpectralCompander_NEON2::withinBound(left.data(), int(kCycle));
        within &= SpectralCompander_NEON2::withinBound(right.data(), int(kCycle));
        benchmark::DoNotOptimize(within);
    }
}

// The plain scalar reading of the same engine, for comparison.
void BM_Scalar_Noise(benchmark::State& state) {
    scalar::Engine engine;
    engine.setParameter(1, 0.5f);
    engine.setParameter(2, 0.1f);
    engine.setParameter(3, 0.4f);
    for (int i = 0; i < 32; ++i)
        for (int kind = 1; kind <= 3; ++kind) engine.setParameter(std::uint64_t(kind * 1000 + i), 0.5f);
    const auto left = makeInput(Input::Noise, 1), right = makeInput(Input::Noise, 2);
    std::vector<float> l(kCycle), r(kCycle);
    const plat::DenormalsFlushScope flush;
    std::size_t pos = 0, frames = 0;
    for (auto _ : state) {
        std::copy_n(left.begin() + long(pos), kCycle, l.begin());
        std::copy_n(right.begin() + long(pos), kCycle, r.begin());
        engine.process(l.data(), r.data(), int(kCycle));
        benchmark::DoNotOptimize(l.data());
        pos = (pos + kCycle) % (kFrames - kFrames % kCycle);
        frames += kCycle;
    }
    setRealtimeCounter(state, frames);
}

} // namespace

BENCHMARK(BM_Kernel_Noise);
BENCHMARK(BM_Kernel_BurstThenSilence);
BENCHMARK(BM_Kernel_NoiseEventEvery32);
BENCHMARK(BM_Kernel_Noise_FourLane);
BENCHMARK(BM_Kernel_Noise_EightLane);
BENCHMARK(BM_Kernel_BurstThenSilence_EightLane);
BENCHMARK(BM_Kernel_NoiseEventEvery32_EightLane);
BENCHMARK(BM_Kernel_Noise_SixteenLane);
BENCHMARK(BM_InputBoundCheck);
BENCHMARK(BM_Scalar_Noise);

BENCHMARK_MAIN();
