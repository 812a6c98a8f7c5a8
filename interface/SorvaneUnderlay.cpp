#include "SorvaneUnderlay.h"

#include "AudioUnitViewController.h"
#include "Contrast.h"
#include "PanelDrawing.h"

#include <algorithm>
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

std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> SorvaneUnderlayBase::audioUnit() const {
    const auto vc = viewController.lock();
    return vc ? vc->audioUnit() : nullptr;
}

void SorvaneUnderlay::setFocus(bool) {
    setNeedsDisplay();
}

void SorvaneUnderlay::setContrast(plat::CGFloat c) {
    if (panel::applyContrast(*baseClass_, c)) setNeedsDisplay();
}

using plat::CGFloat;
using plat::CGRect;
using Values = std::array<CGFloat, SorvaneUnderlayBase::kBandCount>;

// A new meter value changes only its bar between the old and the new end, so only that part of the
// face is drawn again (with whatever overlaps it). Meters that hold still cost nothing.
void SorvaneUnderlay::update(const float* values, Values& into, CGFloat base, CGFloat sign) {
    const CanvasFit fit = fitCanvas(ResizingBehavior::aspectFit, SorvaneUnderlayBase::kCanvas, bounds());
    for (int i = 0; i < SorvaneUnderlayBase::kBandCount; ++i) {
        const CGFloat was = into[std::size_t(i)], now = values[i];
        if (was == now) continue;
        into[std::size_t(i)] = now;
        if (!std::isfinite(was) || !std::isfinite(now)) {
            setNeedsDisplay();
            continue;
        }
        const CGRect part = SorvaneUnderlayBase::barBox(i, base + sign * 128 * was, base + sign * 128 * now);
        setNeedsDisplay(CGRect{fit.rect.minX() + part.minX() * fit.scale.width,
                               fit.rect.minY() + part.minY() * fit.scale.height,
                               part.width() * fit.scale.width, part.height() * fit.scale.height}
                            .insetBy(-1, -1));
    }
}

// A level bar ends at 57 + 128 level; a gain bar starts at 120 + 128 (1 - factor).
void SorvaneUnderlay::setLevels(const float* levels) {
    if (levels != nullptr) update(levels, baseClass_->valueLevel, 57, 1);
}

void SorvaneUnderlay::setFactors(const float* factors) {
    if (factors != nullptr) update(factors, baseClass_->valueReduct, 248, -1);
}

void SorvaneUnderlay::draw(const plat::CGRect&) {
    if (isHidden()) return;
    baseClass_->drawMain(bounds(), ResizingBehavior::aspectFit);
}
