// End to end: the real audio unit, factory and controller in a headless window.
#include "PanelRig.h"

#include <functional>

using plat::UITouch;

namespace {
constexpr const char* kConnected = "AU Diagnostics: Connected parameters to the plugins interface.";
}

TEST(Controller, EveryOrderOfUnitAndViewEndsConnected) {
    // name, steps: 'f' factory call, 'l' view loads, 'd' main queue runs
    const std::pair<const char*, const char*> orders[] = {
        {"unit first, its hand-over before the view", "fdl"},
        {"view first", "lfd"},
        {"unit first, view before the hand-over", "fld"},
    };
    for (const auto& [name, steps] : orders) {
        SCOPED_TRACE(name);
        CapturedConsole console;
        PanelRig rig;
        for (const char* s = steps; *s; ++s) {
            if (*s == 'f') rig.factory();
            if (*s == 'l') rig.loadView();
            if (*s == 'd') rig.drain();
        }
        rig.drain();
        EXPECT_EQ(console.count(kConnected), 1u);
        EXPECT_TRUE(rig.panel().audioUnit() && rig.panel().audioUnit() == rig.vc->underlay->audioUnit());
        rig.render();
        rig.parameter(1005).setValue(0.25f);
        EXPECT_EQ(rig.panel().valueLevel[5], 0.5); // not yet: the change hops to the main queue
        rig.drain();
        EXPECT_EQ(rig.panel().valueLevel[5], 0.25);
        EXPECT_TRUE(rig.vc->mainView->needsDisplay());
    }
}

TEST(Controller, ConnectionPrintsItsLinesInOrder) {
    CapturedConsole console;
    PanelRig rig;
    rig.loadView();
    rig.factory();
    rig.drain();
    const std::string text = console.printed();
    const char* inOrder[] = {
        "AudioUnitViewController: WARNING: The audio unit plugin is nil (yet?).\n",
        "AU Diagnostics: AUAudioUnit::didSet()\n",
        "AU Diagnostics: We are about to connect the audio unit to its view controller.\n",
        "Audio Unit's resources path is: ",
        "\n\n\tExtensionViewController: Folllowing AU parameter was found... \n\t- address:  0\n"
        "\t- displayName:  Bypass\nunit sent parameter : address:0\n\t- value:  0.0\n"
        "\t- options:  AudioUnitParameterOptions(rawValue: 3221225472)\n"
        "\t- The flag value includes the following flags... \n\t - flag_IsReadable\n\t - flag_IsWritable\n"
        "\t- maxValue:  1.0\n\t- minValue:  0.0\n\t- unit: (type 2)  boolean\n\t- unitName:  \n",
        kConnected,
        "editor received parameter : address: 0, value: 0.0\n",
        "editor received parameter : address: 3031, value: ",
    };
    std::size_t at = 0;
    for (const char* line : inOrder) {
        const auto found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << line;
        at = found;
    }
    EXPECT_EQ(console.count("ExtensionViewController: Folllowing AU parameter was found... "), 100u);
    EXPECT_EQ(console.count("editor received parameter : "), 100u);
    EXPECT_NE(rig.panel().valueFrequency[0], "hz"); // band labels from the unit's frequencies
    // Bands 0 and 12 on the C of MIDI notes 12 and 48, band 31 cut to 0.4 x 48 kHz.
    for (const auto& [band, label] : {std::pair{0, "16\nhz"}, {12, "261\nhz"}, {31, "19200\nhz"}})
        EXPECT_EQ(rig.panel().valueFrequency[std::size_t(band)], label);
}

// The folders are the user's and the host's: an escape code or a line break in their names is shown
// escaped in the start-up lines.
TEST(Controller, TheFoldersItPrintsAtStartUpAreShownEscaped) {
    ScratchFolder scratch;
    const std::string folder = scratch.path().string() + "/", shownFolder = plat::shownText(folder);
    ::setenv("XDG_DOCUMENTS_DIR", (folder + "documents " + kHostileName).c_str(), 1);
    expectPrintedEscaped(
        [&] {
            PanelRig rig;
            YUX_Sorvane_Extension_AudioUnit::setResourceDirectoryForTesting(folder + "resources " +
                                                                            kHostileName);
            rig.open();
        },
        {"Audio Unit's documents path is: " + shownFolder + "documents " + kHostileShown + "\n",
         "Audio Unit's resources path is: " + shownFolder + "resources " + kHostileShown + "\n"});
    ::unsetenv("XDG_DOCUMENTS_DIR");
}

TEST(Controller, BypassButtonTogglesParameterZeroAndKeepsItsIdleSizeWhilePressed) {
    PanelRig rig;
    rig.open();
    for (const float expected : {1.0f, 0.0f}) {
        rig.touch(UITouch::Phase::began, kBypass);
        EXPECT_FALSE(rig.panel().isButtonBypassActive);
        const auto pressed = rig.window->snapshot();
        rig.touch(UITouch::Phase::ended, kBypass);
        const auto released = rig.window->snapshot();
        int differing = 0; // the button shows its state only, at the same size pressed or not
        for (int y = 420; y < 500; ++y)
            for (int x = 0; x < 200; ++x) differing += !(pressed->pixel(x, y) == released->pixel(x, y));
        EXPECT_EQ(differing, 0);
        rig.drain();
        EXPECT_FALSE(rig.panel().isButtonBypassActive);
        EXPECT_EQ(rig.parameter(0).value(), expected);
        EXPECT_EQ(rig.panel().isBypass, expected != 0);
    }
    rig.parameter(0).setValue(1.0f); // the host's bypass shows on the button too
    rig.drain();
    EXPECT_TRUE(rig.panel().isBypass);
}

TEST(Controller, PageButtonsSwitchPagesAndTheCompansionPageHasAttackAndReleaseKnobs) {
    PanelRig rig;
    rig.open();
    const std::pair<plat::CGPoint, double> presses[] = {
        {kLevels, 1}, {kLevels, 0}, {kResonance, 2}, {kCompansion, 0}, {kCompansion, 3}};
    for (const auto& [button, page] : presses) {
        rig.tap(button);
        EXPECT_EQ(rig.panel().panelMode, page);
    }
    const float attack = rig.parameter(2).value(), release = rig.parameter(3).value();
    rig.drag({kAttack, {kAttack.x, kAttack.y - 20}});
    rig.drag({kRelease, {kRelease.x, kRelease.y + 20}});
    EXPECT_FLOAT_EQ(rig.parameter(2).value(), std::min(attack + 0.1f, 1.0f));
    EXPECT_FLOAT_EQ(rig.parameter(3).value(), std::max(release - 0.1f, 0.0f));
}

TEST(Controller, ASecondUnitReplacesTheFirstsObserver) {
    PanelRig rig;
    rig.open();
    auto first = rig.vc->audioUnit();
    rig.factory();
    rig.drain();
    ASSERT_NE(rig.vc->audioUnit(), first);
    first->parameterTree()->parameterWithAddress(1003)->setValue(0.9f);
    rig.drain();
    EXPECT_EQ(rig.panel().valueLevel[3], 0.5); // the old tree no longer feeds the panel
}

TEST(Controller, GoingAwayStopsTimerAndObserver) {
    CapturedConsole console;
    const auto timersBefore = plat::RunLoop::main().scheduledTimerCount();
    std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> unit;
    std::weak_ptr<AudioUnitViewController> gone;
    {
        PanelRig rig;
        rig.open();
        unit = rig.vc->audioUnit();
        gone = rig.vc;
        rig.window->setRootViewController(nullptr);
    }
    PanelRig::drain();
    EXPECT_TRUE(gone.expired());
    EXPECT_EQ(plat::RunLoop::main().scheduledTimerCount(), timersBefore);
    unit->parameterTree()->parameterWithAddress(1)->setValue(0.7f);
    EXPECT_EQ(console.count("The strong self shit is nil."), 0u);
}

TEST(Controller, FailedFactoryCallChangesNothing) {
    CapturedConsole console;
    PanelRig rig;
    rig.loadView();
    const auto made = rig.vc->createAudioUnit({});
    rig.drain();
    EXPECT_FALSE(made.ok());
    EXPECT_EQ(rig.vc->audioUnit(), nullptr);
    EXPECT_EQ(console.count("AU Diagnostics"), 0u);
}
