// Full state, factory presets, the current preset and preset look-ups.
#include "PlistDocuments.h"
#include "UnitTestSupport.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace {

namespace plist = plat::plist;
using Unit = YUX_Sorvane_Extension_AudioUnit;
using Preset = plat::AUAudioUnitPreset;

// The full state and the values of a unit whose values were made distinct with `offset`.
plist::Dictionary distinctState(float offset) {
    auto source = makeUnit();
    setDistinctValues(*source, offset);
    return *source->fullState();
}
Values distinctValues(float offset) {
    auto source = makeUnit();
    setDistinctValues(*source, offset);
    return allValues(*source);
}

void writePreset(const fs::path& file, const plist::Dictionary& document) {
    ASSERT_TRUE(plist::writeFile(file, plist::Value(document)).ok());
}

// `document` with one more parameter entry in its last group.
plist::Dictionary withEntry(plist::Dictionary document, plist::Dictionary param) {
    auto group = *document.find("group 3")->asDictionary();
    group.set("param 99", std::move(param));
    document.set("group 3", std::move(group));
    return document;
}

class FactoryPresets : public ::testing::Test {
protected:
    Preset listed(const std::vector<Preset>& presets, const std::string& name) {
        const auto found =
            std::find_if(presets.begin(), presets.end(), [&](auto& p) { return p.name == name; });
        EXPECT_NE(found, presets.end()) << name;
        return found == presets.end() ? Preset{} : *found;
    }
    FactoryFolder factory;
    std::shared_ptr<Unit> unit = makeUnit();
};

TEST_F(FactoryPresets, ListedByNameFoundByNameWhateverTheNumberAndReadWithoutApplying) {
    writePreset(factory.folder() / "soft.plist", distinctState(0.0f));
    writePreset(factory.folder() / "Hard.PLIST", distinctState(0.01f));
    writePreset(factory.folder() / "Bright.plist", distinctState(0.02f));
    writePreset(factory.folder() / "Bright-Air.plist", distinctState(0.03f)); // '-' sorts before '.'
    writeText(factory.folder() / "notes.txt", "not a preset");
    fs::create_directories(factory.folder() / "Folder.plist");
    const auto presets = unit->factoryPresets();
    EXPECT_EQ(presets, (std::vector<Preset>{{0, "Bright"}, {1, "Bright-Air"}, {2, "Hard"}, {3, "soft"}}));
    EXPECT_EQ(unit->factoryPresets(), presets);

    ASSERT_TRUE(unit->setCurrentPreset(presets[2]).ok());
    EXPECT_EQ(unit->currentPreset(), presets[2]);
    EXPECT_EQ(allValues(*unit), distinctValues(0.01f));
    // The file is found by the name alone: a number the listing gave another preset still loads it.
    ASSERT_TRUE(unit->setCurrentPreset(Preset{0, "soft"}).ok());
    EXPECT_EQ(unit->currentPreset(), (Preset{0, "soft"}));
    EXPECT_EQ(allValues(*unit), distinctValues(0.0f));
    ASSERT_TRUE(unit->setCurrentPreset(presets[2]).ok());
    ASSERT_TRUE(unit->setCurrentPreset(std::nullopt).ok()); // clearing keeps the values, as no state does
    ASSERT_TRUE(unit->setFullState(std::nullopt).ok());
    EXPECT_FALSE(unit->currentPreset());
    EXPECT_EQ(allValues(*unit), distinctValues(0.01f));
    ASSERT_TRUE(unit->setCurrentPreset(Preset{-1, "Bright-Air"}).ok()); // a user preset, by name
    EXPECT_EQ(unit->currentPreset(), (Preset{-1, "Bright-Air"}));
    EXPECT_EQ(allValues(*unit), distinctValues(0.03f));

    // A look-up reads the file and sets nothing, not even on the unit that loaded a preset last
    // (as it would under one process-wide delegate).
    auto other = makeUnit();
    ASSERT_TRUE(other->setCurrentPreset(other->factoryPresets()[3]).ok());
    auto state = unit->presetState(Preset{0, "Bright"});
    ASSERT_TRUE(state.ok());
    EXPECT_EQ(state.value(), distinctState(0.02f));
    EXPECT_EQ(allValues(*unit), distinctValues(0.03f));
    EXPECT_EQ(allValues(*other), distinctValues(0.0f));
}

// A preset that cannot be served, by number, by name, or for what its file holds, is refused with a
// line that says why: neither the values nor the current preset change. A document refused as a
// preset file is refused as a host's state too, before any of its good entries applies.
TEST_F(FactoryPresets, WhatCannotBeServedIsRefusedAndChangesNothing) {
    const auto current = distinctState(0.0f), other = distinctState(0.05f);
    writePreset(factory.folder() / "0 Good.plist", current);
    writePreset(factory.folder() / "Gone.plist", current);
    writePreset(factory.resources() / "Outside.plist", current);
    EXPECT_FALSE(unit->setCurrentPreset(Preset{0, "0 Good"}).ok()); // numbers mean nothing before a listing
    auto xml = [](plist::Dictionary document) { return plist::toXML(plist::Value(std::move(document))); };
    auto xmlWith = [&](plist::Dictionary param) { return xml(withEntry(other, std::move(param))); };
    const std::tuple<std::string, std::string, std::string> files[] = {
        {"Not A Plist", "not a property list",
         "AUPresetFile::FEHLER: Die Datei konnte nicht eingelesen werden: "},
        {"Array", plist::toXML(plist::Value(plist::Array{1, 2})),
         "The document is an array, not a dictionary."},
        {"Group Is Text", xml({{"group 0", "x"}}), "\u201cgroup 0\u201d is a string, not a dictionary."},
        {"Parameter Is A Number", xml({{"group 0", plist::Dictionary{{"param 0", 1}}}}),
         "is an integer, not a"},
        {"Value Is Text", xmlWith({{"address", 1000}, {"value", "a"}}),
         "\u201cvalue\u201d is a string, not a"},
        {"Value Is A Boolean", xmlWith({{"address", 1000}, {"value", true}}),
         "\u201cvalue\u201d is a boolean, not a"},
        {"Address Is Text", xmlWith({{"address", "1000"}, {"value", 0.5}}),
         "\u201caddress\u201d is a string, not an"},
        {"Address Is Negative", xmlWith({{"address", -5}, {"value", 0.5}}),
         "\u201caddress\u201d is negative (-5)."},
        {"Identifier Is A Number", xmlWith({{"address", 1}, {"value", 0.5}, {"identifier", 4}}),
         "not a string."},
        {"Type Out Of Range", xml({{"type", 4294967296ll}}),
         "\u201ctype\u201d is not an integer from 0 to 4294967295."},
        {"Subtype Below 32 Bits", xml({{"subtype", -2147483649ll}}),
         "\u201csubtype\u201d is not an integer from -2147483648 to 4294967295."},
        {"Version Is A Real", xml({{"version", 1.5}}), "\u201cversion\u201d is a real, not an integer."},
        {"Name Is Data", xml({{"name", plist::Data{1, 2}}}), "\u201cname\u201d is data, not a string."},
        {"Shared Many Times", expansionBomb(3, 2100, "count"),
         "would take more than 4194304 bytes once read"},
        {"Huge Binary", "bplist00" + std::string(2 << 20, '\0'), "larger than 1048576 bytes., Format: 200"},
    };
    for (const auto& [name, content, message] : files)
        writeText(factory.folder() / (name + ".plist"), content);
    fs::create_directories(factory.folder() / "Directory.plist"); // named like a preset, not one
    fs::create_symlink("Loop.plist", factory.folder() / "Loop.plist");
    const auto presets = unit->factoryPresets();
    ASSERT_EQ(presets.size(), std::size(files) + 3);
    ASSERT_TRUE(unit->setCurrentPreset(presets[0]).ok());
    fs::remove(factory.folder() / "Gone.plist");
    const auto before = allValues(*unit);

    // What is asked for, whether a look-up of its name fails too, and the lines that say why.
    std::vector<std::tuple<Preset, bool, std::vector<std::string>>> asks = {
        {{99, "Nowhere"}, false, {"AUExtension::ERROR: The preset number 99 is invalid.\n"}},
        {listed(presets, "Gone"),
         true,
         {"AUExtension::ERROR: The preset file 'Gone.plist' does not exist.\n"}},
        {{-2, "Nowhere"},
         true,
         {"AUExtension::ERROR: The preset file 'Nowhere.plist' does not exist.\n"
          "AUExtension::ERROR: Unable to restore set for preset Nowhere\n"}},
        {{-1, "Directory"}, true, {"The preset file 'Directory.plist' does not exist."}},
        {listed(presets, "Loop"),
         true,
         {"Loop.plist could not be read: Too many levels of symbolic links.\n",
          "AUExtension::ERROR: The preset 'Loop' could not be loaded: "}}};
    for (const char* name : {"../../../Outside", "..", ".", "a/b", ""})
        for (plat::NSInteger number : {-1, 0})
            asks.push_back(
                {{number, name}, true, {"The preset name '" + std::string(name) + "' is not a valid"}});
    for (const auto& [name, content, message] : files)
        asks.push_back({listed(presets, name),
                        true,
                        {message, "AUExtension::ERROR: The preset '" + name + "' could not be loaded: "}});
    for (const auto& [preset, lookUpFails, lines] : asks) {
        SCOPED_TRACE(preset.name + " " + std::to_string(preset.number));
        CapturedConsole console;
        const auto chosen = unit->setCurrentPreset(preset);
        ASSERT_FALSE(chosen.ok());
        const std::string text = console.printed();
        for (const auto& line : lines) EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
        if (lookUpFails) {
            EXPECT_EQ(chosen.error().code, plat::kAudioUnitErr_MissingPreset);
            const auto state = unit->presetState(preset);
            ASSERT_FALSE(state.ok());
            EXPECT_EQ(state.error().code, plat::kAudioUnitErr_MissingPreset);
        }
        EXPECT_EQ(unit->currentPreset(), presets[0]);
        EXPECT_EQ(allValues(*unit), before);
    }
    // A host's state is refused for what a file is refused for, and for text no file could hold.
    auto named = other;
    named.set("name", std::string("a\0b", 3));
    std::vector<std::pair<std::string, plist::Dictionary>> states = {{"Name With A NUL", named}};
    for (const auto& [name, content, message] : files) {
        const auto state =
            plist::parse(content, {PresetPatch::kMaxFileBytes, 8, PresetPatch::kMaxExpandedBytes});
        if (state.ok() && state->asDictionary()) states.emplace_back(name, *state->asDictionary());
    }
    for (const auto& [name, state] : states) {
        SCOPED_TRACE(name);
        CapturedConsole console;
        EXPECT_FALSE(unit->setFullState(state).ok());
        EXPECT_TRUE(console.contains("AUExtension::ERROR: The state could not be restored: "));
        EXPECT_EQ(allValues(*unit), before);
    }
}

// A preset's name is the host's text and a file's name anyone's: the lines about them show escape
// codes and line breaks escaped, never raw.
TEST_F(FactoryPresets, NamesAndPathsInItsLinesAreShownEscaped) {
    const std::string &hostile = kHostileName, &shown = kHostileShown;
    writePreset(factory.folder() / "Good.plist", distinctState(0.0f));
    writeText(factory.folder() / (hostile + ".plist"), "not a property list");
    fs::create_symlink("/proc/self/mem", factory.folder() / ("Mem " + hostile + ".plist")); // read by none
    const auto presets = unit->factoryPresets();
    ASSERT_EQ(presets.size(), 3u);
    const Preset unreadable = listed(presets, hostile);
    const struct {
        const char* fault;
        std::function<void()> ask;
        std::vector<std::string> lines;
    } rows[] = {
        {"a user preset's name printed raw where its file is missing",
         [&] {
             (void)unit->setCurrentPreset(Preset{-1, "Gone " + hostile});
         },
         {"AUExtension::ERROR: The preset file 'Gone " + shown + ".plist' does not exist.\n",
          "AUExtension::ERROR: Unable to restore set for preset Gone " + shown + "\n"}},
        {"a factory preset's name printed raw where its file is missing",
         [&] {
             (void)unit->setCurrentPreset(Preset{1, "Gone " + hostile});
         },
         {"AUExtension::ERROR: The preset file 'Gone " + shown + ".plist' does not exist.\n"}},
        {"a name that is no file name printed raw",
         [&] {
             (void)unit->setCurrentPreset(Preset{0, "x/" + hostile});
         },
         {"AUExtension::ERROR: The preset name 'x/" + shown + "' is not a valid file name.\n"}},
        {"a name that is no file name printed raw in a look-up",
         [&] {
             (void)unit->presetState(Preset{0, "x/" + hostile});
         },
         {"AUExtension::ERROR: The preset name 'x/" + shown + "' is not a valid file name.\n"}},
        {"a preset that cannot be loaded named raw",
         [&] { (void)unit->setCurrentPreset(unreadable); },
         {"AUExtension::ERROR: The preset '" + shown + "' could not be loaded: "}},
        {"the path in a file's error printed raw",
         [&] { (void)unit->setCurrentPreset(listed(presets, "Mem " + hostile)); },
         {"could not be loaded: AUPresetFile::ERROR: The path " +
          plat::shownText((factory.folder() / ("Mem " + hostile + ".plist")).string()) +
          " could not be read: Input/output error.\n"}},
        {"a file that cannot be read named raw in a look-up",
         [&] { (void)unit->presetState(unreadable); },
         {"AUExtension::ERROR: The preset file '" + shown + ".plist' could not be read: "}},
        {"a user preset that cannot be read named raw",
         [&] {
             (void)unit->setCurrentPreset(Preset{-1, hostile});
         },
         {"AUExtension::ERROR: Unable to restore set for preset " + shown + "\n"}},
        {"the folder printed raw where it cannot be listed",
         [&] {
             Unit::setResourceDirectoryForTesting(factory.resources() / hostile);
             (void)unit->factoryPresets();
             Unit::setResourceDirectoryForTesting(factory.resources());
         },
         {"Creating factory presets failed: ", shown + "/YUX Sorvane Folder/Library/Factory Presets"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        expectPrintedEscaped(row.ask, row.lines);
    }
}

// An entry a document cannot use is skipped with a line, and the rest applies; values are held to
// the parameter's range. The same through a host's state and through a preset file, which then
// becomes the current preset.
TEST_F(FactoryPresets, UnusableEntriesAreSkippedAndTheRestApplies) {
    const std::string notFinite = "has a value that is not a finite number; the entry is skipped.";
    struct Case {
        const char* fault;
        plist::Dictionary param;
        std::string line; // after the entry's name
        plat::AUParameterAddress address;
        std::optional<float> held; // none: the document's own value stands
    };
    const Case cases[] = {
        {"no address read as bypass",
         {{"value", 1.0}},
         "has no \u201caddress\u201d; the entry is skipped.",
         0,
         {}},
        {"no value read as zero",
         {{"address", 1000}},
         "has no \u201cvalue\u201d; the entry is skipped.",
         1000,
         {}},
        {"NaN applied", {{"address", 3}, {"value", std::nan("")}}, notFinite, 3, {}},
        {"infinity applied", {{"address", 1000}, {"value", -INFINITY}}, notFinite, 1000, {}},
        {"above the range kept", {{"address", 1000}, {"value", 7.5}}, "", 1000, 1.0f},
        {"below the range kept", {{"address", 1001}, {"value", -2.0}}, "", 1001, 0.0f},
        {"beyond float made infinite", {{"address", 1002}, {"value", 1e300}}, "", 1002, 1.0f},
        {"an integer refused", {{"address", 1003}, {"value", 0}}, "", 1003, 0.0f},
        {"an unknown address trapped", {{"address", 4}, {"value", 0.5}}, "", 4, {}},
    };
    const auto base = distinctState(0.06f);
    for (const auto& c : cases)
        writePreset(factory.folder() / (std::string(c.fault) + ".plist"), withEntry(base, c.param));
    const auto presets = unit->factoryPresets();
    for (const auto& c : cases) {
        auto expected = distinctValues(0.06f);
        for (auto& [address, value] : expected)
            if (address == c.address && c.held) value = *c.held;
        for (const bool asPreset : {false, true}) {
            SCOPED_TRACE(std::string(c.fault) + (asPreset ? " in a preset" : " in a state"));
            setDistinctValues(*unit);
            CapturedConsole console;
            if (asPreset) {
                const auto preset = listed(presets, c.fault);
                ASSERT_TRUE(unit->setCurrentPreset(preset).ok());
                EXPECT_EQ(unit->currentPreset(), preset);
            } else {
                ASSERT_TRUE(unit->setFullState(withEntry(base, c.param)).ok());
            }
            EXPECT_EQ(allValues(*unit), expected);
            const std::string line =
                "PresetPatch::ERROR: \u201cgroup 3\u201d / \u201cparam 99\u201d " + c.line + "\n";
            EXPECT_TRUE(c.line.empty() || console.contains(line)) << console.printed();
        }
    }
}

TEST(ShippedPresets, AreFoundBesideTheBinaryAndEachLoadsDistinctValues) {
    // No override: the folder comes from the binary's own bundle, where the build copied the presets.
    Unit::setResourceDirectoryForTesting(std::nullopt);
    auto unit = makeUnit();
    const auto presets = unit->factoryPresets();
    ASSERT_GE(presets.size(), 8u);
    std::vector<Values> seen;
    for (const auto& preset : presets) {
        SCOPED_TRACE(preset.name);
        CapturedConsole console;
        ASSERT_TRUE(unit->setCurrentPreset(preset).ok());
        EXPECT_EQ(console.printed().find("ERROR"), std::string::npos);
        EXPECT_EQ(unit->getParameter(0), 0.0f) << "a factory preset never bypasses";
        EXPECT_EQ(std::count(seen.begin(), seen.end(), allValues(*unit)), 0);
        seen.push_back(allValues(*unit));
        const auto state = unit->presetState(preset);
        ASSERT_TRUE(state.ok());
        auto written = *unit->fullState();
        written.set("number", *state->find("number"));
        written.set("name", preset.name);
        EXPECT_EQ(state.value(), written) << "a full document as the unit writes it";
    }
}

} // namespace
