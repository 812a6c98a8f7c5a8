// The band pages: one bar per band whose free end lies at y = 320 - 128 v, in the page's colour.
#include "PanelTestSupport.h"
#include "SorvaneViewBase.h"

#include <gtest/gtest.h>

#include <limits>

using namespace paneltest;

TEST(BandPages, EachBarRunsFromItsBaseToItsValueAndNonFiniteBarsDrawNothing) {
    const plat::UIColor grey{0.685, 0.685, 0.685, 1}, resonance{0.8, 0.398, 0.32, 1};
    const double nan = std::numeric_limits<double>::quiet_NaN(),
                 inf = std::numeric_limits<double>::infinity();
    // Values whose bar ends stay clear of the centre line, an empty bar, and values that are no number.
    const double values[] = {0.15, 0.35, 0.65, 0.85, 1.0, 0.05, 0.5, 0.0, nan, inf};
    using Draw = void (SorvaneViewBase::*)(plat::CGRect, ResizingBehavior);
    SorvaneViewBase panel;
    const std::tuple<Draw, plat::UIColor, double> pages[] = {
        {&SorvaneViewBase::drawSymbolLevels, panel.colorLevel, 320},
        {&SorvaneViewBase::drawSymbolResonance, resonance, 320},
        {&SorvaneViewBase::drawSymbolCompansion, grey, 256}};
    for (int i = 0; i < 32; ++i)
        panel.valueLevel[i] = panel.valueResonance[i] = panel.valueCompansion[i] = values[i % 10];
    for (const auto& [draw, colour, base] : pages) {
        SCOPED_TRACE(base);
        plat::ImageSurface image(512, 512);
        render(image, [&] { (panel.*draw)({0, 0, 512, 512}, ResizingBehavior::stretch); });
        for (int i = 0; i < 32; ++i) {
            SCOPED_TRACE(i);
            const double x = 49 + 13.0 * i + 5, v = values[i % 10];
            const double end = std::isfinite(v) ? 320 - 128 * v : base, top = std::min(end, base),
                         bottom = std::max(end, base);
            if (bottom - top > 6) {
                EXPECT_TRUE(sameColour(at(image, x, top + 3), colour));
                EXPECT_TRUE(sameColour(at(image, x, bottom - 3), colour));
            }
            // Bars are opaque; the page's translucent fill behind them is not.
            EXPECT_LT(at(image, x, top - 3).a, 255);
            EXPECT_LT(at(image, x, bottom + 3).a, 255);
        }
    }
    // The LEVELS page's outline (along y = 146) follows the contrast colour; the others keep their grey.
    panel.colorContrast = {0.2, 0.3, 0.9, 1};
    plat::ImageSurface levels(512, 512), other(512, 512);
    render(levels, [&] { panel.drawSymbolLevels({0, 0, 512, 512}, ResizingBehavior::stretch); });
    render(other, [&] { panel.drawSymbolResonance({0, 0, 512, 512}, ResizingBehavior::stretch); });
    EXPECT_TRUE(sameColour(at(levels, 300, 146), panel.colorContrast));
    EXPECT_TRUE(sameColour(at(other, 300, 146), grey));
}
