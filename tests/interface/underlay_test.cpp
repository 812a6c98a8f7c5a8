#include "PanelTestSupport.h"
#include "SorvaneUnderlayBase.h"
#include "SorvaneViewBase.h"

#include <gtest/gtest.h>

using namespace paneltest;

namespace {

// Unit vector from the panel centre to ring label i: the label box sits straight above the centre,
// turned clockwise by (10 i - 155) degrees.
plat::CGPoint labelDirection(int band) {
    const double phi = rad(10.0 * band - 155);
    return {std::sin(phi), -std::cos(phi)};
}

plat::CGPoint along(plat::CGPoint dir, double r) {
    return {256 + dir.x * r, 256 + dir.y * r};
}

} // namespace

TEST(Underlay, LevelBarOfBandILinesUpWithRingLabelI) {
    for (int band : {0, 7, 16, 31}) {
        SCOPED_TRACE(band);
        const plat::CGPoint dir = labelDirection(band);
        const plat::CGPoint neighbour = labelDirection(band == 31 ? 30 : band + 1);

        // The panel draws label i there ...
        SorvaneViewBase panel;
        panel.valueFrequency.fill("");
        panel.valueFrequency[band] = "MMMM";
        plat::ImageSurface face(512, 512);
        render(face, [&] { panel.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
        bool ink = false;
        for (int dy = -4; dy <= 4; ++dy)
            for (int dx = -4; dx <= 4; ++dx)
                ink = ink || at(face, along(dir, 217).x + dx, along(dir, 217).y + dy).a > 0;
        EXPECT_TRUE(ink);

        // ... and the underlay draws level bar i along the same line (radius 119 is on a dash).
        SorvaneUnderlayBase underlay;
        underlay.valueLevel[band] = 1;
        plat::ImageSurface meters(512, 512);
        render(meters, [&] { underlay.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
        const plat::CGPoint p = along(dir, 119);
        EXPECT_TRUE(sameColour(at(meters, p.x, p.y), underlay.colorLevel.withAlphaComponent(0.6)));
        const plat::CGPoint q = along(neighbour, 119);
        EXPECT_EQ(at(meters, q.x, q.y).a, 0);
    }
}

TEST(Underlay, BarAlphaReplacesTheColoursOwn) {
    SorvaneUnderlayBase underlay;
    underlay.colorLevel = underlay.colorLevel.withAlphaComponent(0.3);
    underlay.valueLevel[10] = 1;
    plat::ImageSurface image(512, 512);
    render(image, [&] { underlay.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
    const plat::CGPoint p = along(labelDirection(10), 119);
    EXPECT_NEAR(at(image, p.x, p.y).a, 153, 2);
}

TEST(Underlay, FullReductionDrawsAGainBarOutTo248) {
    SorvaneUnderlayBase underlay;
    underlay.valueReduct[0] = 0;
    plat::ImageSurface image(512, 512);
    render(image, [&] { underlay.drawMain({0, 0, 512, 512}, ResizingBehavior::aspectFit); });
    const plat::CGPoint dir = labelDirection(0);
    const plat::CGPoint in = along(dir, 240), out = along(dir, 252);
    EXPECT_TRUE(sameColour(at(image, in.x, in.y), underlay.colorReduction.withAlphaComponent(0.6)));
    EXPECT_EQ(at(image, out.x, out.y).a, 0);
    const plat::CGPoint other = along(labelDirection(1), 240);
    EXPECT_EQ(at(image, other.x, other.y).a, 0);
}

TEST(Underlay, ContrastChangesNoPixel) {
    SorvaneUnderlayBase a, b;
    for (int i = 0; i < 32; ++i) a.valueLevel[i] = b.valueLevel[i] = i / 31.0;
    b.colorContrast = {0.7, 0.7, 0.7, 1};
    b.colorContrastInverted = {0.3, 0.3, 0.3, 1};
    plat::ImageSurface ia(256, 256), ib(256, 256);
    render(ia, [&] { a.drawMain({0, 0, 256, 256}, ResizingBehavior::aspectFit); });
    render(ib, [&] { b.drawMain({0, 0, 256, 256}, ResizingBehavior::aspectFit); });
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) ASSERT_EQ(ia.pixel(x, y), ib.pixel(x, y)) << x << "," << y;
}

TEST(Underlay, WideViewDrawsACentredSquareAndRecordsItsScale) {
    SorvaneUnderlayBase underlay;
    underlay.valueLevel.fill(1);
    plat::ImageSurface image(512, 256);
    render(image, [&] { underlay.drawInView({0, 0, 512, 256}, false); });
    EXPECT_FLOAT_EQ(underlay.getScalingFactor(), 0.5f);
    EXPECT_EQ(underlay.viewOrigin, plat::CGPoint(128, 0));
    for (int y = 0; y < 256; ++y) {
        EXPECT_EQ(image.pixel(127, y).a, 0);
        EXPECT_EQ(image.pixel(384, y).a, 0);
    }
    EXPECT_FALSE(blank(image));
}
