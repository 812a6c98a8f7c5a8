// The live panel's costs on one core, at 512 x 512 in a headless window, against the meter timer's
// 40 ms tick: one meter tick with the panel visible (copy of both meters, underlay redraw, composite
// of the tree), one full panel redraw after a knob drag, and a render with nothing stale. The
// `of_tick` counter is the share of the 40 ms tick one iteration takes; `redraws` counts pictures
// redrawn per iteration.
#include "AudioUnitViewController.h"

#include "plat/console.h"
#include "plat/uiwindow.h"

#include <benchmark/benchmark.h>

namespace {

struct Live {
    Live() {
        plat::Console::shared().setSink([](std::string_view) {});
        window->setRootViewController(vc);
        window->makeKeyAndVisible();
        (void)vc->createAudioUnit(YUX_Sorvane_Extension_AudioUnit::componentDescriptionOfEffect());
        plat::RunLoop::main().drain();
        window->renderInto(image.context());
        tick = plat::Timer::scheduled(1e6, false, [](plat::Timer&) {});
        tick->invalidate();
    }
    ~Live() { plat::Console::shared().setSink({}); }
    std::uint64_t pictures() const {
        return vc->mainView->displayCount() + vc->underlay->displayCount() + vc->pluginFrame->displayCount();
    }
    std::shared_ptr<AudioUnitViewController> vc = std::make_shared<AudioUnitViewController>();
    std::shared_ptr<plat::UIWindow> window = plat::UIWindow::makeHeadless({512, 512});
    plat::ImageSurface image{512, 512};
    std::shared_ptr<plat::Timer> tick;
};

void report(benchmark::State& state, Live& live, std::uint64_t picturesBefore) {
    state.counters["of_tick"] = benchmark::Counter(double(state.iterations()) / 25,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["redraws"] = double(live.pictures() - picturesBefore) / double(state.iterations());
}

void BM_MeterTick(benchmark::State& state) {
    Live live;
    const auto before = live.pictures();
    for (auto _ : state) {
        live.vc->onTimer(*live.tick);
        live.window->renderInto(live.image.context());
    }
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

BENCHMARK(BM_MeterTick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PanelRedrawAfterKnobDrag)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleRender)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
