// Folders made on demand, and the folders the plug-in finds at start.
#include "FileHelpers.h"
#include "ConsoleCapture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(FileHelpers, FoldersAreMadeOnDemandAFileInTheWayIsReportedAndStartUpFindsItsFolders) {
    const auto folder = fs::path(std::getenv("XDG_CONFIG_HOME")).parent_path() / "scratch/a/b/c",
               file = folder / "plain.txt";
    ConsoleCapture out;
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(ensureDirectoryExists(plat::URL::fileURL(folder)));
    EXPECT_TRUE(fs::is_directory(folder));
    std::ofstream(file) << "not a folder";
    EXPECT_FALSE(ensureDirectoryExists(plat::URL::fileURL(file)));
    EXPECT_FALSE(ensureDirectoryExists(plat::URL::fileURL(file / "below")));
    EXPECT_TRUE(fs::is_regular_file(file));

    getPaths();
    ASSERT_TRUE(documentsURL.has_value());
    EXPECT_EQ(documentsURL->path(), std::string(std::getenv("XDG_DOCUMENTS_DIR")));
    EXPECT_FALSE(resourcesURL || sharedURLAudio || sharedURLMIDI); // the test program is no bundle
    plat::RunLoop::main().drain();
    const std::string logged[] = {
        "ensureDirectoryExists() : ERROR: Creating required directory '" + file.string() + "' failed: ",
        "AudioUnitViewController::getPaths() : Audio Unit's documents path is: " + documentsURL->path() +
            "\n",
        "AudioUnitViewController::getPaths() : ERROR: Audio Unit's resources path is nil.\n"};
    for (const auto& line : logged) EXPECT_EQ(out.count(line), 1u) << line;
}
