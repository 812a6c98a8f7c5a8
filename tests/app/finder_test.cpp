// The component finder against the real plug-in, found through the shared registry.
#include "AUExtensionManager.h"
#include "AppTestSupport.h"

#include "plat/plist.h"

#include <cstdlib>

namespace {

struct FinderRecorder : AUExtensionManagerDelegate {
    std::atomic<int> found{0}, initialized{0};
    std::shared_ptr<plat::AVAudioUnit> unit; // read once `initialized` is seen
    void onFoundComponent(std::shared_ptr<plat::AVAudioUnit> made) override {
        found += made ? 1 : 100;
        unit = std::move(made);
    }
    void onEngineInitialized() override { ++initialized; }
};

} // namespace

TEST(ComponentFinder, ListsEveryComponentWithItsFlagsInTenCharactersAndItsIcons) {
    // A second component, registered without an icon, in a further plug-in folder (read when the
    // registry first scans, which the finder below makes it do).
    ScratchFolder extra;
    const fs::path real = fs::path(SORVANE_APP_DIR) / "PlugIns/YUX_Sorvane_Extension.appex";
    const fs::path plain = extra.path() / "Plain.appex";
    fs::create_directories(plain / "lib");
    auto record = plat::plist::readFile(real / "Info.plist");
    ASSERT_TRUE(record.ok());
    plat::plist::Dictionary dictionary = *record->asDictionary();
    fs::copy_file(real / *dictionary.find("library")->asString(),
                  plain / *dictionary.find("library")->asString());
    dictionary.set("subtype", "plIn");
    dictionary.set("name", "Odd\\ \"Maker\": Pl\nain\u009b"); // texts that would reach the terminal raw
    dictionary.erase("icon");
    ASSERT_TRUE(plat::plist::writeFile(plain / "Info.plist", dictionary).ok());
    ::setenv(plat::kPlugInPathVariable,
             (std::string(std::getenv(plat::kPlugInPathVariable)) + ":" + extra.path().string()).c_str(), 1);

    auto recorder = std::make_shared<FinderRecorder>();
    AUEnginePlayer::Configuration silent;
    silent.output = plat::AudioOutputConfiguration::parse("null").value();
    auto finder = AUExtensionManager::make(recorder, std::make_shared<AUEnginePlayer>(silent));
    ASSERT_TRUE(spin([&] { return recorder->initialized == 1; }));
    EXPECT_EQ(recorder->found, 1);
    // The preset accessors read through to the unit, once one is assigned.
    finder->setAudioUnitForTesting(recorder->unit->auAudioUnit());
    const auto presets = finder->presets();
    ASSERT_GE(presets.size(), 2u);
    EXPECT_EQ(presets[1].number(), 1);
    finder->setCurrentPreset(presets[1]);
    ASSERT_TRUE(finder->currentPreset());
    EXPECT_EQ(finder->currentPreset()->name(), presets[1].name());

    ConsoleCapture console;
    finder->listAvailableAudioUnits();
    const std::string zero(4, '\0');
    EXPECT_EQ(console.count("AUExtension (\ntype: " + zero + "\nsubtype: " + zero +
                            "\nmanufacturer: " + zero + "\nflags: 0x00000000\n)\n"),
              1u);
    EXPECT_EQ(
        console.count("YUX Sorvane Extension\nMusic Effect\nMusic Effect\nKWOB\nAudioComponentDescription("
                      "componentType: 1635085670, componentSubType: 2037732182, componentManufacturer: "
                      "1264013122, componentFlags: 2, componentFlagsMask: 0)\n"
                      "Optional(<UIImage: 32 x 32>)\nOptional(<UIImage: 128 x 128>)\n"),
        1u);
    EXPECT_EQ(console.count("Pl\\x0aain\\xc2\\x9b\nMusic Effect\nMusic Effect\nOdd\\x5c \\x22Maker\\x22\n"),
              1u)
        << "record texts printed raw\n"
        << console.text();
    EXPECT_EQ(console.count("componentSubType: " + std::to_string(plat::fourCC("plIn")) +
                            ", componentManufacturer: 1264013122, componentFlags: 2, componentFlagsMask: 0)\n"
                            "nil\nnil\n"),
              1u);
}

namespace {

// Says when it is told, among the finder's own lines.
struct PrintingDelegate : AUExtensionManagerDelegate {
    std::atomic<bool> initialized{false};
    void onFoundComponent(std::shared_ptr<plat::AVAudioUnit>) override {
        plat::Console::shared().writeLine("delegate: found");
    }
    void onEngineInitialized() override {
        plat::Console::shared().writeLine("delegate: initialized");
        initialized = true;
    }
};

} // namespace

// The delegate hears of the effect after the connection is reported and of the engine after the
// warning that follows it; a clean-up takes the effect out again and reports the unit gone only after
// the disconnection's own line. Every line of the engine player is watched.
TEST(ComponentFinder, TellsItsDelegateAndCleansUpInTheOrderItsLinesGive) {
    CapturedConsole console;
    auto delegate = std::make_shared<PrintingDelegate>();
    AUEnginePlayer::Configuration silent;
    silent.output = plat::AudioOutputConfiguration::parse("null").value();
    auto finder = AUExtensionManager::make(delegate, std::make_shared<AUEnginePlayer>(silent));
    ASSERT_TRUE(spin([&] { return delegate->initialized.load(); }));
    finder->cleanup();
    const std::vector<std::string> wanted = {
        "AUExtensionManager: Audio unit was found, making connections now ...",
        "AUEnginePlayer: A new audio unit will be connected.",
        "AUEnginePlayer: The audio unit reports MIDI output names. Assigning a handling block.",
        "AUEnginePlayer: Audio unit was attached.",
        "AUEnginePlayer::ERROR: There was a problem with the file processing format or the file is nil "
        "(yet).",
        "AUExtensionManager: Performed audio unit connection.",
        "delegate: found",
        "WARNING: Audio unit is nil (yet?).",
        "delegate: initialized",
        "AUEnginePlayer::WARNING: Function connect() with argument 'nil' causes disconnection.",
        "AUEnginePlayer: ERROR: There is a problem with the audio file processing format.",
        "AUEnginePlayer: Audio unit was disconnecting and detaching.",
        "AUEnginePlayer: Performed audio unit disconnection.",
        "AUEnginePlayer: The audio unit was set to 'nil'.",
    };
    std::vector<std::string> watched = {"AUEnginePlayer: *", "AUEnginePlayer::*"};
    watched.insert(watched.end(), wanted.begin(), wanted.end());
    EXPECT_TRUE(sameLines(watchedLines(console.printed(), watched), wanted));
}
