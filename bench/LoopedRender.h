#pragma once
// The engine's benchmarks render a player looping one clip into the main mixer: two passes stay
// scheduled, topped up outside the timing once a clip's length has played.
#include "plat/engine.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>

// Starts `player` and `engine` and renders cycles of `cycle` frames of `output` while the
// benchmark runs; "x_realtime" is how many times faster than real time that is.
inline void renderLooped(benchmark::State& state, plat::AVAudioEngine& engine,
                         plat::AVAudioPlayerNode& player, const std::shared_ptr<plat::AVAudioFile>& file,
                         const plat::AVAudioFormat& output, std::uint32_t cycle, std::size_t clipFrames) {
    // Shared with the completions, which may still be handed over after this returns.
    auto finished = std::make_shared<std::atomic<long>>(0);
    long scheduled = 0;
    auto topUp = [&] {
        while (scheduled - finished->load() < 2) {
            player.scheduleFile(file, [finished] { ++*finished; });
            ++scheduled;
        }
    };
    topUp();
    player.play();
    engine.start();
    auto buffer = plat::AVAudioPCMBuffer::make(output, cycle);
    std::size_t frames = 0, sinceTopUp = 0;
    for (auto _ : state) {
        engine.renderOffline(cycle, *buffer);
        benchmark::DoNotOptimize(buffer->channel(0));
        frames += cycle;
        if ((sinceTopUp += cycle) >= clipFrames) {
            state.PauseTiming();
            topUp();
            sinceTopUp = 0;
            state.ResumeTiming();
        }
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(frames) / output.sampleRate(), benchmark::Counter::kIsRate);
}
