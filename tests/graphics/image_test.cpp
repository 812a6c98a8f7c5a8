#include "plat/image.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace plat;

namespace {
std::filesystem::path tempFolder() {
    auto dir = std::filesystem::temp_directory_path() / ("plat_image_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}
} // namespace

TEST(ImageSurface, PixelsReadBackUnpremultiplied) {
    ImageSurface image(8, 8);
    EXPECT_EQ(image.pixel(3, 3), Pixel{});
    image.fill(UIColor{1, 0.5, 0, 0.5});
    const Pixel p = image.pixel(3, 3);
    EXPECT_NEAR(p.r, 255, 2);
    EXPECT_NEAR(p.g, 128, 2);
    EXPECT_EQ(p.b, 0);
    EXPECT_NEAR(p.a, 128, 1);
    EXPECT_EQ(image.pixel(-1, 0), Pixel{});
    EXPECT_EQ(image.pixel(8, 0), Pixel{});
}

TEST(ImageSurface, WritesAPngThatReadsBackWithTheSamePixels) {
    const auto dir = tempFolder();
    const auto path = (dir / "square.png").string();
    ImageSurface image(16, 12);
    image.context().fill(UIBezierPath::withRect({4, 4, 4, 4}), UIColor{0, 0, 1, 1});
    std::string error;
    ASSERT_TRUE(image.writePNG(path, &error)) << error;
    cairo_surface_t* back = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(back), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(back), 16);
    EXPECT_EQ(cairo_image_surface_get_height(back), 12);
    cairo_surface_destroy(back);
    // No temporary file is left beside it.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 1);
    std::filesystem::remove_all(dir);
}

TEST(ImageSurface, WritingIntoAMissingFolderFailsWithAMessage) {
    ImageSurface image(4, 4);
    std::string error;
    EXPECT_FALSE(image.writePNG("/nonexistent-folder-for-plat/x.png", &error));
    EXPECT_NE(error.find("/nonexistent-folder-for-plat"), std::string::npos);
}

TEST(ImageSurface, AnImageTooLargeToMakeReadsTransparentAndRefusesToWrite) {
    ImageSurface image(40000, 10); // beyond the widest image the drawing library makes
    image.fill(UIColor::black());
    image.context().fill(UIBezierPath::withRect({0, 0, 10, 10}), UIColor::black());
    EXPECT_EQ(image.pixel(1, 1), Pixel{});
    std::string error;
    EXPECT_FALSE(
        image.writePNG((std::filesystem::temp_directory_path() / "plat_too_large.png").string(), &error));
    EXPECT_NE(error.find("40000 x 10"), std::string::npos) << error;
}
