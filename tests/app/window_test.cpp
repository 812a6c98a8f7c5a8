// The application in a real window under Xvfb: its own entry (delegate, window, main storyboard),
// driven with xdotool while clips play through the effect into the null output, and its help
// screen showing the shipped page. Every step waits for what it caused. Screenshots land in
// APP_SCREENSHOTS.
#include "AppDelegate.h"
#include "AppTestSupport.h"
#include "HelpViewController.h"
#include "ViewController.h"
#include "WavFrames.h"
#include "Xdotool.h"

#include "plat/files.h"
#include "plat/uiapplication.h"

#include <gtk/gtk.h>

#include <fstream>

namespace {

const fs::path kShots = std::getenv("APP_SCREENSHOTS");

// Pixels that differ inside the rectangle.
std::size_t changed(const Png& a, const Png& b, int x0, int y0, int x1, int y1) {
    std::size_t n = 0;
    for (int y = y0; y < std::min({y1, a.height, b.height}); ++y)
        for (int x = x0; x < std::min({x1, a.width, b.width}); ++x)
            n += a.pixels[std::size_t(y * a.width + x)] != b.pixels[std::size_t(y * b.width + x)];
    return n;
}

void drive(plat::UIWindow& window) {
    const auto screen = std::dynamic_pointer_cast<ViewController>(window.rootViewController());
    ASSERT_TRUE(screen && window.isOnScreen());
    ASSERT_TRUE(spin([&] {
        return gtk_widget_get_mapped(GTK_WIDGET(window.nativeWindow())) && window.renderCount() > 0 &&
               !screen->pluginView->subviews().empty();
    }));
    // The effect's view is embedded, pinned to the container, which stays hidden until Unit.
    ASSERT_EQ(screen->children().size(), 1u);
    EXPECT_EQ(screen->pluginView->subviews().front()->constraints().size(), 4u);
    EXPECT_TRUE(screen->pluginView->isHidden());
    const std::string id = std::to_string(window.nativeWindowId());
    // No --sync: it waits for a motion that never comes when the pointer is there already (play and
    // stop share a place). The server takes the fake events in order anyway.
    const auto over = [&](const std::shared_ptr<plat::UIView>& view, std::vector<std::string> then) {
        const auto at = view->convert(plat::CGPoint{view->bounds().midX(), view->bounds().midY()}, nullptr);
        then.insert(then.begin(),
                    {"mousemove", "--window", id, std::to_string(int(at.x)), std::to_string(int(at.y))});
        return xdotool(then);
    };
    const auto click = [&](const std::shared_ptr<plat::UIView>& view) { return over(view, {"click", "1"}); };
    const auto shoot = [&](const std::string& name) {
        std::string error;
        EXPECT_TRUE(window.writeScreenshot((kShots / name).string(), &error)) << error;
        return readPng(kShots / name);
    };
    const auto frames = [&](std::uint64_t n) {
        const auto until = window.renderCount() + n;
        return spin([&] { return window.renderCount() >= until; });
    };

    ASSERT_TRUE(click(screen->buttonUnit));
    screen->onPlayButton(*screen->playButton);
    EXPECT_FALSE(screen->playButton->isHidden()) << "the buttons wait for the player";
    ASSERT_TRUE(spin([&] { return !screen->pluginView->isHidden() && !screen->stopButton->isHidden(); }));
    ASSERT_TRUE(frames(5));
    const Png first = shoot("app_window_playing_1.png");
    ASSERT_TRUE(frames(10));
    const Png second = shoot("app_window_playing_2.png");
    EXPECT_GT(first.colours(0, 60, 1024, 768), 100u) << "the panel shows";
    EXPECT_GT(changed(first, second, 0, 60, 1024, 768), 500u) << "the meters move";

    // Three notches of Ctrl + wheel up on the panel: it grows past the bar, which still shows whole.
    const auto panel = screen->pluginView->subviews().front()->subviews().front();
    const double width = panel->frame().width();
    ASSERT_TRUE(over(screen->pluginView,
                     {"keydown", "ctrl", "click", "4", "click", "4", "click", "4", "keyup", "ctrl"}));
    ASSERT_TRUE(spin([&] { return std::abs(panel->frame().width() - width * 1.331) < 1; }));
    ASSERT_TRUE(frames(2));
    const Png zoomed = shoot("app_window_zoomed.png");
    EXPECT_LT(panel->convert(panel->bounds(), nullptr).minY(), 0);
    EXPECT_EQ(changed(second, zoomed, 0, 0, 1024, 56), 0u) << "the bar is left alone";

    ASSERT_TRUE(click(screen->stopButton));
    ASSERT_TRUE(spin([&] { return !screen->playButton->isHidden() && screen->stopButton->isHidden(); }));

    ConsoleCapture console;
    ScratchFolder opened;
    setenv("SORVANE_OPENED_URLS", (opened.path() / "urls").c_str(), 1);
    ASSERT_TRUE(click(screen->buttonHelp) &&
                spin([&] { return screen->presentedViewController() != nullptr; }));
    auto help = std::dynamic_pointer_cast<HelpViewController>(screen->presentedViewController());
    ASSERT_TRUE(help && help->webView);
    const auto page = HelpViewController::helpSiteRoot()->absoluteString() + "DYNAMICS/";
    ASSERT_TRUE(spin([&] {
        return help->webView->url() && help->webView->url()->absoluteString() == page &&
               !help->webView->title().empty();
    }));
    EXPECT_TRUE(spin([&] { return shoot("app_window_help.png").colours(0, 60, 1024, 768) > 20; }))
        << "the page shows";
    std::string missing;
    EXPECT_TRUE(
        linesInOrder(console.text(), {"navigationAction: ", page, "navigationResponse: ", page}, missing))
        << missing;

    // Responses without an extension or with a PDF or HTML one show; others, and one without an
    // address, are refused; each is answered once.
    using Policy = plat::WKNavigationResponsePolicy;
    for (const auto& [url, shown] : std::vector<std::pair<std::string, bool>>{{page, true},
                                                                              {page + "guide.Pdf", true},
                                                                              {page + "a.html", true},
                                                                              {page + "a.htm", false},
                                                                              {page + "a.png", false},
                                                                              {"", false}}) {
        std::vector<Policy> answers;
        help->decidePolicyForNavigationResponse(
            *help->webView, plat::WKNavigationResponse{plat::URL::string(url), "text/html", true},
            plat::WKDecisionHandler<Policy>([&](auto p) { answers.push_back(p); }, "response"));
        EXPECT_EQ(answers, std::vector{shown ? Policy::allow : Policy::cancel}) << url;
    }
    // An address whose path holds what a name may (as the end-to-end scan's) is printed as nothing
    // that drives the terminal, on each of the help screen's lines.
    const auto named = plat::URL::fileURL("/help\x1b[31m\xc2\x9b\x07\r\x7f\nINJECTED LINE\xff.html");
    help->decidePolicyForNavigationAction(
        *help->webView, {named},
        plat::WKDecisionHandler<plat::WKNavigationActionPolicy>([](auto) {}, "action"));
    help->decidePolicyForNavigationResponse(*help->webView, {named, "text/html", true},
                                            plat::WKDecisionHandler<Policy>([](auto) {}, "response"));
    help->createWebView(*help->webView, {named});
    const std::string printed = console.text();
    EXPECT_EQ(rawByte(printed), std::string::npos)
        << "raw in: " << plat::shownText(lineAround(printed, rawByte(printed)));
    EXPECT_EQ(console.count("WKWebView:"), 0u);
    std::string url; // the browser was given the site's first page
    EXPECT_TRUE(
        spin([&] { return bool(std::getline(std::ifstream(opened.path() / "urls") >> std::ws, url)); }));
    EXPECT_EQ(url, plat::Bundle::main().bundleURL().absoluteString() + "Resources/help/index.html");
    // The browser opens the site the view shows (both ask; a root the view refuses is told once).
    for (const std::string root : {"http://localhost:8080/help/", "http://localhost:8080/help"}) {
        setenv(HelpViewController::kHelpRootVariable, root.c_str(), 1);
        EXPECT_EQ(HelpViewController::webSite()->absoluteString(), root.ends_with('/') ? root : url);
        HelpViewController::helpSiteRoot();
    }
    unsetenv(HelpViewController::kHelpRootVariable);
    EXPECT_EQ(console.count("the shipped pages are used"), 1u);

    ASSERT_TRUE(click(help->buttonExit));
    ASSERT_TRUE(spin([&] { return !screen->presentedViewController(); }));
    help.reset(); // the screen and its web view go; the window lays out without them

    // Segues prepare the help screen with their own identifier only; each named one is printed.
    for (const auto& [identifier, printed, prepared] :
         std::vector<std::tuple<std::optional<std::string>, std::string, std::string>>{
             {std::nullopt, "", "-"},
             {"showhelp", "showhelp\n", "-"},
             {"ShowInfo", "ShowInfo\n", "ShowInfo"},
             {"ShowHelp", "ShowHelp\n", "ShowHelp"}}) {
        ConsoleCapture lines;
        const auto shown = std::make_shared<HelpViewController>();
        shown->prepareInfo("-");
        plat::UIStoryboardSegue segue(identifier, screen, shown);
        screen->prepare(segue, {});
        EXPECT_EQ(lines.text(), printed);
        EXPECT_EQ(shown->currentIdentifier(), prepared);
    }
    screen->onButtonUnit({});
    EXPECT_TRUE(screen->pluginView->isHidden());
    ConsoleCapture lines;
    screen->onFoundComponent(nullptr);
    EXPECT_EQ(lines.text(), "ViewController: Loading the audio unit's interface...\n"
                            "ERROR: The audio unit is not initialized to load the user interface.\n");

    // Too small a window is kept at the size where the bar's title and buttons all fit.
    window.setSize({420, 300});
    ASSERT_TRUE(frames(1));
    const auto title = screen->view()->subviews().front()->frame();
    EXPECT_GE(screen->playButton->frame().minX(), title.maxX());
    EXPECT_LE(screen->buttonHelp->frame().maxX(), window.frame().width());
    shoot("app_window_smallest.png");
}

} // namespace

TEST(ApplicationWindow, PlaysThroughTheEmbeddedPanelAndShowsTheHelpPage) {
    const fs::path shot = kShots / "app_window_on_exit.png", link = kShots / "app_window_on_exit.link";
    writeText(shot, "old"); // replaced through the link, which stays
    fs::remove(link);
    fs::create_symlink(shot.filename(), link);
    setenv(plat::UIApplication::kScreenshotVariable, link.c_str(), 1);
    plat::MainQueue::async([] {
        const auto& window = plat::UIApplication::shared().window();
        drive(*window);
        gtk_window_close(GTK_WINDOW(window->nativeWindow())); // as the user closes it
    });
    EXPECT_EQ(plat::UIApplicationMain(0, nullptr, std::nullopt, plat::NSStringFromClass<AppDelegate>()), 0);
    EXPECT_EQ(readPng(shot).width, ViewController::minimumSize().width);
    EXPECT_TRUE(fs::is_symlink(link));
}

// An X server of the test's own, which a row can take from the program it serves; no name when it
// did not start.
struct OwnDisplay {
    pid_t pid = -1;
    std::string name;
    OwnDisplay() {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, 1), ::dup2(quiet, 2);
            const std::string fd = std::to_string(ready[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
                     "tcp", nullptr);
            ::_exit(127);
        }
        ::close(ready[1]);
        char number[16] = {};
        if (pid > 0 && ::read(ready[0], number, sizeof number - 1) > 0)
            name = std::string(":").append(std::to_string(std::atoi(number)));
        ::close(ready[0]);
    }
    void lose() {
        if (pid > 0) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
    ~OwnDisplay() { lose(); }
};

// In its window too, SIGTERM ends the program as closing the window does: the recording is finished
// and in place, the window written, and the exit status says which signal ended it. A display lost
// during the take ends the run at once with its cause, the take finished and in place all the same.
TEST(ApplicationWindow, EveryEndOfTheProgramFinishesItsTake) {
    const struct {
        const char* fault;
        bool displayLost;
        int status;
        std::string line;
    } rows[] = {
        {"a signal not ending the run as closing the window does", false, 128 + SIGTERM,
         "UIApplication: the window was written to *"},
        {"a lost display ending the run without a word, its take left unfinished", true, 1,
         "UIApplication: the application ends: The connection to the display was lost."},
    };
    for (const auto& row : rows) {
        ScratchFolder scratch;
        const fs::path take = scratch.path() / "take.wav", partial = scratch.path() / "take.partial.wav",
                       shot = scratch.path() / "shot.png", log = scratch.path() / "log";
        OwnDisplay display;
        std::vector<std::pair<std::string, std::string>> variables{
            {"SORVANE_HEADLESS", ""},
            {"SORVANE_AUDIO_OUTPUT", "wav:" + take.string()},
            {"SORVANE_RUN_SECONDS", ""},
            {"SORVANE_AUTOPLAY", "1"},
            {"SORVANE_SCREENSHOT", shot.string()}};
        if (row.displayLost) {
            ASSERT_FALSE(display.name.empty()) << "Xvfb did not start";
            variables.emplace_back("DISPLAY", display.name);
        }
        auto app = launchApp(fs::path(SORVANE_APP_DIR) / "bin/YUX_Sorvane", variables, log);
        ASSERT_GT(app.pid, 0);
        const bool recording =
            eventually([&] { return sizeOf(partial) > 48000 / 4 * 8; }); // a quarter second
        if (row.displayLost)
            display.lose();
        else
            ::kill(app.pid, SIGTERM);
        const int status = ended(app);
        const std::string output = readAll(log);
        ASSERT_TRUE(recording) << row.fault << ": no quarter second of sound recorded within 60 s\n" << output;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.status)
            << row.fault << ": " << status << "\n"
            << output;
        EXPECT_EQ(output.find("Running without a window"), std::string::npos) << output;
        std::string missing;
        EXPECT_TRUE(linesInOrder(output, {row.line}, missing)) << row.fault << "\n" << output;
        EXPECT_GE(wavFrames(take), 48000 / 4) << row.fault;
        EXPECT_EQ(wavFrames(take), framesHeld(take)) << row.fault;
        EXPECT_FALSE(fs::exists(partial)) << row.fault;
        EXPECT_EQ(readPng(shot).width > 0, !row.displayLost) << row.fault;
    }
}
