// The main screen and the help screen in a headless window, with the real finder, engine player
// (into the null output) and plug-in behind them.
#include "AppTestSupport.h"
#include "HelpViewController.h"
#include "ViewController.h"

#include "plat/files.h"
#include "plat/uiwindow.h"

#include <fstream>

namespace {

// The main screen, its finder and its engine player keep each other alive, as in the application;
// like the application's, this one lives as long as the process.
class MainScreen : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (screen) return;
        window = new std::shared_ptr<plat::UIWindow>(plat::UIWindow::makeHeadless({1024, 768}));
        screen = new std::shared_ptr<ViewController>(std::make_shared<ViewController>());
        (*window)->setRootViewController(*screen);
        (*window)->makeKeyAndVisible();
        ASSERT_TRUE(spin([] { return !(*screen)->pluginView->subviews().empty(); }));
    }
    static void press(plat::UIButton& button) { button.sendActions(plat::UIControlEvents::touchUpInside); }
    ViewController& main() { return **screen; }

    static inline std::shared_ptr<plat::UIWindow>* window = nullptr;
    static inline std::shared_ptr<ViewController>* screen = nullptr;
};

} // namespace

TEST_F(MainScreen, EmbedsThePlugInInTheHiddenContainerAndTheUnitButtonShowsIt) {
    ASSERT_EQ(main().children().size(), 1u);
    const auto plugin = main().children()[0]->viewIfLoaded();
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->superview(), main().pluginView);
    EXPECT_EQ(plugin->constraints().size(), 4u);
    EXPECT_TRUE(main().pluginView->isHidden());
    for (bool hidden : {false, true}) {
        press(*main().buttonUnit);
        EXPECT_EQ(main().pluginView->isHidden(), hidden);
    }
    ConsoleCapture console;
    main().onFoundComponent(nullptr);
    EXPECT_EQ(console.text(), "ViewController: Loading the audio unit's interface...\n"
                              "ERROR: The audio unit is not initialized to load the user interface.\n");
}

TEST_F(MainScreen, PlayAndStopSwapWhenThePlayerReports) {
    EXPECT_FALSE(main().playButton->isHidden());
    EXPECT_TRUE(main().stopButton->isHidden());
    press(*main().playButton);
    EXPECT_FALSE(main().playButton->isHidden()) << "the buttons wait for the player";
    ASSERT_TRUE(spin([&] { return main().playButton->isHidden() && !main().stopButton->isHidden(); }));
    press(*main().stopButton);
    ASSERT_TRUE(spin([&] { return !main().playButton->isHidden() && main().stopButton->isHidden(); }));
}

TEST_F(MainScreen, SeguesPrepareTheHelpScreenAndHelpOpensTheSite) {
    struct Case {
        std::optional<std::string> identifier;
        std::string printed, prepared;
    };
    for (const Case& c : std::vector<Case>{{std::nullopt, "", "-"},
                                           {"Other", "Other\n", "-"},
                                           {"showhelp", "showhelp\n", "-"},
                                           {"ShowInfo", "ShowInfo\n", "ShowInfo"},
                                           {"ShowHelp", "ShowHelp\n", "ShowHelp"}}) {
        ConsoleCapture console;
        auto help = std::make_shared<HelpViewController>();
        help->prepareInfo("-");
        plat::UIStoryboardSegue segue(c.identifier, *screen, help);
        main().prepare(segue, {});
        EXPECT_EQ(console.text(), c.printed);
        EXPECT_EQ(help->currentIdentifier(), c.prepared);
    }

    ScratchFolder opened;
    setenv("SORVANE_OPENED_URLS", (opened.path() / "urls").c_str(), 1);
    press(*main().buttonHelp);
    const auto help = std::dynamic_pointer_cast<HelpViewController>(main().presentedViewController());
    ASSERT_TRUE(help);
    EXPECT_EQ(help->currentIdentifier(), "ShowHelp");
    std::string url;
    ASSERT_TRUE(
        spin([&] { return bool(std::getline(std::ifstream(opened.path() / "urls") >> std::ws, url)); }));
    EXPECT_EQ(url, plat::Bundle::main().bundleURL().absoluteString() + "Resources/help/index.html");
    press(*help->buttonExit);
    EXPECT_FALSE(main().presentedViewController());
}
