#include "WebTestSupport.h"

#include "ConsoleCapture.h"

#include <gdk/gdkx.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

using namespace plat;
using namespace webtest;
namespace fs = std::filesystem;

namespace {

constexpr const char* kRootVariable = "SORVANE_HELP_ROOT";

fs::path scratch(const std::string& name) {
    const auto p = fs::temp_directory_path() / ("web-test-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

fs::path shippedHelp() {
    return fs::path(std::getenv("SORVANE_HELP_DIR"));
}

// A loopback TCP socket: listening (connections are taken but never answered) or closed again, so
// its port refuses.
struct LoopbackPort {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
    explicit LoopbackPort(bool listening) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        bind(fd, reinterpret_cast<sockaddr*>(&a), n);
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        port = ntohs(a.sin_port);
        if (listening) {
            listen(fd, 4);
        } else {
            close(fd);
            fd = -1;
        }
    }
    ~LoopbackPort() {
        if (fd >= 0) close(fd);
    }
    URL url() const { return *URL::string("http://127.0.0.1:" + std::to_string(port) + "/"); }
};

void screenshot(GtkWidget* window, const std::string& name) {
    spinUntil([] { return false; }, 0.5); // let the page paint
    GdkWindow* w = gtk_widget_get_window(window);
    GdkPixbuf* pixels =
        gdk_pixbuf_get_from_window(w, 0, 0, gdk_window_get_width(w), gdk_window_get_height(w));
    ASSERT_NE(pixels, nullptr);
    const fs::path dir = std::getenv("WEB_SCREENSHOTS");
    fs::create_directories(dir);
    EXPECT_TRUE(gdk_pixbuf_save(pixels, (dir / name).c_str(), "png", nullptr, nullptr));
    g_object_unref(pixels);
}

using WebView = WebWindow;

} // namespace

// The help screen's rule (no extension, PDF or HTML) applied through a real view: what the delegate
// allows shows, what it cancels fails by policy, and nothing outside the served folder is served.
TEST_F(WebView, ResponsesReachTheDelegateAndItsAnswerHolds) {
    const auto folder = scratch("site");
    writeFile(folder / "index.html", page("Home"));
    writeFile(folder / "DYNAMICS" / "index.html", page("Dynamics"));
    writeFile(folder / "page.html", page("Page"));
    for (const char* name : {"guide.pdf", "guide.Pdf"})
        writeFile(folder / name,
                  "%PDF-1.1\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj 2 0 obj<</Type/Pages/Kids[]"
                  "/Count 0>>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n");
    for (const char* name : {"page.htm", "image.png", "script.php"}) writeFile(folder / name, page(name));
    // WebKit writes "|" in a path as it is; the delegate must still be given the URL.
    writeFile(folder / "jump.html", "<meta http-equiv=\"refresh\" content=\"0;url=a|b.html\">");
    writeFile(folder / "a|b.html", page("Pipe"));
    writeFile(folder.parent_path() / "web-test-secret.html", page("Secret"));
    fs::create_symlink(folder.parent_path() / "web-test-secret.html", folder / "escape.html");
    setenv(kRootVariable, folder.c_str(), 1);
    const auto root = siteRoot(kRootVariable, "yux-help", shippedHelp());
    ASSERT_TRUE(root.ok());
    recorder->responsePolicy = [](const WKNavigationResponse& r) {
        std::string ext = r.url ? r.url->pathExtension() : "?";
        for (auto& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
        return ext.empty() || ext == "PDF" || ext == "HTML" ? WKNavigationResponsePolicy::allow
                                                            : WKNavigationResponsePolicy::cancel;
    };
    const struct {
        const char* path;
        const char* domain; // nullptr: the page shows
        long code;
    } cases[] = {
        {"", nullptr, 0},                         // directory URL: index page, empty extension
        {"DYNAMICS/", nullptr, 0},                // the same one level down
        {"guide.pdf", nullptr, 0},                // allowed by extension
        {"guide.Pdf", nullptr, 0},                // the extension's case does not matter
        {"page.html", nullptr, 0},                //
        {"page.htm", kWKErrorDomain, 102},        // a cancel that WebKit must obey
        {"image.png", kWKErrorDomain, 102},       //
        {"script.php", kWKErrorDomain, 102},      //
        {"escape.html", kURLErrorDomain, -1100},  // a link out of the folder is not followed
        {"missing.html", kURLErrorDomain, -1100}, //
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const URL url = *URL::string(root->absoluteString() + c.path);
        ASSERT_NO_FATAL_FAILURE(load(url));
        ASSERT_FALSE(recorder->actions.empty());
        EXPECT_EQ(recorder->actions.front().requestURL, url);
        if (c.domain && c.domain == std::string(kWKErrorDomain)) {
            ASSERT_FALSE(recorder->responses.empty());
            EXPECT_EQ(recorder->responses.front().url, url);
        }
        if (!c.domain) {
            EXPECT_FALSE(recorder->failure) << recorder->failure->description;
            continue;
        }
        ASSERT_TRUE(recorder->failure);
        EXPECT_EQ(recorder->failure->domain, c.domain);
        EXPECT_EQ(recorder->failure->code, c.code) << recorder->failure->description;
    }
    recorder->reset();
    web->load(URLRequest{*URL::string(root->absoluteString() + "jump.html")});
    EXPECT_TRUE(spinUntil([&] { return web->title() == "Pipe"; }));
    ASSERT_FALSE(recorder->responses.empty());
    EXPECT_EQ(recorder->responses.back().url, URL::string(root->absoluteString() + "a%7Cb.html"));
    unsetenv(kRootVariable);
}

TEST_F(WebView, ShippedHelpPagesShowOffline) {
    unsetenv(kRootVariable);
    const auto root = siteRoot(kRootVariable, "yux-help", shippedHelp());
    ASSERT_TRUE(root.ok());
    for (const auto& [url, title] :
         {std::pair{*root, "YUX Sorvane"},
          std::pair{root->appendingPathComponent("DYNAMICS", true), "YUX Sorvane: Dynamics"}}) {
        ASSERT_NO_FATAL_FAILURE(load(url));
        EXPECT_FALSE(recorder->failure);
        ASSERT_FALSE(recorder->responses.empty());
        EXPECT_EQ(recorder->responses.front().mimeType, "text/html");
        EXPECT_TRUE(spinUntil([&] { return web->title() == title; })) << web->title();
    }
    screenshot(window, "help-dynamics.png");
}

TEST_F(WebView, UnreachableRootFailsAndTheViewGoesOn) {
    const LoopbackPort refused(false);
    setenv(kRootVariable, refused.url().absoluteString().c_str(), 1);
    const auto root = siteRoot(kRootVariable, "yux-help", shippedHelp());
    unsetenv(kRootVariable);
    ASSERT_EQ(*root, refused.url());
    ASSERT_NO_FATAL_FAILURE(load(root->appendingPathComponent("DYNAMICS", true)));
    ASSERT_TRUE(recorder->failure);
    EXPECT_EQ(recorder->failure->code, -1004) << recorder->failure->description;
    screenshot(window, "help-unreachable.png");
    ASSERT_NO_FATAL_FAILURE(load(*siteRoot(kRootVariable, "yux-help", shippedHelp())));
    EXPECT_FALSE(recorder->failure);
}

// A time-out may come before WebKit has even begun the load (the shorter one) or while it waits.
TEST_F(WebView, RequestTimeoutIsEnforced) {
    const LoopbackPort silent(true);
    for (double timeout : {0.001, 0.3}) {
        SCOPED_TRACE(timeout);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_NO_FATAL_FAILURE(load(silent.url(), timeout));
        ASSERT_TRUE(recorder->failure);
        EXPECT_EQ(recorder->failure->code, -1001) << recorder->failure->description;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
}

TEST_F(WebView, NewWindowRequestIsAskedAndNotFollowed) {
    const auto root = siteRoot(kRootVariable, "yux-help", shippedHelp());
    recorder->reset();
    web->loadHTMLString(
        "<a target=\"_blank\" href=\"DYNAMICS/\" style=\"display:block;height:400px\">new</a>", *root);
    ASSERT_TRUE(spinUntil([&] { return recorder->settled(); }));
    const auto xid = gdk_x11_window_get_xid(gtk_widget_get_window(window));
    const std::string click = "xdotool mousemove --window " + std::to_string(xid) + " 50 50 click 1";
    ASSERT_EQ(std::system(click.c_str()), 0);
    ASSERT_TRUE(spinUntil([&] { return !recorder->newWindows.empty(); }));
    const URL target = root->appendingPathComponent("DYNAMICS", true);
    EXPECT_EQ(recorder->newWindows.front().requestURL, target);
    EXPECT_FALSE(recorder->actions.back().hasTargetFrame);
    spinUntil([] { return false; }, 0.3);
    EXPECT_EQ(web->url(), *root);
}

// Where the window puts the view is where it shows, in either kind of parent.
TEST_F(WebView, FramePlacesTheWidget) {
    GtkWidget* fixed = gtk_fixed_new();
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay), fixed);
    for (GtkWidget* parent : {overlay, fixed}) {
        if (parent == fixed) {
            gtk_container_remove(GTK_CONTAINER(overlay), web->widget());
            gtk_container_add(GTK_CONTAINER(fixed), web->widget());
        }
        web->setFrame({30, 40, 320, 240});
        gtk_widget_show_all(window);
        int x = 0, y = 0, w = 0, h = 0;
        const bool placed = spinUntil([&] {
            gtk_widget_translate_coordinates(web->widget(), overlay, 0, 0, &x, &y);
            w = gtk_widget_get_allocated_width(web->widget()),
            h = gtk_widget_get_allocated_height(web->widget());
            return x == 30 && y == 40 && w == 320 && h == 240;
        });
        EXPECT_TRUE(placed) << x << "," << y << " " << w << "x" << h;
    }
}
