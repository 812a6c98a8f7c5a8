// Knobs and the texts drawn on them; every drawing of the panel leaves the context as found.
#include "PanelDrawing.h"
#include "PanelTestSupport.h"
#include "PluginFrameBaseEx.h"
#include "SorvaneUnderlayBase.h"
#include "SorvaneViewBase.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <string>

using namespace paneltest;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN(),
                 kInf = std::numeric_limits<double>::infinity();

} // namespace

// The number under a knob is the one its pointer shows: the comp./exp. knob reads -100 to 100 with 0
// at its centre, the small knobs 0 to 100.
TEST(Knobs, PointersTurnFrom130LeftThroughTopTo130RightOverTheirNumberAndAnyValueStillDrawsACentredKnob) {
    const struct {
        double value, degrees;
        const char *bipolarText, *text;
    } rows[] = {{0.0, -130.0, "-100", "0"}, {0.5, 0.0, "0", "50"}, {1.0, 130.0, "100", "100"}};
    for (bool uni : {false, true})
        for (const auto& [value, degrees, bipolarText, text] : rows) {
            SCOPED_TRACE(::testing::Message() << uni << " at " << value);
            SorvaneViewBase panel;
            plat::ImageSurface image(440, 440); // four times the knob's canvas
            render(image, [&] {
                const plat::CGRect r{0, 0, 440, 440};
                uni ? panel.drawSymbolKnobUni(r, ResizingBehavior::aspectFit, "ATTACK", false, value, true)
                    : panel.drawSymbolKnobBiDi(r, ResizingBehavior::aspectFit, value, "knob", false);
            });
            // Below the knob's disc and scale only its number is drawn: the same pixels as that text
            // drawn alone in the number's box.
            plat::ImageSurface number(440, 440);
            number.context().scaleBy(4, 4);
            panel::drawCentredText(number.context(), uni ? text : bipolarText,
                                   uni ? plat::CGRect{6, 99, 98, 10} : plat::CGRect{5, 100, 99, 10},
                                   plat::UIFont::withName("HelveticaNeue", 8.5), panel.colorContrast);
            int differing = 0;
            for (int y = 4 * 98; y < 440; ++y)
                for (int x = 0; x < 440; ++x) differing += !(image.pixel(x, y) == number.pixel(x, y));
            EXPECT_EQ(differing, 0) << "pixels unlike the number " << (uni ? text : bipolarText);
            // The pointer dot (18.7 from the pivot at (55, 60)), the pointer triangle, and not opposite,
            // in the pointer's frame turned clockwise.
            const double c = std::cos(rad(degrees)), s = std::sin(rad(degrees));
            for (const auto& [x, y, inked] :
                 {std::tuple{0.0, -18.7, true}, {-0.5, -36.5, true}, {0.0, 18.7, false}}) {
                const plat::Pixel p = at(image, 4 * (55 + x * c - y * s), 4 * (60 + x * s + y * c));
                EXPECT_EQ(sameColour(p, panel.colorLevel), inked) << x << "," << y;
            }
        }
    for (double value : {0.5, kNaN, kInf, 1e300}) {
        SorvaneViewBase panel;
        plat::ImageSurface image(220, 110);
        render(image, [&] {
            panel.drawSymbolKnobBiDi({0, 0, 220, 110}, ResizingBehavior::aspectFit, value, "x", false);
        });
        for (int y = 0; y < 110; ++y) EXPECT_EQ(image.pixel(50, y).a + image.pixel(170, y).a, 0) << y;
        EXPECT_FALSE(blank(image)) << value; // body, scale and label
    }
}

// The centre knob's value arc runs on the scale's ring (radius 41 about (55, 60)) from the top
// to the pointer, clockwise for values above the middle and anticlockwise below.
TEST(Knobs, TheBipolarValueArcRunsFromTheTopToThePointerOnEitherSide) {
    const struct {
        const char* fault;
        double value, from, to; // arc angles, 0 to the right, clockwise
    } rows[] = {
        {"no arc, or one the wrong way round, at the left end", 0.0, -220, -90},
        {"a negative arc on the right, or the long way round", 0.2, -168, -90},
        {"a short negative arc missing or on the wrong side", 0.45, -103, -90},
        {"a short positive arc missing or on the wrong side", 0.55, -90, -77},
        {"a positive arc on the left, or the long way round", 0.8, -90, -12},
        {"no arc, or one the wrong way round, at the right end", 1.0, -90, 40},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        SorvaneViewBase panel;
        plat::ImageSurface image(440, 440);
        render(image, [&] {
            panel.drawSymbolKnobBiDi({0, 0, 440, 440}, ResizingBehavior::aspectFit, row.value, "", false);
        });
        // Round caps reach 1 unit (1.4 degrees) past each end; the dots of the scale and the
        // pointer show no value colour.
        std::string wrong; // the angles showing the value colour where they should not, or not showing it
        for (int degrees = -270; degrees <= 90; ++degrees) {
            const plat::Pixel p =
                at(image, 4 * (55 + 41 * std::cos(rad(degrees))), 4 * (60 + 41 * std::sin(rad(degrees))));
            const bool valueColour = p.a > 0 && p.r - p.g > 40;
            const bool inside = degrees > row.from + 3 && degrees < row.to - 3;
            const bool outside = degrees < row.from - 3 || degrees > row.to + 3;
            if ((inside || outside) && valueColour != inside)
                wrong.append(1, ' ').append(std::to_string(degrees));
        }
        EXPECT_EQ(wrong, "");
    }
}

TEST(Knobs, TextsAreWholeNumbersOrTheNeutralText) {
    const std::pair<double, const char*> cases[] = {
        {12.5, "13"},  {-12.5, "-13"},                              // halves away from zero
        {12.4, "12"},  {-0.4, "0"},                                 // no "-0"
        {99.6, "100"}, {kNaN, "--"},   {1e19, "--"}, {-kInf, "--"}, // no 64-bit whole number
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(panel::wholeNumberText(value), text) << value;
    for (const auto& [hertz, text] :
         {std::pair{62.5f, "62\nhz"}, {-3.7f, "-3\nhz"}, {float(kNaN), "--\nhz"}, {1e30f, "--\nhz"}})
        EXPECT_EQ(panel::frequencyLabelText(hertz), text);
}

TEST(Drawing, EveryDrawingLeavesTheContextAsFound) {
    SorvaneViewBase panel;
    panel.isKnobActive = panel.isButtonBypassActive = panel.isBypass = panel.isAttackActive = true;
    SorvaneUnderlayBase underlay;
    underlay.valueLevel.fill(0.7);
    PluginFrameBaseEx frame;
    using B = ResizingBehavior;
    auto knobs = [&] {
        for (double v : {0.8, kNaN, kInf, 1e300}) {
            panel.drawSymbolKnobBiDi({10, 10, 220, 110}, B::aspectFit, v, "comp./exp.", true);
            panel.drawSymbolKnobUni({0, 0, 60, 60}, B::stretch, "RELEASE", true, v, true);
        }
        panel.drawSymbolButton({10, 10, 204, 50}, B::aspectFit, true, "LEVELS");
    };
    auto pages = [&] {
        for (double mode : {0.0, 1.0, 2.0, 3.0, 1.5})
            panel.panelMode = mode, panel.drawMain({0, 0, 1024, 768}, B::aspectFit);
        panel.drawSymbolResonance({0, 0, 300, 200}, B::aspectFill);
    };
    auto plate = [&] {
        frame.drawInView({0, 0, 400, 300}), frame.draw({10, 20, 200, 100}, B::center),
            frame.drawInView({0, 0, 4, 20});
    };
    const std::pair<const char*, std::function<void()>> drawings[] = {
        {"knobs and button", knobs},
        {"every page", pages},
        {"frame plate", plate},
        {"underlay", [&] {
             underlay.drawMain({0, 0, 300, 200}, B::aspectFit);
         }}};
    for (const auto& [what, draw] : drawings) {
        SCOPED_TRACE(what);
        expectStateKept(draw);
    }
}
