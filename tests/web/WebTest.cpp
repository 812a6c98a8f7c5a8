// The web area through a real WebKit view in a window under Xvfb, with the GLib main context served
// by hand (the tests' main loop), and its offline and configuration helpers.

#include "plat/web.h"

#include "ChildProcess.h"
#include "ConsoleCapture.h"
#include "ScratchFolder.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

// Last: X11 names would clash with the test framework's.
#include <gdk/gdkx.h>

using namespace plat;
namespace fs = std::filesystem;

namespace {

// Serves the main context until pred() holds or `seconds` pass; returns pred()'s last answer.
bool spinUntil(const std::function<bool()>& pred, double seconds = 30) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!pred() && std::chrono::steady_clock::now() < end) {
        while (g_main_context_iteration(nullptr, FALSE)) continue;
        g_usleep(1000);
    }
    return pred();
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// Allows every action and every response but images.
struct Recorder : WKNavigationDelegate, WKUIDelegate {
    std::vector<WKNavigationAction> actions, newWindows;
    std::vector<WKNavigationResponse> responses;
    bool finished = false;
    std::optional<Error> failure;

    void decidePolicyForNavigationAction(WKWebView&, const WKNavigationAction& action,
                                         WKDecisionHandler<WKNavigationActionPolicy> answer) override {
        actions.push_back(action);
        answer(WKNavigationActionPolicy::allow);
    }
    void decidePolicyForNavigationResponse(WKWebView&, const WKNavigationResponse& response,
                                           WKDecisionHandler<WKNavigationResponsePolicy> answer) override {
        responses.push_back(response);
        answer(response.url && response.url->pathExtension() == "png" ? WKNavigationResponsePolicy::cancel
                                                                      : WKNavigationResponsePolicy::allow);
    }
    void didFinishNavigation(WKWebView&) override { finished = true; }
    void didFailProvisionalNavigation(WKWebView&, const Error& e) override { failure = e; }
    void didFailNavigation(WKWebView&, const Error& e) override { failure = e; }
    WKWebView* createWebView(WKWebView&, const WKNavigationAction& action) override {
        newWindows.push_back(action);
        return nullptr;
    }
};

class WebView : public ::testing::Test {
protected:
    void SetUp() override {
        auto made = WKWebView::make();
        ASSERT_TRUE(made.ok()) << made.error().description;
        web = std::move(made.value());
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window), 900, 700);
        gtk_container_add(GTK_CONTAINER(window), web->widget());
        web->setNavigationDelegate(recorder);
        web->setUIDelegate(recorder);
        gtk_widget_show_all(window);
    }
    void TearDown() override {
        web.reset();
        gtk_widget_destroy(window);
    }

    // Loads and waits until the load finishes or fails.
    void load(const URL& url, double timeout = 60) {
        *recorder = {};
        web->load(URLRequest{url, timeout});
        ASSERT_TRUE(spinUntil([&] { return recorder->finished || recorder->failure; }))
            << url.absoluteString();
    }

    std::unique_ptr<WKWebView> web;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    GtkWidget* window = nullptr;
};

constexpr const char* kRoot = "SORVANE_HELP_ROOT";

Result<URL> helpRoot(const char* value = nullptr) {
    value ? setenv(kRoot, value, 1) : unsetenv(kRoot);
    auto root = siteRoot(kRoot, "yux-help", std::getenv("SORVANE_HELP_DIR"));
    unsetenv(kRoot);
    return root;
}

// A loopback port that takes connections and never answers, or, closed again, refuses them.
struct LoopbackPort {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    explicit LoopbackPort(bool listening) {
        socklen_t n = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), n);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &n);
        listening ? listen(fd, 4) : close(std::exchange(fd, -1));
    }
    ~LoopbackPort() {
        if (fd >= 0) close(fd);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/"; }
};

// The temporary folder (one of the tests' own) holds at the end what it held at the start: every
// test removes what it made there, also when it fails.
class NothingLeftInTheTemporaryFolder : public ::testing::Environment {
public:
    void SetUp() override { before = listing(); }
    void TearDown() override { EXPECT_EQ(listing(), before) << fs::temp_directory_path(); }

private:
    static std::set<fs::path> listing() {
        std::set<fs::path> names;
        for (const auto& entry : fs::directory_iterator(fs::temp_directory_path()))
            names.insert(entry.path().filename());
        return names;
    }
    std::set<fs::path> before;
};

[[maybe_unused]] const auto* const nothingLeft =
    ::testing::AddGlobalTestEnvironment(new NothingLeftInTheTemporaryFolder);

} // namespace

// A served folder through a real view: what the delegate allows shows, what it cancels fails by
// policy, and nothing outside the folder is served.
TEST_F(WebView, ResponsesReachTheDelegateAndItsAnswerHolds) {
    const ScratchFolder scratch;
    const fs::path folder = scratch.path() / "site";
    for (const char* name : {"index.html", "DYNAMICS/index.html", "image.png"})
        writeFile(folder / name, std::string("<!DOCTYPE html><title>") + name + "</title>");
    writeFile(folder / "guide.pdf", "%PDF-1.1\n%%EOF\n");
    writeFile(folder.parent_path() / "web-secret.html", "Secret");
    fs::create_symlink(folder.parent_path() / "web-secret.html", folder / "escape.html");
    // WebKit writes a "|" in a path as it is; the delegate must still be given the URL.
    writeFile(folder / "jump.html", "<meta http-equiv=\"refresh\" content=\"0;url=a|b.html\">");
    writeFile(folder / "a|b.html", "<title>Pipe</title>");
    const auto root = helpRoot(folder.c_str());
    ASSERT_TRUE(root.ok());
    const std::tuple<const char*, const char*, long> cases[] = {
        // path, error domain (none: shows), code
        {"", nullptr, 0},                         // a folder serves its index page
        {"DYNAMICS/", nullptr, 0},                //
        {"guide.pdf", nullptr, 0},                //
        {"image.png", kWKErrorDomain, 102},       // a cancel WebKit must obey
        {"escape.html", kURLErrorDomain, -1100},  // a link out of the folder is not followed
        {"missing.html", kURLErrorDomain, -1100}, // (right after a failure: not lost to its page)
    };
    for (const auto& [path, domain, code] : cases) {
        SCOPED_TRACE(path);
        const URL url = *URL::string(root->absoluteString() + path);
        ASSERT_NO_FATAL_FAILURE(load(url));
        ASSERT_FALSE(recorder->actions.empty());
        EXPECT_EQ(recorder->actions.front().requestURL, url);
        ASSERT_EQ(recorder->failure.has_value(), domain != nullptr);
        if (!domain) continue;
        EXPECT_EQ(recorder->failure->domain, domain);
        EXPECT_EQ(recorder->failure->code, code) << recorder->failure->description;
    }
    ASSERT_NO_FATAL_FAILURE(load(*URL::string(root->absoluteString() + "jump.html")));
    EXPECT_TRUE(spinUntil([&] { return web->title() == "Pipe"; }));
    EXPECT_EQ(recorder->responses.back().url, URL::string(root->absoluteString() + "a%7Cb.html"));
}

// A site that refuses the connection (a page says so), or takes it and never answers (a time-out may
// come before WebKit has even begun the load, or while it waits), fails with its reason; the view
// goes on.
TEST_F(WebView, UnreachableSitesFailAndTheViewGoesOn) {
    const LoopbackPort refused(false), silent(true);
    const std::tuple<std::string, double, long> cases[] = {// URL, time-out, code
                                                           {refused.url() + "DYNAMICS/", 60, -1004},
                                                           {silent.url(), 0.001, -1001},
                                                           {silent.url(), 0.3, -1001}};
    for (const auto& [url, timeout, code] : cases) {
        SCOPED_TRACE(timeout);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_NO_FATAL_FAILURE(load(*URL::string(url), timeout));
        ASSERT_TRUE(recorder->failure);
        EXPECT_EQ(recorder->failure->code, code) << recorder->failure->description;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        const bool page =
            code != -1004 || spinUntil([&] { return web->title() == "The page cannot be shown"; });
        EXPECT_TRUE(page) << "the view says why";
        ASSERT_NO_FATAL_FAILURE(load(*helpRoot()));
        EXPECT_FALSE(recorder->failure);
    }
}

TEST_F(WebView, NewWindowRequestIsAskedAndNotFollowed) {
    const auto root = helpRoot();
    web->loadHTMLString(
        "<a target=\"_blank\" href=\"DYNAMICS/\" style=\"display:block;height:400px\">new</a>", *root);
    ASSERT_TRUE(spinUntil([&] { return recorder->finished; }));
    const auto xid = gdk_x11_window_get_xid(gtk_widget_get_window(window));
    ASSERT_EQ(runCommand("xdotool mousemove --window " + std::to_string(xid) + " 50 50 click 1"), 0);
    ASSERT_TRUE(spinUntil([&] { return !recorder->newWindows.empty(); }));
    EXPECT_EQ(recorder->newWindows.front().requestURL, root->appendingPathComponent("DYNAMICS", true));
    EXPECT_EQ(recorder->newWindows.front().navigationType, WKNavigationType::linkActivated);
    EXPECT_FALSE(recorder->actions.back().hasTargetFrame);
    EXPECT_EQ(web->url(), *root);
}

// A delegate that forgets to answer would hang the load, and one that answers twice would give
// WebKit two decisions: the handler answers exactly once either way, and says so.
TEST(DecisionHandler, AnswersExactlyOnce) {
    using P = WKNavigationResponsePolicy;
    const std::tuple<int, P, const char*> cases[] = {
        // answers, the one given, the report
        {0, P::cancel, "policy was never answered; it is cancelled"},
        {1, P::allow, nullptr},
        {2, P::allow, "policy was answered twice; the second answer is ignored"},
    };
    for (const auto& [answers, one, report] : cases) {
        SCOPED_TRACE(answers);
        ConsoleCapture console;
        std::vector<P> given;
        {
            WKDecisionHandler<P> handler([&](P p) { given.push_back(p); }, "navigation-response policy");
            const auto kept = handler; // a kept copy is the same question
            for (int i = 0; i < answers; ++i) (i ? kept : handler)(i ? P::cancel : P::allow);
        }
        EXPECT_EQ(given, std::vector{one});
        EXPECT_EQ(console.count(report ? report : "WKWebView"), report ? 1u : 0u) << console.text();
    }
}

// A setting that names no usable site is reported and the shipped pages stand in.
TEST(SiteRoot, ComesFromTheEnvironmentOrTheShippedFolder) {
    const fs::path shipped = std::getenv("SORVANE_HELP_DIR");
    const std::pair<const char*, const char*> cases[] = {
        // setting, root (none: the shipped pages)
        {nullptr, "yux-help://bundle/"},
        {"https://help.example/", "https://help.example/"},
        {"https://help.example/guide", nullptr}, // not a folder of the site
        {"not a place", nullptr},
        {"file:///nonexistent-folder/", nullptr},
    };
    for (const auto& [value, wanted] : cases) {
        SCOPED_TRACE(value ? value : "(unset)");
        ConsoleCapture console;
        const auto root = helpRoot(value);
        ASSERT_TRUE(root.ok()) << root.error().description;
        EXPECT_EQ(root->absoluteString(), wanted ? wanted : "yux-help://bundle/");
        EXPECT_EQ(console.count("the shipped pages are used"), wanted ? 0u : 1u);
    }
    EXPECT_FALSE(serveFolder("http", shipped).ok());
}

TEST(SiteRoot, ARefusedRootIsToldItsOwnReasonAndShownEscapedAndShortened) {
    // A root past the length a URL may have ends in "/" all the same: it must not be told it does not.
    const std::string longRoot = "https://help.example/" + std::string(100 * 1024, 'a') + "\x1b[2J/";
    const std::pair<std::string, std::string> cases[] = {
        {longRoot,
         "is longer than a URL may be (" + std::to_string(longRoot.size()) + " bytes, at most 65536)"},
        {"/" + std::string(5000, 'f') + "/", "is a path longer than 4095 bytes"},
        {"https://help.example/guide", "is a URL that does not end in \"/\""},
        {"not a place\x1b[2J/", "is neither a URL nor a folder's path"},
        {"file:///nonexistent-folder/", "names no folder of pages"},
    };
    for (const auto& [value, reason] : cases) {
        SCOPED_TRACE(value.substr(0, 40));
        ConsoleCapture console;
        const auto root = helpRoot(value.c_str());
        ASSERT_TRUE(root.ok()) << root.error().description;
        EXPECT_EQ(root->absoluteString(), "yux-help://bundle/");
        const std::string text = console.text();
        EXPECT_EQ(console.count(std::string("SORVANE_HELP_ROOT ") + reason + " ("), 1u)
            << text.substr(0, 300);
        EXPECT_EQ(console.count("does not end in"), value.ends_with('/') ? 0u : 1u);
        EXPECT_EQ(text.find('\x1b'), std::string::npos);
        EXPECT_LT(text.size(), 2048u); // the value is shortened in the line
    }
}

TEST(OpenURLInBrowser, RunsTheOpenerAndReportsItsFailure) {
    const ScratchFolder scratch;
    const fs::path& dir = scratch.path();
    const URL url = *URL::string("https://help.example/?a=1&b=2");
    const std::pair<std::string, bool> cases[] = {
        {"printf '%s' \"$1\" > '" + (dir / "opened").string() + "'", true},
        {"exit 3", false},
        {"", false},
        {"exec grep '^Sig[BI]' /proc/self/status > '" + (dir / "signals").string() + "'", true}};
    // As the application ignores SIGXFSZ; the opener must start with nothing ignored or blocked.
    const auto ignored = std::signal(SIGXFSZ, SIG_IGN);
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const auto& [script, ok] = cases[i];
        const fs::path opener = dir / ("opener" + std::to_string(i)); // none without a script
        if (!script.empty()) writeFile(opener, "#!/bin/sh\n" + script + "\n");
        if (!script.empty()) fs::permissions(opener, fs::perms::owner_all);
        setenv("SORVANE_URL_OPENER", opener.c_str(), 1);
        ConsoleCapture console;
        std::optional<bool> result;
        openURLInBrowser(url, [&](bool opened) { result = opened; });
        EXPECT_FALSE(result) << "the outcome comes from the main context, never inline";
        ASSERT_TRUE(spinUntil([&] { return result.has_value(); }));
        EXPECT_EQ(*result, ok);
        EXPECT_EQ(console.count("UIApplication: could not open " + url.absoluteString()), ok ? 0u : 1u);
    }
    unsetenv("SORVANE_URL_OPENER");
    std::signal(SIGXFSZ, ignored);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    std::ifstream in(dir / "opened"), signals(dir / "signals");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), url.absoluteString());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(signals), {}),
              "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
}
