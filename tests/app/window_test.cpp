// The application in a real window under Xvfb: its own entry (delegate, window, main storyboard),
// driven with xdotool while clips play through the effect into the null output, and its help
// screen showing the shipped page. Screenshots land in APP_SCREENSHOTS.
#include "AppDelegate.h"
#include "AppTestSupport.h"
#include "HelpViewController.h"
#include "ViewController.h"
#include "Xdotool.h"

#include "plat/uiapplication.h"
#include "plat/uiwindow.h"

#include <gtk/gtk.h>

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
    ASSERT_TRUE(
        spin([&] { return window.nativeWindowId() != 0 && !screen->pluginView->subviews().empty(); }));
    plat::RunLoop::main().runFor(std::chrono::milliseconds(300)); // mapped and drawn before the pointer moves
    const std::string id = std::to_string(window.nativeWindowId());
    const auto click = [&](const std::shared_ptr<plat::UIView>& view) {
        const auto at = view->convert(plat::CGPoint{view->bounds().midX(), view->bounds().midY()}, nullptr);
        // No --sync: it waits for a motion that never comes when the pointer is there already (play
        // and stop share a place). The server takes the fake events in order anyway.
        return xdotool({"mousemove", "--window", id, std::to_string(int(at.x)), std::to_string(int(at.y)),
                        "click", "1"});
    };
    const auto shoot = [&](const std::string& name) {
        std::string error;
        EXPECT_TRUE(window.writeScreenshot((kShots / name).string(), &error)) << error;
        return readPng(kShots / name);
    };

    ASSERT_TRUE(click(screen->buttonUnit));
    ASSERT_TRUE(click(screen->playButton));
    ASSERT_TRUE(spin([&] { return !screen->pluginView->isHidden() && !screen->stopButton->isHidden(); }));
    plat::RunLoop::main().runFor(std::chrono::seconds(1));
    const Png first = shoot("app_window_playing_1.png");
    plat::RunLoop::main().runFor(std::chrono::milliseconds(500));
    const Png second = shoot("app_window_playing_2.png");
    EXPECT_GT(first.colours(0, 60, 1024, 768), 100u) << "the panel shows";
    EXPECT_GT(changed(first, second, 0, 60, 1024, 768), 500u) << "the meters move";
    ASSERT_TRUE(click(screen->stopButton));
    ASSERT_TRUE(spin([&] { return !screen->playButton->isHidden() && screen->stopButton->isHidden(); }));

    ConsoleCapture console;
    ASSERT_TRUE(click(screen->buttonHelp));
    auto help = std::dynamic_pointer_cast<HelpViewController>(screen->presentedViewController());
    ASSERT_TRUE(help && help->webView);
    const auto page = HelpViewController::helpSiteRoot()->absoluteString() + "DYNAMICS/";
    ASSERT_TRUE(spin([&] {
        return help->webView->url() && help->webView->url()->absoluteString() == page &&
               !help->webView->title().empty();
    }));
    plat::RunLoop::main().runFor(std::chrono::milliseconds(700)); // painted
    EXPECT_GT(shoot("app_window_help.png").colours(0, 60, 1024, 768), 20u) << "the page shows";
    std::string missing;
    EXPECT_TRUE(
        linesInOrder(console.text(), {"navigationAction: ", page, "navigationResponse: ", page}, missing))
        << missing;

    // A response without an address is answered once, refused.
    std::vector<plat::WKNavigationResponsePolicy> answers;
    help->decidePolicyForNavigationResponse(*help->webView,
                                            plat::WKNavigationResponse{std::nullopt, "text/html", true},
                                            plat::WKDecisionHandler<plat::WKNavigationResponsePolicy>(
                                                [&](auto p) { answers.push_back(p); }, "response"));
    EXPECT_EQ(answers, std::vector{plat::WKNavigationResponsePolicy::cancel});
    EXPECT_EQ(console.count("WKWebView:"), 0u);

    ASSERT_TRUE(click(help->buttonExit));
    ASSERT_TRUE(spin([&] { return !screen->presentedViewController(); }));
    help.reset(); // the screen and its web view go; the window lays out without them
    window.setSize({900, 700});
    plat::RunLoop::main().runFor(std::chrono::milliseconds(200));
}

} // namespace

TEST(ApplicationWindow, PlaysThroughTheEmbeddedPanelAndShowsTheHelpPage) {
    fs::create_directories(kShots);
    fs::remove(kShots / "app_window_on_exit.png");
    setenv(plat::UIApplication::kScreenshotVariable, (kShots / "app_window_on_exit.png").c_str(), 1);
    plat::MainQueue::async([] {
        const auto& window = plat::UIApplication::shared().window();
        drive(*window);
        gtk_window_close(GTK_WINDOW(window->nativeWindow())); // as the user closes it
    });
    EXPECT_EQ(plat::UIApplicationMain(0, nullptr, std::nullopt, plat::NSStringFromClass<AppDelegate>()), 0);
    EXPECT_EQ(readPng(kShots / "app_window_on_exit.png").width, 900);
}
