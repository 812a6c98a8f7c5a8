// The meter underlay's drawing object: per band, a level bar and a gain bar on radial lines of the
// 512 x 512 panel canvas, each band at the angle of its label on the panel's ring. No background.
#pragma once

#include "CanvasFitting.h"

#include "plat/graphics.h"

#include <array>
#include <memory>

class AudioUnitViewController;
class YUX_Sorvane_Extension_AudioUnit;

class SorvaneUnderlayBase {
public:
    using CGFloat = plat::CGFloat;
    using CGRect = plat::CGRect;
    using UIColor = plat::UIColor;
    using ResizingBehavior0 = ::ResizingBehavior;

    static constexpr int kBandCount = 32;
    static constexpr CGRect kCanvas{0, 0, 512, 512};

    SorvaneUnderlayBase();
    virtual ~SorvaneUnderlayBase();
    SorvaneUnderlayBase(const SorvaneUnderlayBase&) = delete;
    SorvaneUnderlayBase& operator=(const SorvaneUnderlayBase&) = delete;

    std::weak_ptr<AudioUnitViewController> viewController; // does not keep the controller alive
    // The controller's audio unit, when there is a controller (defined with the underlay view).
    std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> audioUnit() const;
    UIColor colorContrast{0, 0, 0, 1};
    UIColor colorContrastInverted{1, 1, 1, 1};
    UIColor colorLevel{0.753, 0.17, 0.402, 1};
    UIColor colorReduction{0.197, 0.633, 0.91, 1};
    std::array<CGFloat, kBandCount> valueLevel;  // 0 to 1
    std::array<CGFloat, kBandCount> valueReduct; // gain factor, 0.5 = unity
    plat::CGSize viewScale{1, 1};
    plat::CGPoint viewOrigin{0, 0};

    float getScalingFactor() const { return static_cast<float>(viewScale.width); }

    // Both draw into the current graphics context and leave its state as they found it.
    virtual void drawMain(CGRect frame = kCanvas, ResizingBehavior0 resizing = ResizingBehavior0::aspectFit);
    virtual void drawSymbolUnderlay(CGRect frame = kCanvas,
                                    ResizingBehavior0 resizing = ResizingBehavior0::aspectFit);

    // The underlay view's drawing pass: nothing while hidden.
    void drawInView(const CGRect& bounds, bool isHidden);

    // The canvas box around band `band`'s bar between radii r0 and r1.
    static CGRect barBox(int band, CGFloat r0, CGFloat r1);
};
