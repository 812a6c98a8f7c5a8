#include "PanelDrawing.h"
#include "PanelTestSupport.h"
#include "SorvaneViewBase.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

using namespace paneltest;

namespace {

// Knob symbols drawn four times their canvas size; the pivot is canvas (55, 60).
constexpr double kScale = 4;

// Canvas point of (x, y) given in the pointer's own frame (pointer up), turned clockwise by `degrees`.
plat::CGPoint turned(double x, double y, double degrees) {
    const double c = std::cos(rad(degrees)), s = std::sin(rad(degrees));
    return {55 + x * c - y * s, 60 + x * s + y * c};
}

void expectPointerAt(const plat::ImageSurface& image, const plat::UIColor& accent, double degrees) {
    SCOPED_TRACE(degrees);
    // The pointer dot (centre 18.7 from the pivot) and the middle of the pointer triangle.
    const plat::CGPoint dot = turned(0, -18.7, degrees);
    const plat::CGPoint tip = turned(-0.5, -36.5, degrees);
    EXPECT_TRUE(sameColour(at(image, dot.x * kScale, dot.y * kScale), accent));
    EXPECT_TRUE(sameColour(at(image, tip.x * kScale, tip.y * kScale), accent));
    const plat::CGPoint opposite = turned(0, -18.7, degrees + 180);
    EXPECT_FALSE(sameColour(at(image, opposite.x * kScale, opposite.y * kScale), accent));
}

struct Case {
    double value;
    double degrees; // clockwise from straight up
};
const Case kCases[] = {{0, -130}, {0.5, 0}, {1, 130}};

} // namespace

TEST(BipolarKnob, PointerTurnsFrom130LeftThroughTopTo130Right) {
    for (const Case& c : kCases) {
        SorvaneViewBase panel;
        plat::ImageSurface image(440, 440);
        render(image, [&] {
            panel.drawSymbolKnobBiDi({0, 0, 440, 440}, ResizingBehavior::aspectFit, c.value, "knob", false);
        });
        expectPointerAt(image, panel.colorLevel, c.degrees);
    }
}

TEST(UnipolarKnob, PointerTurnsFrom130LeftThroughTopTo130Right) {
    for (const Case& c : kCases) {
        SorvaneViewBase panel;
        plat::ImageSurface image(440, 440);
        render(image, [&] {
            panel.drawSymbolKnobUni({0, 0, 440, 440}, ResizingBehavior::aspectFit, "ATTACK", false, c.value,
                                    true);
        });
        expectPointerAt(image, panel.colorLevel, c.degrees);
    }
}

TEST(KnobText, WholeNumbersOrTheNeutralText) {
    const std::pair<double, const char*> cases[] = {
        {12.5, "13"},  {-12.5, "-13"}, // halves away from zero
        {12.4, "12"},  {-0.4, "0"},    // no "-0"
        {99.6, "100"}, {std::numeric_limits<double>::quiet_NaN(), "--"},
        {1e19, "--"},  {-std::numeric_limits<double>::infinity(), "--"}, // no 64-bit whole number
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(panel::wholeNumberText(value), text) << value;
}

TEST(Knobs, NonFiniteValuesDrawWithoutBreakingTheContext) {
    for (double v :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 1e300}) {
        SorvaneViewBase panel;
        expectStateKept([&] {
            panel.drawSymbolKnobBiDi({0, 0, 110, 110}, ResizingBehavior::stretch, v, "comp./exp.", true);
            panel.drawSymbolKnobUni({0, 0, 60, 60}, ResizingBehavior::stretch, "ATTACK", true, v, true);
        });
        plat::ImageSurface image(110, 110);
        render(image, [&] {
            panel.drawSymbolKnobBiDi({0, 0, 110, 110}, ResizingBehavior::stretch, v, "x", false);
        });
        EXPECT_FALSE(blank(image)); // body, scale and label still drawn
    }
}

TEST(Symbols, KnobsAndButtonLeaveTheStateAsFound) {
    SorvaneViewBase panel;
    expectStateKept([&] {
        panel.drawSymbolKnobBiDi({10, 10, 220, 110}, ResizingBehavior::aspectFit, 0.8, "comp./exp.", true);
        panel.drawSymbolKnobUni({0, 0, 60, 60}, ResizingBehavior::stretch, "RELEASE", true, 0.3, true);
        panel.drawSymbolButton({0, 0, 102, 25}, ResizingBehavior::stretch, true, "LEVELS");
    });
}

TEST(Symbols, ButtonOutlineIsHalfOpaqueContrastAndActiveCaptionTakesTheAccent) {
    SorvaneViewBase panel;
    plat::ImageSurface idle(408, 100), active(408, 100);
    render(idle, [&] {
        panel.drawSymbolButton({0, 0, 408, 100}, ResizingBehavior::aspectFit, false, "IIIIIIII");
    });
    render(active, [&] {
        panel.drawSymbolButton({0, 0, 408, 100}, ResizingBehavior::aspectFit, true, "IIIIIIII");
    });
    // The outline's top edge runs along canvas y = 1.
    EXPECT_TRUE(sameColour(at(idle, 204, 4), panel.colorContrast.withAlphaComponent(0.5)));
    EXPECT_TRUE(sameColour(at(active, 204, 4), panel.colorContrast.withAlphaComponent(0.5)));
    bool accent = false, accentWhenIdle = false;
    for (int y = 10; y < 90; ++y)
        for (int x = 100; x < 300; ++x) {
            accent = accent || sameColour(active.pixel(x, y), panel.colorLevel, 2);
            accentWhenIdle = accentWhenIdle || sameColour(idle.pixel(x, y), panel.colorLevel, 2);
        }
    EXPECT_TRUE(accent);
    EXPECT_FALSE(accentWhenIdle);
}

TEST(Symbols, KnobFittedIntoAWideFrameIsCentred) {
    SorvaneViewBase panel;
    plat::ImageSurface image(220, 110);
    render(image, [&] {
        panel.drawSymbolKnobBiDi({0, 0, 220, 110}, ResizingBehavior::aspectFit, 0.5, "", false);
    });
    for (int y = 0; y < 110; ++y) {
        EXPECT_EQ(image.pixel(50, y).a, 0); // left of the 110-wide knob at x 55 to 165
        EXPECT_EQ(image.pixel(170, y).a, 0);
    }
    EXPECT_TRUE(sameColour(at(image, 55 + 55, 60 - 18.7), panel.colorLevel));
}

TEST(FrequencyLabel, WholeHertzOverHzAndNeutralWhenNotANumber) {
    EXPECT_EQ(panel::frequencyLabelText(62.5f), "62\nhz");
    EXPECT_EQ(panel::frequencyLabelText(-3.7f), "-3\nhz");
    EXPECT_EQ(panel::frequencyLabelText(std::numeric_limits<float>::quiet_NaN()), "--\nhz");
    EXPECT_EQ(panel::frequencyLabelText(1e30f), "--\nhz");
}

TEST(FrequencyLabel, TheRingDrawsLabelsWithoutAWholeNumberAsNeutral) {
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
