#include "PanelTestSupport.h"
#include "SorvaneViewBase.h"

#include <gtest/gtest.h>

#include <limits>

using namespace paneltest;

namespace {

const plat::UIColor kPageGrey{0.685, 0.685, 0.685, 1};
const plat::UIColor kResonanceColour{0.8, 0.398, 0.32, 1};

double barCentreX(int band) {
    return 49 + 13.0 * band + 5;
}

// Bars are opaque; the page's translucent fill behind them is not.
bool opaque(const plat::Pixel& p) {
    return p.a == 255;
}

// Values whose bar ends stay clear of the centre line at y = 256.
constexpr double kValues[] = {0.15, 0.35, 0.65, 0.85, 1.0, 0.05};
double valueOf(int band) {
    return kValues[band % 6];
}

} // namespace

TEST(BandPages, UnipolarBarsRiseFrom320By128TimesTheirValue) {
    struct Page {
        double mode;
        plat::UIColor colour;
    };
    SorvaneViewBase panel;
    for (int i = 0; i < 32; ++i) panel.valueLevel[i] = panel.valueResonance[i] = valueOf(i);
    for (const Page& page : {Page{1, panel.colorLevel}, Page{2, kResonanceColour}}) {
        SCOPED_TRACE(page.mode);
        plat::ImageSurface image(512, 512);
        render(image, [&] {
            if (page.mode == 1)
                panel.drawSymbolLevels({0, 0, 512, 512}, ResizingBehavior::stretch);
            else
                panel.drawSymbolResonance({0, 0, 512, 512}, ResizingBehavior::stretch);
        });
        for (int i = 0; i < 32; ++i) {
            SCOPED_TRACE(i);
            const double top = 320 - 128 * valueOf(i);
            EXPECT_TRUE(sameColour(at(image, barCentreX(i), top + 3), page.colour));
            EXPECT_TRUE(sameColour(at(image, barCentreX(i), 317), page.colour));
            EXPECT_FALSE(opaque(at(image, barCentreX(i), top - 3)));
            EXPECT_FALSE(opaque(at(image, barCentreX(i), 323)));
        }
    }
}

TEST(BandPages, CompansionBarsLeaveTheCentreLineUpOrDown) {
    SorvaneViewBase panel;
    const double values[] = {1.0, 0.75, 0.5, 0.25, 0.0, 0.9};
    for (int i = 0; i < 32; ++i) panel.valueCompansion[i] = values[i % 6];
    plat::ImageSurface image(512, 512);
    render(image, [&] { panel.drawSymbolCompansion({0, 0, 512, 512}, ResizingBehavior::stretch); });
    for (int i = 0; i < 32; ++i) {
        SCOPED_TRACE(i);
        const double b = 2 * values[i % 6] - 1;
        const double x = barCentreX(i);
        if (b > 0) {
            const double end = 256 - 64 * b;
            EXPECT_TRUE(sameColour(at(image, x, end + 3), kPageGrey));
            EXPECT_FALSE(opaque(at(image, x, end - 3)));
            EXPECT_FALSE(opaque(at(image, x, 262))); // nothing hangs below
        } else if (b < 0) {
            const double end = 256 - 64 * b;
            EXPECT_TRUE(sameColour(at(image, x, end - 3), kPageGrey));
            EXPECT_FALSE(opaque(at(image, x, end + 3)));
            EXPECT_FALSE(opaque(at(image, x, 250))); // nothing rises
        } else {
            EXPECT_FALSE(opaque(at(image, x, 250)));
            EXPECT_FALSE(opaque(at(image, x, 262)));
        }
    }
}

TEST(BandPages, EmptyAndNonFiniteBarsDrawNothingAndTheRestStillDraws) {
    SorvaneViewBase panel;
    panel.valueLevel.fill(1.0);
    panel.valueLevel[3] = 0;
    panel.valueLevel[4] = std::numeric_limits<double>::quiet_NaN();
    panel.valueLevel[5] = std::numeric_limits<double>::infinity();
    plat::ImageSurface image(512, 512);
    render(image, [&] { panel.drawSymbolLevels({0, 0, 512, 512}, ResizingBehavior::stretch); });
    for (int i : {3, 4, 5}) EXPECT_FALSE(opaque(at(image, barCentreX(i), 300))) << i;
    for (int i : {2, 6, 31}) EXPECT_TRUE(sameColour(at(image, barCentreX(i), 300), panel.colorLevel)) << i;
}

TEST(BandPages, LevelsPageFollowsTheContrastColourTheOthersKeepTheirGrey) {
    SorvaneViewBase panel;
    panel.colorContrast = {0.2, 0.3, 0.9, 1};
    plat::ImageSurface levels(512, 512), resonance(512, 512);
    render(levels, [&] { panel.drawSymbolLevels({0, 0, 512, 512}, ResizingBehavior::stretch); });
    render(resonance, [&] { panel.drawSymbolResonance({0, 0, 512, 512}, ResizingBehavior::stretch); });
    // The panel outline (line width 2 along y = 146).
    EXPECT_TRUE(sameColour(at(levels, 300, 146), panel.colorContrast));
    EXPECT_TRUE(sameColour(at(resonance, 300, 146), kPageGrey));
}
