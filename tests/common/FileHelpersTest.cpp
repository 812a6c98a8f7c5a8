// Folders made on demand, the folders the plug-in finds at start, and the MIDI meta-event record.
#include "FileHelpers.h"
#include "ConsoleCapture.h"
#include "MIDIDefinitions.h"

#include <gtest/gtest.h>

#include <cstring>
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

// The meta-event record: type, the data length at byte 4, the data from byte 8, and zeros up to its 12-byte
// head plus the data count.
TEST(MyMetaEvent, RecordHoldsTypeLengthAndDataAfterAZeroedHead) {
    const std::uint8_t tempo[] = {0x07, 0xA1, 0x20};
    const MyMetaEvent event(0x51, tempo);
    ASSERT_EQ(event.size, 15u);
    const std::uint8_t expected[15] = {0x51, 0, 0, 0, 3, 0, 0, 0, 0x07, 0xA1, 0x20, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(event.bytes(), expected, 15), 0);
    int calls = 0;
    event.withMIDIMetaEventPtr([&](const plat::MIDIMetaEvent* e) {
        EXPECT_EQ(std::tuple(e->metaEventType, e->dataLength, e->data[0]), std::tuple(0x51, 3u, 0x07));
        ++calls;
    });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(MyMetaEvent(0x2F, {}).size, 12u);
}
