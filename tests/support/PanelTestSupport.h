// Rendering into an image for pixel tests, and checks that a drawing left the context as it found it.
#pragma once

#include "plat/image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace paneltest {

constexpr double kPi = 3.14159265358979323846;
inline double rad(double degrees) {
    return degrees * kPi / 180;
}

// Draws with `image` as the current context.
inline void render(plat::ImageSurface& image, const std::function<void()>& draw) {
    plat::UIGraphicsContextScope scope(image.context());
    draw();
}

inline bool sameColour(const plat::Pixel& p, const plat::UIColor& c, int tolerance = 3) {
    auto near = [&](int a, double b) {
        return std::abs(a - static_cast<int>(std::lround(b * 255))) <= tolerance;
    };
    return near(p.r, c.red) && near(p.g, c.green) && near(p.b, c.blue) && near(p.a, c.alpha);
}

inline plat::Pixel at(const plat::ImageSurface& image, double x, double y) {
    return image.pixel(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
}

inline bool blank(const plat::ImageSurface& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y).a != 0) return false;
    return true;
}

// Runs `draw` inside a context that is already transformed, clipped, dashed and saved once, and
// expects all of that unchanged afterwards.
inline void expectStateKept(const std::function<void()>& draw) {
    plat::ImageSurface image(600, 600);
    plat::CGContext& ctx = image.context();
    ctx.saveGState();
    ctx.translateBy(7, 9);
    ctx.scaleBy(0.75, 0.75);
    ctx.clip({0, 0, 700, 700});
    const plat::CGFloat dash[] = {3, 1};
    ctx.setLineDash(0, dash);
    const auto depth = ctx.gStateDepth();
    const auto ctm = ctx.ctm();
    const auto clip = ctx.clipBoundingBox();
    render(image, draw);
    EXPECT_EQ(ctx.gStateDepth(), depth);
    EXPECT_EQ(ctx.ctm(), ctm);
    EXPECT_EQ(ctx.clipBoundingBox(), clip);
    EXPECT_EQ(ctx.lineDashCount(), 2);
    EXPECT_TRUE(ctx.isDrawing());
}

} // namespace paneltest
