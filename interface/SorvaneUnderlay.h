// The meter layer under the panel: per band, the output level and the gain factor of the running
// effect, drawn by its drawing base. The view controller's timer feeds it.
#pragma once

#include "SorvaneUnderlayBase.h"

#include "plat/uicontrol.h"

#include <memory>

class AudioUnitViewController;

class SorvaneUnderlay : public plat::UIControl {
public:
    explicit SorvaneUnderlay(plat::CGRect frame = {});

    // A back reference: it does not keep the controller alive.
    std::shared_ptr<AudioUnitViewController> viewController() const { return viewController_.lock(); }
    void setViewController(const std::shared_ptr<AudioUnitViewController>& controller);
    std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> audioUnit() const { return baseClass_->audioUnit(); }
    SorvaneUnderlayBase& baseClass() const { return *baseClass_; }

    // Asks for a redraw; the argument has no other effect.
    void setFocus(bool focus);
    void setContrast(plat::CGFloat contrast);
    // Each copies 32 values; null is ignored.
    void setLevels(const float* levels);
    void setFactors(const float* factors);

    void draw(const plat::CGRect& rect) override;

private:
    void update(const float* values, std::array<plat::CGFloat, SorvaneUnderlayBase::kBandCount>& into,
                plat::CGFloat base, plat::CGFloat sign);

    std::weak_ptr<AudioUnitViewController> viewController_;
    std::unique_ptr<SorvaneUnderlayBase> baseClass_;
};
