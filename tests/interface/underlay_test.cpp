// The layers under and around the panel: the meter underlay, whose band i bars run along the line of
// the panel's ring label i, and the frame plate.
#include "PanelTestSupport.h"
#include "PluginFrameBaseEx.h"
#include "SorvaneUnderlayBase.h"
#include "SorvaneViewBase.h"

#include <gtest/gtest.h>

using namespace paneltest;

namespace {

// The point at radius r from the panel centre towards ring label i, whose box sits straight above
// the centre turned clockwise by (10 i - 155) degrees.
plat::CGPoint towardsLabel(int band, double r) {
    const double phi = rad(10.0 * band - 155);
    return {256 + std::sin(phi) * r, 256 - std::cos(phi) * r};
}

} // namespace

TEST(Underlay, BandIsBarsLineUpWithRingLabelIAndTheirAlphaReplacesTheColours) {
    for (int band : {0, 7, 16, 31}) {
        SCOPED_TRACE(band);
        const int neighbour = band == 31 ? 30 : band + 1;
        SorvaneViewBase panel;
        panel.valueFrequency.fill("");
        panel.valueFrequency[band] = "MMMM";
        plat::ImageSurface face(512, 512), meters(512, 512);
        render(face, [&] { panel.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
        bool ink = false;
        const plat::CGPoint label = towardsLabel(band, 217);
        for (int dy = -4; dy <= 4; ++dy)
            for (int dx = -4; dx <= 4; ++dx) ink = ink || at(face, label.x + dx, label.y + dy).a > 0;
        EXPECT_TRUE(ink);

        // A full level, out to 185 (182 is on a dash), and a full reduction, whose bar reaches out to 248.
        SorvaneUnderlayBase underlay;
        underlay.colorLevel = underlay.colorLevel.withAlphaComponent(0.3);
        underlay.valueLevel[band] = 1;
        underlay.valueReduct[band] = 0;
        render(meters, [&] { underlay.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
        const auto level = towardsLabel(band, 182), gain = towardsLabel(band, 240),
                   past = towardsLabel(band, 252);
        EXPECT_TRUE(sameColour(at(meters, level.x, level.y), underlay.colorLevel.withAlphaComponent(0.6)));
        EXPECT_TRUE(sameColour(at(meters, gain.x, gain.y), underlay.colorReduction.withAlphaComponent(0.6)));
        for (const auto& p : {past, towardsLabel(neighbour, 119), towardsLabel(neighbour, 240)})
            EXPECT_EQ(at(meters, p.x, p.y).a, 0);
    }
}

TEST(Underlay, AWideViewGetsACentredSquareAndItsScaleIsRecorded) {
    SorvaneUnderlayBase underlay;
    underlay.valueLevel.fill(1);
    plat::ImageSurface image(512, 256);
    render(image, [&] { underlay.drawInView({0, 0, 512, 256}, false); });
    EXPECT_FLOAT_EQ(underlay.getScalingFactor(), 0.5f);
    EXPECT_EQ(underlay.viewOrigin, plat::CGPoint(128, 0));
    for (int y = 0; y < 256; ++y) EXPECT_EQ(image.pixel(127, y).a + image.pixel(384, y).a, 0);
    EXPECT_FALSE(blank(image));
}

// The frame plate: a grey plate inset by two points with round corners, nothing for tiny views.
TEST(FramePlate, FillsTheBoundsInsetByTwoInTheContrastGreyAndSkipsViewsOfFourPointsOrLess) {
    for (double contrast : {0.0, 0.15}) {
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
