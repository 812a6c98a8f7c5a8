// Image surfaces: pixels read back unpremultiplied, and PNG files written whole or not at all.
#include "plat/image.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

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
}

TEST(ImageSurface, WritesAPngAtomicallyOrSaysWhyNot) {
    const auto dir = std::filesystem::temp_directory_path() / ("plat_image_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ImageSurface image(16, 12), huge(40000, 10);
    image.context().fill(UIBezierPath::withRect({4, 4, 4, 4}), UIColor{0, 0, 1, 1});
    std::string error;
    ASSERT_TRUE(image.writePNG((dir / "square.png").string(), &error)) << error;
    cairo_surface_t* back = cairo_image_surface_create_from_png((dir / "square.png").c_str());
    EXPECT_EQ(cairo_image_surface_get_width(back), 16);
    EXPECT_EQ(cairo_image_surface_get_height(back), 12);
    cairo_surface_destroy(back);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1); // no temporary left beside it
    const std::pair<ImageSurface*, std::string> failures[] = {{&image, "/nonexistent-folder-for-plat"},
                                                              {&huge, "40000 x 10"}};
    for (const auto& [surface, said] : failures) {
        EXPECT_FALSE(surface->writePNG("/nonexistent-folder-for-plat/x.png", &error));
        EXPECT_NE(error.find(said), std::string::npos) << error;
    }
    std::filesystem::remove_all(dir);
}
