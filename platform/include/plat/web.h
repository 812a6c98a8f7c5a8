#pragma once
// Web views over WebKitGTK, pages served from a folder without a network, and opening a URL in the
// user's browser.
//
// A web view asks its delegates what to do with every navigation and every response. Each question
// comes with a decision handler that must be answered exactly once; the handler may be kept and
// answered later. A handler dropped unanswered answers its fallback (cancel), and a second answer is
// ignored; both are reported on the console, because either would hang or confuse the page load.
//
// Everything here runs on the main thread, inside the GLib main context that GTK serves.

#include "plat/error.h"
#include "plat/geometry.h"
#include "plat/net.h"
#include "plat/url.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

typedef struct _GtkWidget GtkWidget;

namespace plat {

enum class WKNavigationActionPolicy { cancel, allow };
enum class WKNavigationResponsePolicy { cancel, allow };
enum class WKNavigationType { linkActivated, formSubmitted, backForward, reload, formResubmitted, other };

struct WKNavigationAction {
    // None when the request carries no URL this library can read.
    std::optional<URL> requestURL;
    WKNavigationType navigationType = WKNavigationType::other;
    // False when the page asks for a new window (the action has no target frame).
    bool hasTargetFrame = true;
};

struct WKNavigationResponse {
    std::optional<URL> url;
    std::string mimeType;
    bool isForMainFrame = true;
};

// The one answer to a policy question. Copies share the answer; see the top of this file.
template <class Policy>
class WKDecisionHandler {
public:
    using Answer = std::function<void(Policy)>;
    // `question` names the question in the console reports.
    WKDecisionHandler(Answer answer, std::string question);

    void operator()(Policy policy) const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

extern template class WKDecisionHandler<WKNavigationActionPolicy>;
extern template class WKDecisionHandler<WKNavigationResponsePolicy>;

class WKWebView;

// Defaults allow every action and every response.
class WKNavigationDelegate {
public:
    virtual ~WKNavigationDelegate() = default;
    virtual void decidePolicyForNavigationAction(WKWebView& webView, const WKNavigationAction& action,
                                                 WKDecisionHandler<WKNavigationActionPolicy> decisionHandler);
    virtual void
    decidePolicyForNavigationResponse(WKWebView& webView, const WKNavigationResponse& response,
                                      WKDecisionHandler<WKNavigationResponsePolicy> decisionHandler);
    virtual void didFinishNavigation(WKWebView& /*webView*/) {}
    // The load failed before the page was committed (unreachable host, time-out, cancelled policy)...
    virtual void didFailProvisionalNavigation(WKWebView& /*webView*/, const Error& /*error*/) {}
    // ...or after it.
    virtual void didFailNavigation(WKWebView& /*webView*/, const Error& /*error*/) {}
};

class WKUIDelegate {
public:
    virtual ~WKUIDelegate() = default;
    // A page asks for a new window. This library opens none: any answer but no view is reported and
    // treated as no view, so nothing opens.
    virtual WKWebView* createWebView(WKWebView& /*webView*/, const WKNavigationAction& /*action*/) {
        return nullptr;
    }
};

// Errors in WebKit's own domain: a load stopped by a policy answer, or content it cannot show.
inline constexpr const char* kWKErrorDomain = "WebKitErrorDomain";
inline constexpr long kWKErrorFrameLoadInterruptedByPolicyChange = 102;

class WKWebView {
public:
    // Fails when there is no window system to show a web view on (GTK cannot open a display).
    static Result<std::unique_ptr<WKWebView>> make();
    ~WKWebView();
    WKWebView(const WKWebView&) = delete;
    WKWebView& operator=(const WKWebView&) = delete;

    // The view's widget, owned by the web view, for a window to place (UIWindow::placeNativeWidget).
    GtkWidget* widget() const;

    // Held weakly, as the views they serve usually belong to them. Without a navigation delegate
    // WebKit decides for itself.
    void setNavigationDelegate(std::weak_ptr<WKNavigationDelegate> delegate);
    void setUIDelegate(std::weak_ptr<WKUIDelegate> delegate);

    // A load that has not received its response within the request's timeout fails with
    // kURLErrorDomain -1001. A failed load shows a page that says why, unless it was cancelled or
    // stopped by a policy answer, which leaves the page as it was.
    void load(const URLRequest& request);
    // Relative references in `html` resolve against `baseURL`.
    void loadHTMLString(std::string_view html, const std::optional<URL>& baseURL);

    std::optional<URL> url() const;
    std::string title() const;

private:
    WKWebView();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Serves the files under `folder` to every web view of this process at "<scheme>://bundle/<path>",
// without a network, and returns that root URL. A path naming a folder serves the folder's
// index.html; nothing outside `folder` is ever served. Calling it again for a scheme points the
// scheme at the new folder. The scheme must be a lower-case name that is not one WebKit handles itself.
Result<URL> serveFolder(std::string_view scheme, const std::filesystem::path& folder);
// The folder that a root serveFolder returned is served from; nothing for any other URL.
std::optional<std::filesystem::path> servedFolder(const URL& root);

// The root URL of a site that may live on the network or ship with the program: the value of the
// environment variable `variable` when it is set (an absolute URL ending in "/", or a local folder
// given by path or file URL, which is then served under `scheme`), else `shippedFolder` served under
// `scheme`. A value that is neither is reported (once while it stays set) and the shipped folder is
// used.
Result<URL> siteRoot(const char* variable, std::string_view scheme,
                     const std::filesystem::path& shippedFolder);

// Opens `url` in the user's browser by running the URL opener (xdg-open, or the program named in
// SORVANE_URL_OPENER) without a shell. The completion, if any, runs on the main context once the
// opener has finished, with whether it succeeded; a failure is also reported on the console.
void openURLInBrowser(const URL& url, std::function<void(bool)> completion = {});

} // namespace plat
