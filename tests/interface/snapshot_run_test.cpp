// The snapshot program run as a user runs it: every picture is written at its size, and no two
// pictures are the same (each page, knob position and layer draws something of its own).
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>

#include <unistd.h>

namespace fs = std::filesystem;

TEST(PanelSnapshots, WritesEveryPictureAtItsSizeAndNoTwoAlike) {
    const char* program = std::getenv("PANEL_SNAPSHOTS");
    ASSERT_NE(program, nullptr);
    fs::path folder = fs::temp_directory_path();
    folder /= "panel-snapshots-" + std::to_string(::getpid());
    std::string run = "'";
    run.append(program).append("' '").append(folder.string()).append("' >/dev/null");
    ASSERT_EQ(std::system(run.c_str()), 0);

    std::map<std::uint64_t, std::string> seen; // pictures by a hash of their pixels
    for (const char* name : {"main_0", "main_0.5", "main_1", "levels", "resonance", "compansion", "underlay",
                             "frame", "composite"}) {
        for (const auto& [suffix, width, height] : {std::tuple{"512", 512, 512}, {"1024x768", 1024, 768}}) {
            std::string file = (folder / name).string();
            file.append("_").append(suffix).append(".png");
            cairo_surface_t* image = cairo_image_surface_create_from_png(file.c_str());
            ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS) << file;
            EXPECT_EQ(cairo_image_surface_get_width(image), width) << file;
            EXPECT_EQ(cairo_image_surface_get_height(image), height) << file;
            const unsigned char* data = cairo_image_surface_get_data(image);
            const long bytes =
                long(cairo_image_surface_get_stride(image)) * cairo_image_surface_get_height(image);
            std::uint64_t hash = 1469598103934665603ull;
            for (long i = 0; i < bytes; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
            cairo_surface_destroy(image);
            const auto [it, added] = seen.emplace(hash, file);
            EXPECT_TRUE(added) << file << " is the same picture as " << it->second;
        }
    }
    fs::remove_all(folder);
}
