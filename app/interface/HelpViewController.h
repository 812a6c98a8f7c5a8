#pragma once
// The help and information screen: one web view showing the help page ("ShowHelp") or the site's
// root ("ShowInfo"). It logs every navigation, lets every action through, takes only responses
// whose path has no extension or a PDF or HTML one, and opens no new windows; each policy question
// is answered exactly once.
//
// The site is configuration (see helpSiteRoot); by default the pages shipped in the application's
// Resources/help are served offline.

#include "plat/uicontrol.h"
#include "plat/uiviewcontroller.h"
#include "plat/web.h"

#include <any>
#include <memory>
#include <optional>
#include <string>

class HelpViewController : public plat::UIViewController,
                           public plat::WKNavigationDelegate,
                           public plat::WKUIDelegate {
public:
    static constexpr const char* kHelpRootVariable = "SORVANE_HELP_ROOT";

    // The help site's root (ending in "/"): SORVANE_HELP_ROOT, else the shipped pages.
    static std::optional<plat::URL> helpSiteRoot();
    // What the browser gets for that site: the remote root itself, or the folder's first page.
    static std::optional<plat::URL> webSite();

    // Declares the exit button's action as the screen's own.
    HelpViewController();

    virtual void prepareInfo(const std::string& which) { identifier = which; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void didReceiveMemoryWarning() override;
    void onButtonExit(const std::any& sender);

    void decidePolicyForNavigationAction(
        plat::WKWebView& webView, const plat::WKNavigationAction& action,
        plat::WKDecisionHandler<plat::WKNavigationActionPolicy> decisionHandler) override;
    void decidePolicyForNavigationResponse(
        plat::WKWebView& webView, const plat::WKNavigationResponse& response,
        plat::WKDecisionHandler<plat::WKNavigationResponsePolicy> decisionHandler) override;
    plat::WKWebView* createWebView(plat::WKWebView& webView, const plat::WKNavigationAction& action) override;

    // ---- outlets (connected by the interface built in loadView) ------------------------------
    // Null when no web view could be made (no display); nothing loads then.
    plat::WKWebView* webView = nullptr;
    std::shared_ptr<plat::UIButton> buttonExit;
    // The view the web view is laid over.
    std::shared_ptr<plat::UIView> webHost;

    const std::string& currentIdentifier() const { return identifier; }

protected:
    void loadView() override;

private:
    void loadHelpPdf();
    void navigateWeb();
    void loadHelpHtml();
    void load(const std::optional<plat::URL>& url);

    std::string identifier = "ShowHelp";
    std::unique_ptr<plat::WKWebView> ownedWebView_;
};
