// The preset document on its own: how groups and parameters are found, and saving. Documents
// refused whole, and entries skipped, are tested through the unit.
#include "UnitTestSupport.h"

#include "PresetPatch.h"
#include "YUXPreset.h"

#include <cfloat>
#include <fstream>

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

    PresetGroup numbered;
    for (auto [identifier, id] : std::vector<std::pair<std::string, long>>{
             {"kLevel", 0}, {"bank 7", 7}, {"bank -3", -3}, {"bank 7x", 0}, {"bank ", 0}, {"12", 12}}) {
        numbered.identifier = identifier;
        numbered.findGroupNumber();
        EXPECT_EQ(numbered.id, id) << identifier;
    }
    CapturedConsole console;
    YUXPreset().makeFrom(nullptr);
    EXPECT_EQ(console.text(), "PresetPatch: The parameter group has no children.\n");
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

// The document as other programs see it: Python's plistlib reads the XML the unit writes, finds
// its shape and types, and writes it back as a binary document that the unit reads to the same values.
TEST(PresetFile, PlistlibReadsWhatTheUnitWritesAndWritesWhatTheUnitReads) {
    if (std::system("python3 -c 'import plistlib' > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 with plistlib is not installed";
    FactoryFolder factory;
    auto unit = makeUnit();
    setDistinctValues(*unit);
    YUXPreset preset;
    preset.makeFrom(unit->parameterTree().get());
    const auto xml = factory.resources() / "unit.plist", script = factory.resources() / "check.py";
    ASSERT_TRUE(preset.save(xml).ok());
    writeText(script, R"(import plistlib, sys
raw = open(sys.argv[1], 'rb').read()
assert not raw.startswith(b'bplist')
doc = plistlib.loads(raw)
assert [doc[k] for k in ('type', 'manufacturer', 'subtype', 'count')] == [0x61756D66, 0x4B574F42, 0x79755356, 4]
for g, (gid, base, size) in enumerate([('kGlobalParameters', 0, 4), ('kLevel', 1000, 32),
                                       ('kResonance', 2000, 32), ('kCompansion', 3000, 32)]):
    group = doc['group %d' % g]
    assert group['identifier'] == gid and group['count'] == size
    for j in range(size):
        p = group['param %d' % j]
        assert type(p['address']) is int and p['address'] == base + j
        assert type(p['value']) is float and type(p['identifier']) is str
doc['name'] = 'From Python'
open(sys.argv[2], 'wb').write(plistlib.dumps(doc, fmt=plistlib.FMT_BINARY))
)");
    const std::string command = "python3 '" + script.string() + "' '" + xml.string() + "' '" +
                                (factory.folder() / "From Python.plist").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    auto reader = makeUnit();
    const auto presets = reader->factoryPresets();
    ASSERT_EQ(presets.size(), 1u);
    ASSERT_TRUE(reader->setCurrentPreset(presets[0]).ok());
    EXPECT_EQ(allValues(*reader), allValues(*unit));
    EXPECT_EQ(*reader->presetState(presets[0])->find("name")->asString(), "From Python");
}

} // namespace
