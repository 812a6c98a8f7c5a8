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

void SorvaneUnderlay::setContrast(plat::CGFloat c) {
    if (panel::applyContrast(*baseClass_, c)) setNeedsDisplay();
}

namespace {

using plat::CGFloat;
using plat::CGRect;
using Values = std::array<CGFloat, SorvaneUnderlayBase::kBandCount>;

// The canvas box around band i's bar between radii r0 and r1 (the bars are 32 units wide).
CGRect barPart(int band, CGFloat r0, CGFloat r1) {
    const CGFloat a = panel::radians(10.0 * band + 25), c = std::cos(a), s = std::sin(a);
    CGFloat x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
    for (const CGFloat x : {-16.0, 16.0})
        for (const CGFloat r : {r0, r1}) {
            x0 = std::min(x0, 256 + x * c - r * s), x1 = std::max(x1, 256 + x * c - r * s);
            y0 = std::min(y0, 256 + x * s + r * c), y1 = std::max(y1, 256 + x * s + r * c);
        }
    return {x0, y0, x1 - x0, y1 - y0};
}

} // namespace

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
        const CGRect part = barPart(i, base + sign * 128 * was, base + sign * 128 * now);
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
