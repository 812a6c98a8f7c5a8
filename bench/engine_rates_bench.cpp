// Rate conversion in the engine: a stereo clip played through player and main mixer in 512-frame
// cycles into a 48 kHz output, at the output's own rate (no conversion, the plain reading) and at
// 44.1, 8 and 96 kHz, converted where the player joins the mixer or by the player itself.
// "x_realtime" is how many times faster than real time it runs; compare it with the 48 kHz row.
#include "LoopedRender.h"

#include "plat/console.h"
#include "plat/engine.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr std::uint32_t kCycle = 512;

// Four seconds of two tones at `rate`, written as a float WAV, read back and removed.
std::shared_ptr<plat::AVAudioFile> clipAt(double rate) {
    const auto path =
        std::filesystem::temp_directory_path() /
        ("sorvane-rates-bench-" + std::to_string(::getpid()) + "-" + std::to_string(int(rate)) + ".wav");
    const auto frames = std::uint32_t(4 * rate);
    {
        plat::AVAudioFileSettings settings{plat::AudioFileType::wav, rate, 2};
        auto file = plat::AVAudioFile::forWriting(plat::URL::fileURL(path), settings).value();
        auto buffer = plat::AVAudioPCMBuffer::make(file->processingFormat(), frames);
        for (std::uint32_t c = 0; c < 2; ++c)
            for (std::uint32_t i = 0; i < frames; ++i)
                buffer->channel(c)[i] = float(0.4 * std::sin(2 * M_PI * (440.0 + 110.0 * c) * i / rate));
        buffer->setFrameLength(frames);
        file->write(*buffer);
        file->close();
    }
    auto file = plat::AVAudioFile::forReading(plat::URL::fileURL(path)).value();
    std::filesystem::remove(path);
    return file;
}

// state.range(0): the clip's rate; state.range(1): 1 when the player's connection runs at the
// clip's rate (the mixer converts), 0 when it runs at the output's (the player converts).
void BM_ClipIntoMixer(benchmark::State& state) {
    plat::Console::shared().setSink([](std::string_view) {});
    const double rate = double(state.range(0));
    const auto file = clipAt(rate);
    const plat::AVAudioFormat output(48000, 2);
    plat::AVAudioEngine engine(plat::AudioOutputConfiguration{});
    engine.enableManualRenderingMode(output, kCycle);
    auto player = std::make_shared<plat::AVAudioPlayerNode>();
    engine.attach(player);
    engine.connect(player, engine.mainMixerNode(), state.range(1) ? file->processingFormat() : output);
    renderLooped(state, engine, *player, file, output, kCycle, std::size_t(4 * 48000));
    plat::Console::shared().setSink({});
}

BENCHMARK(BM_ClipIntoMixer)
    ->ArgNames({"rate", "mixer_converts"})
    ->Args({48000, 1})
    ->Args({44100, 1})
    ->Args({44100, 0})
    ->Args({8000, 1})
    ->Args({96000, 1})
    ->Args({96000, 0});

} // namespace

BENCHMARK_MAIN();
