// The main screen headless: the members nothing in the application calls (the second embedding,
// fitting the container at 4:3, the folder picker and its callbacks, the two-button alert), the
// actions it answers for along the responder chain, and memory warnings reaching it and the help
// screen. The screen finds and embeds the effect as it loads; each test waits for that first.
#include "AppTestSupport.h"
#include "HelpViewController.h"
#include "ViewController.h"

#include "plat/uiapplication.h"
#include "plat/uiwindow.h"

using plat::CGRect;

struct MainScreenProbe {
    static void embedPlugInView(ViewController& s) { s.embedPlugInView(); }
    static void resetPluginView(ViewController& s, plat::CGFloat w, plat::CGFloat h) {
        s.resetPluginView(w, h);
    }
    static std::shared_ptr<plat::UIView> audioUnitView(const ViewController& s) { return s.audioUnitView(); }
    static std::shared_ptr<plat::UIViewController>& audioUnitViewController(ViewController& s) {
        return s.audioUnitViewController;
    }
    static AUExtensionManager& finder(ViewController& s) { return *s.audioUnitManager; }
};

namespace {

using Probe = MainScreenProbe;

// A plug-in view controller that records being moved to a parent.
class Embedded : public plat::AUViewController {
public:
    void didMove(const std::shared_ptr<plat::UIViewController>& parent) override { movedTo = parent; }
    std::shared_ptr<plat::UIViewController> movedTo;

protected:
    void loadView() override {
        auto v = std::make_shared<plat::UIView>(CGRect{0, 0, 10, 10});
        v->setBackgroundColor(plat::UIColor::white()); // draws, so a redraw asked for shows
        setView(v);
    }
};

class MainScreen : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_DOCUMENTS_DIR", documents.path().c_str(), 1);
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        // The effect found and embedded, and its interface loaded, before the members run.
        ASSERT_TRUE(spin([&] { return !screen->pluginView->subviews().empty(); }, 60));
        ASSERT_EQ(screen->children().size(), 1u);
        spin([] { return plat::RunLoop::main().drain() == 0; });
    }
    void TearDown() override {
        if (screen->presentedViewController()) screen->dismiss(false);
        ::unsetenv("XDG_DOCUMENTS_DIR");
    }
    CGRect frameOfTheEffect() { return screen->pluginView->subviews().front()->frame(); }

    ScratchFolder documents;
    std::shared_ptr<plat::UIWindow> window = plat::UIWindow::makeHeadless({1024, 768});
    std::shared_ptr<ViewController> screen = std::make_shared<ViewController>();
};

} // namespace

TEST_F(MainScreen, TheSecondEmbeddingNeedsTheFindersViewControllerAndAsksForNoRedraw) {
    {
        ConsoleCapture console;
        Probe::embedPlugInView(*screen); // the finder holds none, as always in the application
        EXPECT_EQ(console.text(), "ERROR: Could not load audio unit's view controller.\n");
        EXPECT_EQ(screen->children().size(), 1u);
        EXPECT_EQ(screen->pluginView->subviews().size(), 1u);
    }
    auto embedded = std::make_shared<Embedded>();
    const auto view = embedded->view();
    view->setFrame(screen->pluginView->bounds()); // the size it gets: a change would ask for a redraw
    auto picture =
        std::make_unique<plat::ImageSurface>(int(view->bounds().width()), int(view->bounds().height()));
    view->render(picture->context(), 1, true);
    ASSERT_FALSE(view->needsDisplay());
    Probe::finder(*screen).viewController = embedded;
    ConsoleCapture console;
    Probe::embedPlugInView(*screen);
    EXPECT_EQ(console.text(), "");
    ASSERT_EQ(screen->children().size(), 2u);
    EXPECT_EQ(screen->children().back(), embedded);
    EXPECT_EQ(embedded->movedTo, screen) << "told it moved to the screen";
    ASSERT_EQ(screen->pluginView->subviews().size(), 2u);
    EXPECT_EQ(screen->pluginView->subviews().back(), view) << "on top of the first";
    EXPECT_EQ(view->frame(), screen->pluginView->bounds());
    EXPECT_FALSE(view->translatesAutoresizingMaskIntoConstraints());
    EXPECT_EQ(view->constraints().size(), 4u) << "pinned to the container's four edges";
    EXPECT_FALSE(view->needsDisplay()) << "no redraw asked for, unlike the first embedding";
    Probe::finder(*screen).viewController.reset();
}

TEST_F(MainScreen, FittingWithoutAPlugInControllerWarnsAndMovesNothing) {
    EXPECT_EQ(Probe::audioUnitView(*screen), nullptr);
    const CGRect container = screen->pluginView->frame(), effect = frameOfTheEffect();
    ConsoleCapture console;
    Probe::resetPluginView(*screen, 800, 600);
    screen->centerPluginView();
    EXPECT_EQ(console.text(), "WARNING: Cannot reset the pluginview (yet).\n"
                              "WARNING: Cannot reset the pluginview (yet).\n");
    EXPECT_EQ(screen->pluginView->frame(), container);
    EXPECT_EQ(frameOfTheEffect(), effect);
}

TEST_F(MainScreen, FittingSpansTheLargerSideAtFourToThreeCentredInTheScreensView) {
    auto embedded = std::make_shared<Embedded>();
    Probe::audioUnitViewController(*screen) = embedded;
    ASSERT_EQ(Probe::audioUnitView(*screen), embedded->view());
    // The screen's view is 1024 x 768 throughout: the centring follows it, not the sizes given.
    struct Row {
        const char* fault;
        double w, h;
        CGRect container, view;
    };
    const Row rows[] = {
        {"landscape taken as portrait", 800, 600, {0, 384 - 300, 800, 600}, {0, 0, 800, 600}},
        {"a square taken as portrait", 500, 500, {0, 384 - 187.5, 500, 375}, {0, 0, 500, 375}},
        {"wider than 4:3 clipped to the height", 1000, 600, {0, 384 - 375, 1000, 750}, {0, 0, 1000, 750}},
        {"portrait centred on the width given",
         600,
         800,
         {512 - 800 / 0.75 / 2, 0, 800 / 0.75, 800},
         {0, 0, 800 / 0.75, 800}},
    };
    for (const Row& row : rows) {
        Probe::resetPluginView(*screen, row.w, row.h);
        EXPECT_EQ(screen->pluginView->frame(), row.container) << row.fault;
        EXPECT_EQ(embedded->view()->frame(), row.view) << row.fault;
    }
    // The same fit again changes no frame and still asks for the container to be redrawn.
    screen->pluginView->setHidden(false);
    auto picture = std::make_unique<plat::ImageSurface>(8, 8);
    screen->pluginView->render(picture->context(), 1, true);
    ASSERT_FALSE(screen->pluginView->needsDisplay());
    Probe::resetPluginView(*screen, 600, 800);
    EXPECT_EQ(screen->pluginView->frame(), rows[3].container);
    EXPECT_TRUE(screen->pluginView->needsDisplay());

    // centerPluginView fits the screen's own view.
    window->setSize({600, 800});
    window->layoutIfNeeded();
    ASSERT_EQ(screen->view()->bounds(), (CGRect{0, 0, 600, 800}));
    screen->centerPluginView();
    EXPECT_EQ(screen->pluginView->frame(), (CGRect{300 - 800 / 0.75 / 2, 0, 800 / 0.75, 800}));
    Probe::audioUnitViewController(*screen).reset();
    EXPECT_EQ(Probe::audioUnitView(*screen), nullptr);
}

TEST_F(MainScreen, TheFolderPickerPrintsWhatWasPickedAndNothingElse) {
    using Picker = plat::UIDocumentPickerViewController;
    const auto open = [&] {
        screen->openFilePicker();
        return std::dynamic_pointer_cast<Picker>(screen->presentedViewController());
    };
    auto picker = open();
    ASSERT_TRUE(picker);
    EXPECT_EQ(picker->documentTypes(), std::vector<std::string>{"public.folder"});
    EXPECT_EQ(picker->mode(), Picker::Mode::open);
    EXPECT_FALSE(picker->allowsMultipleSelection);
    EXPECT_EQ(picker->delegate.lock().get(), static_cast<plat::UIDocumentPickerDelegate*>(screen.get()));

    const auto a = plat::URL::fileURL("/tmp/a", true), b = plat::URL::fileURL("/tmp/b c", true);
    struct Row {
        const char* fault;
        std::vector<plat::URL> urls;
        std::string printed;
    };
    const Row rows[] = {
        {"the first path missing",
         {a},
         "documentPicker: [" + a.absoluteString() + "]\ndocumentPicker (didPickDocumentsAt): /tmp/a\n"},
        {"more than the first path printed",
         {a, b},
         "documentPicker: [" + a.absoluteString() + ", " + b.absoluteString() +
             "]\ndocumentPicker (didPickDocumentsAt): /tmp/a\n"},
        {"a path printed for an empty list", {}, "documentPicker: []\n"},
    };
    for (const Row& row : rows) {
        if (!picker) picker = open();
        ASSERT_TRUE(picker) << row.fault;
        ConsoleCapture console;
        picker->pick(row.urls);
        EXPECT_EQ(console.text(), row.printed) << row.fault;
        EXPECT_FALSE(screen->presentedViewController()) << row.fault;
        picker.reset();
    }
    picker = open();
    ASSERT_TRUE(picker);
    ConsoleCapture console;
    picker->cancel();
    screen->documentPicker(*picker, b);
    EXPECT_EQ(console.text(), "The document picker was canceled.\n"
                              "documentPicker (didPickDocumentAt): /tmp/b c\n");
    EXPECT_FALSE(screen->presentedViewController());
}

TEST_F(MainScreen, TheAlertPrintsItsTextAndWhicheverButtonWasPressed) {
    for (const auto& [button, printed] : std::vector<std::pair<std::size_t, std::string>>{
             {0, "Alert was confirmed.\n"}, {1, "Alert was canceled.\n"}}) {
        ConsoleCapture console;
        screen->alertMessage("Title", "the message");
        auto alert = std::dynamic_pointer_cast<plat::UIAlertController>(screen->presentedViewController());
        ASSERT_TRUE(alert);
        EXPECT_EQ(console.text(), "Title: the message\n");
        EXPECT_EQ(alert->alertTitle(), "Title");
        EXPECT_EQ(alert->message(), "the message");
        EXPECT_EQ(alert->preferredStyle(), plat::UIAlertController::Style::alert);
        ASSERT_EQ(alert->actions().size(), 2u);
        EXPECT_EQ(alert->actions()[0]->title(), "OK");
        EXPECT_EQ(alert->actions()[0]->style(), plat::UIAlertAction::Style::defaultStyle);
        EXPECT_EQ(alert->actions()[1]->title(), "Cancel");
        EXPECT_EQ(alert->actions()[1]->style(), plat::UIAlertAction::Style::cancel);
        alert->performAction(button);
        EXPECT_EQ(console.text(), "Title: the message\n" + printed);
        EXPECT_FALSE(screen->presentedViewController()) << "either button closes it";
    }
}

TEST_F(MainScreen, AnswersForItsActionsAlongTheResponderChain) {
    const auto effectView = screen->pluginView->subviews().front();
    struct Row {
        const char* fault;
        const plat::UIResponder* responder;
        const char* action;
        bool answer;
    };
    const Row rows[] = {
        {"the unit button's action unknown", screen.get(), "onButtonUnit:", true},
        {"the play button's action unknown", screen.get(), "onPlayButton:", true},
        {"the stop button's action unknown", screen.get(), "onStopButton:", true},
        {"the help action unknown", screen.get(), "showHelp:", true},
        {"an action it lacks granted", screen.get(), "copy:", false},
        {"the effect's view not reaching the screen", effectView.get(), "showHelp:", true},
        {"the container not reaching the screen", screen->pluginView.get(), "onStopButton:", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.responder->canPerformAction(row.action, std::any()), row.answer) << row.fault;
    const HelpViewController help;
    EXPECT_TRUE(help.canPerformAction("onButtonExit:", {})) << "the help screen's exit";
}

TEST_F(MainScreen, MemoryWarningsReachTheScreenAndTheHelpScreen) {
    auto help = std::make_shared<HelpViewController>();
    plat::UIApplication::shared().simulateMemoryWarning();
    ASSERT_TRUE(spin([&] {
        return help->memoryWarningsReceived() == 1 && screen->memoryWarningsReceived() == 1;
    })) << "the help screen passes it on to its base";
}
