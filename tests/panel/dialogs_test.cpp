// Banner, file-name alerts and parameters by address.
#include "PanelRig.h"
#include "SteppedClockTest.h"

#include <cstdlib>

namespace {

class Dialogs : public SteppedClockTest {
protected:
    void SetUp() override {
        SteppedClockTest::SetUp();
        ::setenv("XDG_DOCUMENTS_DIR", documents.path().c_str(), 1);
        rig.open();
    }
    void TearDown() override {
        ::unsetenv("XDG_DOCUMENTS_DIR");
        SteppedClockTest::TearDown();
    }
    template <class T>
    std::shared_ptr<T> presented() {
        return std::dynamic_pointer_cast<T>(rig.vc->presentedViewController());
    }
    ScratchFolder documents;
    PanelRig rig;
};

} // namespace

TEST_F(Dialogs, ANewBannerRunsBesideTheMovingOneAndEachEndsInItsOwnFadeOut) {
    rig.vc->showInfo("first");
    tick(0.009, 100);
    rig.vc->showInfo("second");
    EXPECT_EQ(Animator::classCount(), 2);
    // The first fade-in ends at tick 321 and its fade-out at 442, which hides the banner and empties
    // it while the second one's fade-out (from tick 421 to 542) is still moving.
    tick(0.009, 350);
    EXPECT_EQ(Animator::classCount(), 1);
    EXPECT_TRUE(rig.vc->infoView->isHidden());
    EXPECT_EQ(rig.vc->infoMessage->text(), "");
    const double alpha = rig.vc->infoView->alpha();
    tick(0.009, 20);
    EXPECT_LT(rig.vc->infoView->alpha(), alpha); // still fading
    tick(0.009, 100);
    EXPECT_EQ(Animator::classCount(), 0);
    EXPECT_TRUE(rig.vc->infoView->isHidden());
    EXPECT_EQ(rig.vc->infoMessage->text(), "");
}

TEST_F(Dialogs, FileNameAlertRefusesNamesOutsideItsFolderAndAsksAgainForExistingOnes) {
    writeText(documents.path() / "taken.plist", "x");
    const std::pair<std::string, bool> cases[] = {
        {"../escape", false}, {"a/b", false}, {"..", false}, {"new.plist", false}, {"taken.plist", true}};
    for (const auto& [name, asksAgain] : cases) {
        CapturedConsole console;
        rig.vc->alertFileName("save", "default.plist");
        auto alert = presented<plat::UIAlertController>();
        ASSERT_TRUE(alert);
        alert->textFields().front()->text = name;
        alert->performAction(0);
        const bool refused = name.find('/') != std::string::npos || name == "..";
        EXPECT_EQ(console.count("is not allowed."), refused ? 1u : 0u) << name;
        auto again = presented<plat::UIAlertController>();
        EXPECT_EQ(bool(again), asksAgain) << name;
        if (again) {
            EXPECT_EQ(again->message(), "The file already exists. Please type in another file name: ");
            EXPECT_EQ(again->textFields().front()->text, name);
            again->performAction(1);
            EXPECT_EQ(console.count("Save action was canceled.\n"), 1u);
        }
    }
}

TEST(ParameterAccess, ByAddressBeforeAndAfterTheConnection) {
    PanelRig rig;
    rig.loadView();
    CapturedConsole console;
    EXPECT_EQ(rig.vc->getParameter(1005), 0.0f);
    EXPECT_EQ(console.printed(), "");
    rig.factory();
    PanelRig::drain();
    rig.parameter(1005).setValue(0.25f);
    EXPECT_EQ(rig.vc->getParameter(1005), 0.25f);
    CapturedConsole lines;
    for (const std::int64_t address : {4000, -1}) EXPECT_EQ(rig.vc->getParameter(address), 0.0f);
    rig.vc->setParameter(-7, 0.5f);
    EXPECT_EQ(lines.printed(),
              "AudioUnitViewController: ERROR: The parameter address 4000 is not available.\n"
              "AudioUnitViewController: ERROR: The parameter address -1 is not available.\n"
              "AudioUnitViewController: ERROR: The parameter address -7 is not available.\n");
    rig.vc->setParameter(2, 0.5f);
    PanelRig::drain();
    EXPECT_EQ(rig.panel().valueAttack, 0.5);
    // The panel sends only addresses the unit can take.
    const float before = rig.parameter(1).value();
    rig.vc->onSorvaneViewParameter(std::int64_t(1) << 32 | 1, 0.9f); // would wrap to address 1
    rig.vc->onSorvaneViewParameter(-1, 0.9f);
    EXPECT_EQ(rig.parameter(1).value(), before);
}
