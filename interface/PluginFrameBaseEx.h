// The plug-in's background plate: a rounded rectangle in the grey of the brightness setting.
#pragma once

#include "CanvasFitting.h"

#include "plat/graphics.h"

class PluginFrameBaseEx {
public:
    using CGFloat = plat::CGFloat;
    using CGRect = plat::CGRect;
    using UIColor = plat::UIColor;
    using ResizingBehavior = ::ResizingBehavior;

    PluginFrameBaseEx() = default;
    virtual ~PluginFrameBaseEx() = default;
    PluginFrameBaseEx(const PluginFrameBaseEx&) = delete;
    PluginFrameBaseEx& operator=(const PluginFrameBaseEx&) = delete;

    // Copied in by the frame view before each draw.
    CGFloat contrast = 0.25;
    UIColor mainColor = UIColor::lightGray();
    plat::CGSize viewScale{1, 1};
    plat::CGPoint viewOrigin{0, 0};

    float getScalingFactor() const { return static_cast<float>(viewScale.width); }

    // Fills the frame inset by 2 with corner radius 4 in the grey `contrast`. A frame of 4 points or
    // less in either direction has no plate and draws nothing.
    virtual void draw(CGRect frame = {0, 0, 512, 384},
                      ResizingBehavior resizing = ResizingBehavior::aspectFit);

    // The frame view's drawing pass: the plate always covers the whole view, whatever part of it the
    // platform asks to redraw.
    void drawInView(const CGRect& bounds) { draw(bounds, ResizingBehavior::aspectFit); }
};
