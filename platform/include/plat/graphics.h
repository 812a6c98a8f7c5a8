// Colours, bezier paths and the graphics context (over cairo), y axis pointing down.
// Drawing happens on the main thread; a context belongs to the thread that pushed it.
#pragma once

#include "plat/geometry.h"

#include <span>
#include <vector>

typedef struct _cairo cairo_t;

namespace plat {

struct UIColor {
    CGFloat red = 0, green = 0, blue = 0, alpha = 1;

    constexpr UIColor() = default;
    constexpr UIColor(CGFloat r, CGFloat g, CGFloat b, CGFloat a) : red(r), green(g), blue(b), alpha(a) {}

    // Replaces the alpha component; the colour components are left as they are.
    constexpr UIColor withAlphaComponent(CGFloat a) const { return {red, green, blue, a}; }

    static constexpr UIColor black() { return {0, 0, 0, 1}; }
    static constexpr UIColor white() { return {1, 1, 1, 1}; }
    static constexpr UIColor lightGray() { return {2.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0, 1}; }
    static constexpr UIColor clear() { return {0, 0, 0, 0}; }

    friend constexpr bool operator==(const UIColor&, const UIColor&) = default;
};

class UIBezierPath {
public:
    enum class LineCap { butt, round, square };
    enum class LineJoin { miter, round, bevel };

    struct Element {
        enum class Kind { move, line, curve, close } kind;
        CGPoint to;
        CGPoint c1;
        CGPoint c2;
    };

    UIBezierPath() = default;

    static UIBezierPath withRect(const CGRect& r);
    // The radius is clamped to half the shorter side; an empty rectangle gives an empty path.
    static UIBezierPath withRoundedRect(const CGRect& r, CGFloat cornerRadius);
    static UIBezierPath withOvalIn(const CGRect& r);
    // Angles in radians from the +x axis; clockwise (on a y-down screen) means increasing angle.
    static UIBezierPath withArc(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle,
                                bool clockwise);

    void moveTo(CGPoint p);
    void addLineTo(CGPoint p);
    void addCurveTo(CGPoint p, CGPoint control1, CGPoint control2);
    // Joins the current point (if any) to the arc's start with a line, as a continuing path does.
    void addArc(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise);
    void close();
    void append(const UIBezierPath& other);
    void apply(const CGAffineTransform& t);

    CGFloat lineWidth = 1;
    LineCap lineCapStyle = LineCap::butt;
    LineJoin lineJoinStyle = LineJoin::miter;
    CGFloat miterLimit = 10;

    bool isEmpty() const { return elements_.empty(); }
    // False once any point given to the path was NaN or infinite; such a path is never drawn.
    bool isFinite() const { return finite_; }
    const std::vector<Element>& elements() const { return elements_; }
    CGPoint currentPoint() const { return current_; }

    // Smallest rectangle holding the drawn outline (curves flattened, control points excluded).
    CGRect bounds() const;
    // Non-zero winding, every subpath closed implicitly.
    bool contains(CGPoint p) const;

private:
    void note(CGPoint p);

    std::vector<Element> elements_;
    CGPoint current_;
    CGPoint subpathStart_;
    bool hasCurrent_ = false;
    bool finite_ = true;
};

class ImageSurface;

// Fewer parts to redraw: two parts whose bounding box is no larger than both together plus `slack`
// (square units: what drawing a part on its own costs over its pixels) become that box.
void coalesceRects(std::vector<CGRect>& rects, CGFloat slack);

// A drawing context over a cairo context. A transform that would make the mapping singular or not
// finite is not applied; instead nothing is drawn until the matching restore, so a degenerate
// frame draws nothing rather than breaking the context for every later drawing.
class CGContext {
public:
    // Takes its own reference to `cr`.
    explicit CGContext(cairo_t* cr);
    ~CGContext();
    CGContext(const CGContext&) = delete;
    CGContext& operator=(const CGContext&) = delete;

    void saveGState();
    // An unmatched restore is ignored.
    void restoreGState();
    int gStateDepth() const { return static_cast<int>(suppressed_.size()) - 1; }

    void translateBy(CGFloat tx, CGFloat ty);
    void scaleBy(CGFloat sx, CGFloat sy);
    void rotate(CGFloat radians);
    void concatenate(const CGAffineTransform& t);
    CGAffineTransform ctm() const;

    void clip(const CGRect& r);
    // Bounding box of the current clip in user units.
    CGRect clipBoundingBox() const;
    // The current clip as rectangles that do not overlap, in user units; its bounding box alone when
    // the transform turns it out of rectangles.
    std::vector<CGRect> clipRectangles() const;
    // An empty list means solid lines.
    void setLineDash(CGFloat phase, std::span<const CGFloat> lengths);
    int lineDashCount() const;

    void fill(const UIBezierPath& path, const UIColor& color);
    // What the clip lets through becomes transparent.
    void clear();
    void stroke(const UIBezierPath& path, const UIColor& color);
    // The image over what is there, its top left corner at device pixel (x, y) whatever the
    // transform; the clip applies. A shape drawn once into an image and painted back at whole pixels
    // looks as the shape drawn in place.
    void paintAtDevicePixel(const ImageSurface& image, int x, int y);

    // False while a degenerate transform is in force.
    bool isDrawing() const { return !suppressed_.back(); }
    cairo_t* cairo() const { return cr_; }

private:
    void addPath(const UIBezierPath& path);
    bool transformIsUsable(const CGAffineTransform& t) const;

    cairo_t* cr_;
    std::vector<bool> suppressed_{false};
};

// The context that drawing routines draw into, one stack per thread.
CGContext* UIGraphicsGetCurrentContext();
void UIGraphicsPushContext(CGContext& ctx);
void UIGraphicsPopContext();

class UIGraphicsContextScope {
public:
    explicit UIGraphicsContextScope(CGContext& ctx) { UIGraphicsPushContext(ctx); }
    ~UIGraphicsContextScope() { UIGraphicsPopContext(); }
    UIGraphicsContextScope(const UIGraphicsContextScope&) = delete;
    UIGraphicsContextScope& operator=(const UIGraphicsContextScope&) = delete;
};

} // namespace plat
