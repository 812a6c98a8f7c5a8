#include "SorvaneView.h"

#include "Contrast.h"

#include "AudioUnitViewController.h"
#include "PanelDrawing.h"
#include "ValueText.h"

#include "plat/console.h"

#include <algorithm>
#include <cmath>

using plat::Console;
using plat::UIControlEvents;

namespace {
constexpr int kBands = SorvaneViewBase::kBandCount;
} // namespace

SorvaneView::SorvaneView(CGRect frame) : UIControl(frame), baseClass_(std::make_unique<SorvaneViewBase>()) {
    setDrawsContent(true);
}

void SorvaneView::setViewController(const std::shared_ptr<AudioUnitViewController>& controller) {
    viewController_ = controller;
    baseClass_->viewController = controller;
}

std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> SorvaneView::audioUnit() const {
    const auto vc = viewController();
    return vc ? vc->audioUnit() : nullptr;
}

std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> SorvaneViewBase::audioUnit() const {
    const auto vc = viewController.lock();
    return vc ? vc->audioUnit() : nullptr;
}

// ---- values in -----------------------------------------------------------------------------------

void SorvaneView::setFocus(bool) {
    setNeedsDisplay();
}

void SorvaneView::setContrast(CGFloat c) {
    if (panel::applyContrast(*baseClass_, c)) setNeedsDisplay();
}

void SorvaneView::setFrequencies(const float* frequencies) {
    if (frequencies == nullptr) return;
    for (int i = 0; i < kBands; ++i) baseClass_->valueFrequency[i] = formatFrequency(frequencies[i]);
    setNeedsDisplay();
}

std::string SorvaneView::formatFrequency(float value) {
    return panel::frequencyLabelText(value);
}

void SorvaneView::setParameter(std::int64_t address, float value) {
    if (!std::isfinite(value)) return;
    SorvaneViewBase& b = *baseClass_;
    const CGFloat v = value;
    auto band = [&](std::int64_t first, auto& values) {
        const std::int64_t i = address - first;
        if (i >= kBands) return false;
        values[std::size_t(i)] = v;
        return true;
    };
    if (address == 0) {
        b.isBypass = value != 0; // the button shows what parameter 0 holds
    } else if (address == 1) {
        b.valueKnob = v;
    } else if (address == 2) {
        b.valueAttack = v;
    } else if (address == 3) {
        b.valueRelease = v;
    } else if (address >= 1000 && address <= 1999) {
        if (!band(1000, b.valueLevel)) return;
    } else if (address >= 2000 && address <= 2999) {
        if (!band(2000, b.valueResonance)) return;
    } else if (address >= 3000) {
        if (!band(3000, b.valueCompansion)) return;
    }
    Console::shared().writeLine("editor received parameter : address: " + std::to_string(address) +
                                ", value: " + panel::shortestText(value));
    setNeedsDisplay();
}

void SorvaneView::sendParameter(std::int64_t index) {
    const auto d = delegate.lock();
    if (!d || index < 0 || index >= kBands) return;
    const SorvaneViewBase& b = *baseClass_;
    const auto i = std::size_t(index);
    if (b.panelMode == 1)
        d->onSorvaneViewParameter(1000 + index, float(b.valueLevel[i]));
    else if (b.panelMode == 2)
        d->onSorvaneViewParameter(2000 + index, float(b.valueResonance[i]));
    else if (b.panelMode == 3)
        d->onSorvaneViewParameter(3000 + index, float(b.valueCompansion[i]));
}

void SorvaneView::setBand(std::int64_t index, CGFloat value) {
    if (index < 0 || index >= kBands) return;
    SorvaneViewBase& b = *baseClass_;
    const auto i = std::size_t(index);
    if (b.panelMode == 1)
        b.valueLevel[i] = value;
    else if (b.panelMode == 2)
        b.valueResonance[i] = value;
    else if (b.panelMode == 3)
        b.valueCompansion[i] = value;
    sendParameter(index);
}

void SorvaneView::closeGaps(std::int64_t newIndex, std::int64_t lastIndex, CGFloat value) {
    if (newIndex > lastIndex)
        for (std::int64_t i = newIndex - 1; i > lastIndex; --i) setBand(i, value);
    else
        for (std::int64_t i = newIndex + 1; i < lastIndex; ++i) setBand(i, value);
}

// ---- touches -------------------------------------------------------------------------------------

bool SorvaneView::hitTest(CGPoint location, const plat::UIBezierPath& path) {
    return path.contains(location);
}

void SorvaneView::setHotspotMode(CGPoint p) {
    const SorvaneViewBase& b = *baseClass_;
    hotspotMode_ = "";
    if (b.panelMode == 0) {
        if (hitTest(p, b.hotspotKnobPath)) hotspotMode_ = "knob";
    } else {
        if (hitTest(p, b.hotspotSlidersPath)) hotspotMode_ = "sliders";
        if (b.panelMode == 3) {
            if (hitTest(p, b.hotspotKnobAttackPath))
                hotspotMode_ = "attack";
            else if (hitTest(p, b.hotspotKnobReleasePath))
                hotspotMode_ = "release";
        }
    }
    if (hitTest(p, b.hotspotButtonLevelsPath))
        hotspotMode_ = "levels";
    else if (hitTest(p, b.hotspotButtonResonancePath))
        hotspotMode_ = "resonance";
    else if (hitTest(p, b.hotspotButtonCompansionPath))
        hotspotMode_ = "compansion";
    else if (hitTest(p, b.hotspotButtonBypassPath))
        hotspotMode_ = "bypass";
    Console::shared().writeLine(hotspotMode_);
}

std::optional<plat::CGPoint> SorvaneView::canvasPoint(CGPoint p) const {
    const CanvasFit fit = fitCanvas(ResizingBehavior::aspectFit, SorvaneViewBase::kCanvas, bounds());
    const plat::CGSize s = fit.scale;
    if (!(s.width > 0 && s.height > 0 && std::isfinite(s.width) && std::isfinite(s.height)))
        return std::nullopt;
    const CGPoint o = fit.scaled ? fit.rect.origin : CGPoint{0, 0};
    return CGPoint{(p.x - o.x) / s.width, (p.y - o.y) / s.height};
}

std::pair<int, plat::CGFloat> SorvaneView::sliderAt(CGPoint p) const {
    const CGRect r = baseClass_->hotspotSlidersPath.bounds();
    const CGFloat x = p.x - r.minX(), y = p.y - r.minY();
    const CGFloat w = r.width() / kBands;
    const CGFloat at = w > 0 ? std::floor(x / w) : 0;
    const int index = int(std::clamp<CGFloat>(std::isfinite(at) ? at : 0, 0, kBands - 1));
    const CGFloat v = std::clamp<CGFloat>(y / 128, 0, 1);
    const CGFloat value = 1 - v;
    Console::shared().writeLine(std::to_string(index) + " " + panel::shortestText(value));
    return {index, value};
}

void SorvaneView::dragKnob(CGPoint p) {
    const CanvasFit fit = fitCanvas(ResizingBehavior::aspectFit, SorvaneViewBase::kCanvas, bounds());
    const plat::CGSize s = fit.scale;
    const CGFloat dx = (p.x - startLocation_.x) / s.width * scaler_;
    const CGFloat dy = (p.y - startLocation_.y) / s.height * scaler_;
    const float f = std::clamp(float(dy - dx) / 2 / 100 * float(s.width), -1.0f, 1.0f);
    const CGFloat value = std::clamp<CGFloat>(savedValue_ - f, 0, 1);
    SorvaneViewBase& b = *baseClass_;
    std::int64_t address = 1;
    if (hotspotMode_ == "knob") {
        b.valueKnob = value;
    } else if (hotspotMode_ == "attack") {
        b.valueAttack = value;
        address = 2;
    } else {
        b.valueRelease = value;
        address = 3;
    }
    if (const auto d = delegate.lock()) d->onSorvaneViewParameter(address, float(value));
}

void SorvaneView::touchesBegan(const plat::UITouchSet& touches, const plat::UIEvent*) {
    const auto vc = viewController();
    const auto d = delegate.lock();
    if (!vc || !d || touches.empty()) return;
    const auto p = canvasPoint(touches.front()->location(this));
    if (!p) return;
    startLocation_ = *p;
    setHotspotMode(*p);
    if (hotspotMode_.empty()) {
        vc->touchesLocked = false;
        return;
    }
    vc->touchesLocked = true;
    SorvaneViewBase& b = *baseClass_;
    const std::string& m = hotspotMode_;
    if (m == "knob") {
        savedValue_ = b.valueKnob;
        b.isKnobActive = true;
    } else if (m == "attack") {
        savedValue_ = b.valueAttack;
        b.isAttackActive = true;
    } else if (m == "release") {
        savedValue_ = b.valueRelease;
        b.isReleaseActive = true;
    } else if (m == "sliders") {
        const auto [index, value] = sliderAt(*p);
        setBand(index, value);
        lastIndex_ = index;
    } else if (m == "levels" || m == "resonance" || m == "compansion") {
        const CGFloat page = m == "levels" ? 1 : m == "resonance" ? 2 : 3;
        (m == "levels"      ? b.isButtonLevelsActive
         : m == "resonance" ? b.isButtonResonanceActive
                            : b.isButtonCompansionActive) = true;
        b.panelMode = b.panelMode == 0 ? page : 0;
    } else if (m == "bypass") {
        // The button keeps its idle size: only the bypass state changes its look.
        b.isBypass = !b.isBypass;
        d->onSorvaneViewParameter(0, b.isBypass ? 1.0f : 0.0f);
    }
    setNeedsDisplay();
    sendActions(UIControlEvents::touchDown);
}

void SorvaneView::touchesMoved(const plat::UITouchSet& touches, const plat::UIEvent*) {
    if (!viewController() || !delegate.lock() || hotspotMode_.empty() || touches.empty()) return;
    const auto p = canvasPoint(touches.front()->location(this));
    if (!p) return;
    const std::string& m = hotspotMode_;
    if (m == "knob" || m == "attack" || m == "release") {
        dragKnob(*p);
    } else if (m == "sliders") {
        const auto [index, value] = sliderAt(*p);
        closeGaps(index, lastIndex_, value);
        setBand(index, value);
        lastIndex_ = index;
    }
    setNeedsDisplay();
    sendActions(UIControlEvents::valueChanged);
}

void SorvaneView::releaseGrab() {
    SorvaneViewBase& b = *baseClass_;
    const std::string& m = hotspotMode_;
    if (m == "knob") b.isKnobActive = false;
    if (m == "attack") b.isAttackActive = false;
    if (m == "release") b.isReleaseActive = false;
    if (m == "levels") b.isButtonLevelsActive = false;
    if (m == "resonance") b.isButtonResonanceActive = false;
    if (m == "compansion") b.isButtonCompansionActive = false;
    hotspotMode_ = "";
}

void SorvaneView::touchesEnded(const plat::UITouchSet& touches, const plat::UIEvent* event) {
    const auto vc = viewController();
    if (!vc || touches.empty()) return;
    touchesMoved(touches, event);
    releaseGrab();
    vc->touchesLocked = false;
    setNeedsDisplay();
    const bool inside = bounds().contains(touches.front()->location(this));
    sendActions(inside ? UIControlEvents::touchUpInside : UIControlEvents::touchUpOutside);
}

void SorvaneView::touchesCancelled(const plat::UITouchSet&, const plat::UIEvent*) {
    const auto vc = viewController();
    if (!vc) return;
    vc->touchesLocked = false;
    releaseGrab();
    setNeedsDisplay();
    sendActions(UIControlEvents::touchCancel);
}

void SorvaneView::draw(const CGRect&) {
    if (isHidden()) return;
    baseClass_->drawMain(bounds(), ResizingBehavior::aspectFit);
}
