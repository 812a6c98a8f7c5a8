// Points, sizes, rectangles and affine transforms in the y-down plane.
// Header-only: every operation is small and used on drawing hot paths.
#pragma once

#include <algorithm>
#include <cmath>

namespace plat {

using CGFloat = double;

struct CGAffineTransform;

struct CGPoint {
    CGFloat x = 0;
    CGFloat y = 0;

    constexpr CGPoint() = default;
    constexpr CGPoint(CGFloat x_, CGFloat y_) : x(x_), y(y_) {}

    CGPoint applying(const CGAffineTransform& t) const;
    friend constexpr bool operator==(const CGPoint&, const CGPoint&) = default;
};

struct CGSize {
    CGFloat width = 0;
    CGFloat height = 0;

    constexpr CGSize() = default;
    constexpr CGSize(CGFloat w, CGFloat h) : width(w), height(h) {}

    friend constexpr bool operator==(const CGSize&, const CGSize&) = default;
};

// a b 0 / c d 0 / tx ty 1, applied to row vectors: x' = a*x + c*y + tx, y' = b*x + d*y + ty.
struct CGAffineTransform {
    CGFloat a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    constexpr CGAffineTransform() = default;
    constexpr CGAffineTransform(CGFloat a_, CGFloat b_, CGFloat c_, CGFloat d_, CGFloat tx_, CGFloat ty_)
        : a(a_), b(b_), c(c_), d(d_), tx(tx_), ty(ty_) {}

    static constexpr CGAffineTransform identity() { return {}; }
    static constexpr CGAffineTransform translation(CGFloat x, CGFloat y) { return {1, 0, 0, 1, x, y}; }
    static constexpr CGAffineTransform scale(CGFloat sx, CGFloat sy) { return {sx, 0, 0, sy, 0, 0}; }
    static CGAffineTransform rotation(CGFloat angle) {
        const CGFloat s = std::sin(angle), co = std::cos(angle);
        return {co, s, -s, co, 0, 0};
    }

    constexpr bool isIdentity() const { return *this == CGAffineTransform{}; }

    // `this` first, then `t`.
    constexpr CGAffineTransform concatenating(const CGAffineTransform& t) const {
        return {a * t.a + b * t.c, a * t.b + b * t.d,          c * t.a + d * t.c,
                c * t.b + d * t.d, tx * t.a + ty * t.c + t.tx, tx * t.b + ty * t.d + t.ty};
    }
    // Prepend: the new step acts on points before this transform does.
    constexpr CGAffineTransform translatedBy(CGFloat x, CGFloat y) const {
        return translation(x, y).concatenating(*this);
    }
    constexpr CGAffineTransform scaledBy(CGFloat sx, CGFloat sy) const {
        return scale(sx, sy).concatenating(*this);
    }
    CGAffineTransform rotated(CGFloat angle) const { return rotation(angle).concatenating(*this); }

    // A singular transform is returned unchanged.
    constexpr CGAffineTransform inverted() const {
        const CGFloat det = a * d - b * c;
        if (det == 0) return *this;
        const CGFloat ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
        return {ia, ib, ic, id, -(tx * ia + ty * ic), -(tx * ib + ty * id)};
    }

    friend constexpr bool operator==(const CGAffineTransform&, const CGAffineTransform&) = default;
};

inline CGPoint CGPoint::applying(const CGAffineTransform& t) const {
    return {t.a * x + t.c * y + t.tx, t.b * x + t.d * y + t.ty};
}

struct CGRect {
    CGPoint origin;
    CGSize size;

    constexpr CGRect() = default;
    constexpr CGRect(CGPoint o, CGSize s) : origin(o), size(s) {}
    constexpr CGRect(CGFloat x, CGFloat y, CGFloat w, CGFloat h) : origin(x, y), size(w, h) {}

    static constexpr CGRect zero() { return {}; }

    // Geometry accessors work on the standardised rectangle, as callers expect for negative sizes.
    CGFloat minX() const { return std::min(origin.x, origin.x + size.width); }
    CGFloat maxX() const { return std::max(origin.x, origin.x + size.width); }
    CGFloat minY() const { return std::min(origin.y, origin.y + size.height); }
    CGFloat maxY() const { return std::max(origin.y, origin.y + size.height); }
    CGFloat midX() const { return origin.x + size.width / 2; }
    CGFloat midY() const { return origin.y + size.height / 2; }
    CGFloat width() const { return std::abs(size.width); }
    CGFloat height() const { return std::abs(size.height); }
    CGPoint center() const { return {midX(), midY()}; }

    bool isEmpty() const {
        return !(size.width != 0 && size.height != 0) || !std::isfinite(size.width) ||
               !std::isfinite(size.height);
    }

    CGRect standardized() const { return {minX(), minY(), width(), height()}; }

    CGRect insetBy(CGFloat dx, CGFloat dy) const {
        CGRect r = standardized();
        r.origin.x += dx;
        r.origin.y += dy;
        r.size.width -= 2 * dx;
        r.size.height -= 2 * dy;
        if (r.size.width < 0 || r.size.height < 0) return {};
        return r;
    }
    CGRect offsetBy(CGFloat dx, CGFloat dy) const {
        return {origin.x + dx, origin.y + dy, size.width, size.height};
    }

    // Half-open: the maximum edges are outside.
    bool contains(CGPoint p) const {
        return !isEmpty() && p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
    }
    bool contains(const CGRect& r) const {
        return !isEmpty() && !r.isEmpty() && r.minX() >= minX() && r.maxX() <= maxX() && r.minY() >= minY() &&
               r.maxY() <= maxY();
    }
    // Rectangles that only share an edge do not intersect.
    bool intersects(const CGRect& r) const {
        return !isEmpty() && !r.isEmpty() && r.minX() < maxX() && minX() < r.maxX() && r.minY() < maxY() &&
               minY() < r.maxY();
    }
    // The empty rectangle when they do not intersect.
    CGRect intersection(const CGRect& r) const {
        if (!intersects(r)) return {};
        const CGFloat x0 = std::max(minX(), r.minX()), y0 = std::max(minY(), r.minY());
        return {x0, y0, std::min(maxX(), r.maxX()) - x0, std::min(maxY(), r.maxY()) - y0};
    }
    CGRect united(const CGRect& r) const {
        if (isEmpty()) return r.standardized();
        if (r.isEmpty()) return standardized();
        const CGFloat x0 = std::min(minX(), r.minX()), y0 = std::min(minY(), r.minY());
        return {x0, y0, std::max(maxX(), r.maxX()) - x0, std::max(maxY(), r.maxY()) - y0};
    }

    // Bounding box of the four transformed corners.
    CGRect applying(const CGAffineTransform& t) const {
        const CGRect s = standardized();
        const CGPoint p[4] = {
            CGPoint{s.minX(), s.minY()}.applying(t), CGPoint{s.maxX(), s.minY()}.applying(t),
            CGPoint{s.minX(), s.maxY()}.applying(t), CGPoint{s.maxX(), s.maxY()}.applying(t)};
        CGFloat x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
        for (const CGPoint& q : p) {
            x0 = std::min(x0, q.x);
            x1 = std::max(x1, q.x);
            y0 = std::min(y0, q.y);
            y1 = std::max(y1, q.y);
        }
        return {x0, y0, x1 - x0, y1 - y0};
    }

    friend constexpr bool operator==(const CGRect&, const CGRect&) = default;
};

inline bool CGRectIntersectsRect(const CGRect& a, const CGRect& b) {
    return a.intersects(b);
}
inline bool CGRectContainsPoint(const CGRect& r, CGPoint p) {
    return r.contains(p);
}
inline CGPoint CGPointApplyAffineTransform(CGPoint p, const CGAffineTransform& t) {
    return p.applying(t);
}
inline CGRect CGRectApplyAffineTransform(const CGRect& r, const CGAffineTransform& t) {
    return r.applying(t);
}
inline constexpr CGAffineTransform CGAffineTransformIdentity{};

} // namespace plat
