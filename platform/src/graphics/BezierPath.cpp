#include "plat/graphics.h"

#include "CairoPath.h"

#include <algorithm>
#include <cmath>

namespace plat {
namespace {

constexpr CGFloat kPi = 3.14159265358979323846;
// Control-point distance of a cubic quarter circle of radius 1.
constexpr CGFloat kQuarter = 0.5522847498307936;

bool finitePoint(CGPoint p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

CGPoint cubicAt(CGPoint p0, CGPoint c1, CGPoint c2, CGPoint p3, CGFloat t) {
    const CGFloat u = 1 - t;
    const CGFloat a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    return {a * p0.x + b * c1.x + c * c2.x + d * p3.x, a * p0.y + b * c1.y + c * c2.y + d * p3.y};
}

} // namespace

void UIBezierPath::note(CGPoint p) {
    if (!finitePoint(p)) finite_ = false;
}

void UIBezierPath::moveTo(CGPoint p) {
    note(p);
    elements_.push_back({Element::Kind::move, p, {}, {}});
    current_ = subpathStart_ = p;
    hasCurrent_ = true;
}

void UIBezierPath::addLineTo(CGPoint p) {
    if (!hasCurrent_) return moveTo(p);
    note(p);
    elements_.push_back({Element::Kind::line, p, {}, {}});
    current_ = p;
}

void UIBezierPath::addCurveTo(CGPoint p, CGPoint control1, CGPoint control2) {
    if (!hasCurrent_) moveTo(control1);
    note(p);
    note(control1);
    note(control2);
    elements_.push_back({Element::Kind::curve, p, control1, control2});
    current_ = p;
}

void UIBezierPath::close() {
    if (!hasCurrent_) return;
    elements_.push_back({Element::Kind::close, subpathStart_, {}, {}});
    current_ = subpathStart_;
}

void UIBezierPath::addArc(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle,
                          bool clockwise) {
    if (!std::isfinite(radius) || !std::isfinite(startAngle) || !std::isfinite(endAngle)) {
        finite_ = false;
        return;
    }
    CGFloat sweep = endAngle - startAngle;
    if (clockwise) {
        if (sweep < 0) sweep = 2 * kPi - std::fmod(-sweep, 2 * kPi);
        sweep = std::min(sweep, 2 * kPi);
    } else {
        if (sweep > 0) sweep = -(2 * kPi - std::fmod(sweep, 2 * kPi));
        sweep = std::max(sweep, -2 * kPi);
    }
    auto at = [&](CGFloat a) {
        return CGPoint{center.x + radius * std::cos(a), center.y + radius * std::sin(a)};
    };
    const CGPoint first = at(startAngle);
    if (hasCurrent_)
        addLineTo(first);
    else
        moveTo(first);
    const int segments = static_cast<int>(std::ceil(std::abs(sweep) / (kPi / 2) - 1e-9));
    if (segments <= 0) return;
    const CGFloat step = sweep / segments;
    const CGFloat k = 4.0 / 3.0 * std::tan(step / 4) * radius;
    CGFloat a0 = startAngle;
    for (int i = 0; i < segments; ++i) {
        const CGFloat a1 = (i + 1 == segments) ? startAngle + sweep : a0 + step;
        const CGPoint p0 = at(a0), p3 = at(a1);
        const CGPoint c1{p0.x - k * std::sin(a0), p0.y + k * std::cos(a0)};
        const CGPoint c2{p3.x + k * std::sin(a1), p3.y - k * std::cos(a1)};
        addCurveTo(p3, c1, c2);
        a0 = a1;
    }
}

void UIBezierPath::append(const UIBezierPath& other) {
    for (const auto& e : other.elements_) {
        switch (e.kind) {
        case Element::Kind::move:
            moveTo(e.to);
            break;
        case Element::Kind::line:
            addLineTo(e.to);
            break;
        case Element::Kind::curve:
            addCurveTo(e.to, e.c1, e.c2);
            break;
        case Element::Kind::close:
            close();
            break;
        }
    }
    if (!other.finite_) finite_ = false;
}

void UIBezierPath::apply(const CGAffineTransform& t) {
    finite_ = true;
    for (auto& e : elements_) {
        e.to = e.to.applying(t);
        e.c1 = e.c1.applying(t);
        e.c2 = e.c2.applying(t);
        note(e.to);
        note(e.c1);
        note(e.c2);
    }
    current_ = current_.applying(t);
    subpathStart_ = subpathStart_.applying(t);
}

UIBezierPath UIBezierPath::withRect(const CGRect& r) {
    const CGRect s = r.standardized();
    UIBezierPath p;
    p.moveTo({s.minX(), s.minY()});
    p.addLineTo({s.maxX(), s.minY()});
    p.addLineTo({s.maxX(), s.maxY()});
    p.addLineTo({s.minX(), s.maxY()});
    p.close();
    return p;
}

UIBezierPath UIBezierPath::withRoundedRect(const CGRect& r, CGFloat cornerRadius) {
    const CGRect s = r.standardized();
    UIBezierPath p;
    if (!std::isfinite(s.size.width) || !std::isfinite(s.size.height) || !std::isfinite(s.origin.x) ||
        !std::isfinite(s.origin.y)) {
        p.finite_ = false;
        return p;
    }
    if (s.size.width <= 0 || s.size.height <= 0) return p;
    const CGFloat rad = std::isfinite(cornerRadius)
                            ? std::clamp(cornerRadius, 0.0, std::min(s.size.width, s.size.height) / 2)
                            : 0;
    if (rad <= 0) return withRect(s);
    const CGFloat k = rad * kQuarter;
    const CGFloat x0 = s.minX(), y0 = s.minY(), x1 = s.maxX(), y1 = s.maxY();
    p.moveTo({x0 + rad, y0});
    p.addLineTo({x1 - rad, y0});
    p.addCurveTo({x1, y0 + rad}, {x1 - rad + k, y0}, {x1, y0 + rad - k});
    p.addLineTo({x1, y1 - rad});
    p.addCurveTo({x1 - rad, y1}, {x1, y1 - rad + k}, {x1 - rad + k, y1});
    p.addLineTo({x0 + rad, y1});
    p.addCurveTo({x0, y1 - rad}, {x0 + rad - k, y1}, {x0, y1 - rad + k});
    p.addLineTo({x0, y0 + rad});
    p.addCurveTo({x0 + rad, y0}, {x0, y0 + rad - k}, {x0 + rad - k, y0});
    p.close();
    return p;
}

UIBezierPath UIBezierPath::withOvalIn(const CGRect& r) {
    const CGRect s = r.standardized();
    const CGFloat rx = s.size.width / 2, ry = s.size.height / 2;
    const CGFloat cx = s.midX(), cy = s.midY();
    const CGFloat kx = rx * kQuarter, ky = ry * kQuarter;
    UIBezierPath p;
    p.moveTo({cx + rx, cy});
    p.addCurveTo({cx, cy + ry}, {cx + rx, cy + ky}, {cx + kx, cy + ry});
    p.addCurveTo({cx - rx, cy}, {cx - kx, cy + ry}, {cx - rx, cy + ky});
    p.addCurveTo({cx, cy - ry}, {cx - rx, cy - ky}, {cx - kx, cy - ry});
    p.addCurveTo({cx + rx, cy}, {cx + kx, cy - ry}, {cx + rx, cy - ky});
    p.close();
    return p;
}

UIBezierPath UIBezierPath::withArc(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle,
                                   bool clockwise) {
    UIBezierPath p;
    p.addArc(center, radius, startAngle, endAngle, clockwise);
    return p;
}

namespace {

// Parameters in (0, 1) where one coordinate of a cubic has a turning point.
int cubicExtrema(CGFloat p0, CGFloat p1, CGFloat p2, CGFloat p3, CGFloat out[2]) {
    const CGFloat a = -p0 + 3 * p1 - 3 * p2 + p3, b = 2 * (p0 - 2 * p1 + p2), c = p1 - p0;
    int n = 0;
    auto keep = [&](CGFloat t) {
        if (t > 0 && t < 1) out[n++] = t;
    };
    if (std::abs(a) < 1e-12) {
        if (std::abs(b) > 1e-12) keep(-c / b);
        return n;
    }
    const CGFloat disc = b * b - 4 * a * c;
    if (disc < 0) return 0;
    const CGFloat r = std::sqrt(disc);
    keep((-b + r) / (2 * a));
    keep((-b - r) / (2 * a));
    return n;
}

} // namespace

CGRect UIBezierPath::bounds() const {
    if (elements_.empty() || !finite_) return {};
    CGFloat x0 = elements_.front().to.x, x1 = x0, y0 = elements_.front().to.y, y1 = y0;
    auto add = [&](CGPoint q) {
        x0 = std::min(x0, q.x);
        x1 = std::max(x1, q.x);
        y0 = std::min(y0, q.y);
        y1 = std::max(y1, q.y);
    };
    CGPoint current = elements_.front().to;
    for (const auto& e : elements_) {
        if (e.kind == Element::Kind::curve) {
            CGFloat ts[2];
            for (int i = 0, n = cubicExtrema(current.x, e.c1.x, e.c2.x, e.to.x, ts); i < n; ++i)
                add(cubicAt(current, e.c1, e.c2, e.to, ts[i]));
            for (int i = 0, n = cubicExtrema(current.y, e.c1.y, e.c2.y, e.to.y, ts); i < n; ++i)
                add(cubicAt(current, e.c1, e.c2, e.to, ts[i]));
        }
        add(e.to);
        current = e.to;
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

bool UIBezierPath::contains(CGPoint p) const {
    if (elements_.empty() || !finite_ || !finitePoint(p)) return false;
    // The fill test of the drawing library, on the very path a fill would paint.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 0, 0);
    cairo_t* cr = cairo_create(surface);
    setCairoPath(cr, *this);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    const bool inside = cairo_in_fill(cr, p.x, p.y) != 0;
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return inside;
}

} // namespace plat
