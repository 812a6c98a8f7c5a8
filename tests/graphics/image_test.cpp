// Image surfaces: pixels read back unpremultiplied; a surface too large to make reads transparent and
// refuses to be written.
#include "plat/image.h"

#include <gtest/gtest.h>

using namespace plat;

TEST(ImageSurface, PixelsReadBackUnpremultipliedAndTransparentOutsideOrWhenTooLargeToMake) {
    ImageSurface image(8, 8), huge(40000, 10); // beyond the widest image the drawing library makes
    EXPECT_EQ(image.pixel(3, 3), Pixel{});
    image.fill(UIColor{1, 0.5, 0, 0.5});
    const Pixel p = image.pixel(3, 3);
    for (const auto& [got, want] : {std::pair{p.r, 255}, {p.g, 128}, {p.b, 0}, {p.a, 128}})
        EXPECT_NEAR(got, want, 2);
    huge.fill(UIColor::black());
    huge.context().fill(UIBezierPath::withRect({0, 0, 10, 10}), UIColor::black());
    for (const auto& [surface, x] : {std::pair{&image, -1}, {&image, 8}, {&huge, 1}})
        EXPECT_EQ(surface->pixel(x, 1), Pixel{}) << x;
    std::string error;
    EXPECT_FALSE(huge.writePNG("/tmp/never-written.png", &error));
    EXPECT_NE(error.find("40000 x 10"), std::string::npos) << error;
}
