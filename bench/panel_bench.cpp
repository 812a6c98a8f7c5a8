// Frame rate of the plug-in face: meter underlay and panel at 512 x 512, one core.
// The panel refreshes 25 times a second; items_per_second is frames per second.
#include "PanelDrawing.h"
#include "PluginFrameBaseEx.h"
#include "SorvaneUnderlayBase.h"
#include "SorvaneViewBase.h"

#include "plat/image.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

namespace {

void setUp(SorvaneViewBase& panel, SorvaneUnderlayBase& underlay, int mode) {
    panel.panelMode = mode;
    for (int i = 0; i < 32; ++i) {
        panel.valueFrequency[i] =
            panel::frequencyLabelText(static_cast<float>(16.352 * std::pow(2.0, i / 3.0)));
        panel.valueLevel[i] = 0.5 + 0.4 * std::sin(i * 0.3);
        panel.valueCompansion[i] = 0.5 + 0.4 * std::cos(i * 0.3);
        underlay.valueLevel[i] = 0.5 + 0.4 * std::sin(i * 0.2);
        underlay.valueReduct[i] = 0.5 + 0.3 * std::cos(i * 0.2);
    }
}

void drawFace(benchmark::State& state, int mode) {
    SorvaneViewBase panel;
    SorvaneUnderlayBase underlay;
    setUp(panel, underlay, mode);
    plat::ImageSurface image(512, 512);
    plat::UIGraphicsContextScope scope(image.context());
    const plat::CGRect bounds{0, 0, 512, 512};
    int frame = 0;
    for (auto _ : state) {
        image.fill(plat::UIColor::clear());
        // Meters move on every refresh, as they do while audio plays.
        underlay.valueLevel[frame % 32] = (frame % 100) / 100.0;
        underlay.drawInView(bounds, false);
        panel.drawInView(bounds, false);
        benchmark::DoNotOptimize(image.pixel(256, 256));
        ++frame;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_MainFaceWithUnderlay(benchmark::State& state) {
    drawFace(state, 0);
}
void BM_CompansionPageWithUnderlay(benchmark::State& state) {
    drawFace(state, 3);
}

} // namespace

BENCHMARK(BM_MainFaceWithUnderlay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompansionPageWithUnderlay)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
