// The snapshot program run as a user runs it: every picture is written at its size, and no two
// pictures are the same (each page, knob position and layer draws something of its own); what it
// prints of a folder's name drives no terminal.
#include "ChildProcess.h"
#include "RawText.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <tuple>

#include <unistd.h>

namespace fs = std::filesystem;

// Its folder is named with control bytes, a line of its own and a byte that is no UTF-8, as a user's
// may be: neither the pictures it lists nor the folder it cannot make reach the terminal raw.
TEST(PanelSnapshots, WritesEveryPictureAtItsSizeAndNoTwoAlike) {
    const char* program = std::getenv("PANEL_SNAPSHOTS");
    ASSERT_NE(program, nullptr);
    const fs::path scratch = fs::temp_directory_path() / ("panel-snapshots-" + std::to_string(::getpid())),
                   folder = scratch / "pictures\x1b[31m\xc2\x9b\x07\r\x7f\nINJECTED LINE\xff",
                   printed = scratch / "printed";
    fs::create_directories(scratch);
    const auto run = [&](const fs::path& into) {
        std::string command = "'"; // built by appending: GCC 12 misreads concatenations of a short literal
        command.append(program).append("' '").append(into.string()).append("' >'").append(printed.string());
        const int status = runCommand(command.append("' 2>&1"));
        std::ifstream in(printed, std::ios::binary);
        const std::string output{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(rawByte(output), std::string::npos) << "raw in: " << lineAround(output, rawByte(output));
        EXPECT_EQ(("\n" + output).find("\nINJECTED LINE"), std::string::npos) << "a line of its own";
        return status;
    };
    EXPECT_NE(run(printed / folder.filename()), 0) << "a folder made inside a file";
    ASSERT_EQ(run(folder), 0);
    std::map<std::size_t, std::string> seen; // pictures by a hash of their pixels
    for (const char* name : {"main_0", "main_0.5", "main_1", "levels", "resonance", "compansion", "labels",
                             "underlay", "frame", "composite"})
        for (const auto& [suffix, width, height] : {std::tuple{"512", 512, 512}, {"1024x768", 1024, 768}}) {
            std::string file = (folder / name).string();
            file.append("_").append(suffix).append(".png");
            cairo_surface_t* image = cairo_image_surface_create_from_png(file.c_str());
            ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS) << file;
            EXPECT_EQ(cairo_image_surface_get_width(image), width) << file;
            EXPECT_EQ(cairo_image_surface_get_height(image), height) << file;
            const std::string_view pixels(reinterpret_cast<const char*>(cairo_image_surface_get_data(image)),
                                          std::size_t(cairo_image_surface_get_stride(image)) *
                                              std::size_t(height));
            const auto [it, added] = seen.emplace(std::hash<std::string_view>{}(pixels), file);
            EXPECT_TRUE(added) << file << " is the same picture as " << it->second;
            cairo_surface_destroy(image);
        }
    fs::remove_all(scratch);
}
