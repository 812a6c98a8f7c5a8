// The live panel's costs on one core, fitted into a 1024 x 768 headless window, against the meter
// timer's 40 ms tick. A meter tick while music plays through the unit (its 40 ms rendered outside the
// timing): drawn as the underlay draws it, only the parts of the bars that moved, and drawn whole as
// it was before; a tick while the meters hold still (nothing to draw); one full panel redraw after a
// knob drag; a render with nothing stale. `of_tick` is the share of the 40 ms tick one iteration
// takes; `redraws` counts pictures redrawn per iteration. For the window as a whole: app_cpu.sh.
#include "AudioUnitViewController.h"
#include "RenderHost.h"

#include "plat/console.h"
#include "plat/uiwindow.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

constexpr std::uint32_t kTick = 1920; // 40 ms at 48 kHz

// Ten seconds of something like music: a kick every half second, a hi-hat between, a chord that
// swells, so that every band's meters move from one tick to the next as they do while a clip plays.
std::vector<float> music() {
    std::vector<float> x(480000);
    std::minstd_rand noise(7);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / 48000, beat = std::fmod(t, 0.5), half = std::fmod(t, 0.25);
        const double kick =
            std::exp(-beat * 20) * std::sin(2 * M_PI * (50 + 100 * std::exp(-beat * 30)) * beat);
        const double hat = std::exp(-half * 60) * (double(noise()) / noise.max() - 0.5);
        double chord = 0;
        for (const double f : {220.0, 277.2, 329.6, 880.0}) chord += std::sin(2 * M_PI * f * t);
        x[i] = float(0.4 * kick + 0.3 * hat + 0.05 * chord * (1 + std::sin(2 * M_PI * 0.3 * t)));
    }
    return x;
}

struct Live {
    Live() {
        plat::Console::shared().setSink([](std::string_view) {});
        window->setRootViewController(vc);
        window->makeKeyAndVisible();
        (void)vc->createAudioUnit(YUX_Sorvane_Extension_AudioUnit::componentDescriptionOfEffect());
        plat::RunLoop::main().drain();
        (void)vc->audioUnit()->allocateRenderResources();
        host = std::make_unique<RenderHost>(vc->audioUnit()->renderBlock(), kTick);
        window->renderInto(image.context());
        tick = plat::Timer::scheduled(1e6, false, [](plat::Timer&) {});
        tick->invalidate();
    }
    ~Live() { plat::Console::shared().setSink({}); }
    std::uint64_t pictures() const {
        return vc->mainView->displayCount() + vc->underlay->displayCount() + vc->pluginFrame->displayCount();
    }
    // The next 40 ms of the music through the unit, outside the timing.
    void play(benchmark::State& state) {
        state.PauseTiming();
        if (at + kTick > signal.size()) at = 0;
        host->cycle(signal.data(), signal.data(), out.data(), out.data(), at, kTick);
        at += kTick;
        state.ResumeTiming();
    }
    // The timer's tick, and a render when it left something to draw, as the window does.
    void tickAndDraw() {
        vc->onTimer(*tick);
        if (vc->underlay->needsDisplay()) window->renderInto(image.context());
    }
    std::shared_ptr<AudioUnitViewController> vc = std::make_shared<AudioUnitViewController>();
    std::shared_ptr<plat::UIWindow> window = plat::UIWindow::makeHeadless({1024, 768});
    plat::ImageSurface image{1024, 768};
    std::shared_ptr<plat::Timer> tick;
    std::unique_ptr<RenderHost> host;
    std::vector<float> signal = music(), out = std::vector<float>(signal.size());
    std::size_t at = 0;
};

void report(benchmark::State& state, Live& live, std::uint64_t picturesBefore) {
    state.counters["of_tick"] = benchmark::Counter(double(state.iterations()) / 25,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["redraws"] = double(live.pictures() - picturesBefore) / double(state.iterations());
}

void BM_MeterTickWhatMoved(benchmark::State& state) {
    Live live;
    const auto before = live.pictures();
    for (auto _ : state) {
        live.play(state);
        live.tickAndDraw();
    }
    report(state, live, before);
}

void BM_MeterTickWhole(benchmark::State& state) {
    Live live;
    const auto before = live.pictures();
    for (auto _ : state) {
        live.play(state);
        live.vc->underlay->setNeedsDisplay();
        live.tickAndDraw();
    }
    report(state, live, before);
}

void BM_MeterTickStill(benchmark::State& state) {
    Live live;
    const auto before = live.pictures();
    for (auto _ : state) live.tickAndDraw();
    report(state, live, before);
}

void BM_PanelRedrawAfterKnobDrag(benchmark::State& state) {
    Live live;
    const auto before = live.pictures();
    int n = 0;
    for (auto _ : state) {
        live.vc->mainView->setParameter(1, float(++n % 100) / 100);
        live.window->renderInto(live.image.context());
    }
    report(state, live, before);
}

void BM_IdleRender(benchmark::State& state) {
    Live live;
    const auto before = live.pictures();
    for (auto _ : state) live.window->renderInto(live.image.context());
    report(state, live, before);
}

} // namespace

BENCHMARK(BM_MeterTickWhatMoved)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeterTickWhole)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeterTickStill)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PanelRedrawAfterKnobDrag)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleRender)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
