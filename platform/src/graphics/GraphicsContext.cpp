#include "plat/graphics.h"
#include "plat/image.h"

#include "CairoPath.h"

#include <cairo.h>
#include <pixman.h>

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

void CGContext::clear() {
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr_);
    cairo_restore(cr_);
}

namespace {

// An image surface's pixels as pixman sees them; null when they are not plain ARGB32.
pixman_image_t* pixelsOf(cairo_surface_t* s) {
    if (cairo_surface_get_type(s) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(s) != CAIRO_FORMAT_ARGB32 ||
        cairo_image_surface_get_data(s) == nullptr)
        return nullptr;
    return pixman_image_create_bits(
        PIXMAN_a8r8g8b8, cairo_image_surface_get_width(s), cairo_image_surface_get_height(s),
        reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s)), cairo_image_surface_get_stride(s));
}

// The image over an image target straight through pixman, when the clip is one rectangle of whole
// device pixels and nothing (operator, group, offset) asks for more: what cairo then does is the
// same composite, after a setup that costs several times the copy of a small image.
bool paintDirect(cairo_t* cr, cairo_surface_t* image, int x, int y) {
    cairo_surface_t* target = cairo_get_group_target(cr);
    double ox = 0, oy = 0;
    cairo_surface_get_device_offset(target, &ox, &oy);
    if (cairo_get_operator(cr) != CAIRO_OPERATOR_OVER || target != cairo_get_target(cr) || ox != 0 || oy != 0)
        return false;
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_rectangle_list_t* clip = cairo_copy_clip_rectangle_list(cr);
    cairo_restore(cr);
    bool done = false;
    if (clip->status == CAIRO_STATUS_SUCCESS && clip->num_rectangles <= 1) {
        const int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
        int x0 = x, y0 = y, x1 = x + w, y1 = y + h;
        bool whole = true;
        if (clip->num_rectangles == 1) {
            const cairo_rectangle_t& r = clip->rectangles[0];
            whole = r.x == std::floor(r.x) && r.y == std::floor(r.y) && r.width == std::floor(r.width) &&
                    r.height == std::floor(r.height);
            x0 = std::max(x0, int(r.x)), y0 = std::max(y0, int(r.y));
            x1 = std::min(x1, int(r.x + r.width)), y1 = std::min(y1, int(r.y + r.height));
        } else {
            x1 = x0; // nothing left to paint into
        }
        pixman_image_t* from = whole ? pixelsOf(image) : nullptr;
        pixman_image_t* into = from != nullptr ? pixelsOf(target) : nullptr;
        if (into != nullptr) {
            if (x0 < x1 && y0 < y1) {
                cairo_surface_flush(target);
                cairo_surface_flush(image);
                pixman_image_composite32(PIXMAN_OP_OVER, from, nullptr, into, x0 - x, y0 - y, 0, 0, x0, y0,
                                         x1 - x0, y1 - y0);
                cairo_surface_mark_dirty_rectangle(target, x0, y0, x1 - x0, y1 - y0);
            }
            done = true;
        }
        if (into != nullptr) pixman_image_unref(into);
        if (from != nullptr) pixman_image_unref(from);
    }
    cairo_rectangle_list_destroy(clip);
    return done;
}

} // namespace

void CGContext::paintAtDevicePixel(const ImageSurface& image, int x, int y) {
    if (suppressed_.back() || paintDirect(cr_, image.cairoSurface(), x, y)) return;
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
