// Full state, factory presets, the current preset and preset look-ups.
#include "UnitTestSupport.h"

#include <algorithm>

namespace {

namespace plist = plat::plist;
using Unit = YUX_Sorvane_Extension_AudioUnit;
using Preset = plat::AUAudioUnitPreset;

// The full state of a unit whose values were made distinct with `offset`.
plist::Dictionary distinctState(float offset) {
    auto source = makeUnit();
    setDistinctValues(*source, offset);
    return *source->fullState();
}

Values distinctValues(float offset) {
    auto reference = makeUnit();
    setDistinctValues(*reference, offset);
    return allValues(*reference);
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

TEST(FullState, RoundTripsAllHundredValues) {
    auto target = makeUnit();
    ASSERT_NE(allValues(*target), distinctValues(0.0f));
    ASSERT_TRUE(target->setFullState(distinctState(0.0f)).ok());
    EXPECT_EQ(allValues(*target), distinctValues(0.0f));
    for (const auto& [address, value] : distinctValues(0.0f))
        EXPECT_EQ(target->kernelAdapter().valueForParameter(address), value);

    ASSERT_TRUE(target->setFullState(std::nullopt).ok());
    EXPECT_EQ(allValues(*target), distinctValues(0.0f));
}

TEST(FullState, ValuesAreClampedToTheRangeAndUnusableEntriesSkipped) {
    auto unit = makeUnit();
    auto state = withEntry(*unit->fullState(), {{"address", 1000}, {"value", 7.5}});
    auto level = *state.find("group 1")->asDictionary();
    level.set("param 1", plist::Dictionary{{"address", 1001}, {"value", -2.0}});
    level.set("param 2", plist::Dictionary{{"address", 4}, {"value", 0.5}});
    level.set("param 3", plist::Dictionary{{"value", 1.0}});                          // would be bypass
    level.set("param 4", plist::Dictionary{{"address", 3}, {"value", std::nan("")}}); // not a number
    state.set("group 1", level);
    CapturedConsole console;
    ASSERT_TRUE(unit->setFullState(state).ok());
    EXPECT_EQ(unit->getParameter(1000), 1.0f);
    EXPECT_EQ(unit->getParameter(1001), 0.0f);
    EXPECT_EQ(unit->getParameter(0), 0.0f);
    EXPECT_EQ(unit->getParameter(3), 0.4f);
    EXPECT_TRUE(console.contains("\"group 1\" / \"param 3\" has no \"address\"; the entry is skipped."));
    EXPECT_TRUE(console.contains("\"group 1\" / \"param 4\" has a value that is not a finite number"));
}

TEST(FullState, AMalformedStateIsRefusedAndChangesNothing) {
    auto unit = makeUnit();
    setDistinctValues(*unit);
    const auto before = allValues(*unit);
    // Good entries with new values, then one of the wrong type: none of it may apply.
    auto state = withEntry(distinctState(0.05f), {{"address", 3031}, {"value", "loud"}});
    CapturedConsole console;
    ASSERT_FALSE(unit->setFullState(state).ok());
    EXPECT_EQ(allValues(*unit), before);
    EXPECT_TRUE(console.contains("AUExtension::ERROR: The state could not be restored: "));
}

// ---- factory presets -------------------------------------------------------------------------

class FactoryPresets : public ::testing::Test {
protected:
    FactoryFolder factory;
    std::shared_ptr<Unit> unit = makeUnit();
};

TEST_F(FactoryPresets, NumbersAreRefusedBeforeListingAndBeyondTheList) {
    writePreset(factory.folder() / "Soft.plist", distinctState(0.0f));
    const auto before = allValues(*unit);
    for (int listings = 0; listings < 2; ++listings) {
        CapturedConsole console;
        EXPECT_FALSE(unit->setCurrentPreset(Preset{listings, "Soft"}).ok());
        EXPECT_TRUE(console.contains("AUExtension::ERROR: The preset number " + std::to_string(listings) +
                                     " is invalid.\n"));
        EXPECT_EQ(allValues(*unit), before);
        EXPECT_FALSE(unit->currentPreset());
        unit->factoryPresets();
    }
}

TEST_F(FactoryPresets, ListsOnlyPresetFilesInNameOrderNumberedFromZero) {
    writePreset(factory.folder() / "soft.plist", distinctState(0.0f));
    writePreset(factory.folder() / "Hard.PLIST", distinctState(0.01f));
    writePreset(factory.folder() / "Bright.plist", distinctState(0.02f));
    writePreset(factory.folder() / "Bright-Air.plist", distinctState(0.02f)); // '-' sorts before '.'
    writeText(factory.folder() / "notes.txt", "not a preset");
    fs::create_directories(factory.folder() / "Folder.plist");
    const auto presets = unit->factoryPresets();
    EXPECT_EQ(presets, (std::vector<Preset>{{0, "Bright"}, {1, "Bright-Air"}, {2, "Hard"}, {3, "soft"}}));
    EXPECT_EQ(unit->factoryPresets(), presets);
}

TEST_F(FactoryPresets, ChoosingAPresetAppliesItAndClearingItKeepsTheValues) {
    writePreset(factory.folder() / "Hard.PLIST", distinctState(0.03f));
    const auto presets = unit->factoryPresets();
    ASSERT_EQ(presets.size(), 1u);
    ASSERT_TRUE(unit->setCurrentPreset(presets[0]).ok());
    EXPECT_EQ(unit->currentPreset(), presets[0]);
    EXPECT_EQ(allValues(*unit), distinctValues(0.03f));

    ASSERT_TRUE(unit->setCurrentPreset(std::nullopt).ok());
    EXPECT_FALSE(unit->currentPreset());
    EXPECT_EQ(allValues(*unit), distinctValues(0.03f));
}

TEST_F(FactoryPresets, ARemovedFileIsReportedAndTheCurrentPresetStays) {
    writePreset(factory.folder() / "A.plist", distinctState(0.0f));
    writePreset(factory.folder() / "B.plist", distinctState(0.02f));
    const auto presets = unit->factoryPresets();
    ASSERT_TRUE(unit->setCurrentPreset(presets[0]).ok());
    fs::remove(factory.folder() / "B.plist");
    CapturedConsole console;
    auto chosen = unit->setCurrentPreset(presets[1]);
    ASSERT_FALSE(chosen.ok());
    EXPECT_EQ(chosen.error().code, plat::kAudioUnitErr_MissingPreset);
    EXPECT_TRUE(console.contains("AUExtension::ERROR: The preset file 'B.plist' does not exist.\n"));
    EXPECT_EQ(unit->currentPreset(), presets[0]);
    EXPECT_EQ(allValues(*unit), distinctValues(0.0f));
}

TEST_F(FactoryPresets, AUserPresetIsLookedUpByName) {
    writePreset(factory.folder() / "Mine.plist", distinctState(0.04f));
    ASSERT_TRUE(unit->setCurrentPreset(Preset{-1, "Mine"}).ok());
    EXPECT_EQ(unit->currentPreset(), (Preset{-1, "Mine"}));
    EXPECT_EQ(allValues(*unit), distinctValues(0.04f));

    CapturedConsole console;
    EXPECT_FALSE(unit->setCurrentPreset(Preset{-2, "Nowhere"}).ok());
    EXPECT_NE(console.printed().find("AUExtension::ERROR: The preset file 'Nowhere.plist' does not exist.\n"
                                     "AUExtension::ERROR: Unable to restore set for preset Nowhere\n"),
              std::string::npos);
    EXPECT_EQ(unit->currentPreset(), (Preset{-1, "Mine"}));
}

TEST_F(FactoryPresets, PresetStateIsAPureReadOfTheListedFile) {
    writePreset(factory.folder() / "Hard.PLIST", distinctState(0.05f));
    writePreset(factory.folder() / "Other.plist", distinctState(0.0f));
    // The other unit loaded a preset last: under one process-wide delegate it would hear the look-up.
    auto other = makeUnit();
    ASSERT_TRUE(other->setCurrentPreset(other->factoryPresets()[1]).ok());
    const auto before = allValues(*unit);

    auto state = unit->presetState(Preset{0, "Hard"});
    ASSERT_TRUE(state.ok());
    EXPECT_EQ(state.value(), distinctState(0.05f));
    EXPECT_EQ(allValues(*unit), before);
    EXPECT_EQ(allValues(*other), distinctValues(0.0f));

    CapturedConsole console;
    auto missing = unit->presetState(Preset{3, "Gone"});
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().domain, plat::kOSStatusErrorDomain);
    EXPECT_EQ(missing.error().code, -66742);
    EXPECT_TRUE(console.contains("AUExtension::ERROR: The preset file 'Gone.plist' does not exist.\n"));
}

TEST_F(FactoryPresets, NamesThatCouldLeaveTheFolderOrDoNotMatchTheirNumberAreRefused) {
    writePreset(factory.resources() / "Outside.plist", distinctState(0.0f));
    writePreset(factory.folder() / "Inside.plist", distinctState(0.0f));
    unit->factoryPresets();
    for (const char* name : {"../../../Outside", "..", ".", "a/b", "", "Other"}) {
        SCOPED_TRACE(name);
        auto state = unit->presetState(Preset{-1, name});
        ASSERT_FALSE(state.ok());
        EXPECT_EQ(state.error().code, -66742);
        EXPECT_FALSE(unit->setCurrentPreset(Preset{-1, name}).ok());
        EXPECT_FALSE(unit->setCurrentPreset(Preset{0, name}).ok());
        EXPECT_FALSE(unit->currentPreset());
    }
}

// Every kind of bad preset file is refused whole: a message that says why, an error for the caller,
// and neither the parameters nor the current preset change.
TEST_F(FactoryPresets, BadPresetFilesChangeNeitherParametersNorTheCurrentPreset) {
    const auto good = distinctState(0.0f);
    writePreset(factory.folder() / "0 Good.plist", good);
    auto xml = [](plist::Dictionary document) { return plist::toXML(plist::Value(std::move(document))); };
    auto xmlWith = [&](plist::Dictionary param) { return xml(withEntry(good, std::move(param))); };
    const std::tuple<std::string, std::string, std::string> files[] = {
        {"Not A Plist", "definitely not a property list",
         "AUPresetFile::FEHLER: Die Datei konnte nicht eingelesen werden: "},
        {"Empty", "", "AUPresetFile::FEHLER: Die Datei konnte nicht eingelesen werden: "},
        {"Array", plist::toXML(plist::Value(plist::Array{1, 2})),
         "The document is an array, not a dictionary."},
        {"Group Is A String", xml({{"group 0", "x"}}), "\"group 0\" is a string, not a dictionary."},
        {"Parameter Is A Number", xml({{"group 0", plist::Dictionary{{"param 0", 1}}}}),
         "\"group 0\" / \"param 0\" is an integer, not a dictionary."},
        {"Value Is Text", xmlWith({{"address", 1000}, {"value", "a"}}),
         "\"value\" is a string, not a number."},
        {"Value Is A Boolean", xmlWith({{"address", 1000}, {"value", true}}),
         "\"value\" is a boolean, not a number."},
        {"Address Is Text", xmlWith({{"address", "1000"}, {"value", 0.5}}),
         "\"address\" is a string, not an integer."},
        {"Address Is Negative", xmlWith({{"address", -5}, {"value", 0.5}}), "\"address\" is negative (-5)."},
        {"Identifier Is A Number", xmlWith({{"address", 1}, {"value", 0.5}, {"identifier", 4}}),
         "not a string."},
        {"Type Out Of Range", xml({{"type", 4294967296ll}}),
         "\"type\" is not an integer from 0 to 4294967295."},
        {"Subtype Negative", xml({{"subtype", -1}}), "\"subtype\" is not an integer from 0 to 4294967295."},
        {"Version Is A Real", xml({{"version", 1.5}}), "\"version\" is a real, not an integer."},
        {"Name Is Data", xml({{"name", plist::Data{1, 2}}}), "\"name\" is data, not a string."},
        {"Huge", std::string(2 << 20, '\n'), "The file is larger than 1048576 bytes."},
    };
    for (const auto& [name, content, message] : files)
        writeText(factory.folder() / (name + ".plist"), content);
    // A folder named like a preset is not one: it is neither listed nor found.
    fs::create_directories(factory.folder() / "Directory.plist");
    EXPECT_FALSE(unit->presetState(Preset{-1, "Directory"}).ok());
    const auto presets = unit->factoryPresets();
    ASSERT_EQ(presets.size(), std::size(files) + 1);
    ASSERT_TRUE(unit->setCurrentPreset(presets[0]).ok());
    const auto before = allValues(*unit);
    for (const auto& [name, content, message] : files) {
        SCOPED_TRACE(name);
        const auto preset =
            *std::find_if(presets.begin(), presets.end(), [&](auto& p) { return p.name == name; });
        CapturedConsole console;
        EXPECT_FALSE(unit->setCurrentPreset(preset).ok());
        EXPECT_FALSE(unit->presetState(preset).ok());
        const std::string text = console.printed();
        EXPECT_NE(text.find(message), std::string::npos) << text;
        EXPECT_NE(text.find("AUExtension::ERROR: The preset '" + name + "' could not be loaded: "),
                  std::string::npos);
        EXPECT_EQ(unit->currentPreset(), presets[0]);
        EXPECT_EQ(allValues(*unit), before);
    }
}

// Entries a preset cannot use are skipped: the preset still loads and becomes the current one.
TEST_F(FactoryPresets, APresetWithUnusableEntriesAppliesTheRest) {
    const auto good = distinctState(0.06f);
    writePreset(factory.folder() / "No Address.plist", withEntry(good, {{"value", 1.0}}));
    writePreset(factory.folder() / "No Value.plist", withEntry(good, {{"address", 1000}}));
    writePreset(factory.folder() / "Not Finite.plist",
                withEntry(good, {{"address", 0}, {"value", INFINITY}}));
    for (const auto& preset : unit->factoryPresets()) {
        SCOPED_TRACE(preset.name);
        unit->setParameter(0, 0.0f);
        unit->setParameter(1000, 0.5f);
        CapturedConsole console;
        ASSERT_TRUE(unit->setCurrentPreset(preset).ok());
        EXPECT_TRUE(console.contains("\"param 99\""));
        EXPECT_EQ(unit->currentPreset(), preset);
        EXPECT_EQ(allValues(*unit), distinctValues(0.06f));
    }
}

// ---- the shipped factory presets ---------------------------------------------------------------

TEST(ShippedPresets, AreFoundBesideTheBinaryAndEachLoadsDistinctValues) {
    // No override: the folder comes from the binary's own bundle, where the build copied the presets.
    Unit::setResourceDirectoryForTesting(std::nullopt);
    auto unit = makeUnit();
    const auto presets = unit->factoryPresets();
    ASSERT_GE(presets.size(), 8u);
    std::vector<Values> seen;
    for (std::size_t i = 0; i < presets.size(); ++i) {
        SCOPED_TRACE(presets[i].name);
        EXPECT_EQ(presets[i].number, plat::NSInteger(i));
        CapturedConsole console;
        ASSERT_TRUE(unit->setCurrentPreset(presets[i]).ok());
        EXPECT_EQ(console.printed().find("ERROR"), std::string::npos);
        const auto values = allValues(*unit);
        EXPECT_EQ(unit->getParameter(0), 0.0f) << "a factory preset never bypasses";
        EXPECT_EQ(std::count(seen.begin(), seen.end(), values), 0);
        seen.push_back(values);
        const auto state = unit->presetState(presets[i]);
        ASSERT_TRUE(state.ok());
        auto written = *unit->fullState();
        written.set("number", *state->find("number"));
        written.set("name", presets[i].name);
        EXPECT_EQ(state.value(), written) << "a full document as the unit writes it";
    }
}

} // namespace
