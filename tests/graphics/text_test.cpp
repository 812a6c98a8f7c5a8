#include "ChildProcess.h"
#include "ConsoleCapture.h"
#include "plat/image.h"
#include "plat/text.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <unistd.h>

using namespace plat;

namespace {

// Horizontal extent of the drawn ink, or {-1, -1} when nothing was drawn.
std::pair<int, int> inkColumns(const ImageSurface& image) {
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (image.pixel(x, y).a > 64) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    return {first, last};
}

} // namespace

// First in this process: the configuration is found beside the library, whatever the current folder.
TEST(Text, FontConfigurationIsFoundBesideTheLibraryNotTheCurrentFolder) {
    const auto elsewhere = std::filesystem::temp_directory_path();
    ASSERT_EQ(::chdir(elsewhere.c_str()), 0);
    const std::filesystem::path file = fontConfigurationFile();
    ASSERT_FALSE(file.empty());
    EXPECT_TRUE(file.is_absolute());
    EXPECT_EQ(file.filename(), "plat-fonts.conf");
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
}

// Loaded from a folder without the configuration, the library says so through its console. The
// check runs in a child of this program that finds a copy of the library first.
TEST(Text, AMissingConfigurationIsReportedThroughTheConsole) {
    if (std::getenv("TEXT_TEST_WITHOUT_CONFIGURATION")) {
        ConsoleCapture console;
        UIFont::systemFont(9).resolvedFaceName();
        EXPECT_EQ(console.text(),
                  "plat::text: font configuration plat-fonts.conf not found, using system fonts\n");
        return;
    }
    const auto folder = std::filesystem::temp_directory_path() / ("text-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    Dl_info library{};
    ASSERT_NE(::dladdr(reinterpret_cast<void*>(&fontConfigurationFile), &library), 0);
    std::filesystem::copy_file(library.dli_fname, folder / "libplat.so");
    const std::string child =
        "TEXT_TEST_WITHOUT_CONFIGURATION=1 LD_LIBRARY_PATH='" + folder.string() + "' '" +
        std::filesystem::read_symlink("/proc/self/exe").string() +
        "' --gtest_filter=Text.AMissingConfigurationIsReportedThroughTheConsole >/dev/null";
    EXPECT_EQ(runCommand(child), 0);
    std::filesystem::remove_all(folder);
}

TEST(Text, FaceNamesMapToTheInstalledFacesAndAnUnknownFaceFallsBackAndStillDraws) {
    const std::pair<UIFont, const char*> faces[] = {
        {UIFont::withName("HelveticaNeue", 10), "Nimbus Sans"},
        {UIFont::withName("HelveticaNeue-CondensedBold", 15.5), "Nimbus Sans Narrow Bold"},
        {UIFont::systemFont(9), "Nimbus Sans"}};
    for (const auto& [font, face] : faces) EXPECT_EQ(font.resolvedFaceName(), face);
    const UIFont unknown = UIFont::withName("NoSuchFace-Anywhere", 12);
    EXPECT_FALSE(unknown.resolvedFaceName().empty());
    ImageSurface image(80, 20);
    drawText(image.context(), "Hello", {0, 0, 80, 20}, {unknown, UIColor::black(), NSTextAlignment::left});
    EXPECT_GE(inkColumns(image).first, 0);
}

TEST(Text, WrapsCentresAndColoursTheSameAtEveryScale) {
    const UIFont font = UIFont::withName("HelveticaNeue", 10);
    const TextAttributes centred{font, UIColor::black(), NSTextAlignment::center};
    const CGFloat one = textHeight("RESONANCE", 200, centred);
    EXPECT_TRUE(one > 9 && one < 16) << one;
    EXPECT_NEAR(textHeight("62\nhz", 200, centred), 2 * one, 1);
    EXPECT_GT(textHeight("RESONANCE", 12, centred), 3 * one - 1); // broken between characters
    // Hinting off: four times the scale, four times the width.
    ImageSurface small(100, 20), large(400, 80), big(60, 40), box(200, 20);
    drawText(small.context(), "COMPANSION", {0, 0, 100, 20}, {font, UIColor::black(), NSTextAlignment::left});
    large.context().scaleBy(4, 4);
    drawText(large.context(), "COMPANSION", {0, 0, 100, 20}, {font, UIColor::black(), NSTextAlignment::left});
    const auto [s0, s1] = inkColumns(small);
    const auto [l0, l1] = inkColumns(large);
    EXPECT_NEAR(l1 - l0, 4 * (s1 - s0), 6);
    drawText(box.context(), "BYPASS", {20, 0, 100, 20}, centred);
    const auto [first, last] = inkColumns(box);
    EXPECT_NEAR(first + last + 1, 140, 3); // centred on x = 70
    drawText(big.context(), "I", {0, 0, 60, 40},
             {UIFont::withName("HelveticaNeue", 36), UIColor{0, 0, 1, 0.5}, NSTextAlignment::center});
    Pixel densest;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            if (big.pixel(x, y).a > densest.a) densest = big.pixel(x, y);
    EXPECT_NEAR(densest.a, 128, 2);
    EXPECT_TRUE(densest.r == 0 && densest.b == 255);
}

TEST(Text, MalformedUtf8IsDrawnWithReplacementMarksWithoutWarnings) {
    // pango logs through the structured writer, which a process can replace only once.
    static int warnings = 0;
    g_log_set_writer_func(
        [](GLogLevelFlags level, const GLogField* fields, gsize n, gpointer) {
            if (level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL)) ++warnings;
            return g_log_writer_default(level, fields, n, nullptr);
        },
        nullptr, nullptr);
    const TextAttributes a{UIFont::withName("HelveticaNeue", 10), UIColor::black(), NSTextAlignment::left};
    const std::string bad("\xff\x36\x32\0\x80hz", 7); // "62" and "hz" around bytes that are no UTF-8
    const CGFloat oneLine = textHeight("62hz", 200, a);
    EXPECT_LT(textHeight(bad, 200, a), 1.5 * oneLine);
    ImageSurface image(100, 20);
    drawText(image.context(), bad, {0, 0, 100, 20}, a);
    EXPECT_GE(inkColumns(image).first, 0);
    EXPECT_EQ(warnings, 0);
}
