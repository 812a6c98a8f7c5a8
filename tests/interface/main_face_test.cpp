// The main face: its fit into a view, its pages, its touch areas, and buttons and knobs that grow.
#include "PanelTestSupport.h"
#include "SorvaneViewBase.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace paneltest;

namespace {

plat::ImageSurface& drawn(SorvaneViewBase& panel, plat::ImageSurface& image) {
    render(image, [&] {
        panel.drawMain({0, 0, double(image.width()), double(image.height())}, ResizingBehavior::aspectFit);
    });
    return image;
}

// Whether the accent colour shows within `r` of (x, y): captions take it when active.
bool accentNear(const SorvaneViewBase& panel, const plat::ImageSurface& image, double x, double y, int rx,
                int ry) {
    for (int j = int(y) - ry; j <= int(y) + ry; ++j)
        for (int i = int(x) - rx; i <= int(x) + rx; ++i)
            if (sameColour(image.pixel(i, j), panel.colorLevel, 2)) return true;
    return false;
}

} // namespace

TEST(MainFace, FitsAWideViewAsACentredSquareAndDrawsNothingWithoutAContext) {
    SorvaneViewBase panel;
    panel.drawMain({0, 0, 256, 256}, ResizingBehavior::aspectFit); // no current context: nothing
    EXPECT_EQ(panel.viewScale, plat::CGSize(1, 1));
    EXPECT_TRUE(panel.hotspotKnobPath.isEmpty());
    plat::ImageSurface image(1024, 768);
    drawn(panel, image);
    EXPECT_EQ(panel.viewScale, plat::CGSize(1.5, 1.5));
    EXPECT_EQ(panel.viewOrigin, plat::CGPoint(128, 0));
    // Canvas point (x, y) lands at (128 + 1.5 x, 1.5 y): the ring's right and top, and the centre knob's
    // dot (scale 1.1 about the centre) straight up at 0.5.
    const plat::UIColor ring = panel.colorContrast.withAlphaComponent(0.5);
    for (const auto& [x, y, colour] :
         {std::tuple{456.0, 256.0, ring}, {256, 56, ring}, {256, 256 - 18.7 * 1.1, panel.colorLevel}})
        EXPECT_TRUE(sameColour(at(image, 128 + 1.5 * x, 1.5 * y), colour)) << x << "," << y;
    for (int y = 0; y < 768; y += 3) EXPECT_EQ(image.pixel(120, y).a + image.pixel(1024 - 121, y).a, 0);
}

TEST(MainFace, OnlyTheSelectedPageIsDrawnAndTheHotspotsAreThoseOfThePageDrawnLast) {
    SorvaneViewBase panel;
    for (double mode : {0.0, 1.5, 1.0}) {
        panel.panelMode = mode;
        plat::ImageSurface image(512, 512);
        EXPECT_EQ(accentNear(panel, drawn(panel, image), 256, 171, 100, 10), mode == 1)
            << mode; // LEVELS caption
    }
    const std::tuple<const plat::UIBezierPath&, double, double> inside[] = {
        {panel.hotspotKnobPath, 256, 256}, // kept from the main page
        {panel.hotspotButtonBypassPath, 93, 461},    {panel.hotspotButtonLevelsPath, 93, 49},
        {panel.hotspotButtonResonancePath, 422, 49}, {panel.hotspotButtonCompansionPath, 422, 452},
        {panel.hotspotCaption1Path, 256, 20},        {panel.hotspotCaption2Path, 256, 480},
        {panel.hotspotKnobAttackPath, 216, 102},     {panel.hotspotKnobReleasePath, 295, 102}};
    for (const auto& [path, x, y] : inside) EXPECT_TRUE(path.contains({x, y})) << x << "," << y;
    EXPECT_FALSE(panel.hotspotKnobAttackPath.contains({295, 102}) ||
                 panel.hotspotKnobReleasePath.contains({216, 102}));
    EXPECT_EQ(panel.hotspotSlidersPath.bounds(), plat::CGRect(49, 191, 414, 128));
}

TEST(MainFace, ButtonsSitAtTheirCentresAndGrowWhilePressedAndBypassShowsInItsCaption) {
    // A button's outline runs 1 unit inside its 102 x 25 canvas, which is centred on the button's
    // point and scaled by 1.1 (1.5 while pressed): its edges lie at centre.y -/+ 11.5 s, and a
    // horizontal edge carries half-opaque ink 1.5 s units deep.
    auto inkAcross = [](const plat::ImageSurface& image, double x, double y) {
        double ink = 0;
        for (int row = int(y) - 2; row <= int(y) + 2; ++row) ink += at(image, x, row).a / 255.0;
        return ink;
    };
    auto edgeInk = [](double s) { return 0.5 * 1.5 * s; };
    const std::pair<double, double> levels{93.1, 49.25}, resonance{422.1, 49.25}, compansion{422.1, 452.25},
        bypass{93.1, 461.25};
    SorvaneViewBase panel;
    plat::ImageSurface idle(512, 512);
    drawn(panel, idle);
    for (const auto& [x, y] : {levels, resonance, compansion, bypass})
        for (double edge : {y - 11.5 * 1.1, y + 11.5 * 1.1})
            EXPECT_NEAR(inkAcross(idle, x, edge), edgeInk(1.1), 0.1) << y;
    EXPECT_EQ(inkAcross(idle, compansion.first, bypass.second + 11.5 * 1.1),
              0); // COMPANSION sits 9 units higher
    EXPECT_EQ(inkAcross(idle, bypass.first, bypass.second - 11.5 * 1.5), 0);
    // Pressing grows the button; its caption shows the bypass state, not the press.
    for (const auto& [press, on, s] :
         {std::tuple{false, false, 1.1}, {true, false, 1.5}, {false, true, 1.1}}) {
        panel.isButtonBypassActive = press, panel.isBypass = on;
        plat::ImageSurface image(512, 512);
        drawn(panel, image);
        EXPECT_NEAR(inkAcross(image, bypass.first, bypass.second - 11.5 * s), edgeInk(s), 0.1) << press << on;
        EXPECT_EQ(accentNear(panel, image, bypass.first, bypass.second, 45, 8), on) << press << on;
    }
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
    for (const Knob& k : knobs)
        for (bool active : {false, true}) {
            SorvaneViewBase panel;
            panel.panelMode = k.mode;
            panel.*k.active = active;
            plat::ImageSurface image(1024,
                                     1024); // twice the canvas, so the small knob's dot covers whole pixels
            drawn(panel, image);
            for (double s : {1.1, 1.5})
                EXPECT_EQ(sameColour(at(image, 2 * k.x, 2 * (k.y + s * k.units * (k.pivotBelow - 18.7))),
                                     panel.colorLevel),
                          active == (s == 1.5))
                    << k.x << " " << s;
        }
}

TEST(MainFace, RingLabelsAreDrawnAsStoredTextsThatReadAsNoWholeNumberIncluded) {
    // Band 16's box, straight above the centre turned by 5 degrees, with each text in turn; a text
    // put in for another one shows as the same picture.
    auto picture = [](const std::string& label) {
        SorvaneViewBase panel;
        panel.valueFrequency[16] = label;
        auto image = std::make_unique<plat::ImageSurface>(512, 512);
        drawn(panel, *image);
        return image;
    };
    auto same = [](const plat::ImageSurface& a, const plat::ImageSurface& b) {
        for (int y = 20; y < 60; ++y)
            for (int x = 220; x < 320; ++x)
                if (!(a.pixel(x, y) == b.pixel(x, y))) return false;
        return true;
    };
    const std::string labels[] = {"--\nhz", "nan\nhz", "inf\nhz", "1e30\nhz", "-inf\nhz"};
    std::vector<std::unique_ptr<plat::ImageSurface>> pictures;
    for (const auto& label : labels) pictures.push_back(picture(label));
    EXPECT_FALSE(blank(*pictures[1]));
    for (std::size_t i = 0; i < pictures.size(); ++i)
        for (std::size_t j = i + 1; j < pictures.size(); ++j)
            EXPECT_FALSE(same(*pictures[i], *pictures[j])) << labels[i] << " drawn as " << labels[j];
}
