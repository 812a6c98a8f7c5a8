// Knobs, buttons and the texts drawn on them; every drawing of the panel leaves the context as found.
#include "PanelDrawing.h"
#include "PanelTestSupport.h"
#include "PluginFrameBaseEx.h"
#include "SorvaneUnderlayBase.h"
#include "SorvaneViewBase.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>

using namespace paneltest;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN(),
                 kInf = std::numeric_limits<double>::infinity();

// Canvas point of (x, y) given in the pointer's own frame (pointer up), turned clockwise by `degrees`
// about the knob's pivot (55, 60).
plat::CGPoint turned(double x, double y, double degrees) {
    const double c = std::cos(rad(degrees)), s = std::sin(rad(degrees));
    return {55 + x * c - y * s, 60 + x * s + y * c};
}

} // namespace

TEST(Knobs, PointersTurnFrom130LeftThroughTopTo130Right) {
    using Draw = std::function<void(SorvaneViewBase&, double)>;
    const std::pair<const char*, Draw> knobs[] = {
        {"bipolar",
         [](auto& p, double v) {
             p.drawSymbolKnobBiDi({0, 0, 440, 440}, ResizingBehavior::aspectFit, v, "knob", false);
         }},
        {"unipolar", [](auto& p, double v) {
             p.drawSymbolKnobUni({0, 0, 440, 440}, ResizingBehavior::aspectFit, "ATTACK", false, v, true);
         }}};
    for (const auto& [kind, draw] : knobs)
        for (const auto& [value, degrees] : {std::pair{0.0, -130.0}, {0.5, 0.0}, {1.0, 130.0}}) {
            SCOPED_TRACE(::testing::Message() << kind << " at " << value);
            SorvaneViewBase panel;
            plat::ImageSurface image(440, 440); // four times the canvas size
            render(image, [&] { draw(panel, value); });
            // The pointer dot (18.7 from the pivot), the middle of the pointer triangle, and not opposite.
            for (const auto& [x, y, inked] :
                 {std::tuple{0.0, -18.7, true}, {-0.5, -36.5, true}, {0.0, 18.7, false}}) {
                const auto p = turned(x, y, degrees);
                EXPECT_EQ(sameColour(at(image, 4 * p.x, 4 * p.y), panel.colorLevel), inked) << x << "," << y;
            }
        }
}

TEST(Knobs, TextsAreWholeNumbersOrTheNeutralText) {
    const std::pair<double, const char*> cases[] = {
        {12.5, "13"},  {-12.5, "-13"},                              // halves away from zero
        {12.4, "12"},  {-0.4, "0"},                                 // no "-0"
        {99.6, "100"}, {kNaN, "--"},   {1e19, "--"}, {-kInf, "--"}, // no 64-bit whole number
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(panel::wholeNumberText(value), text) << value;
    EXPECT_EQ(panel::frequencyLabelText(62.5f), "62\nhz");
    EXPECT_EQ(panel::frequencyLabelText(-3.7f), "-3\nhz");
    EXPECT_EQ(panel::frequencyLabelText(float(kNaN)), "--\nhz");
    EXPECT_EQ(panel::frequencyLabelText(1e30f), "--\nhz");
}

TEST(Knobs, TheRingDrawsLabelsWithoutAWholeNumberAsNeutral) {
    auto ring = [](const char* label) {
        SorvaneViewBase panel;
        panel.valueFrequency[12] = label; // straight above the centre, less 35 degrees
        auto image = std::make_unique<plat::ImageSurface>(512, 512);
        render(*image, [&] { panel.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
        return image;
    };
    auto same = [](const plat::ImageSurface& a, const plat::ImageSurface& b) {
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x)
                if (!(a.pixel(x, y) == b.pixel(x, y))) return false;
        return true;
    };
    const auto neutral = ring("--\nhz");
    for (const char* raw : {"nan\nhz", "-inf\nhz", "1e30\nhz"})
        EXPECT_TRUE(same(*ring(raw), *neutral)) << raw;
    EXPECT_FALSE(same(*ring("62\nhz"), *neutral));
    EXPECT_FALSE(same(*ring("hz"), *neutral));
}

TEST(Symbols, ButtonOutlineIsHalfOpaqueContrastAndActiveCaptionTakesTheAccent) {
    SorvaneViewBase panel;
    auto accent = [&](bool active) {
        plat::ImageSurface image(408, 100);
        render(image, [&] {
            panel.drawSymbolButton({0, 0, 408, 100}, ResizingBehavior::aspectFit, active, "IIIIIIII");
        });
        // The outline's top edge runs along canvas y = 1.
        EXPECT_TRUE(sameColour(at(image, 204, 4), panel.colorContrast.withAlphaComponent(0.5)));
        for (int y = 10; y < 90; ++y)
            for (int x = 100; x < 300; ++x)
                if (sameColour(image.pixel(x, y), panel.colorLevel, 2)) return true;
        return false;
    };
    EXPECT_TRUE(accent(true));
    EXPECT_FALSE(accent(false));
}

TEST(Symbols, AKnobFittedIntoAWideFrameIsCentredAndNonFiniteValuesStillDrawIt) {
    for (double value : {0.5, kNaN, kInf, 1e300}) {
        SorvaneViewBase panel;
        plat::ImageSurface image(220, 110);
        render(image, [&] {
            panel.drawSymbolKnobBiDi({0, 0, 220, 110}, ResizingBehavior::aspectFit, value, "x", false);
        });
        for (int y = 0; y < 110; ++y) EXPECT_EQ(image.pixel(50, y).a + image.pixel(170, y).a, 0) << y;
        EXPECT_FALSE(blank(image)) << value; // body, scale and label
        if (value == 0.5) {
            EXPECT_TRUE(sameColour(at(image, 55 + 55, 60 - 18.7), panel.colorLevel));
        }
    }
}

TEST(Drawing, EveryDrawingLeavesTheContextAsFound) {
    SorvaneViewBase panel;
    panel.isKnobActive = panel.isButtonBypassActive = panel.isBypass = panel.isAttackActive = true;
    SorvaneUnderlayBase underlay;
    underlay.valueLevel.fill(0.7);
    PluginFrameBaseEx frame;
    using B = ResizingBehavior;
    const std::pair<const char*, std::function<void()>> drawings[] = {
        {"knobs and button",
         [&] {
             panel.drawSymbolKnobBiDi({10, 10, 220, 110}, B::aspectFit, 0.8, "comp./exp.", true);
             panel.drawSymbolKnobUni({0, 0, 60, 60}, B::stretch, "RELEASE", true, 0.3, true);
             panel.drawSymbolButton({10, 10, 204, 50}, B::aspectFit, true, "LEVELS");
         }},
        {"knobs at values that are no number",
         [&] {
             for (double v : {kNaN, kInf, 1e300}) {
                 panel.drawSymbolKnobBiDi({0, 0, 110, 110}, B::stretch, v, "comp./exp.", true);
                 panel.drawSymbolKnobUni({0, 0, 60, 60}, B::stretch, "ATTACK", true, v, true);
             }
         }},
        {"every page",
         [&] {
             for (double mode : {0.0, 1.0, 2.0, 3.0, 1.5}) {
                 panel.panelMode = mode;
                 panel.drawMain({0, 0, 1024, 768}, B::aspectFit);
             }
         }},
        {"band pages alone",
         [&] {
             panel.drawSymbolLevels({0, 0, 512, 512}, B::stretch);
             panel.drawSymbolResonance({0, 0, 300, 200}, B::aspectFill);
             panel.drawSymbolCompansion({0, 0, 512, 512}, B::stretch);
         }},
        {"underlay",
         [&] {
             underlay.drawMain({0, 0, 300, 200}, B::aspectFit);
             underlay.drawSymbolUnderlay({0, 0, 512, 512}, B::stretch);
         }},
        {"frame plate",
         [&] {
             frame.drawInView({0, 0, 400, 300});
             frame.draw({10, 20, 200, 100}, B::center);
             for (const plat::CGRect& r : {plat::CGRect(0, 0, 0, 0), plat::CGRect(0, 0, 4, 20)})
                 frame.drawInView(r);
         }},
    };
    for (const auto& [what, draw] : drawings) {
        SCOPED_TRACE(what);
        expectStateKept(draw);
    }
}
