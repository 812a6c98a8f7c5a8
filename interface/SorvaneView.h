// The panel control: draws the whole 512 x 512 face through its drawing base, turns touches on the
// face's touch areas into values, and carries values between parameter addresses and the face.
#pragma once

#include "SorvaneViewBase.h"

#include "plat/uicontrol.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class AudioUnitViewController;
class YUX_Sorvane_Extension_AudioUnit;

// Receives every value the panel's controls change.
class SorvaneViewDelegate {
public:
    virtual ~SorvaneViewDelegate() = default;
    virtual void onSorvaneViewParameter(std::int64_t address, float value) = 0;
    virtual void onSorvaneViewOption(std::int64_t address, float value) = 0;
};

class SorvaneView : public plat::UIControl {
public:
    using CGFloat = plat::CGFloat;
    using CGPoint = plat::CGPoint;
    using CGRect = plat::CGRect;

    explicit SorvaneView(CGRect frame = {});

    // Back references: they do not keep the controller alive.
    std::shared_ptr<AudioUnitViewController> viewController() const { return viewController_.lock(); }
    void setViewController(const std::shared_ptr<AudioUnitViewController>& controller);
    std::weak_ptr<SorvaneViewDelegate> delegate;
    std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> audioUnit() const;
    SorvaneViewBase& baseClass() const { return *baseClass_; }

    // ---- values in ---------------------------------------------------------------------------
    virtual void setFocus(bool focus);
    virtual void setContrast(CGFloat contrast);
    // Reads exactly 32 values; null is ignored.
    virtual void setFrequencies(const float* frequencies);
    virtual std::string formatFrequency(float value);
    // A value that is not finite is ignored.
    virtual void setParameter(std::int64_t address, float value);
    virtual void sendParameter(std::int64_t index);

    // ---- touches -----------------------------------------------------------------------------
    const std::string& hotspotMode() const { return hotspotMode_; }
    CGFloat startValue() const { return startValue_; }
    virtual void setHotspotMode(CGPoint location);
    using plat::UIControl::hitTest;
    virtual bool hitTest(CGPoint location, const plat::UIBezierPath& path);
    // Where a point of this view lies on the canvas, through the fit of the current bounds; nothing
    // when the fit has no usable scale.
    std::optional<CGPoint> canvasPoint(CGPoint viewPoint) const;

    void draw(const CGRect& rect) override;
    void touchesBegan(const plat::UITouchSet& touches, const plat::UIEvent* event) override;
    void touchesMoved(const plat::UITouchSet& touches, const plat::UIEvent* event) override;
    void touchesEnded(const plat::UITouchSet& touches, const plat::UIEvent* event) override;
    void touchesCancelled(const plat::UITouchSet& touches, const plat::UIEvent* event) override;

private:
    void closeGaps(std::int64_t newIndex, std::int64_t lastIndex, CGFloat value);
    void setBand(std::int64_t index, CGFloat value);
    // Band index and value under a canvas point of the slider area.
    std::pair<int, CGFloat> sliderAt(CGPoint p) const;
    void dragKnob(CGPoint p);
    void releaseGrab();

    std::weak_ptr<AudioUnitViewController> viewController_;
    std::unique_ptr<SorvaneViewBase> baseClass_;
    std::string hotspotMode_;
    CGPoint startLocation_;
    CGFloat startValue_ = 0; // nothing reads or writes it after construction
    CGFloat scaler_ = 1.0;
    CGFloat savedValue_ = 0;
    std::int64_t lastIndex_ = 0;
};
