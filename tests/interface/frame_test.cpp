// The frame plate: a grey plate inset by two points with round corners, nothing for tiny views.
#include "PanelTestSupport.h"
#include "PluginFrameBaseEx.h"

#include <gtest/gtest.h>

using namespace paneltest;

TEST(FramePlate, FillsTheBoundsInsetByTwoInTheContrastGreyAndSkipsViewsOfFourPointsOrLess) {
    for (double contrast : {0.0, 0.15, 1.0}) {
        PluginFrameBaseEx frame;
        frame.contrast = contrast;
        plat::ImageSurface image(400, 300);
        render(image, [&] { frame.drawInView({0, 0, 400, 300}); });
        for (const auto& [x, y] : {std::pair{200, 150}, {2, 150}})
            EXPECT_TRUE(sameColour(image.pixel(x, y), {contrast, contrast, contrast, 1})) << contrast;
        for (const auto& [x, y] : {std::pair{1, 150}, {398, 150}, {200, 1}})
            EXPECT_EQ(image.pixel(x, y).a, 0);
        EXPECT_LT(std::max(image.pixel(2, 2).a, image.pixel(397, 297).a), 128); // rounded corners
        EXPECT_EQ(frame.viewScale, plat::CGSize(1, 1));
    }
    PluginFrameBaseEx frame;
    plat::ImageSurface image(20, 20);
    for (const plat::CGRect& r : {plat::CGRect(0, 0, 0, 0), plat::CGRect(0, 0, 4, 20),
                                  plat::CGRect(0, 0, 20, 3), plat::CGRect(0, 0, 20, -2)})
        render(image, [&] { frame.drawInView(r); });
    EXPECT_TRUE(blank(image));
}
