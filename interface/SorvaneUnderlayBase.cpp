#include "SorvaneUnderlayBase.h"

#include "PanelDrawing.h"

#include <algorithm>
#include <cmath>
#include <vector>

using panel::GState;
using plat::CGContext;
using plat::CGFloat;
using plat::CGRect;
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

namespace {

// Band i points (10 i + 25) degrees clockwise from straight down: the angle of ring label i.
CGFloat bandAngle(int band) {
    return panel::radians(10.0 * band + 25);
}

// From a bar along +y about the origin to band i's place on the canvas.
plat::CGAffineTransform barTurn(int band) {
    return plat::CGAffineTransform::rotation(bandAngle(band))
        .concatenating(plat::CGAffineTransform::translation(256, 256));
}

// Past this radius a bar is off the canvas whatever its value; it ends there.
constexpr CGFloat kReach = 400;

} // namespace

CGRect SorvaneUnderlayBase::barBox(int band, CGFloat r0, CGFloat r1) {
    const CGFloat a = bandAngle(band), c = std::cos(a), s = std::sin(a);
    CGFloat x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
    for (const CGFloat x : {-16.0, 16.0})
        for (const CGFloat r : {r0, r1}) {
            x0 = std::min(x0, 256 + x * c - r * s), x1 = std::max(x1, 256 + x * c - r * s);
            y0 = std::min(y0, 256 + x * s + r * c), y1 = std::max(y1, 256 + x * s + r * c);
        }
    return {x0, y0, x1 - x0, y1 - y0};
}

// The bars are 32 wide with butt ends, so each is filled as rectangles: the level bar's dashes (6 on,
// 2 off from radius 60) as one path of them. That covers what a dashed stroke covers, at a fraction
// of the stroker's cost. A tick that moved a few bars leaves a clip of many small boxes: each box is
// drawn on its own with only the bars that reach into it, since a bar filled under the whole clip
// costs as much as the bar drawn whole.
void SorvaneUnderlayBase::drawSymbolUnderlay(CGRect frame, ResizingBehavior0 resizing) {
    CGContext* ctx = plat::UIGraphicsGetCurrentContext();
    if (ctx == nullptr) return;
    GState whole(*ctx);
    panel::enterCanvas(*ctx, apply(resizing, kCanvas, frame, *this), 512, 512);

    struct Bar {
        UIBezierPath shape; // along +y, before the band's turn
        CGRect box;         // on the canvas
    };
    std::vector<Bar> gains, levels;
    // Gain bars first, so level bars paint over them where they overlap.
    for (int i = 0; i < kBandCount; ++i) {
        if (!std::isfinite(valueReduct[i])) continue;
        const CGFloat from = std::clamp<CGFloat>(120 + 128 * (1 - valueReduct[i]), -kReach, kReach);
        gains.push_back({UIBezierPath::withRect({-16, std::min(from, 183.0), 32, std::abs(183 - from)}),
                         barBox(i, from, 183)});
        gains.back().shape.apply(barTurn(i));
    }
    for (int i = 0; i < kBandCount; ++i) {
        if (!std::isfinite(valueLevel[i])) continue;
        const CGFloat to = std::clamp<CGFloat>(55 + 128 * valueLevel[i] + 2, -kReach, kReach);
        const CGFloat length = std::abs(to - 60), direction = to < 60 ? -1 : 1;
        Bar bar{{}, barBox(i, 60, to)};
        for (CGFloat at = 0; at < length; at += 8) {
            const CGFloat r0 = 60 + direction * at, r1 = 60 + direction * std::min(at + 6, length);
            bar.shape.append(UIBezierPath::withRect({-16, std::min(r0, r1), 32, std::abs(r1 - r0)}));
        }
        bar.shape.apply(barTurn(i));
        levels.push_back(std::move(bar));
    }

    const UIColor gainColor = colorReduction.withAlphaComponent(0.6);
    const UIColor levelColor = colorLevel.withAlphaComponent(0.6);
    for (const CGRect& box : ctx->clipRectangles()) {
        GState g(*ctx);
        ctx->clip(box);
        for (const Bar& bar : gains)
            if (bar.box.intersects(box)) ctx->fill(bar.shape, gainColor);
        for (const Bar& bar : levels)
            if (bar.box.intersects(box)) ctx->fill(bar.shape, levelColor);
    }
}
