#include "PluginFrameBaseEx.h"

#include "PanelDrawing.h"

#include <cmath>

void PluginFrameBaseEx::draw(CGRect frame, ResizingBehavior resizing) {
    plat::CGContext* ctx = plat::UIGraphicsGetCurrentContext();
    if (ctx == nullptr) return;
    const CGRect f = frame.standardized();
    if (!(f.size.width > 4 && f.size.height > 4) || !std::isfinite(f.size.width) ||
        !std::isfinite(f.size.height))
        return;
    panel::GState whole(*ctx);
    const CGRect canvas{0, 0, f.size.width, f.size.height};
    panel::enterCanvas(*ctx, apply(resizing, canvas, f, *this), f.size.width, f.size.height);
    const UIColor plate{contrast, contrast, contrast, 1};
    ctx->fill(plat::UIBezierPath::withRoundedRect({2, 2, f.size.width - 4, f.size.height - 4}, 4), plate);
}
