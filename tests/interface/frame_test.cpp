#include "PanelTestSupport.h"
#include "PluginFrameBaseEx.h"

#include <gtest/gtest.h>

using namespace paneltest;

TEST(FramePlate, FillsTheBoundsInsetByTwoWithRoundCorners) {
    PluginFrameBaseEx frame;
    frame.contrast = 0.15;
    plat::ImageSurface image(400, 300);
    render(image, [&] { frame.drawInView({0, 0, 400, 300}); });
    const plat::UIColor grey{0.15, 0.15, 0.15, 1};
    EXPECT_TRUE(sameColour(image.pixel(200, 150), grey));
    EXPECT_TRUE(sameColour(image.pixel(2, 150), grey));
    EXPECT_EQ(image.pixel(1, 150).a, 0);
    EXPECT_EQ(image.pixel(398, 150).a, 0);
    EXPECT_EQ(image.pixel(200, 1).a, 0);
    EXPECT_LT(image.pixel(2, 2).a, 128); // rounded corners
    EXPECT_LT(image.pixel(397, 297).a, 128);
    EXPECT_EQ(frame.viewScale, plat::CGSize(1, 1));
}

TEST(FramePlate, ContrastIsTheGreyLevel) {
    for (double c : {0.0, 1.0}) {
        PluginFrameBaseEx frame;
        frame.contrast = c;
        plat::ImageSurface image(20, 20);
        render(image, [&] { frame.drawInView({0, 0, 20, 20}); });
        EXPECT_TRUE(sameColour(image.pixel(10, 10), {c, c, c, 1}));
    }
}

TEST(FramePlate, ViewsOfFourPointsOrLessDrawNothing) {
    PluginFrameBaseEx frame;
    plat::ImageSurface image(20, 20);
    for (const plat::CGRect& r : {plat::CGRect(0, 0, 0, 0), plat::CGRect(0, 0, 4, 20),
                                  plat::CGRect(0, 0, 20, 3), plat::CGRect(0, 0, 20, -2)}) {
        expectStateKept([&] { frame.drawInView(r); });
        render(image, [&] { frame.drawInView(r); });
    }
    EXPECT_TRUE(blank(image));
    EXPECT_EQ(frame.viewScale, plat::CGSize(1, 1));
}

TEST(FramePlate, LeavesTheStateAsFound) {
    PluginFrameBaseEx frame;
    expectStateKept([&] {
        frame.drawInView({0, 0, 400, 300});
        frame.draw({10, 20, 200, 100}, ResizingBehavior::center);
    });
}
