// The preset document on its own: how groups and parameters are found, and saving. Documents
// refused whole, and entries skipped, are tested through the unit.
#include "UnitTestSupport.h"

#include "HeldToFileModes.h"
#include "PlistDocuments.h"
#include "PresetPatch.h"
#include "YUXPreset.h"

#include <cfloat>
#include <functional>

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

// What a new patch writes goes into every host's saved state that never loaded a preset: its name,
// number and codes, and no group. A group or parameter read without an identifier keeps its default.
TEST(PresetDocument, ANewPatchAndEntriesWithoutIdentifiersWriteTheirDefaults) {
    EXPECT_EQ(PresetPatch().toDictionary(), (plist::Dictionary{{"version", 1},
                                                               {"type", 1635085670},
                                                               {"manufacturer", 1264013122},
                                                               {"subtype", 2037732182},
                                                               {"number", 0},
                                                               {"name", "YUX Sorvane Preset"},
                                                               {"count", 0}}));
    const plist::Dictionary param{{"address", 1000}, {"value", 0.5}};
    PresetPatch read;
    ASSERT_TRUE(
        read.fromDictionary(plist::Dictionary{{"group 0", plist::Dictionary{{"param 0", param}}}}).ok());
    EXPECT_EQ(
        *read.toDictionary().find("group 0"),
        plist::Value(plist::Dictionary{
            {"identifier", "group"},
            {"count", 1},
            {"param 0", plist::Dictionary{{"address", 1000}, {"identifier", "parameter"}, {"value", 0.5}}}}));
}

// The manufacturer and subtype are signed: a code whose first character is above 0x7F reads negative
// and must come back as it was. Unsigned readings of 32 bits, as files hold them, stay readable.
TEST(PresetFile, CodesAreReadAsTheirSignedOrUnsignedThirtyTwoBitsAndWrittenBack) {
    const std::int64_t highCode = std::int32_t(0xA94B574Fu); // "\xA9KWO"
    const struct {
        const char* fault;
        const char* key;
        std::int64_t value;
        bool read;
    } cases[] = {
        {"a signed manufacturer refused", "manufacturer", highCode, true},
        {"a signed subtype refused", "subtype", -1, true},
        {"the lowest signed code refused", "manufacturer", INT32_MIN, true},
        {"an unsigned code as files hold it refused", "subtype", UINT32_MAX, true},
        {"a code below 32 bits read", "subtype", std::int64_t(INT32_MIN) - 1, false},
        {"a code above 32 bits read", "manufacturer", std::int64_t(UINT32_MAX) + 1, false},
        {"the type read as signed", "type", -1, false},
    };
    ScratchFolder scratch;
    for (const auto& c : cases) {
        PresetPatch patch, again;
        CapturedConsole console;
        const bool read =
            patch.fromDictionary(plist::Dictionary{{c.key, static_cast<long long>(c.value)}}).ok();
        EXPECT_EQ(read, c.read) << c.fault;
        if (!read || !c.read) continue;
        ASSERT_TRUE(patch.saveToFile(scratch.path() / "codes.plist").ok());
        ASSERT_TRUE(again.loadFromFile(scratch.path() / "codes.plist").ok());
        EXPECT_EQ(again.toDictionary().find(c.key)->asInteger(), c.value) << c.fault;
    }
}

// Paths and a document's keys are anyone's text: their lines show escape codes and line breaks
// escaped, never raw.
TEST(PresetFile, PathsAndKeysInItsLinesAreShownEscaped) {
    ScratchFolder scratch;
    const std::string &hostile = kHostileName, &shown = kHostileShown;
    fs::create_directories(scratch.path() / hostile);
    // A regular file that no reader, root included, can read from its start.
    fs::create_symlink("/proc/self/mem", scratch.path() / hostile / "mem.plist");
    fs::create_symlink("loop.plist", scratch.path() / hostile / "loop.plist");
    writeText(scratch.path() / hostile / "closed.plist", plist::toXML(plist::Value(plist::Dictionary{})));
    fs::permissions(scratch.path() / hostile / "closed.plist", fs::perms::none);
    const std::string folder = plat::shownText(scratch.path().string()) + "/" + shown;
    const struct {
        const char* fault;
        std::function<void()> act;
        std::string line;
    } rows[] = {
        {"a missing file's path printed raw",
         [&] { (void)PresetPatch().loadFromFile(scratch.path() / ("gone " + hostile)); },
         "AUPresetFile::ERROR: The path " + plat::shownText(scratch.path().string()) + "/gone " + shown +
             " does not exist.\n"},
        {"a folder's path printed raw", [&] { (void)PresetPatch().loadFromFile(scratch.path() / hostile); },
         "AUPresetFile::ERROR: The path " + plat::shownText(scratch.path().string()) + "/" + shown +
             " is not a file.\n"},
        {"a file that cannot be read named raw or without the reason",
         [&] { (void)PresetPatch().loadFromFile(scratch.path() / hostile / "mem.plist"); },
         "AUPresetFile::ERROR: The path " + plat::shownText(scratch.path().string()) + "/" + shown +
             "/mem.plist could not be read: Input/output error.\n"},
        {"a link to itself said not to exist",
         [&] { (void)PresetPatch().loadFromFile(scratch.path() / hostile / "loop.plist"); },
         "AUPresetFile::ERROR: The path " + folder +
             "/loop.plist could not be read: Too many levels of symbolic links.\n"},
        {"a file its owner may not read taken for no property list",
         [&] {
             HeldToFileModes asOwner;
             (void)PresetPatch().loadFromFile(scratch.path() / hostile / "closed.plist");
         },
         "AUPresetFile::ERROR: The path " + folder + "/closed.plist could not be read: Permission denied.\n"},
        {"a failed save's path printed raw",
         [&] { (void)PresetPatch().saveToFile(scratch.path() / hostile / "x" / "y.plist"); }, shown + "/x"},
        {"a group's key printed raw",
         [&] {
             (void)PresetPatch().fromDictionary({{"group " + hostile, "x"}});
         },
         "PresetPatch::ERROR: \u201cgroup " + shown + "\u201d is a string, not a dictionary.\n"},
        {"a parameter's key printed raw",
         [&] {
             (void)PresetPatch().fromDictionary({{"group 0", plist::Dictionary{{"param " + hostile, 1}}}});
         },
         "PresetPatch::ERROR: \u201cgroup 0\u201d / \u201cparam " + shown +
             "\u201d is an integer, not a dictionary.\n"},
        {"a skipped parameter's key printed raw",
         [&] {
             (void)PresetPatch().fromDictionary(
                 {{"group 0", plist::Dictionary{{"param " + hostile, plist::Dictionary{{"value", 0.5}}}}}});
         },
         "PresetPatch::ERROR: \u201cgroup 0\u201d / \u201cparam " + shown +
             "\u201d has no \u201caddress\u201d"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        expectPrintedEscaped(row.act, {row.line});
    }
}

// The written document, key by key: the header values, the counts, and the group and parameter
// entries numbered from 0 in list order.
TEST(PresetFile, WritesTheDocumentKeyByKey) {
    PresetPatch patch;
    patch.number = 3;
    patch.name = "Soft & Low";
    auto group = [&](const char* identifier,
                     std::vector<std::tuple<plat::AUParameterAddress, const char*, float>> params) {
        auto g = std::make_unique<PresetGroup>();
        g->identifier = identifier;
        for (const auto& [address, id, value] : params) {
            PresetParam p;
            p.address = address, p.identifier = id, p.value = value;
            g->params.push_back(p);
        }
        patch.groups.push_back(std::move(g));
    };
    group("kGlobalParameters", {{0, "kBypass", 0.0f}, {1, "kProcess", 0.75f}});
    group("kLevel", {{1000, "kLevel1", 0.5f}});
    ScratchFolder scratch;
    ASSERT_TRUE(patch.saveToFile(scratch.path() / "Soft.plist").ok());
    const char* expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                           "<plist version=\"1.0\">\n"
                           "<dict>\n"
                           "\t<key>version</key>\n"
                           "\t<integer>1</integer>\n"
                           "\t<key>type</key>\n"
                           "\t<integer>1635085670</integer>\n"
                           "\t<key>manufacturer</key>\n"
                           "\t<integer>1264013122</integer>\n"
                           "\t<key>subtype</key>\n"
                           "\t<integer>2037732182</integer>\n"
                           "\t<key>number</key>\n"
                           "\t<integer>3</integer>\n"
                           "\t<key>name</key>\n"
                           "\t<string>Soft &amp; Low</string>\n"
                           "\t<key>count</key>\n"
                           "\t<integer>2</integer>\n"
                           "\t<key>group 0</key>\n"
                           "\t<dict>\n"
                           "\t\t<key>identifier</key>\n"
                           "\t\t<string>kGlobalParameters</string>\n"
                           "\t\t<key>count</key>\n"
                           "\t\t<integer>2</integer>\n"
                           "\t\t<key>param 0</key>\n"
                           "\t\t<dict>\n"
                           "\t\t\t<key>address</key>\n"
                           "\t\t\t<integer>0</integer>\n"
                           "\t\t\t<key>identifier</key>\n"
                           "\t\t\t<string>kBypass</string>\n"
                           "\t\t\t<key>value</key>\n"
                           "\t\t\t<real>0</real>\n"
                           "\t\t</dict>\n"
                           "\t\t<key>param 1</key>\n"
                           "\t\t<dict>\n"
                           "\t\t\t<key>address</key>\n"
                           "\t\t\t<integer>1</integer>\n"
                           "\t\t\t<key>identifier</key>\n"
                           "\t\t\t<string>kProcess</string>\n"
                           "\t\t\t<key>value</key>\n"
                           "\t\t\t<real>0.75</real>\n"
                           "\t\t</dict>\n"
                           "\t</dict>\n"
                           "\t<key>group 1</key>\n"
                           "\t<dict>\n"
                           "\t\t<key>identifier</key>\n"
                           "\t\t<string>kLevel</string>\n"
                           "\t\t<key>count</key>\n"
                           "\t\t<integer>1</integer>\n"
                           "\t\t<key>param 0</key>\n"
                           "\t\t<dict>\n"
                           "\t\t\t<key>address</key>\n"
                           "\t\t\t<integer>1000</integer>\n"
                           "\t\t\t<key>identifier</key>\n"
                           "\t\t\t<string>kLevel1</string>\n"
                           "\t\t\t<key>value</key>\n"
                           "\t\t\t<real>0.5</real>\n"
                           "\t\t</dict>\n"
                           "\t</dict>\n"
                           "</dict>\n"
                           "</plist>\n";
    EXPECT_EQ(readText(scratch.path() / "Soft.plist"), expected);
}

// A hostile document may hold tens of thousands of bad entries: the first five are printed, then one
// line says how many more there were, for problems that refuse it and for entries merely skipped.
TEST(PresetDocument, ManyBadEntriesPrintTheFirstFewAndOneLineForTheRest) {
    plist::Dictionary bad, skipped;
    for (int k = 0; k < 30000; ++k) bad.set("param " + std::to_string(k), k); // not dictionaries
    for (int k = 0; k < 40; ++k) // no value: skipped, and the rest applies
        skipped.set("param " + std::to_string(k), plist::Dictionary{{"address", 1000 + k}});
    skipped.set("param good", plist::Dictionary{{"address", 1001}, {"value", 0.25}});
    Recorder recorder;
    const struct {
        const char* fault;
        plist::Dictionary group;
        bool applies;
        std::string fifth, rest;
    } cases[] = {
        {"every problem printed", bad, false,
         "\u201cgroup 0\u201d / \u201cparam 4\u201d is an integer, not a dictionary.\n",
         "PresetPatch::ERROR: ... and 29995 more problems.\n"},
        {"every skipped entry printed", skipped, true,
         "\u201cgroup 0\u201d / \u201cparam 4\u201d has no \u201cvalue\u201d",
         "PresetPatch::ERROR: ... and 35 more skipped entries.\n"},
    };
    for (const auto& c : cases) {
        CapturedConsole console;
        EXPECT_EQ(YUXPreset(&recorder).makeFrom(plist::Dictionary{{"group 0", c.group}}).ok(), c.applies);
        EXPECT_EQ(console.count("PresetPatch::ERROR: "), 6u) << c.fault;
        EXPECT_EQ(console.count(c.fifth), 1u) << c.fault;
        EXPECT_EQ(console.count(c.rest), 1u) << c.fault;
    }
    EXPECT_EQ(recorder.found, (std::vector<Found>{{0, 1001, 0.25f}}));
}

// Text read as it stands may be written longer ('>' becomes "&gt;"): a document that loads but would
// not fit a preset file once saved is refused before anything is written, so every save loads again.
TEST(PresetFile, ASaveThatWouldNotLoadAgainIsRefusedAndTheOldFileStays) {
    ScratchFolder scratch;
    const auto file = scratch.path() / "grown.plist";
    const std::string grown(300000, '>'), fits(200000, '>'); // 1.2 MB and 0.8 MB written
    const std::string document =
        "<plist version=\"1.0\"><dict><key>name</key><string>" + grown + "</string></dict></plist>";
    writeText(file, document);
    PresetPatch patch, again;
    ASSERT_TRUE(patch.loadFromFile(file).ok());
    EXPECT_EQ(patch.name, grown);
    {
        CapturedConsole console;
        EXPECT_FALSE(patch.saveToFile(file).ok());
        EXPECT_TRUE(console.contains("PresetPatch::FEHLER: Die Daten konnten nicht gespeichert werden. (The "
                                     "preset would take 1200"));
    }
    EXPECT_EQ(readText(file), document);
    patch.name = fits;
    ASSERT_TRUE(patch.saveToFile(file).ok());
    ASSERT_TRUE(again.loadFromFile(file).ok());
    EXPECT_EQ(again.name, fits);
}

// A preset written in UTF-16 or UTF-32 reads as the same document in UTF-8 would, and a value too
// small for a double reads as zero rather than refusing the document.
TEST(PresetFile, ReadsWideDocumentsAndValuesTooSmallForADoubleAsZero) {
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><plist version=\"1.0\"><dict><key>name</key>"
        "<string>Grüße</string><key>group 0</key><dict><key>param 0</key><dict><key>address</key>"
        "<integer>1</integer><key>value</key><real>1e-400</real></dict></dict></dict></plist>";
    ScratchFolder scratch;
    for (int unitBytes : {2, 4})
        for (bool bigEndian : {false, true}) {
            SCOPED_TRACE(std::to_string(unitBytes * 8) + (bigEndian ? " bits, big-endian" : " bits"));
            writeText(scratch.path() / "wide.plist", wideDocument(xml, unitBytes, bigEndian));
            Recorder recorder;
            YUXPreset reader(&recorder);
            ASSERT_TRUE(reader.load(scratch.path() / "wide.plist").ok());
            EXPECT_EQ(reader.patch().name, "Grüße");
            EXPECT_EQ(recorder.found, (std::vector<Found>{{0, 1, 0.0f}}));
        }
}

} // namespace
