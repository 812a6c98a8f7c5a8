#include "SorvaneUnderlayBase.h"

#include "PanelDrawing.h"

#include "plat/image.h"

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

// Whether band i's bar between radii r0 and r1 reaches into the box (canvas units): the box's
// bounds are checked first, then its projections across and along the bar, as a box just off a
// turned bar's side is often inside the bar's bounds. Painting a shape that misses the box would
// change nothing there, and costs as much as one that does not.
bool touches(int band, CGFloat r0, CGFloat r1, const CGRect& barBounds, const CGRect& box) {
    if (!barBounds.intersects(box)) return false;
    const CGFloat a = bandAngle(band), c = std::cos(a), s = std::sin(a);
    const CGFloat dx = box.midX() - 256, dy = box.midY() - 256, hx = box.width() / 2, hy = box.height() / 2;
    const CGFloat across = dx * c + dy * s, along = dy * c - dx * s;
    const CGFloat acrossReach = hx * std::abs(c) + hy * std::abs(s),
                  alongReach = hx * std::abs(s) + hy * std::abs(c);
    constexpr CGFloat margin = 0.5;
    return std::abs(across) < 16 + acrossReach + margin && along + alongReach + margin > std::min(r0, r1) &&
           along - alongReach - margin < std::max(r0, r1);
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

const CGRect& SorvaneUnderlayBase::dashBox(int band, int dash) {
    static const auto boxes = [] {
        std::array<std::array<CGRect, kDashes>, kBandCount> all;
        for (int i = 0; i < kBandCount; ++i)
            for (int k = 0; k < kDashes; ++k)
                all[std::size_t(i)][std::size_t(k)] = barBox(i, 60 + 8.0 * k, 66 + 8.0 * k);
        return all;
    }();
    return boxes[std::size_t(band)][std::size_t(dash)];
}

// The bars are 32 wide with butt ends, so each is filled as rectangles: a level bar as its dashes (6
// on, 2 off from radius 60), which covers what a dashed stroke covers at a fraction of the stroker's
// cost. Each shape (a gain bar, a whole dash, a level bar's last dash) is drawn into an image of its
// own when it changes and painted from there, several times cheaper than filling it again: a tick
// draws each moved bar once, then paints. A tick that moved a few bars leaves a clip of many small
// boxes: each box is painted on its own with only what reaches into it, since a shape painted under
// the whole clip costs as much as the shape painted whole.
void SorvaneUnderlayBase::drawSymbolUnderlay(CGRect frame, ResizingBehavior0 resizing) {
    CGContext* ctx = plat::UIGraphicsGetCurrentContext();
    if (ctx == nullptr) return;
    GState whole(*ctx);
    panel::enterCanvas(*ctx, apply(resizing, kCanvas, frame, *this), 512, 512);

    const UIColor gainColor = colorReduction.withAlphaComponent(0.6);
    const UIColor levelColor = colorLevel.withAlphaComponent(0.6);
    if (sprites_.transform != ctx->ctm() || sprites_.gainColor != gainColor ||
        sprites_.levelColor != levelColor)
        sprites_ = {ctx->ctm(), gainColor, levelColor, {}};

    // What each band shows: its gain bar from `from` to 183, its whole dashes and what is left.
    struct Band {
        CGFloat from = 0, to = 0;
        CGRect gainBox, wholeBox, restBox;
        int whole = 0;
        bool gain = false, rest = false;
    };
    std::array<Band, kBandCount> bands;
    for (int i = 0; i < kBandCount; ++i) {
        Band& b = bands[std::size_t(i)];
        if (std::isfinite(valueReduct[i])) {
            b.gain = true;
            b.from = std::clamp<CGFloat>(120 + 128 * (1 - valueReduct[i]), -kReach, kReach);
            b.gainBox = barBox(i, b.from, 183);
        }
        if (!std::isfinite(valueLevel[i])) continue;
        b.to = std::clamp<CGFloat>(55 + 128 * valueLevel[i] + 2, -kReach, kReach);
        const CGFloat length = b.to - 60;
        b.whole = length > 0 ? std::min(int((length + 2) / 8), kDashes) : 0;
        if (b.whole > 0) b.wholeBox = barBox(i, 60, 60 + 8 * b.whole);
        b.rest = 8.0 * b.whole < std::abs(length);
        if (b.rest) b.restBox = barBox(i, 60 + 8.0 * b.whole, b.to);
    }

    // Gain bars first, so level bars paint over them where they overlap.
    for (const CGRect& box : ctx->clipRectangles()) {
        GState g(*ctx);
        ctx->clip(box);
        for (int i = 0; i < kBandCount; ++i)
            if (const Band& b = bands[std::size_t(i)]; b.gain && touches(i, b.from, 183, b.gainBox, box))
                paintGain(*ctx, i, b.from);
        for (int i = 0; i < kBandCount; ++i) {
            const Band& b = bands[std::size_t(i)];
            if (b.whole > 0 && b.wholeBox.intersects(box))
                for (int k = 0; k < b.whole; ++k)
                    if (touches(i, 60 + 8.0 * k, 66 + 8.0 * k, dashBox(i, k), box)) paintDash(*ctx, i, k);
            if (b.rest && touches(i, 60 + 8.0 * b.whole, b.to, b.restBox, box))
                paintRest(*ctx, i, b.whole, b.to);
        }
    }
}

namespace {

// Bar shape along +y between radii r0 and r1, turned to band i on the canvas.
UIBezierPath barShape(int band, CGFloat r0, CGFloat r1) {
    UIBezierPath path = UIBezierPath::withRect({-16, std::min(r0, r1), 32, std::abs(r1 - r0)});
    path.apply(barTurn(band));
    return path;
}

} // namespace

void SorvaneUnderlayBase::paintGain(CGContext& ctx, int band, CGFloat from) {
    // Its image has room for any gain the meter shows; a bar past that is filled in place.
    if (from < 120 || from > 248) return ctx.fill(barShape(band, from, 183), sprites_.gainColor);
    paint(
        ctx, sprites_.bands[std::size_t(band)].gain, barBox(band, 120, 248), from,
        [&] { return barShape(band, from, 183); }, sprites_.gainColor);
}

void SorvaneUnderlayBase::paintDash(CGContext& ctx, int band, int dash) {
    paint(
        ctx, sprites_.bands[std::size_t(band)].dashes[std::size_t(dash)], dashBox(band, dash), 0,
        [&] { return barShape(band, 60 + 8.0 * dash, 66 + 8.0 * dash); }, sprites_.levelColor);
}

// The level bar past its whole dashes from its image: the last dash, cut short, or at a level near
// nothing the bit from 60 inwards to 57. Anything else (a bar past the meter's full reach) is filled
// in place.
void SorvaneUnderlayBase::paintRest(CGContext& ctx, int band, int whole, CGFloat to) {
    const CGFloat from = 60 + 8.0 * whole;
    if ((to > from && whole < kDashes) || (whole == 0 && to < 60 && to >= 54)) {
        paint(
            ctx, sprites_.bands[std::size_t(band)].rest,
            to > from ? dashBox(band, whole) : barBox(band, 54, 60), to,
            [&] { return barShape(band, from, to); }, sprites_.levelColor);
        return;
    }
    const CGFloat length = std::abs(to - 60), direction = to < 60 ? -1 : 1;
    UIBezierPath rest;
    for (CGFloat at = 8.0 * whole; at < length; at += 8)
        rest.append(barShape(band, 60 + direction * at, 60 + direction * std::min(at + 6, length)));
    ctx.fill(rest, sprites_.levelColor);
}

// A shape painted from its sprite, drawn into it first when the sprite holds another shape. The
// sprite covers `room` (canvas) in whole device pixels, so painted back it looks as the shape
// filled in place.
void SorvaneUnderlayBase::paint(CGContext& ctx, Sprite& sprite, const CGRect& room, CGFloat key,
                                const std::function<UIBezierPath()>& shape, const UIColor& color) {
    if (!sprite.pixels || sprite.room != room) {
        UIBezierPath corners = UIBezierPath::withRect(room);
        corners.apply(sprites_.transform);
        const CGRect r = corners.bounds();
        // On a very large face the images would cost more memory than they save time.
        if (!(r.width() * r.height() < 1 << 17)) return ctx.fill(shape(), color);
        sprite.x = int(std::floor(r.minX())) - 1, sprite.y = int(std::floor(r.minY())) - 1;
        sprite.pixels = std::make_unique<plat::ImageSurface>(int(std::ceil(r.maxX())) + 1 - sprite.x,
                                                             int(std::ceil(r.maxY())) + 1 - sprite.y);
        sprite.room = room;
        sprite.drawn = false;
    }
    if (!sprite.drawn || sprite.key != key) {
        sprite.pixels->fill(UIColor::clear());
        CGContext& into = sprite.pixels->context();
        GState g(into);
        into.translateBy(-sprite.x, -sprite.y);
        into.concatenate(sprites_.transform);
        into.fill(shape(), color);
        sprite.key = key;
        sprite.drawn = true;
    }
    ctx.paintAtDevicePixel(*sprite.pixels, sprite.x, sprite.y);
}
