// The meter underlay's drawing object: per band, a level bar and a gain bar on radial lines of the
// 512 x 512 panel canvas, each band at the angle of its label on the panel's ring. No background.
#pragma once

#include "CanvasFitting.h"

#include "plat/graphics.h"

#include <array>
#include <functional>
#include <memory>

class AudioUnitViewController;
namespace plat {
class ImageSurface;
}
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

private:
    static constexpr int kDashes = 16; // a full level bar's, out to radius 185

    // A shape's pixels as last drawn: `room` (canvas) in whole device pixels from (x, y), showing the
    // shape drawn for `key` (a bar's end).
    struct Sprite {
        std::unique_ptr<plat::ImageSurface> pixels;
        int x = 0, y = 0;
        CGRect room;
        CGFloat key = 0;
        bool drawn = false;
    };
    struct BandSprites {
        Sprite gain;
        std::array<Sprite, kDashes> dashes; // the level bar's whole dashes, outwards
        Sprite rest;                        // its last dash, cut short
    };
    // Drawn under this transform in these colours; a change of any drops them all.
    struct Sprites {
        plat::CGAffineTransform transform;
        UIColor gainColor, levelColor;
        std::array<BandSprites, kBandCount> bands;
    } sprites_;

    // The canvas box around whole dash `dash` of band `band`'s level bar.
    static const CGRect& dashBox(int band, int dash);
    void paintGain(plat::CGContext& ctx, int band, CGFloat from);
    void paintDash(plat::CGContext& ctx, int band, int dash);
    void paintRest(plat::CGContext& ctx, int band, int whole, CGFloat to);
    void paint(plat::CGContext& ctx, Sprite& sprite, const CGRect& room, CGFloat key,
               const std::function<plat::UIBezierPath()>& shape, const UIColor& color);
};
