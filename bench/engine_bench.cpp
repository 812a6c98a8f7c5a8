// The demonstration graph offline: a decoded m4a clip through player, effect and main mixer in
// 512-frame cycles at 48 kHz, beside the graph without the effect and the effect unit alone.
// "x_realtime" is how many times faster than real time it runs. The last two benchmarks time the
// way from a clip on a warm disk to the first rendered buffer: the engine alone, and the
// application's own start-up.
#include "AUEnginePlayer.h"
#include "LoopedRender.h"
#include "YUX_Sorvane_Extension_AudioUnit.h"

#include "plat/components.h"
#include "plat/console.h"
#include "plat/dispatch.h"
#include "plat/engine.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <future>
#include <unistd.h>

namespace {

constexpr std::uint32_t kCycle = 512;
constexpr std::uint32_t kClipFrames = 4 * 48000;

// A four-second clip of two swelling tones, written once and removed at exit.
struct BenchClip {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("sorvane-bench-" + std::to_string(::getpid()) + ".m4a");
    BenchClip() {
        plat::AVAudioFileSettings settings;
        settings.fileType = plat::AudioFileType::m4a;
        auto file = plat::AVAudioFile::forWriting(plat::URL::fileURL(path), settings).value();
        auto buffer = plat::AVAudioPCMBuffer::make(file->processingFormat(), kClipFrames);
        for (std::uint32_t c = 0; c < 2; ++c)
            for (std::uint32_t i = 0; i < kClipFrames; ++i) {
                const double t = i / 48000.0;
                buffer->channel(c)[i] = float(0.4 * std::sin(2 * M_PI * (110.0 + 55.0 * c) * t) *
                                              (0.5 + 0.5 * std::sin(2 * M_PI * 2 * t)));
            }
        buffer->setFrameLength(kClipFrames);
        file->write(*buffer);
        file->close();
    }
    ~BenchClip() { std::filesystem::remove(path); }
};

const std::filesystem::path& clipPath() {
    static const BenchClip clip;
    return clip.path;
}

std::shared_ptr<plat::AVAudioFile> clip() {
    return plat::AVAudioFile::forReading(plat::URL::fileURL(clipPath())).value();
}

std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> makeEffect() {
    auto unit =
        YUX_Sorvane_Extension_AudioUnit::make(YUX_Sorvane_Extension_AudioUnit::componentDescriptionOfEffect())
            .value();
    unit->setParameter(1, 0.5f);
    return unit;
}

void setRealtimeCounter(benchmark::State& state, std::size_t frames) {
    state.counters["x_realtime"] = benchmark::Counter(double(frames) / 48000.0, benchmark::Counter::kIsRate);
}

void runGraph(benchmark::State& state, bool withEffect) {
    plat::Console::shared().setSink([](std::string_view) {});
    const auto file = clip();
    plat::AVAudioEngine engine(plat::AudioOutputConfiguration{});
    engine.enableManualRenderingMode(file->processingFormat(), kCycle);
    auto player = std::make_shared<plat::AVAudioPlayerNode>();
    engine.attach(player);
    if (withEffect) {
        auto effect = std::make_shared<plat::AVAudioUnit>(makeEffect());
        engine.attach(effect);
        engine.connect(player, effect, file->processingFormat());
        engine.connect(effect, engine.mainMixerNode(), file->processingFormat());
    } else {
        engine.connect(player, engine.mainMixerNode(), file->processingFormat());
    }
    renderLooped(state, engine, *player, file, file->processingFormat(), kCycle, kClipFrames);
    plat::Console::shared().setSink({});
}

void BM_Graph_PlayerEffectMixer(benchmark::State& state) {
    runGraph(state, true);
}

void BM_Graph_PlayerMixer(benchmark::State& state) {
    runGraph(state, false);
}

// The effect unit alone, through its render block, on the same decoded clip.
void BM_EffectUnitAlone(benchmark::State& state) {
    plat::Console::shared().setSink([](std::string_view) {});
    const auto file = clip();
    const auto& samples = file->samples()->channels;
    auto unit = makeEffect();
    unit->allocateRenderResources();
    auto render = unit->renderBlock();
    std::vector<float> left(kCycle), right(kCycle);
    std::size_t position = 0, frames = 0;
    plat::AURenderPullInputBlock pull = [&](auto*, auto*, plat::AUAudioFrameCount n, plat::NSInteger,
                                            plat::AudioBufferList* list) -> plat::AUAudioUnitStatus {
        for (std::uint32_t c = 0; c < 2; ++c)
            std::copy_n(samples[c].begin() + long(position), n, static_cast<float*>(list->mBuffers[c].mData));
        return plat::noErr;
    };
    for (auto _ : state) {
        plat::AudioBufferList out;
        out.mNumberBuffers = 2;
        out.mBuffers[0] = {1, kCycle * 4, left.data()};
        out.mBuffers[1] = {1, kCycle * 4, right.data()};
        plat::AudioTimeStamp ts;
        ts.mSampleTime = double(frames);
        plat::AudioUnitRenderActionFlags flags = 0;
        render(&flags, &ts, kCycle, 0, &out, nullptr, &pull);
        benchmark::DoNotOptimize(left.data());
        position = (position + kCycle) % (kClipFrames - kCycle);
        frames += kCycle;
    }
    setRealtimeCounter(state, frames);
    unit->deallocateRenderResources();
    plat::Console::shared().setSink({});
}

// From a four-second m4a clip on a warm disk to the first buffer through the effect: decode,
// build and start the graph, render one cycle.
void BM_ClipToFirstBuffer(benchmark::State& state) {
    plat::Console::shared().setSink([](std::string_view) {});
    clipPath();
    auto effect = std::make_shared<plat::AVAudioUnit>(makeEffect());
    for (auto _ : state) {
        const auto file = clip();
        plat::AVAudioEngine engine(plat::AudioOutputConfiguration{});
        engine.enableManualRenderingMode(file->processingFormat(), kCycle);
        auto player = std::make_shared<plat::AVAudioPlayerNode>();
        engine.attach(player);
        engine.attach(effect);
        engine.connect(player, effect, file->processingFormat());
        engine.connect(effect, engine.mainMixerNode(), file->processingFormat());
        player->scheduleFile(file);
        player->play();
        engine.start();
        auto buffer = plat::AVAudioPCMBuffer::make(file->processingFormat(), kCycle);
        engine.renderOffline(kCycle, *buffer);
        benchmark::DoNotOptimize(buffer->channel(0));
        engine.detach(effect);
    }
    plat::Console::shared().setSink({});
}

struct Started : AUEnginePlayerDelegate {
    bool playing = false;
    void onPlayerStateChanged(bool now) override { playing = now; }
    void onFileSelect(const std::string&) override {}
    void onLoop(long) override {}
};

// The application's start-up from a warm disk to the first buffer that is not silent: the registry
// reads the plug-in's record and instantiates the effect (the library is loaded once per process,
// as in the application), the engine player wires it in, decodes a demonstration clip and starts.
void BM_AppStartToFirstAudibleBuffer(benchmark::State& state) {
    plat::Console::shared().setSink([](std::string_view) {});
    const std::filesystem::path app = SORVANE_APP_DIR;
    for (auto _ : state) {
        plat::AVAudioUnitComponentManager registry({app / "PlugIns"});
        std::promise<plat::Result<std::shared_ptr<plat::AUAudioUnit>>> made;
        registry.instantiate(YUX_Sorvane_Extension_AudioUnit::componentDescriptionOfEffect(),
                             [&](auto unit) { made.set_value(std::move(unit)); });
        auto unit = made.get_future().get();
        if (!unit) return state.SkipWithError(unit.error().description.c_str());
        auto player = std::make_shared<AUEnginePlayer>(AUEnginePlayer::Configuration{
            plat::AudioOutputConfiguration{}, app / "Resources", [] { return 39; }, {}});
        player->audioEngine().enableManualRenderingMode(plat::AVAudioFormat(48000, 2), kCycle);
        player->connect(std::make_shared<plat::AVAudioUnit>(std::move(unit).value()));
        const auto started = std::make_shared<Started>();
        player->delegate = started;
        player->start();
        // The clip is decoded off the main thread; the start finishes on the main queue.
        plat::RunLoop::main().runUntil([&] { return started->playing; }, std::chrono::seconds(30));
        auto buffer = plat::AVAudioPCMBuffer::make(plat::AVAudioFormat(48000, 2), kCycle);
        for (bool audible = false; !audible;) {
            player->audioEngine().renderOffline(kCycle, *buffer);
            audible = std::any_of(buffer->channel(0), buffer->channel(0) + kCycle,
                                  [](float v) { return std::fabs(v) > 1e-4f; });
        }
        state.PauseTiming();
        player->stop();
        player.reset();
        plat::RunLoop::main().drain();
        state.ResumeTiming();
    }
    plat::Console::shared().setSink({});
}

} // namespace

BENCHMARK(BM_Graph_PlayerEffectMixer);
BENCHMARK(BM_Graph_PlayerMixer);
BENCHMARK(BM_EffectUnitAlone);
BENCHMARK(BM_ClipToFirstBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppStartToFirstAudibleBuffer)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
