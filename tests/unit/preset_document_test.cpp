// The preset document: writing, reading back and skipping unusable entries. Documents refused whole
// are tested through the unit, with the presets they would have been.
#include "UnitTestSupport.h"

#include "PresetPatch.h"
#include "YUXPreset.h"

#include <cfloat>

namespace {

namespace plist = plat::plist;

struct Found {
    long group;
    std::string identifier;
    plat::AUParameterAddress address;
    float value;
    bool operator==(const Found&) const = default;
};

class Recorder : public YUXPresetDelegate {
public:
    void onFoundParameter(long group, const std::string& identifier, plat::AUParameterAddress address,
                          plat::AUValue value) override {
        found.push_back({group, identifier, address, value});
    }
    std::vector<Found> found;
};

plist::Dictionary paramDict(long long address, double value) {
    return plist::Dictionary{{"address", address}, {"identifier", "kLevel1"}, {"value", value}};
}

// A document of one group: a good entry at 1001, then `param`.
plist::Dictionary documentWith(plist::Dictionary param) {
    plist::Dictionary group{{"identifier", "kLevel"}, {"param 0", paramDict(1001, 0.25)}, {"param 1", param}};
    return plist::Dictionary{{"version", 1}, {"name", "Doc"}, {"count", 1}, {"group 0", std::move(group)}};
}

TEST(PresetDocument, ANewPatchWritesItsDefaults) {
    EXPECT_EQ(PresetPatch().toDictionary(), (plist::Dictionary{{"version", 1},
                                                               {"type", 1635085670},
                                                               {"manufacturer", 1264013122},
                                                               {"subtype", 2037732182},
                                                               {"number", 0},
                                                               {"name", "YUX Sorvane Preset"},
                                                               {"count", 0}}));
}

TEST(PresetDocument, ASnapshotReadBackReportsEveryParameterOnceWithWhatWasWritten) {
    auto adapter = std::make_shared<YUX_Sorvane_ExtensionDSPKernelAdapter>();
    YUX_Sorvane_Extension_Parameters parameters(adapter);
    for (const auto& p : parameters.parameterTree()->allParameters())
        p->setValue(float(p->address() % 97) / 97.0f);
    YUXPreset snapshot;
    snapshot.makeFrom(parameters.parameterTree().get());

    Recorder recorder;
    YUXPreset reader(&recorder);
    ASSERT_TRUE(reader.makeFrom(snapshot.getDictionary()).ok());
    const auto all = parameters.parameterTree()->allParameters();
    ASSERT_EQ(recorder.found.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(recorder.found[i], (Found{0, all[i]->identifier(), all[i]->address(), all[i]->value()}));

    // Snapshots append; a group of plain parameters adds nothing; no group at all says so.
    snapshot.makeFrom(parameters.parameterTree().get());
    snapshot.makeFrom(
        dynamic_cast<const plat::AUParameterGroup*>(parameters.parameterTree()->children()[0].get()));
    EXPECT_EQ(snapshot.patch().groups.size(), 8u);
    CapturedConsole console;
    snapshot.makeFrom(nullptr);
    EXPECT_EQ(console.text(), "PresetPatch: The parameter group has no children.\n");
}

TEST(PresetDocument, CountsAreNotReadAndGroupKeysAreAnyKeyWithTheWord) {
    plist::Dictionary group{{"identifier", "extra 7"},
                            {"count", 99},
                            {"param 12", paramDict(1005, 0.5)},
                            {"my param", paramDict(1006, 0.25)},
                            {"ignored", 3}};
    Recorder recorder;
    YUXPreset reader(&recorder);
    ASSERT_TRUE(
        reader.makeFrom(plist::Dictionary{{"count", 40}, {"subgroup x", group}, {"other", "x"}}).ok());
    EXPECT_EQ(recorder.found, (std::vector<Found>{{7, "kLevel1", 1005, 0.5f}, {7, "kLevel1", 1006, 0.25f}}));
    // Read again: the groups are replaced, the parameters reported again.
    ASSERT_TRUE(reader.makeFrom(plist::Dictionary{{"group", group}}).ok());
    EXPECT_EQ(reader.patch().groups.size(), 1u);
    EXPECT_EQ(recorder.found.size(), 4u);
}

TEST(PresetDocument, GroupNumbersComeFromTheLastWordOfTheIdentifier) {
    PresetGroup group;
    for (auto [identifier, id] : std::vector<std::pair<std::string, long>>{
             {"kLevel", 0}, {"bank 7", 7}, {"bank -3", -3}, {"bank 7x", 0}, {"bank ", 0}, {"12", 12}}) {
        group.identifier = identifier;
        group.findGroupNumber();
        EXPECT_EQ(group.id, id) << identifier;
    }
}

// An entry without an address (which would have meant bypass) or a value, or with a value that is
// not finite, is skipped with a message; the rest of the document applies.
TEST(PresetDocument, UnusableEntriesAreSkippedAndTheRestIsReported) {
    const std::string entry = "\"group 0\" / \"param 1\" ";
    const std::pair<plist::Dictionary, std::string> cases[] = {
        {{{"identifier", "x"}, {"value", 1.0}}, "has no \"address\"; the entry is skipped."},
        {{{"identifier", "x"}, {"address", 1000}}, "has no \"value\"; the entry is skipped."},
        {paramDict(0, std::nan("")), "has a value that is not a finite number; the entry is skipped."},
        {paramDict(1000, -INFINITY), "has a value that is not a finite number; the entry is skipped."},
    };
    for (const auto& [param, message] : cases) {
        SCOPED_TRACE(message);
        Recorder recorder;
        YUXPreset reader(&recorder);
        CapturedConsole console;
        ASSERT_TRUE(reader.makeFrom(documentWith(param)).ok());
        EXPECT_EQ(recorder.found, (std::vector<Found>{{0, "kLevel1", 1001, 0.25f}}));
        EXPECT_EQ(console.text(), "PresetPatch::ERROR: " + entry + message + "\n");
    }
    // Numbers are read as numbers, and stay finite beyond the float range.
    Recorder recorder;
    YUXPreset reader(&recorder);
    ASSERT_TRUE(reader.makeFrom(documentWith({{"address", 1000}, {"value", 1e300}})).ok());
    ASSERT_TRUE(reader.makeFrom(documentWith({{"address", 1000}, {"value", 1}})).ok());
    EXPECT_EQ(recorder.found[1].value, FLT_MAX);
    EXPECT_EQ(recorder.found[3].value, 1.0f);
}

TEST(PresetFile, SavingWhereNothingCanBeWrittenSaysSoAndKeepsTheOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    ScratchFolder scratch;
    writeText(scratch.path() / "a.plist", "old");
    fs::permissions(scratch.path(), fs::perms::owner_read | fs::perms::owner_exec);
    CapturedConsole console;
    EXPECT_FALSE(PresetPatch().saveToFile(scratch.path() / "a.plist").ok());
    EXPECT_NE(console.text().find("PresetPatch::FEHLER: Die Daten konnten nicht gespeichert werden. ("),
              std::string::npos);
    std::ifstream in(scratch.path() / "a.plist");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
}

} // namespace
