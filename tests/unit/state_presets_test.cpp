// Full state, factory presets, the current preset and preset look-ups.
#include "UnitTestSupport.h"

namespace {

namespace plist = plat::plist;
using Unit = YUX_Sorvane_Extension_AudioUnit;

// A preset file as the unit writes it: a snapshot of a unit whose values were made distinct.
void writePreset(const fs::path& file, float offset) {
    auto source = makeUnit();
    setDistinctValues(*source, offset);
    ASSERT_TRUE(plist::writeFile(file, plist::Value(*source->fullState())).ok());
}

float valueAt(Unit& unit, plat::AUParameterAddress address) {
    return unit.parameterTree()->parameterWithAddress(address)->value();
}

TEST(FullState, RoundTripsAllHundredValues) {
    auto source = makeUnit();
    setDistinctValues(*source);
    const auto state = source->fullState();
    ASSERT_TRUE(state.has_value());

    auto target = makeUnit();
    ASSERT_NE(allValues(*target), allValues(*source));
    ASSERT_TRUE(target->setFullState(state).ok());
    EXPECT_EQ(allValues(*target), allValues(*source));
    for (const auto& [address, value] : allValues(*source))
        EXPECT_EQ(target->kernelAdapter().valueForParameter(address), value);
}

TEST(FullState, SettingNothingStoresNothingAndChangesNoParameter) {
    auto unit = makeUnit();
    setDistinctValues(*unit);
    const auto before = allValues(*unit);
    ASSERT_TRUE(unit->setFullState(std::nullopt).ok());
    EXPECT_EQ(allValues(*unit), before);
}

TEST(FullState, ValuesOutsideTheRangeAreClampedAndUnknownAddressesIgnored) {
    auto unit = makeUnit();
    auto state = *unit->fullState();
    plist::Dictionary group{{"identifier", "kLevel"},
                            {"param 0", plist::Dictionary{{"address", 1000}, {"value", 7.5}}},
                            {"param 1", plist::Dictionary{{"address", 1001}, {"value", -2.0}}},
                            {"param 2", plist::Dictionary{{"address", 4}, {"value", 0.5}}}};
    state.set("group 1", group);
    ASSERT_TRUE(unit->setFullState(state).ok());
    EXPECT_EQ(valueAt(*unit, 1000), 1.0f);
    EXPECT_EQ(valueAt(*unit, 1001), 0.0f);
}

TEST(FullState, ABadStateIsRefusedAndChangesNothing) {
    auto unit = makeUnit();
    setDistinctValues(*unit);
    const auto before = allValues(*unit);
    auto state = *unit->fullState();
    // Valid entries first, one bad entry last: none of it may be applied.
    auto group = *state.find("group 3")->asDictionary();
    group.set("param 31", plist::Dictionary{{"address", 3031}, {"value", std::nan("")}});
    state.set("group 3", group);
    auto changed = state;
    auto level = *changed.find("group 1")->asDictionary();
    level.set("param 0", plist::Dictionary{{"address", 1000}, {"value", 0.99}});
    changed.set("group 1", level);
    CapturedConsole console;
    auto result = unit->setFullState(changed);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(allValues(*unit), before);
    EXPECT_TRUE(console.contains("AUExtension::ERROR: The state could not be restored: "));
}

// ---- factory presets -------------------------------------------------------------------------

class FactoryPresets : public ::testing::Test {
protected:
    FactoryFolder factory;
    std::shared_ptr<Unit> unit = makeUnit();
};

TEST_F(FactoryPresets, AnEmptyFolderListsNothingAndRefusesEveryNumber) {
    EXPECT_TRUE(unit->factoryPresets().empty());
    CapturedConsole console;
    EXPECT_FALSE(unit->setCurrentPreset(plat::AUAudioUnitPreset{0, "Any"}).ok());
    EXPECT_TRUE(console.contains("AUExtension::ERROR: The preset number 0 is invalid.\n"));
    EXPECT_FALSE(unit->currentPreset().has_value());
}

TEST_F(FactoryPresets, ListsOnlyPresetFilesInNameOrderNumberedFromZero) {
    writePreset(factory.folder() / "soft.plist", 0.0f);
    writePreset(factory.folder() / "Hard.PLIST", 0.01f);
    writePreset(factory.folder() / "Bright.plist", 0.02f);
    writeText(factory.folder() / "notes.txt", "not a preset");
    fs::create_directories(factory.folder() / "Folder.plist");
    const auto presets = unit->factoryPresets();
    EXPECT_EQ(presets, (std::vector<plat::AUAudioUnitPreset>{{0, "Bright"}, {1, "Hard"}, {2, "soft"}}));
    EXPECT_EQ(unit->factoryPresets(), presets);
}

TEST_F(FactoryPresets, ChoosingAPresetAppliesItAndRemembersIt) {
    writePreset(factory.folder() / "Hard.PLIST", 0.03f);
    auto reference = makeUnit();
    setDistinctValues(*reference, 0.03f);
    const auto presets = unit->factoryPresets();
    ASSERT_EQ(presets.size(), 1u);
    ASSERT_TRUE(unit->setCurrentPreset(presets[0]).ok());
    EXPECT_EQ(unit->currentPreset(), presets[0]);
    EXPECT_EQ(allValues(*unit), allValues(*reference));
}

TEST_F(FactoryPresets, ChoosingBeforeListingIsRefused) {
    writePreset(factory.folder() / "Soft.plist", 0.0f);
    const auto before = allValues(*unit);
    CapturedConsole console;
    EXPECT_FALSE(unit->setCurrentPreset(plat::AUAudioUnitPreset{0, "Soft"}).ok());
    EXPECT_TRUE(console.contains("AUExtension::ERROR: The preset number 0 is invalid.\n"));
    EXPECT_EQ(allValues(*unit), before);
}

TEST_F(FactoryPresets, ARemovedFileIsReportedAndTheCurrentPresetStays) {
    writePreset(factory.folder() / "A.plist", 0.0f);
    writePreset(factory.folder() / "B.plist", 0.02f);
    const auto presets = unit->factoryPresets();
    ASSERT_TRUE(unit->setCurrentPreset(presets[0]).ok());
    const auto before = allValues(*unit);
    fs::remove(factory.folder() / "B.plist");
    CapturedConsole console;
    auto chosen = unit->setCurrentPreset(presets[1]);
    ASSERT_FALSE(chosen.ok());
    EXPECT_EQ(chosen.error().code, plat::kAudioUnitErr_MissingPreset);
    EXPECT_TRUE(console.contains("AUExtension::ERROR: The preset file 'B.plist' does not exist.\n"));
    EXPECT_EQ(unit->currentPreset(), presets[0]);
    EXPECT_EQ(allValues(*unit), before);
}

TEST_F(FactoryPresets, ClearingTheCurrentPresetLeavesTheParameters) {
    writePreset(factory.folder() / "A.plist", 0.0f);
    ASSERT_TRUE(unit->setCurrentPreset(unit->factoryPresets()[0]).ok());
    const auto before = allValues(*unit);
    ASSERT_TRUE(unit->setCurrentPreset(std::nullopt).ok());
    EXPECT_FALSE(unit->currentPreset().has_value());
    EXPECT_EQ(allValues(*unit), before);
}

TEST_F(FactoryPresets, ANameThatDoesNotMatchItsNumberIsRefused) {
    writePreset(factory.folder() / "A.plist", 0.0f);
    unit->factoryPresets();
    CapturedConsole console;
    EXPECT_FALSE(unit->setCurrentPreset(plat::AUAudioUnitPreset{0, "B"}).ok());
    EXPECT_FALSE(unit->currentPreset().has_value());
}

TEST_F(FactoryPresets, AUserPresetIsLookedUpByNameAndApplied) {
    writePreset(factory.folder() / "Mine.plist", 0.04f);
    auto reference = makeUnit();
    setDistinctValues(*reference, 0.04f);
    ASSERT_TRUE(unit->setCurrentPreset(plat::AUAudioUnitPreset{-1, "Mine"}).ok());
    EXPECT_EQ(unit->currentPreset(), (plat::AUAudioUnitPreset{-1, "Mine"}));
    EXPECT_EQ(allValues(*unit), allValues(*reference));
}

TEST_F(FactoryPresets, AMissingUserPresetIsReportedTwiceAndChangesNothing) {
    CapturedConsole console;
    EXPECT_FALSE(unit->setCurrentPreset(plat::AUAudioUnitPreset{-1, "Nowhere"}).ok());
    const std::string text = console.text();
    const auto missing = text.find("AUExtension::ERROR: The preset file 'Nowhere.plist' does not exist.\n");
    const auto unable = text.find("AUExtension::ERROR: Unable to restore set for preset Nowhere\n");
    ASSERT_NE(missing, std::string::npos);
    ASSERT_NE(unable, std::string::npos);
    EXPECT_LT(missing, unable);
    EXPECT_FALSE(unit->currentPreset().has_value());
}

TEST_F(FactoryPresets, PresetStateIsAPureReadOfTheListedFile) {
    writePreset(factory.folder() / "Hard.PLIST", 0.05f);
    auto other = makeUnit();
    // The other unit loaded something last; under one process-wide delegate it would receive the values.
    writePreset(factory.folder() / "Other.plist", 0.0f);
    ASSERT_TRUE(other->setCurrentPreset(other->factoryPresets()[1]).ok());
    const auto otherBefore = allValues(*other);
    const auto before = allValues(*unit);

    auto state = unit->presetState(plat::AUAudioUnitPreset{0, "Hard"});
    ASSERT_TRUE(state.ok());
    auto reference = makeUnit();
    setDistinctValues(*reference, 0.05f);
    EXPECT_EQ(state.value(), *reference->fullState());
    EXPECT_EQ(allValues(*unit), before);
    EXPECT_EQ(allValues(*other), otherBefore);
}

TEST_F(FactoryPresets, PresetStateOfAMissingPresetIsTheMissingPresetError) {
    CapturedConsole console;
    auto state = unit->presetState(plat::AUAudioUnitPreset{3, "Gone"});
    ASSERT_FALSE(state.ok());
    EXPECT_EQ(state.error().domain, plat::kOSStatusErrorDomain);
    EXPECT_EQ(state.error().code, -66742);
    EXPECT_TRUE(console.contains("AUExtension::ERROR: The preset file 'Gone.plist' does not exist.\n"));
}

TEST_F(FactoryPresets, NamesThatCouldLeaveTheFolderAreRefused) {
    writePreset(factory.resources() / "Outside.plist", 0.0f);
    writePreset(factory.folder() / "Inside.plist", 0.0f);
    unit->factoryPresets();
    for (const char* name : {"../../../Outside", "..", ".", "a/b", ""}) {
        SCOPED_TRACE(name);
        CapturedConsole console;
        auto state = unit->presetState(plat::AUAudioUnitPreset{-1, name});
        ASSERT_FALSE(state.ok());
        EXPECT_EQ(state.error().code, -66742);
        EXPECT_FALSE(unit->setCurrentPreset(plat::AUAudioUnitPreset{-1, name}).ok());
        EXPECT_FALSE(unit->setCurrentPreset(plat::AUAudioUnitPreset{0, name}).ok());
        EXPECT_FALSE(unit->currentPreset().has_value());
    }
}

// Every kind of bad preset file: a clear message, an error for the caller, nothing changed.
TEST_F(FactoryPresets, BadPresetFilesChangeNeitherParametersNorTheCurrentPreset) {
    writePreset(factory.folder() / "0 Good.plist", 0.0f);
    const auto good = *plist::readFile(factory.folder() / "0 Good.plist")->asDictionary();
    auto withParam = [&](plist::Dictionary param) {
        // The good document with one more parameter entry, last in its last group.
        auto doc = good;
        auto group = *doc.find("group 3")->asDictionary();
        group.set("param 99", std::move(param));
        doc.set("group 3", group);
        return plist::toXML(plist::Value(doc));
    };
    const std::vector<std::pair<std::string, std::string>> files = {
        {"Not A Plist", "definitely not a property list"},
        {"Empty", ""},
        {"Array", plist::toXML(plist::Value(plist::Array{1, 2, 3}))},
        {"Group Is A String", plist::toXML(plist::Value(plist::Dictionary{{"group 0", "x"}}))},
        {"No Address", withParam({{"value", 0.5}})},
        {"No Value", withParam({{"address", 1000}})},
        {"Value Is Text", withParam({{"address", 1000}, {"value", "a"}})},
        {"Address Out Of Range", withParam({{"address", -5}, {"value", 0.5}})},
        {"NaN Value", withParam({{"address", 1000}, {"value", std::nan("")}})},
        {"Infinite Value", withParam({{"address", 1000}, {"value", -INFINITY}})},
        {"Huge", std::string(2 << 20, '\n')},
    };
    for (const auto& [name, content] : files) writeText(factory.folder() / (name + ".plist"), content);
    fs::create_directories(factory.folder() / "Directory.plist");

    const auto presets = unit->factoryPresets();
    ASSERT_EQ(presets.size(), files.size() + 1);
    ASSERT_EQ(presets[0].name, "0 Good");
    ASSERT_TRUE(unit->setCurrentPreset(presets[0]).ok());
    const auto before = allValues(*unit);
    for (const auto& preset : presets) {
        if (preset.number == 0) continue;
        SCOPED_TRACE(preset.name);
        CapturedConsole console;
        auto chosen = unit->setCurrentPreset(preset);
        EXPECT_FALSE(chosen.ok());
        EXPECT_FALSE(unit->presetState(preset).ok());
        EXPECT_TRUE(
            console.contains("AUExtension::ERROR: The preset '" + preset.name + "' could not be loaded: "));
        EXPECT_EQ(unit->currentPreset(), presets[0]);
        EXPECT_EQ(allValues(*unit), before);
    }
}

// ---- the shipped factory presets ---------------------------------------------------------------

TEST(ShippedPresets, TheBuildPutsThemWhereTheBundleLogicFindsThem) {
    // No override: the folder comes from the binary's own bundle, where the build copied the presets.
    YUX_Sorvane_Extension_AudioUnit::setResourceDirectoryForTesting(std::nullopt);
    const auto resources = Unit::resourceDirectory();
    ASSERT_TRUE(resources.has_value());
    auto unit = makeUnit();
    const auto presets = unit->factoryPresets();
    ASSERT_GE(presets.size(), 8u);
    for (std::size_t i = 0; i < presets.size(); ++i) EXPECT_EQ(presets[i].number, plat::NSInteger(i));
}

TEST(ShippedPresets, EachLoadsAndTheyAreAllDistinct) {
    YUX_Sorvane_Extension_AudioUnit::setResourceDirectoryForTesting(std::nullopt);
    auto unit = makeUnit();
    const auto presets = unit->factoryPresets();
    std::vector<std::vector<std::pair<plat::AUParameterAddress, float>>> seen;
    for (const auto& preset : presets) {
        SCOPED_TRACE(preset.name);
        ASSERT_TRUE(unit->setCurrentPreset(preset).ok());
        const auto values = allValues(*unit);
        EXPECT_EQ(valueAt(*unit, 0), 0.0f) << "a factory preset never bypasses";
        EXPECT_EQ(std::count(seen.begin(), seen.end(), values), 0);
        seen.push_back(values);
        // Each is a full document as the unit writes it: all 100 parameters in four groups.
        const auto state = unit->presetState(preset);
        ASSERT_TRUE(state.ok());
        EXPECT_EQ(state->find("count")->asInteger(), 4);
        EXPECT_EQ(*state->find("name")->asString(), preset.name);
    }
}

} // namespace
