// The main face: its fit into a view, its pages, its touch areas, and buttons and knobs that grow.
#include "PanelTestSupport.h"
#include "SorvaneViewBase.h"

#include <gtest/gtest.h>

using namespace paneltest;

TEST(MainFace, FittedIntoAWideViewAsACentredSquare) {
    SorvaneViewBase panel;
    panel.valueKnob = 0.5;
    plat::ImageSurface image(1024, 768);
    render(image, [&] { panel.drawMain({0, 0, 1024, 768}, ResizingBehavior::aspectFit); });
    EXPECT_EQ(panel.viewScale, plat::CGSize(1.5, 1.5));
    EXPECT_EQ(panel.viewOrigin, plat::CGPoint(128, 0));
    EXPECT_FLOAT_EQ(panel.getScalingFactor(), 1.5f);
    // Canvas point c lands at (128 + 1.5 c.x, 1.5 c.y).
    auto view = [](double x, double y) { return plat::CGPoint{128 + 1.5 * x, 1.5 * y}; };
    const plat::CGPoint ringRight = view(256 + 200, 256), ringTop = view(256, 256 - 200);
    EXPECT_TRUE(sameColour(at(image, ringRight.x, ringRight.y), panel.colorContrast.withAlphaComponent(0.5)));
    EXPECT_TRUE(sameColour(at(image, ringTop.x, ringTop.y), panel.colorContrast.withAlphaComponent(0.5)));
    // The centre knob (scale 1.1 about the panel centre) points straight up at 0.5.
    const plat::CGPoint dot = view(256, 256 - 18.7 * 1.1);
    EXPECT_TRUE(sameColour(at(image, dot.x, dot.y), panel.colorLevel));
    for (int y = 0; y < 768; y += 3) {
        EXPECT_EQ(image.pixel(120, y).a, 0);
        EXPECT_EQ(image.pixel(1024 - 121, y).a, 0);
    }
}

TEST(MainFace, WithoutAContextOrAtCanvasSizeTheFitStays) {
    SorvaneViewBase panel;
    panel.drawMain({0, 0, 256, 256}, ResizingBehavior::aspectFit); // no current context: nothing
    EXPECT_EQ(panel.viewScale, plat::CGSize(1, 1));
    EXPECT_TRUE(panel.hotspotKnobPath.isEmpty());
    plat::ImageSurface image(512, 512);
    render(image, [&] { panel.drawMain({0, 0, 256, 256}, ResizingBehavior::aspectFit); });
    render(image, [&] { panel.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
    EXPECT_FLOAT_EQ(panel.getScalingFactor(), 0.5f);
}

TEST(MainFace, OnlyTheSelectedPageIsDrawn) {
    // The LEVELS caption is drawn only on page 1, in the accent colour.
    auto accentInCaption = [](double mode) {
        SorvaneViewBase panel;
        panel.panelMode = mode;
        plat::ImageSurface image(512, 512);
        render(image, [&] { panel.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
        for (int y = 161; y < 181; ++y)
            for (int x = 156; x < 356; ++x)
                if (sameColour(image.pixel(x, y), panel.colorLevel, 2)) return true;
        return false;
    };
    EXPECT_TRUE(accentInCaption(1));
    EXPECT_FALSE(accentInCaption(0));
    EXPECT_FALSE(accentInCaption(1.5));
}

TEST(Hotspots, NoneBeforeTheFirstDrawThenThoseOfThePageDrawnLast) {
    SorvaneViewBase panel;
    for (const plat::UIBezierPath* path :
         {&panel.hotspotKnobPath, &panel.hotspotButtonLevelsPath, &panel.hotspotButtonResonancePath,
          &panel.hotspotButtonCompansionPath, &panel.hotspotButtonBypassPath, &panel.hotspotKnobReleasePath,
          &panel.hotspotKnobAttackPath, &panel.hotspotCaption1Path, &panel.hotspotCaption2Path,
          &panel.hotspotSlidersPath})
        EXPECT_FALSE(path->contains({256, 256}) || !path->isEmpty());
    plat::ImageSurface image(512, 512);
    render(image, [&] { panel.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
    EXPECT_TRUE(panel.hotspotKnobPath.contains({256, 256}));
    EXPECT_TRUE(panel.hotspotSlidersPath.isEmpty());
    EXPECT_TRUE(panel.hotspotButtonBypassPath.contains({93, 461}));
    EXPECT_TRUE(panel.hotspotCaption1Path.contains({256, 20}));
    EXPECT_TRUE(panel.hotspotCaption2Path.contains({256, 480}));

    panel.panelMode = 1;
    render(image, [&] { panel.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
    EXPECT_TRUE(panel.hotspotSlidersPath.contains({256, 250}));
    EXPECT_TRUE(panel.hotspotKnobAttackPath.contains({200, 100}));
    EXPECT_TRUE(panel.hotspotKnobPath.contains({256, 256})); // kept from the main page
    EXPECT_EQ(panel.hotspotSlidersPath.bounds(), plat::CGRect(49, 191, 414, 128));
}

TEST(MainFace, ButtonsSitAtTheirCentresAndGrowWhilePressed) {
    // A button's outline runs 1 unit inside its 102 x 25 canvas, which is centred on the button's
    // point and scaled by 1.1 (1.5 while pressed): its edges lie at centre.y -/+ 11.5 s, and a
    // horizontal edge carries half-opaque ink 1.5 s units deep.
    auto top = [](double centreY, double s) { return centreY - 11.5 * s; };
    auto bottom = [](double centreY, double s) { return centreY + 11.5 * s; };
    auto inkAcross = [](const plat::ImageSurface& image, double x, double y) {
        double ink = 0;
        for (int row = int(y) - 2; row <= int(y) + 2; ++row) ink += at(image, x, row).a / 255.0;
        return ink;
    };
    auto edge = [](double s) { return 0.5 * 1.5 * s; };
    struct Button {
        double x, y;
    };
    const Button levels{93.1, 49.25}, resonance{422.1, 49.25}, compansion{422.1, 452.25},
        bypass{93.1, 461.25};

    SorvaneViewBase panel;
    plat::ImageSurface idle(512, 512);
    render(idle, [&] { panel.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
    for (const Button& b : {levels, resonance, compansion, bypass}) {
        SCOPED_TRACE(b.y);
        EXPECT_NEAR(inkAcross(idle, b.x, top(b.y, 1.1)), edge(1.1), 0.1);
        EXPECT_NEAR(inkAcross(idle, b.x, bottom(b.y, 1.1)), edge(1.1), 0.1);
    }
    // The two lower buttons are not level: COMPANSION sits 9 units higher than BYPASS.
    EXPECT_EQ(inkAcross(idle, compansion.x, bottom(bypass.y, 1.1)), 0);

    // Pressing BYPASS grows it; its caption shows the bypass state, not the press.
    auto accentIn = [&](const plat::ImageSurface& image, const Button& b) {
        for (int y = int(b.y) - 8; y <= int(b.y) + 8; ++y)
            for (int x = int(b.x) - 45; x <= int(b.x) + 45; ++x)
                if (sameColour(image.pixel(x, y), panel.colorLevel, 2)) return true;
        return false;
    };
    EXPECT_EQ(inkAcross(idle, bypass.x, top(bypass.y, 1.5)), 0);
    EXPECT_FALSE(accentIn(idle, bypass));
    panel.isButtonBypassActive = true;
    plat::ImageSurface pressed(512, 512);
    render(pressed, [&] { panel.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
    EXPECT_NEAR(inkAcross(pressed, bypass.x, top(bypass.y, 1.5)), edge(1.5), 0.1);
    EXPECT_FALSE(accentIn(pressed, bypass));

    panel.isButtonBypassActive = false;
    panel.isBypass = true;
    plat::ImageSurface bypassed(512, 512);
    render(bypassed, [&] { panel.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
    EXPECT_NEAR(inkAcross(bypassed, bypass.x, top(bypass.y, 1.1)), edge(1.1), 0.1);
    EXPECT_TRUE(accentIn(bypassed, bypass));
}

TEST(MainFace, AnActiveKnobGrowsFrom1_1To1_5AboutItsCentre) {
    // At 0.5 a knob's pointer dot sits straight above its pivot (55, 60) of the 110-unit knob
    // canvas, 18.7 units away. The centre knob's canvas is placed with its pivot on the panel centre
    // at full size; the ATTACK knob's is squeezed into a 60-unit box centred on its point, so its
    // pivot lies 5 knob units below that point. Both are scaled by 1.1, or 1.5 while active.
    struct Knob {
        double x, y, units, pivotBelow;
        bool SorvaneViewBase::*active;
        double mode;
    };
    const Knob knobs[] = {{256, 256, 1.0, 0, &SorvaneViewBase::isKnobActive, 0},
                          {216, 102, 60.0 / 110, 5, &SorvaneViewBase::isAttackActive, 3}};
    for (const Knob& k : knobs) {
        SCOPED_TRACE(k.x);
        auto dotY = [&](double s) { return k.y + s * k.units * (k.pivotBelow - 18.7); };
        for (bool active : {false, true}) {
            SorvaneViewBase panel;
            panel.panelMode = k.mode;
            panel.*k.active = active;
            // Twice the canvas size, so the small knob's dot covers whole pixels.
            plat::ImageSurface image(1024, 1024);
            render(image, [&] { panel.drawMain({0, 0, 1024, 1024}, ResizingBehavior::aspectFit); });
            EXPECT_EQ(sameColour(at(image, 2 * k.x, 2 * dotY(1.5)), panel.colorLevel), active);
            EXPECT_EQ(sameColour(at(image, 2 * k.x, 2 * dotY(1.1)), panel.colorLevel), !active);
        }
    }
}
