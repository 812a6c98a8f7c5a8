// Folders made on demand, and the folders the plug-in finds at start.
#include "FileHelpers.h"
#include "TestSupport.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {
fs::path scratch(const std::string& name) {
    return fs::path(std::getenv("XDG_CONFIG_HOME")).parent_path() / "scratch" / name;
}
} // namespace

TEST(EnsureDirectoryExists, CreatesMissingFoldersAndReportsAFileInTheWay) {
    const auto folder = scratch("a/b/c");
    EXPECT_TRUE(ensureDirectoryExists(plat::URL::fileURL(folder)));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(ensureDirectoryExists(plat::URL::fileURL(folder)));

    ConsoleCapture out;
    const auto file = folder / "plain.txt";
    std::ofstream(file) << "not a folder";
    EXPECT_FALSE(ensureDirectoryExists(plat::URL::fileURL(file)));
    EXPECT_FALSE(ensureDirectoryExists(plat::URL::fileURL(file / "below")));
    EXPECT_TRUE(fs::is_regular_file(file));
    plat::RunLoop::main().drain();
    EXPECT_EQ(out.count("ensureDirectoryExists() : ERROR: Creating required directory '" + file.string() +
                        "' failed: "),
              1u);
}

TEST(GetPaths, ResolvesAndLogsTheFolders) {
    ConsoleCapture out;
    getPaths();
    ASSERT_TRUE(documentsURL.has_value());
    EXPECT_EQ(documentsURL->path(), std::string(std::getenv("XDG_DOCUMENTS_DIR")));
    plat::RunLoop::main().drain();
    EXPECT_EQ(out.count("AudioUnitViewController::getPaths() : Audio Unit's documents path is: " +
                        documentsURL->path() + "\n"),
              1u);
    // The test binary is no bundle with resources.
    EXPECT_FALSE(resourcesURL.has_value());
    EXPECT_EQ(out.count("AudioUnitViewController::getPaths() : ERROR: Audio Unit's resources path is nil.\n"),
              1u);
    EXPECT_FALSE(sharedURLAudio.has_value());
    EXPECT_FALSE(sharedURLMIDI.has_value());
}
