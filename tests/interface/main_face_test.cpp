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

TEST(MainFace, HiddenPanelDrawsNothing) {
    SorvaneViewBase panel;
    panel.panelMode = 3;
    plat::ImageSurface image(300, 200);
    render(image, [&] { panel.drawInView({0, 0, 300, 200}, true); });
    EXPECT_TRUE(blank(image));
    render(image, [&] { panel.drawInView({0, 0, 300, 200}, false); });
    EXPECT_FALSE(blank(image));
}

TEST(MainFace, DrawingWithoutACurrentContextDoesNothing) {
    SorvaneViewBase panel;
    panel.drawMain({0, 0, 256, 256}, ResizingBehavior::aspectFit);
    EXPECT_EQ(panel.viewScale, plat::CGSize(1, 1));
    EXPECT_TRUE(panel.hotspotKnobPath.isEmpty());
}

TEST(MainFace, CanvasSizedFrameKeepsThePreviousScale) {
    SorvaneViewBase panel;
    plat::ImageSurface image(512, 512);
    render(image, [&] { panel.drawMain({0, 0, 256, 256}, ResizingBehavior::aspectFit); });
    EXPECT_FLOAT_EQ(panel.getScalingFactor(), 0.5f);
    render(image, [&] { panel.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
    EXPECT_FLOAT_EQ(panel.getScalingFactor(), 0.5f);
}

TEST(MainFace, EveryPageLeavesTheStateAsFound) {
    for (double mode : {0.0, 1.0, 2.0, 3.0, 1.5}) {
        SorvaneViewBase panel;
        panel.panelMode = mode;
        panel.isKnobActive = panel.isButtonBypassActive = panel.isBypass = true;
        expectStateKept([&] { panel.drawMain({0, 0, 1024, 768}, ResizingBehavior::aspectFit); });
    }
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

TEST(Hotspots, FollowThePageDrawnLast) {
    SorvaneViewBase panel;
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
    const plat::CGRect sliders = panel.hotspotSlidersPath.bounds();
    EXPECT_EQ(sliders, plat::CGRect(49, 191, 414, 128));
}
