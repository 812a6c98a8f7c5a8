#include "SorvaneUnderlayBase.h"

#include "PanelDrawing.h"

using panel::GState;
using plat::CGContext;
using plat::UIBezierPath;

SorvaneUnderlayBase::SorvaneUnderlayBase() {
    valueLevel.fill(0.0);
    valueReduct.fill(0.5);
}

SorvaneUnderlayBase::~SorvaneUnderlayBase() = default;

void SorvaneUnderlayBase::drawInView(const CGRect& bounds, bool isHidden) {
    if (isHidden) return;
    drawMain(bounds, ResizingBehavior0::aspectFit);
}

void SorvaneUnderlayBase::drawMain(CGRect frame, ResizingBehavior0 resizing) {
    CGContext* ctx = plat::UIGraphicsGetCurrentContext();
    if (ctx == nullptr) return;
    GState whole(*ctx);
    panel::enterCanvas(*ctx, apply(resizing, kCanvas, frame, *this), 512, 512);
    GState clipped(*ctx);
    ctx->clip(kCanvas);
    drawSymbolUnderlay(kCanvas, ResizingBehavior0::stretch);
}

void SorvaneUnderlayBase::drawSymbolUnderlay(CGRect frame, ResizingBehavior0 resizing) {
    CGContext* ctx = plat::UIGraphicsGetCurrentContext();
    if (ctx == nullptr) return;
    GState whole(*ctx);
    panel::enterCanvas(*ctx, apply(resizing, kCanvas, frame, *this), 512, 512);

    const UIColor levelStroke = colorLevel.withAlphaComponent(0.6);
    const UIColor gainStroke = colorReduction.withAlphaComponent(0.6);

    // Band i points (10 i + 25) degrees clockwise from straight down: the angle of ring label i.
    // Gain bars first, so level bars paint over them where they overlap.
    for (int i = 0; i < kBandCount; ++i) {
        GState g(*ctx);
        ctx->translateBy(256, 256);
        ctx->rotate(panel::radians(10.0 * i + 25));
        UIBezierPath bar;
        bar.moveTo({0, 120 + 128 * (1 - valueReduct[i])});
        bar.addLineTo({0, 183});
        bar.lineWidth = 32;
        ctx->stroke(bar, gainStroke);
    }
    const CGFloat dashes[] = {6, 2};
    for (int i = 0; i < kBandCount; ++i) {
        GState g(*ctx);
        ctx->translateBy(256, 256);
        ctx->rotate(panel::radians(10.0 * i + 25));
        UIBezierPath bar;
        bar.moveTo({0, 60});
        bar.addLineTo({0, 55 + 128 * valueLevel[i] + 2});
        bar.lineWidth = 32;
        bar.lineJoinStyle = UIBezierPath::LineJoin::round;
        GState dashed(*ctx);
        ctx->setLineDash(0, dashes);
        ctx->stroke(bar, levelStroke);
    }
}
