#include "PanelDrawing.h"

#include <cmath>

namespace panel {

using plat::CGPoint;
using plat::CGRect;
using plat::UIBezierPath;

namespace {
// Whether `r`, already a whole number or not finite, has a 64-bit integer text.
bool fitsWholeNumber(double r) {
    // 2^63: the first value a 64-bit integer cannot hold.
    return std::isfinite(r) && r < 9223372036854775808.0 && r >= -9223372036854775808.0;
}
} // namespace

std::string wholeNumberText(CGFloat x) {
    const CGFloat r = std::round(x);
    return fitsWholeNumber(r) ? std::to_string(static_cast<long long>(r)) : kNeutralValueText;
}

std::string frequencyLabelText(float hertz) {
    const double t = std::trunc(static_cast<double>(hertz));
    return (fitsWholeNumber(t) ? std::to_string(static_cast<long long>(t)) : std::string(kNeutralValueText)) +
           "\nhz";
}

void enterCanvas(plat::CGContext& ctx, const CGRect& fitted, CGFloat canvasWidth, CGFloat canvasHeight) {
    ctx.translateBy(fitted.minX(), fitted.minY());
    ctx.scaleBy(fitted.width() / canvasWidth, fitted.height() / canvasHeight);
}

void drawCentredText(plat::CGContext& ctx, std::string_view text, const CGRect& box, const plat::UIFont& font,
                     const plat::UIColor& color) {
    const plat::TextAttributes attributes{font, color, plat::NSTextAlignment::center};
    const CGFloat h = plat::textHeight(text, box.width(), attributes);
    GState g(ctx);
    ctx.clip(box);
    plat::drawText(ctx, text, {box.minX(), box.minY() + (box.height() - h) / 2, box.width(), h}, attributes);
}

void placeSymbol(plat::CGContext& ctx, CGPoint at, CGFloat s, const CGRect& box,
                 const std::function<void()>& draw) {
    GState outer(ctx);
    ctx.translateBy(at.x, at.y);
    ctx.scaleBy(s, s);
    GState inner(ctx);
    ctx.clip(box);
    ctx.translateBy(box.minX(), box.minY());
    draw();
}

void strokeRound(plat::CGContext& ctx, UIBezierPath path, const plat::UIColor& color, CGFloat lineWidth) {
    path.lineWidth = lineWidth;
    path.lineCapStyle = UIBezierPath::LineCap::round;
    path.lineJoinStyle = UIBezierPath::LineJoin::round;
    ctx.stroke(path, color);
}

namespace {

struct Step {
    bool curve;
    CGPoint to, c1, c2;
};

void addContour(UIBezierPath& p, CGPoint start, std::initializer_list<Step> steps) {
    p.moveTo(start);
    for (const Step& s : steps) {
        if (s.curve)
            p.addCurveTo(s.to, s.c1, s.c2);
        else
            p.addLineTo(s.to);
    }
    p.close();
}

constexpr Step C(CGPoint to, CGPoint c1, CGPoint c2) {
    return {true, to, c1, c2};
}
constexpr Step L(CGPoint to) {
    return {false, to, {}, {}};
}

UIBezierPath makeGrip() {
    UIBezierPath p;
    // Outer edge, clockwise on screen: seven shallow notches.
    addContour(p, {-0.15, -23.72},
               {C({2.9, -23.53}, {0.87, -23.72}, {1.89, -23.66}),
                C({4.07, -23.35}, {3.29, -23.48}, {3.68, -23.41}),
                C({11.61, -17.49}, {4.83, -19.86}, {8.13, -17.58}),
                C({15.05, -18.3}, {12.78, -17.52}, {14.01, -17.73}),
                C({20.96, -11.13}, {17.5, -16.34}, {19.46, -13.86}),
                C({19.2, -6.26}, {19.78, -9.77}, {19.24, -8.03}),
                C({23.73, 0.74}, {19.22, -3.33}, {20.96, -0.42}),
                C({21.81, 9.34}, {23.66, 3.71}, {22.97, 6.61}),
                L({21.52, 9.33}),
                C({13.76, 17.04}, {17.23, 9.33}, {13.76, 12.78}),
                C({14.03, 19.06}, {13.77, 17.72}, {13.83, 18.41}),
                C({5.69, 22.97}, {11.55, 20.92}, {8.69, 22.21}),
                C({-0.71, 19.62}, {4.27, 20.84}, {1.82, 19.68}),
                C({-6.94, 22.72}, {-3.36, 19.66}, {-5.28, 20.72}),
                C({-14.64, 18.83}, {-9.74, 21.92}, {-12.31, 20.55}),
                C({-14.48, 17.3}, {-14.51, 18.33}, {-14.49, 17.81}),
                C({-21.99, 9.6}, {-14.49, 13.22}, {-17.84, 9.71}),
                C({-24.03, 0.52}, {-23.25, 6.75}, {-23.99, 3.65}),
                C({-19.94, -6.26}, {-21.48, -0.8}, {-20.01, -3.45}),
                C({-21.43, -10.79}, {-19.94, -7.98}, {-20.47, -9.39}),
                C({-15.63, -18.06}, {-19.98, -13.54}, {-18.05, -16.08}),
                C({-12.73, -17.49}, {-14.72, -17.66}, {-13.72, -17.52}),
                C({-5.24, -23.17}, {-9.11, -17.53}, {-6.3, -19.8}),
                C({-0.15, -23.72}, {-3.57, -23.56}, {-1.86, -23.7})});
    // Inner edge, half a unit in, the other way round, so only the band between them fills.
    addContour(p, {-0.14, -23.18},
               {C({-4.82, -22.71}, {-1.71, -23.16}, {-3.28, -23.04}),
                C({-12.72, -16.95}, {-6.09, -19.22}, {-8.97, -17.07}),
                L({-12.74, -16.95}),
                C({-15.53, -17.44}, {-13.68, -16.99}, {-14.65, -17.08}),
                C({-20.8, -10.81}, {-17.71, -15.6}, {-19.45, -13.3}),
                C({-19.4, -6.25}, {-19.86, -9.45}, {-19.43, -7.88}),
                C({-23.48, 0.83}, {-19.5, -3.39}, {-20.93, -0.61}),
                C({-21.62, 9.08}, {-23.4, 3.66}, {-22.73, 6.47}),
                C({-13.93, 17.3}, {-17.26, 9.32}, {-14.05, 13.1}),
                L({-13.93, 17.32}),
                C({-14.03, 18.59}, {-13.93, 17.74}, {-13.98, 18.17}),
                C({-7.11, 22.09}, {-11.94, 20.14}, {-9.6, 21.32}),
                C({-0.72, 19.08}, {-5.43, 20.1}, {-3.31, 19.18}),
                L({-0.7, 19.08}),
                C({5.91, 22.35}, {1.83, 19.17}, {4.42, 20.25}),
                C({13.41, 18.84}, {8.59, 21.63}, {11.17, 20.47}),
                C({13.21, 17.04}, {13.26, 18.25}, {13.23, 17.64}),
                C({21.44, 8.79}, {13.22, 12.52}, {16.93, 8.91}),
                C({23.17, 1.08}, {22.47, 6.34}, {23.03, 3.73}),
                C({18.65, -6.26}, {20.32, -0.34}, {18.79, -3.15}),
                L({18.65, -6.27}),
                C({20.3, -11.18}, {18.7, -8.15}, {19.22, -9.66}),
                C({14.98, -17.66}, {18.92, -13.62}, {17.15, -15.87}),
                C({11.62, -16.95}, {13.93, -17.15}, {12.76, -17}),
                L({11.59, -16.95}),
                C({3.63, -22.87}, {7.81, -17.1}, {4.77, -19.27}),
                L({3.59, -22.88}),
                L({3.59, -22.88}),
                C({2.83, -22.99}, {3.21, -22.94}, {3.04, -22.97}),
                C({-0.14, -23.18}, {1.84, -23.12}, {0.85, -23.16})});
    return p;
}

} // namespace

const UIBezierPath& gripPath() {
    static const UIBezierPath grip = makeGrip();
    return grip;
}

} // namespace panel
