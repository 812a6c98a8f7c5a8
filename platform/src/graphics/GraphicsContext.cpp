#include "plat/graphics.h"
#include "plat/image.h"

#include "CairoPath.h"

#include <cairo.h>

#include <cmath>

namespace plat {
namespace {

thread_local std::vector<CGContext*> currentContexts;

cairo_line_cap_t cairoCap(UIBezierPath::LineCap c) {
    switch (c) {
    case UIBezierPath::LineCap::round:
        return CAIRO_LINE_CAP_ROUND;
    case UIBezierPath::LineCap::square:
        return CAIRO_LINE_CAP_SQUARE;
    default:
        return CAIRO_LINE_CAP_BUTT;
    }
}

cairo_line_join_t cairoJoin(UIBezierPath::LineJoin j) {
    switch (j) {
    case UIBezierPath::LineJoin::round:
        return CAIRO_LINE_JOIN_ROUND;
    case UIBezierPath::LineJoin::bevel:
        return CAIRO_LINE_JOIN_BEVEL;
    default:
        return CAIRO_LINE_JOIN_MITER;
    }
}

bool finiteColor(const UIColor& c) {
    return std::isfinite(c.red) && std::isfinite(c.green) && std::isfinite(c.blue) && std::isfinite(c.alpha);
}

} // namespace

CGContext::CGContext(cairo_t* cr) : cr_(cairo_reference(cr)) {}

CGContext::~CGContext() {
    cairo_destroy(cr_);
}

void CGContext::saveGState() {
    cairo_save(cr_);
    suppressed_.push_back(suppressed_.back());
}

void CGContext::restoreGState() {
    if (suppressed_.size() <= 1) return;
    cairo_restore(cr_);
    suppressed_.pop_back();
}

bool CGContext::transformIsUsable(const CGAffineTransform& t) const {
    const CGAffineTransform m = t.concatenating(ctm());
    const CGFloat det = m.a * m.d - m.b * m.c;
    return std::isfinite(m.a) && std::isfinite(m.b) && std::isfinite(m.c) && std::isfinite(m.d) &&
           std::isfinite(m.tx) && std::isfinite(m.ty) && std::isfinite(det) && det != 0;
}

void CGContext::concatenate(const CGAffineTransform& t) {
    if (suppressed_.back()) return;
    if (!transformIsUsable(t)) {
        suppressed_.back() = true;
        return;
    }
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    cairo_transform(cr_, &m);
}

void CGContext::translateBy(CGFloat tx, CGFloat ty) {
    concatenate(CGAffineTransform::translation(tx, ty));
}
void CGContext::scaleBy(CGFloat sx, CGFloat sy) {
    concatenate(CGAffineTransform::scale(sx, sy));
}
void CGContext::rotate(CGFloat radians) {
    if (!std::isfinite(radians)) {
        suppressed_.back() = true;
        return;
    }
    concatenate(CGAffineTransform::rotation(radians));
}

CGAffineTransform CGContext::ctm() const {
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    return {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0};
}

void CGContext::clip(const CGRect& r) {
    if (suppressed_.back()) return;
    const CGRect s = r.standardized();
    if (!std::isfinite(s.origin.x) || !std::isfinite(s.origin.y) || !std::isfinite(s.size.width) ||
        !std::isfinite(s.size.height)) {
        suppressed_.back() = true;
        return;
    }
    cairo_new_path(cr_);
    cairo_rectangle(cr_, s.origin.x, s.origin.y, s.size.width, s.size.height);
    cairo_clip(cr_);
}

void coalesceRects(std::vector<CGRect>& rects, CGFloat slack) {
    const auto area = [](const CGRect& r) { return r.width() * r.height(); };
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t i = 0; i < rects.size(); ++i)
            for (std::size_t j = i + 1; j < rects.size(); ++j) {
                const CGRect both = rects[i].united(rects[j]);
                if (area(both) > area(rects[i]) + area(rects[j]) + slack) continue;
                rects[i] = both;
                rects[j] = rects.back();
                rects.pop_back();
                merged = true;
                j = i; // the grown part may now take in those passed over
            }
    }
}

CGRect CGContext::clipBoundingBox() const {
    double x0, y0, x1, y1;
    cairo_clip_extents(cr_, &x0, &y0, &x1, &y1);
    return {x0, y0, x1 - x0, y1 - y0};
}

std::vector<CGRect> CGContext::clipRectangles() const {
    cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(cr_);
    std::vector<CGRect> out;
    if (list->status == CAIRO_STATUS_SUCCESS) {
        for (int i = 0; i < list->num_rectangles; ++i) {
            const cairo_rectangle_t& r = list->rectangles[i];
            out.push_back({r.x, r.y, r.width, r.height});
        }
    } else {
        out.push_back(clipBoundingBox());
    }
    cairo_rectangle_list_destroy(list);
    return out;
}

void CGContext::setLineDash(CGFloat phase, std::span<const CGFloat> lengths) {
    bool usable = std::isfinite(phase);
    double total = 0;
    for (CGFloat l : lengths) {
        usable = usable && std::isfinite(l) && l >= 0;
        total += l;
    }
    // cairo refuses an all-zero pattern; treat it as solid, like an empty one.
    if (!usable || total <= 0) {
        cairo_set_dash(cr_, nullptr, 0, 0);
        return;
    }
    cairo_set_dash(cr_, lengths.data(), static_cast<int>(lengths.size()), phase);
}

int CGContext::lineDashCount() const {
    return cairo_get_dash_count(cr_);
}

void setCairoPath(cairo_t* cr, const UIBezierPath& path) {
    using Kind = UIBezierPath::Element::Kind;
    cairo_new_path(cr);
    for (const auto& e : path.elements()) {
        switch (e.kind) {
        case Kind::move:
            cairo_move_to(cr, e.to.x, e.to.y);
            break;
        case Kind::line:
            cairo_line_to(cr, e.to.x, e.to.y);
            break;
        case Kind::curve:
            cairo_curve_to(cr, e.c1.x, e.c1.y, e.c2.x, e.c2.y, e.to.x, e.to.y);
            break;
        case Kind::close:
            cairo_close_path(cr);
            break;
        }
    }
}

void CGContext::addPath(const UIBezierPath& path) {
    setCairoPath(cr_, path);
}

void CGContext::fill(const UIBezierPath& path, const UIColor& color) {
    if (suppressed_.back() || path.isEmpty() || !path.isFinite() || !finiteColor(color)) return;
    addPath(path);
    cairo_set_source_rgba(cr_, color.red, color.green, color.blue, color.alpha);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr_);
}

void CGContext::paintAtDevicePixel(const ImageSurface& image, int x, int y) {
    if (suppressed_.back()) return;
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_set_source_surface(cr_, image.cairoSurface(), x, y);
    cairo_paint(cr_);
    cairo_restore(cr_);
}

void CGContext::stroke(const UIBezierPath& path, const UIColor& color) {
    if (suppressed_.back() || path.isEmpty() || !path.isFinite() || !finiteColor(color)) return;
    if (!std::isfinite(path.lineWidth) || path.lineWidth <= 0) return;
    addPath(path);
    cairo_set_source_rgba(cr_, color.red, color.green, color.blue, color.alpha);
    cairo_set_line_width(cr_, path.lineWidth);
    cairo_set_line_cap(cr_, cairoCap(path.lineCapStyle));
    cairo_set_line_join(cr_, cairoJoin(path.lineJoinStyle));
    cairo_set_miter_limit(cr_, std::isfinite(path.miterLimit) ? path.miterLimit : 10);
    cairo_stroke(cr_);
}

CGContext* UIGraphicsGetCurrentContext() {
    return currentContexts.empty() ? nullptr : currentContexts.back();
}
void UIGraphicsPushContext(CGContext& ctx) {
    currentContexts.push_back(&ctx);
}
void UIGraphicsPopContext() {
    if (!currentContexts.empty()) currentContexts.pop_back();
}

} // namespace plat
