// Drawing, geometry and hit testing of the view tree.
//
// Each view that draws keeps its picture in an image of its own, at the device scale it was last
// composited at. Rendering redraws only the stale pictures and composites the tree: a view with
// alpha below one is composited as a group, so its subviews fade with it.
#include "plat/image.h"
#include "plat/ui.h"
#include "plat/uiwindow.h"

#include <cairo.h>

#include <cmath>

namespace plat {

void UIView::draw(const CGRect&) {}

void UIView::display(CGFloat pixelScale) {
    const CGRect b = bounds();
    const int w = std::max(1, int(std::ceil(b.width() * pixelScale)));
    const int h = std::max(1, int(std::ceil(b.height() * pixelScale)));
    bool partial = !needsDisplay_ && !staleRects_.empty();
    if (!picture_ || picture_->width() != w || picture_->height() != h || pictureScale_ != pixelScale) {
        picture_.reset(); // never two pictures of one view at once
        picture_ = std::make_unique<ImageSurface>(w, h);
        pictureScale_ = pixelScale;
        partial = false;
    }
    CGContext& ctx = picture_->context();
    cairo_t* cr = ctx.cairo();
    // Each stale part is drawn on its own, under a clip of one rectangle: a clip of many rectangles
    // costs its drawing a pass per rectangle, and cuts overlapping parts into many more. Parts close
    // together are drawn as one.
    const auto redraw = [&](const CGRect* part) {
        ctx.saveGState();
        if (part != nullptr) {
            // Whole pixels. What is drawn inside comes out as in a whole redraw, but for a few
            // levels of antialiasing where an edge crosses the clip.
            const CGRect& r = *part;
            const double x0 = std::floor(r.minX() * pixelScale), y0 = std::floor(r.minY() * pixelScale);
            cairo_new_path(cr);
            cairo_rectangle(cr, x0, y0, std::ceil(r.maxX() * pixelScale) - x0,
                            std::ceil(r.maxY() * pixelScale) - y0);
            cairo_clip(cr);
        }
        ctx.clear();
        ctx.scaleBy(pixelScale, pixelScale);
        if (background_) ctx.fill(UIBezierPath::withRect(b), *background_);
        {
            UIGraphicsContextScope scope(ctx);
            draw(part != nullptr ? *part : b);
        }
        ctx.restoreGState();
    };
    if (partial) {
        coalesceRects(staleRects_, 1024 / (pixelScale * pixelScale));
        for (const CGRect& part : staleRects_) redraw(&part);
    } else {
        redraw(nullptr);
    }
    needsDisplay_ = false;
    staleRects_.clear();
    ++displayCount_;
}

void UIView::render(CGContext& ctx, CGFloat pixelScale, bool asRoot) {
    if (hidden_ || alpha_ <= 0 || !(pixelScale > 0)) return;
    const CGRect b = bounds();
    if (!std::isfinite(b.width()) || !std::isfinite(b.height())) return;
    const CGAffineTransform t = asRoot ? CGAffineTransform() : transformToSuperview();
    const CGFloat det = t.a * t.d - t.b * t.c;
    if (!(det != 0 && std::isfinite(det) && std::isfinite(t.tx) && std::isfinite(t.ty))) return;
    cairo_t* cr = ctx.cairo();
    ctx.saveGState();
    ctx.concatenate(t);
    const bool group = alpha_ < 1;
    if (group) cairo_push_group(cr);
    if (!drawsContent_ && background_ && b.width() > 0 && b.height() > 0) {
        // A plain colour needs no picture of its own: filled in place, it costs far less.
        ctx.fill(UIBezierPath::withRect(b), *background_);
        needsDisplay_ = false;
    } else if (drawsContent_ && b.width() > 0 && b.height() > 0) {
        if (needsDisplay() || !picture_ || pictureScale_ != pixelScale) display(pixelScale);
        cairo_save(cr);
        cairo_scale(cr, 1 / pixelScale, 1 / pixelScale);
        // At a whole pixel, unturned and unscaled, as a view mostly lies: painted there directly.
        cairo_matrix_t m;
        cairo_get_matrix(cr, &m);
        if (m.xx == 1 && m.yy == 1 && m.xy == 0 && m.yx == 0 && m.x0 == std::floor(m.x0) &&
            m.y0 == std::floor(m.y0) && std::abs(m.x0) < 1e9 && std::abs(m.y0) < 1e9) {
            ctx.paintAtDevicePixel(*picture_, int(m.x0), int(m.y0));
        } else {
            cairo_set_source_surface(cr, picture_->cairoSurface(), 0, 0);
            cairo_paint(cr);
        }
        cairo_restore(cr);
    }
    if (clips_) {
        cairo_rectangle(cr, 0, 0, b.width(), b.height());
        cairo_clip(cr);
    }
    for (const auto& sub : std::vector(subviews_)) sub->render(ctx, pixelScale, false);
    if (group) {
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, alpha_);
    }
    ctx.restoreGState();
}

CGAffineTransform UIView::transformToSuperview() const {
    const CGFloat hw = frame_.width() / 2, hh = frame_.height() / 2;
    return CGAffineTransform::translation(-hw, -hh)
        .concatenating(transform_)
        .concatenating(CGAffineTransform::translation(frame_.minX() + hw, frame_.minY() + hh));
}

namespace {
// This view's points to the root of its tree.
CGAffineTransform toRoot(const UIView* v) {
    CGAffineTransform t;
    for (const UIView* cur = v; cur != nullptr;) {
        auto parent = cur->superview();
        if (!parent) break;
        t = t.concatenating(cur->transformToSuperview());
        cur = parent.get();
    }
    return t;
}
} // namespace

CGPoint UIView::convert(CGPoint point, const UIView* to) const {
    const CGPoint inRoot = point.applying(toRoot(this));
    return to == nullptr ? inRoot : inRoot.applying(toRoot(to).inverted());
}

CGPoint UIView::convertFrom(CGPoint point, const UIView* from) const {
    const CGPoint inRoot = from == nullptr ? point : point.applying(toRoot(from));
    return inRoot.applying(toRoot(this).inverted());
}

CGRect UIView::convert(const CGRect& rect, const UIView* to) const {
    CGAffineTransform t = toRoot(this);
    if (to != nullptr) t = t.concatenating(toRoot(to).inverted());
    return rect.applying(t);
}

bool UIView::pointInside(CGPoint point, const UIEvent*) const {
    return bounds().contains(point);
}

std::shared_ptr<UIView> UIView::hitTest(CGPoint point, const UIEvent* event) {
    if (hidden_ || !interactive_ || alpha_ < 0.01 || !pointInside(point, event)) return nullptr;
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        const auto& sub = *it;
        const CGPoint local = point.applying(sub->transformToSuperview().inverted());
        if (auto hit = sub->hitTest(local, event)) return hit;
    }
    return shared_from_this();
}

void UIView::touchesBegan(const UITouchSet&, const UIEvent*) {}
void UIView::touchesMoved(const UITouchSet&, const UIEvent*) {}
void UIView::touchesEnded(const UITouchSet&, const UIEvent*) {}
void UIView::touchesCancelled(const UITouchSet&, const UIEvent*) {}

void UIImageView::draw(const CGRect& rect) {
    CGContext* ctx = UIGraphicsGetCurrentContext();
    if (ctx == nullptr || !image_ || image_->width() <= 0 || image_->height() <= 0) return;
    cairo_t* cr = ctx->cairo();
    cairo_save(cr);
    cairo_scale(cr, rect.width() / image_->width(), rect.height() / image_->height());
    cairo_set_source_surface(cr, image_->surface(), 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

std::shared_ptr<UIWindow> UITouch::window() const {
    return window_.lock();
}

CGPoint UITouch::location(const UIView* view) const {
    return view == nullptr ? windowPoint_ : view->convertFrom(windowPoint_, nullptr);
}

CGPoint UITouch::previousLocation(const UIView* view) const {
    return view == nullptr ? previousWindowPoint_ : view->convertFrom(previousWindowPoint_, nullptr);
}

} // namespace plat
