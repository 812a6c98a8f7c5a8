// The preset document: writing, reading back, and refusing what is not a preset of ours.
#include "UnitTestSupport.h"

#include "PresetPatch.h"
#include "YUXPreset.h"

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

plist::Dictionary documentWith(plist::Dictionary param) {
    plist::Dictionary group{{"identifier", "kLevel"}, {"count", 1}, {"param 0", std::move(param)}};
    return plist::Dictionary{{"version", 1}, {"name", "Doc"}, {"count", 1}, {"group 0", std::move(group)}};
}

TEST(PresetDocument, ANewPatchWritesItsDefaults) {
    const auto dict = PresetPatch().toDictionary();
    EXPECT_EQ(dict, (plist::Dictionary{{"version", 1},
                                       {"type", 1635085670},
                                       {"manufacturer", 1264013122},
                                       {"subtype", 2037732182},
                                       {"number", 0},
                                       {"name", "YUX Sorvane Preset"},
                                       {"count", 0}}));
}

TEST(PresetDocument, ASnapshotOfTheTreeHasFourGroupsNumberedInTreeOrder) {
    auto adapter = std::make_shared<YUX_Sorvane_ExtensionDSPKernelAdapter>();
    YUX_Sorvane_Extension_Parameters parameters(adapter);
    YUXPreset preset;
    preset.makeFrom(parameters.parameterTree().get());
    const auto dict = preset.getDictionary();
    EXPECT_EQ(dict.find("count")->asInteger(), 4);
    const char* ids[] = {"kGlobalParameters", "kLevel", "kResonance", "kCompansion"};
    const long counts[] = {4, 32, 32, 32};
    for (int g = 0; g < 4; ++g) {
        const auto* group = dict.find("group " + std::to_string(g))->asDictionary();
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(*group->find("identifier")->asString(), ids[g]);
        EXPECT_EQ(group->find("count")->asInteger(), counts[g]);
        EXPECT_EQ(group->size(), std::size_t(counts[g] + 2));
    }
    const auto* first = dict.find("group 0")->asDictionary()->find("param 0")->asDictionary();
    EXPECT_EQ(*first, (plist::Dictionary{{"address", 0}, {"identifier", "kBypass"}, {"value", 0.0}}));
}

TEST(PresetDocument, ReadingBackReportsEveryParameterOnceWithWhatWasWritten) {
    auto adapter = std::make_shared<YUX_Sorvane_ExtensionDSPKernelAdapter>();
    YUX_Sorvane_Extension_Parameters parameters(adapter);
    for (const auto& p : parameters.parameterTree()->allParameters())
        p->setValue(float(p->address() % 97) / 97.0f);
    YUXPreset snapshot;
    snapshot.makeFrom(parameters.parameterTree().get());

    Recorder recorder;
    YUXPreset reader(&recorder);
    ASSERT_TRUE(reader.makeFrom(snapshot.getDictionary()).ok());
    ASSERT_EQ(recorder.found.size(), 100u);
    const auto all = parameters.parameterTree()->allParameters();
    for (std::size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(recorder.found[i], (Found{0, all[i]->identifier(), all[i]->address(), all[i]->value()}));
}

TEST(PresetDocument, CountsAreNotReadAndGroupKeysAreAnyKeyWithTheWord) {
    plist::Dictionary group{{"identifier", "extra 7"},
                            {"count", 99},
                            {"param 12", paramDict(1005, 0.5)},
                            {"my param", paramDict(1006, 0.25)},
                            {"ignored", 3}};
    plist::Dictionary doc{{"count", 40}, {"subgroup x", group}, {"other", "ignored"}};
    Recorder recorder;
    YUXPreset reader(&recorder);
    ASSERT_TRUE(reader.makeFrom(doc).ok());
    EXPECT_EQ(recorder.found, (std::vector<Found>{{7, "kLevel1", 1005, 0.5f}, {7, "kLevel1", 1006, 0.25f}}));
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

TEST(PresetDocument, ReadingTwiceKeepsOneCopyAndReportsTwice) {
    Recorder recorder;
    YUXPreset reader(&recorder);
    const auto doc = documentWith(paramDict(1000, 0.5));
    ASSERT_TRUE(reader.makeFrom(doc).ok());
    ASSERT_TRUE(reader.makeFrom(doc).ok());
    EXPECT_EQ(reader.patch().groups.size(), 1u);
    EXPECT_EQ(recorder.found.size(), 2u);
}

TEST(PresetDocument, NoDelegateAndNoStateChangeNothingElse) {
    YUXPreset reader;
    EXPECT_TRUE(reader.makeFrom(std::optional<plist::Dictionary>{}).ok());
    EXPECT_EQ(reader.getDictionary(), PresetPatch().toDictionary());
    EXPECT_TRUE(reader.makeFrom(documentWith(paramDict(1000, 0.5))).ok());
    EXPECT_EQ(reader.patch().name, "Doc");
}

TEST(PresetDocument, MakeFromTreeTwiceAppendsAndANullGroupSaysSo) {
    auto adapter = std::make_shared<YUX_Sorvane_ExtensionDSPKernelAdapter>();
    YUX_Sorvane_Extension_Parameters parameters(adapter);
    YUXPreset preset;
    preset.makeFrom(parameters.parameterTree().get());
    preset.makeFrom(parameters.parameterTree().get());
    EXPECT_EQ(preset.patch().groups.size(), 8u);

    CapturedConsole console;
    preset.makeFrom(nullptr);
    EXPECT_TRUE(console.contains("PresetPatch: The parameter group has no children.\n"));
    // A group of plain parameters has no groups to snapshot.
    YUXPreset flat;
    flat.makeFrom(
        dynamic_cast<const plat::AUParameterGroup*>(parameters.parameterTree()->children()[0].get()));
    EXPECT_TRUE(flat.patch().groups.empty());
}

// ---- malformed documents -------------------------------------------------------------------

struct Malformed {
    const char* what;
    plist::Dictionary document;
    const char* message;
};

std::vector<Malformed> malformedDocuments() {
    return {
        {"parameter lacks address", documentWith({{"identifier", "x"}, {"value", 0.5}}),
         "has no \"address\""},
        {"parameter lacks value", documentWith({{"identifier", "x"}, {"address", 1000}}), "has no \"value\""},
        {"address is a string", documentWith({{"address", "1000"}, {"value", 0.5}}), "not an integer"},
        {"address is negative", documentWith({{"address", -1}, {"value", 0.5}}), "is negative"},
        {"value is a string", documentWith({{"address", 1000}, {"value", "loud"}}), "not a number"},
        {"value is a boolean", documentWith({{"address", 1000}, {"value", true}}), "not a number"},
        {"value is NaN", documentWith(paramDict(1000, std::nan(""))), "not a finite number"},
        {"value is infinite", documentWith(paramDict(1000, INFINITY)), "not a finite number"},
        {"identifier is a number", documentWith({{"address", 1000}, {"value", 0.5}, {"identifier", 4}}),
         "not a string"},
        {"parameter is an array",
         plist::Dictionary{
             {"group 0", plist::Dictionary{{"identifier", "g"}, {"param 0", plist::Array{1, 2}}}}},
         "is an array, not a dictionary"},
        {"group is a string", plist::Dictionary{{"group 0", "kLevel"}},
         "\"group 0\" is a string, not a dictionary"},
        {"parameter is a number",
         plist::Dictionary{{"group 0", plist::Dictionary{{"identifier", "g"}, {"param 0", 4}}}},
         "\"group 0\" / \"param 0\" is an integer, not a dictionary"},
        {"type out of range", plist::Dictionary{{"type", 4294967296ll}}, "\"type\" is not an integer from 0"},
        {"subtype negative", plist::Dictionary{{"subtype", -1}}, "\"subtype\" is not an integer from 0"},
        {"version is a real", plist::Dictionary{{"version", 1.5}}, "\"version\" is a real, not an integer"},
        {"name is data", plist::Dictionary{{"name", plist::Data{1, 2}}}, "\"name\" is data, not a string"},
    };
}

TEST(PresetDocument, MalformedDocumentsAreRefusedWholeWithAMessage) {
    for (const auto& c : malformedDocuments()) {
        SCOPED_TRACE(c.what);
        Recorder recorder;
        YUXPreset reader(&recorder);
        ASSERT_TRUE(reader.makeFrom(documentWith(paramDict(1000, 0.5))).ok());
        recorder.found.clear();
        const auto before = reader.getDictionary();
        CapturedConsole console;
        auto result = reader.makeFrom(c.document);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().domain, plat::kCocoaErrorDomain);
        EXPECT_NE(result.error().description.find(c.message), std::string::npos)
            << result.error().description;
        EXPECT_TRUE(console.contains(std::string("PresetPatch::ERROR: ")));
        EXPECT_TRUE(recorder.found.empty());
        EXPECT_EQ(reader.getDictionary(), before);
    }
}

TEST(PresetDocument, ValuesBeyondTheFloatRangeStayFinite) {
    Recorder recorder;
    YUXPreset reader(&recorder);
    ASSERT_TRUE(reader.makeFrom(documentWith(paramDict(1000, 1e300))).ok());
    ASSERT_EQ(recorder.found.size(), 1u);
    EXPECT_TRUE(std::isfinite(recorder.found[0].value));
}

TEST(PresetDocument, IntegerValuesAreRead) {
    Recorder recorder;
    YUXPreset reader(&recorder);
    ASSERT_TRUE(reader.makeFrom(documentWith({{"address", 1000}, {"value", 1}})).ok());
    ASSERT_EQ(recorder.found.size(), 1u);
    EXPECT_EQ(recorder.found[0].value, 1.0f);
}

TEST(PresetDocument, TooManyParametersAreRefused) {
    plist::Dictionary group{{"identifier", "g"}};
    for (std::size_t i = 0; i <= PresetPatch::kMaxParameters; ++i)
        group.set("param " + std::to_string(i), paramDict(1000, 0.5));
    Recorder recorder;
    YUXPreset reader(&recorder);
    CapturedConsole console;
    EXPECT_FALSE(reader.makeFrom(plist::Dictionary{{"group 0", group}}).ok());
    EXPECT_TRUE(recorder.found.empty());
}

TEST(PresetDocument, TextWithANulCharacter) {
    // {"name": "a\0b\u00e9"} as a binary property list (the string is UTF-16 with a zero unit) is
    // a valid document; the same zero in XML is not.
    const std::vector<std::uint8_t> binary = {
        0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xd1, 0x01, 0x02, 0x54, 0x6e, 0x61, 0x6d,
        0x65, 0x64, 0x00, 0x61, 0x00, 0x00, 0x00, 0x62, 0x00, 0xe9, 0x08, 0x0b, 0x10, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x19};
    const std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>name</key><string>a" +
                            std::string(1, '\0') + "b</string></dict></plist>";
    CapturedConsole console;
    PresetPatch patch;
    EXPECT_FALSE(
        patch.fromData(std::span(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size())).ok());
    EXPECT_EQ(console.count("it holds a NUL character., Format: "), 1u);
    EXPECT_EQ(patch.name, "YUX Sorvane Preset");
    EXPECT_TRUE(patch.fromData(binary).ok());
    EXPECT_EQ(patch.name, std::string("a\0b\xc3\xa9", 5));
}

// ---- files ---------------------------------------------------------------------------------

TEST(PresetFile, SavedFileLoadsBackTheSameDocument) {
    ScratchFolder scratch;
    auto adapter = std::make_shared<YUX_Sorvane_ExtensionDSPKernelAdapter>();
    YUX_Sorvane_Extension_Parameters parameters(adapter);
    parameters.parameterTree()->parameterWithAddress(1017)->setValue(0.3f);
    YUXPreset writer;
    writer.makeFrom(parameters.parameterTree().get());
    ASSERT_TRUE(writer.save(scratch.path() / "a.plist").ok());

    YUXPreset reader;
    ASSERT_TRUE(reader.load(scratch.path() / "a.plist").ok());
    EXPECT_EQ(reader.getDictionary(), writer.getDictionary());
}

TEST(PresetFile, SavingWhereNothingCanBeWrittenSaysSoAndKeepsTheOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    ScratchFolder scratch;
    writeText(scratch.path() / "a.plist", "old");
    fs::permissions(scratch.path(), fs::perms::owner_read | fs::perms::owner_exec);
    CapturedConsole console;
    EXPECT_FALSE(PresetPatch().saveToFile(scratch.path() / "a.plist").ok());
    EXPECT_TRUE(console.contains("PresetPatch::FEHLER: Die Daten konnten nicht gespeichert werden. ("));
    std::ifstream in(scratch.path() / "a.plist");
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "old");
}

TEST(PresetFile, FilesThatAreNotPresetsAreRefusedWithAMessage) {
    ScratchFolder scratch;
    const auto dir = scratch.path();
    writeText(dir / "text.plist", "this is not a property list");
    writeText(dir / "empty.plist", "");
    writeText(dir / "array.plist", plist::toXML(plist::Value(plist::Array{1, 2})));
    writeText(dir / "huge.plist", std::string(PresetPatch::kMaxFileBytes + 10, ' '));
    fs::create_directories(dir / "folder.plist");
    const std::pair<const char*, const char*> cases[] = {
        {"text.plist", "AUPresetFile::FEHLER: Die Datei konnte nicht eingelesen werden: "},
        {"empty.plist", "AUPresetFile::FEHLER: Die Datei konnte nicht eingelesen werden: "},
        {"array.plist", "PresetPatch::ERROR: The document is an array, not a dictionary."},
        {"huge.plist",
         "AUPresetFile::FEHLER: Die Datei konnte nicht eingelesen werden: The file is larger than"},
        {"folder.plist", "is not a file."},
        {"missing.plist", "AUPresetFile::ERROR: The path "},
    };
    for (const auto& [file, message] : cases) {
        SCOPED_TRACE(file);
        Recorder recorder;
        YUXPreset reader(&recorder);
        const auto before = reader.getDictionary();
        CapturedConsole console;
        EXPECT_FALSE(reader.load(dir / file).ok());
        EXPECT_TRUE(console.contains(message)) << console.text();
        EXPECT_TRUE(recorder.found.empty());
        EXPECT_EQ(reader.getDictionary(), before);
    }
}

} // namespace
