// The preset document on its own: how groups and parameters are found, and saving. Documents
// refused whole, and entries skipped, are tested through the unit.
#include "UnitTestSupport.h"

#include "PresetPatch.h"
#include "YUXPreset.h"

#include <cfloat>

namespace {

namespace plist = plat::plist;

using Found = std::tuple<long, plat::AUParameterAddress, float>; // group, address, value

class Recorder : public YUXPresetDelegate {
public:
    void onFoundParameter(long group, const std::string&, plat::AUParameterAddress address,
                          plat::AUValue value) override {
        found.emplace_back(group, address, value);
    }
    std::vector<Found> found;
};

TEST(PresetDocument, GroupsAndParametersAreFoundByTheWordsInTheirKeysAndCountsAreNotRead) {
    auto param = [](long long address, double value) {
        return plist::Dictionary{{"address", address}, {"identifier", "kLevel1"}, {"value", value}};
    };
    plist::Dictionary group{{"identifier", "extra 7"},
                            {"count", 99},
                            {"param 12", param(1005, 0.5)},
                            {"my param", param(1006, 0.25)},
                            {"ignored", 3},
                            {"param big", param(1007, 1e300)}}; // held finite beyond the float range
    Recorder recorder;
    YUXPreset reader(&recorder);
    ASSERT_TRUE(
        reader.makeFrom(plist::Dictionary{{"count", 40}, {"subgroup x", group}, {"other", "x"}}).ok());
    EXPECT_EQ(recorder.found, (std::vector<Found>{{7, 1005, 0.5f}, {7, 1006, 0.25f}, {7, 1007, FLT_MAX}}));
    ASSERT_TRUE(reader.makeFrom(plist::Dictionary{{"group", group}}).ok()); // replaces the groups
    EXPECT_EQ(reader.patch().groups.size(), 1u);
    EXPECT_EQ(recorder.found.size(), 6u);

    PresetGroup numbered; // the last number is beyond a long: read as none, never thrown
    const std::pair<const char*, long> numbers[] = {{"kLevel", 0},
                                                    {"bank 7", 7},
                                                    {"bank -3", -3},
                                                    {"bank 7x", 0},
                                                    {"bank ", 0},
                                                    {"12", 12},
                                                    {"b -999999999999999999", -999999999999999999},
                                                    {"b 9999999999999999999", 0}};
    for (const auto& [identifier, id] : numbers) {
        numbered.identifier = identifier;
        numbered.findGroupNumber();
        EXPECT_EQ(numbered.id, id) << identifier;
    }
    CapturedConsole console;
    YUXPreset().makeFrom(nullptr);
    EXPECT_EQ(console.text(), "PresetPatch: The parameter group has no children.\n");
}

TEST(PresetFile, SavesAndReadsBackAndAFailedSaveSaysSoAndKeepsTheOldFile) {
    ScratchFolder scratch;
    const auto file = scratch.path() / "a.plist";
    PresetPatch saved, read;
    saved.name = "Saved";
    ASSERT_TRUE(saved.saveToFile(file).ok());
    ASSERT_TRUE(read.loadFromFile(file).ok());
    EXPECT_EQ(read.toDictionary(), saved.toDictionary());
    CapturedConsole console;
    EXPECT_FALSE(PresetPatch().saveToFile(file / "below.plist").ok()); // a file where a folder should be
    EXPECT_NE(console.text().find("PresetPatch::FEHLER: Die Daten konnten nicht gespeichert werden. ("),
              std::string::npos);
    if (::geteuid() == 0) return; // permissions do not bind the superuser
    fs::permissions(scratch.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(PresetPatch().saveToFile(file).ok());
    ASSERT_TRUE(read.loadFromFile(file).ok());
    EXPECT_EQ(read.name, "Saved");
}

} // namespace
