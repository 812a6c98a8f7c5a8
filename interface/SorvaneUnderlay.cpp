#include "SorvaneUnderlay.h"

#include "Contrast.h"

#include <cmath>

SorvaneUnderlay::SorvaneUnderlay(plat::CGRect frame)
    : UIControl(frame), baseClass_(std::make_unique<SorvaneUnderlayBase>()) {
    setDrawsContent(true);
    setUserInteractionEnabled(false); // touches belong to the panel above
}

void SorvaneUnderlay::setViewController(const std::shared_ptr<AudioUnitViewController>& controller) {
    viewController_ = controller;
    baseClass_->viewController = controller;
}

void SorvaneUnderlay::setContrast(plat::CGFloat c) {
    if (panel::applyContrast(*baseClass_, c)) setNeedsDisplay();
}

void SorvaneUnderlay::setLevels(const float* levels) {
    if (levels == nullptr) return;
    for (int i = 0; i < SorvaneUnderlayBase::kBandCount; ++i) baseClass_->valueLevel[i] = levels[i];
    setNeedsDisplay();
}

void SorvaneUnderlay::setFactors(const float* factors) {
    if (factors == nullptr) return;
    for (int i = 0; i < SorvaneUnderlayBase::kBandCount; ++i) baseClass_->valueReduct[i] = factors[i];
    setNeedsDisplay();
}

void SorvaneUnderlay::draw(const plat::CGRect&) {
    if (isHidden()) return;
    baseClass_->drawMain(bounds(), ResizingBehavior::aspectFit);
}
