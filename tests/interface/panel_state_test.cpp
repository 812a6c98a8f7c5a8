#include "SorvaneViewBase.h"

#include <gtest/gtest.h>

TEST(PanelState, FreshPanelHoldsTheNeutralFace) {
    SorvaneViewBase p;
    EXPECT_EQ(p.colorContrast, plat::UIColor(0, 0, 0, 1));
    EXPECT_EQ(p.colorContrastInverted, plat::UIColor(1, 1, 1, 1));
    EXPECT_EQ(p.colorLevel, plat::UIColor(0.753, 0.17, 0.402, 1));
    EXPECT_EQ(p.colorReduction, plat::UIColor(0.197, 0.633, 0.91, 1));
    EXPECT_EQ(SorvaneViewBase::colorHotspot, plat::UIColor(0.408, 0.8, 0.32, 0.064));
    EXPECT_EQ(p.valueKnob, 0.5);
    EXPECT_EQ(p.valueAttack, 0.5);
    EXPECT_EQ(p.valueRelease, 0.5);
    EXPECT_FALSE(p.isKnobActive || p.isAttackActive || p.isReleaseActive || p.isButtonLevelsActive ||
                 p.isButtonResonanceActive || p.isButtonCompansionActive || p.isButtonBypassActive ||
                 p.isBypass);
    for (int i = 0; i < SorvaneViewBase::kBandCount; ++i) {
        EXPECT_EQ(p.valueLevel[i], 0.5);
        EXPECT_EQ(p.valueResonance[i], 0.1);
        EXPECT_EQ(p.valueCompansion[i], 0.5);
        EXPECT_EQ(p.valueFrequency[i], "hz");
    }
    EXPECT_EQ(p.panelMode, 0);
    EXPECT_TRUE(p.viewController.expired());
    EXPECT_EQ(p.viewScale, plat::CGSize(1, 1));
    EXPECT_EQ(p.getScalingFactor(), 1.0f);
}

TEST(PanelState, NoTouchAreaBeforeTheFirstDraw) {
    SorvaneViewBase p;
    for (const plat::UIBezierPath* path :
         {&p.hotspotKnobPath, &p.hotspotButtonLevelsPath, &p.hotspotButtonResonancePath,
          &p.hotspotButtonCompansionPath, &p.hotspotButtonBypassPath, &p.hotspotKnobReleasePath,
          &p.hotspotKnobAttackPath, &p.hotspotCaption1Path, &p.hotspotCaption2Path, &p.hotspotSlidersPath}) {
        EXPECT_TRUE(path->isEmpty());
        EXPECT_FALSE(path->contains({256, 256}));
    }
}
