// The layers under and around the panel: the meter underlay, whose band i bars run along the line of
// the panel's ring label i, and the frame plate.
#include "PanelTestSupport.h"
#include "PluginFrameBaseEx.h"
#include "SorvaneUnderlayBase.h"
#include "SorvaneViewBase.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

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

// Along band i's line, at four times the canvas size: level bars from radius 60 out to
// 57 + 128 x level in dashes of 6 with gaps of 2, gain bars between 183 and 120 + 128 x (1 - factor).
// A fresh underlay shows each band's stubs (60 in to 57, 184 in to 183) and nothing else.
TEST(Underlay, BarsRunFromTheLevelAndTheGainInDashesOfSixAndTwo) {
    struct Row {
        const char* fault;
        int band;
        double level, factor;
        // Radius and what shows there: 'l' the level colour, 'g' the gain colour, '-' nothing, '*' some
        // colour (near the centre the bars of neighbouring bands overlap).
        std::vector<std::pair<double, char>> along;
    };
    std::vector<std::pair<double, char>> dashes; // a full level's 16 dashes, the last cut at 185
    for (int k = 0; k < 16; ++k)
        for (const auto& [at, ink] : {std::pair{0.5, 'l'}, {5.5, 'l'}, {6.5, '-'}, {7.5, '-'}})
            if (60 + 8 * k + at < 183) dashes.push_back({60 + 8 * k + at, k == 0 && at < 1 ? '*' : ink});
    dashes.insert(dashes.end(), {{184.5, 'l'}, {185.5, '-'}});
    const Row rows[] = {
        {"a full level's dashes not 6 on and 2 off from 60, or not out to 185", 9, 1, 0.5, dashes},
        {"a level's end off 57 + 128 x level", 20, 0.5, 0.5, {{120.5, 'l'}, {121.5, '-'}}},
        {"a level's end off 57 + 128 x level, inside a dash", 3, 0.25, 0.5, {{88.5, 'l'}, {89.5, '-'}}},
        {"a full reduction off 183-248", 30, 0, 0, {{182.5, '-'}, {183.5, 'g'}, {247.5, 'g'}, {248.5, '-'}}},
        {"a factor of a quarter not out to 216", 14, 0, 0.25, {{215.5, 'g'}, {216.5, '-'}}},
        {"a full expansion off 120-183", 1, 0, 1, {{119.5, '-'}, {120.5, 'g'}, {182.5, 'g'}, {183.5, '-'}}},
    };
    const auto check = [](const SorvaneUnderlayBase& underlay, const plat::ImageSurface& image, int band,
                          const std::vector<std::pair<double, char>>& along) {
        for (const auto& [r, ink] : along) {
            const auto p = towardsLabel(band, r);
            const plat::Pixel px = at(image, 4 * p.x, 4 * p.y);
            if (ink == '-' || ink == '*')
                EXPECT_EQ(px.a == 0, ink == '-') << "band " << band << " at " << r;
            else
                EXPECT_TRUE(sameColour(
                    px, (ink == 'l' ? underlay.colorLevel : underlay.colorReduction).withAlphaComponent(0.6)))
                    << "band " << band << " at " << r;
        }
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        SorvaneUnderlayBase underlay;
        underlay.valueLevel[std::size_t(row.band)] = row.level;
        underlay.valueReduct[std::size_t(row.band)] = row.factor;
        plat::ImageSurface image(2048, 2048);
        render(image, [&] { underlay.drawMain({0, 0, 2048, 2048}, ResizingBehavior::aspectFit); });
        check(underlay, image, row.band, row.along);
    }
    SCOPED_TRACE("a fresh underlay's stubs missing, too long or turned, or a background drawn");
    SorvaneUnderlayBase fresh;
    plat::ImageSurface image(2048, 2048);
    render(image, [&] { fresh.drawMain({0, 0, 2048, 2048}, ResizingBehavior::aspectFit); });
    for (int band = 0; band < 32; ++band)
        check(fresh, image, band,
              {{56.5, '-'}, {57.5, 'l'}, {59.5, '*'}, {62, '-'}, {182.5, '-'}, {183.5, 'g'}, {184.5, '-'}});
    for (const auto& [x, y] : {std::pair{1024, 1024}, {4, 4}, {2040, 2040}, {1024, 600}})
        EXPECT_EQ(image.pixel(x, y).a, 0);
}
