#include "HelpViewController.h"

#include "AppConsole.h"

#include "plat/files.h"
#include "plat/uiwindow.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace {

std::filesystem::path shippedHelp() {
    const auto resources = plat::Bundle::main().resourceURL();
    return resources ? resources->filePath() / "help" : std::filesystem::path();
}

} // namespace

std::optional<plat::URL> HelpViewController::helpSiteRoot() {
    auto root = plat::siteRoot(kHelpRootVariable, "yux-help", shippedHelp());
    if (!root) {
        print("HelpViewController: " + shownMessage(root.error().description));
        return std::nullopt;
    }
    return root.value();
}

// The browser is given the site the view shows: a remote root as it was set, a folder of pages
// from its first page.
std::optional<plat::URL> HelpViewController::webSite() {
    const auto root = helpSiteRoot();
    if (!root) return std::nullopt;
    if (const auto folder = plat::servedFolder(*root)) return plat::URL::fileURL(*folder / "index.html");
    return root;
}

HelpViewController::HelpViewController() {
    registerAction("onButtonExit:");
}

void HelpViewController::didReceiveMemoryWarning() {
    UIViewController::didReceiveMemoryWarning();
}

void HelpViewController::loadView() {
    auto root = std::make_shared<plat::UIView>(plat::CGRect{0, 0, 1024, 768});
    root->setBackgroundColor(plat::UIColor{0.12, 0.12, 0.13, 1});

    auto title = std::make_shared<plat::UILabel>(plat::CGRect{16, 10, 400, 36});
    title->setText("YUX Sorvane Help");
    title->setTextColor(plat::UIColor::white());
    title->setFont(plat::UIFont::systemFont(18));
    root->addSubview(title);

    buttonExit = std::make_shared<plat::UIButton>(plat::CGRect{904, 10, 104, 36});
    buttonExit->setTitle("Close");
    std::weak_ptr<HelpViewController> self = std::static_pointer_cast<HelpViewController>(shared_from_this());
    buttonExit->addTarget(
        [self](plat::UIControl& sender) {
            if (auto controller = self.lock()) controller->onButtonExit(&sender);
        },
        plat::UIControlEvents::touchUpInside);
    root->addSubview(buttonExit);

    webHost = std::make_shared<plat::UIView>(plat::CGRect{0, 56, 1024, 712});
    webHost->setBackgroundColor(plat::UIColor::white());
    root->addSubview(webHost);
    plat::NSLayoutConstraint::activate({
        webHost->topAnchor().constraint(root->topAnchor(), 56),
        webHost->leadingAnchor().constraint(root->leadingAnchor()),
        webHost->bottomAnchor().constraint(root->bottomAnchor()),
        webHost->trailingAnchor().constraint(root->trailingAnchor()),
    });

    if (auto made = plat::WKWebView::make()) {
        ownedWebView_ = std::move(made).value();
        webView = ownedWebView_.get();
    } else {
        print("HelpViewController: " + shownMessage(made.error().description));
    }
    setView(root);
}

void HelpViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    if (!webView) return;
    const auto self = shared_from_this();
    webView->setUIDelegate(std::shared_ptr<plat::WKUIDelegate>(self, this));
    webView->setNavigationDelegate(std::shared_ptr<plat::WKNavigationDelegate>(self, this));
}

void HelpViewController::viewWillAppear(bool animated) {
    UIViewController::viewWillAppear(animated);
    if (identifier == "ShowHelp")
        loadHelpPdf();
    else if (identifier == "ShowInfo")
        navigateWeb();
}

void HelpViewController::viewDidAppear(bool animated) {
    UIViewController::viewDidAppear(animated);
    const auto window = webView ? view()->window() : nullptr;
    if (window) window->placeNativeWidget(webView->widget(), webHost);
}

void HelpViewController::onButtonExit(const std::any&) {
    dismiss(true, [] {});
}

void HelpViewController::load(const std::optional<plat::URL>& url) {
    if (webView && url) webView->load(plat::URLRequest{*url, 60});
}

void HelpViewController::loadHelpPdf() {
    if (!webView) return;
    const auto root = helpSiteRoot();
    load(root ? std::optional(root->appendingPathComponent("DYNAMICS", true)) : std::nullopt);
}

void HelpViewController::navigateWeb() {
    if (webView) load(helpSiteRoot());
}

void HelpViewController::loadHelpHtml() {
    const auto resources = plat::Bundle::main().resourceURL();
    const std::filesystem::path path = resources ? resources->filePath() / "help.html" : "help.html";
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        print("The file \"help.html\" couldn't be opened because there is no such file.");
        return;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (webView) webView->loadHTMLString(text.str(), plat::URL::fileURL(path));
}

// ---- web view delegates --------------------------------------------------------------------------

void HelpViewController::decidePolicyForNavigationAction(
    plat::WKWebView&, const plat::WKNavigationAction& action,
    plat::WKDecisionHandler<plat::WKNavigationActionPolicy> decisionHandler) {
    print("navigationAction: ");
    if (action.requestURL) print(action.requestURL->absoluteString());
    decisionHandler(plat::WKNavigationActionPolicy::allow);
}

void HelpViewController::decidePolicyForNavigationResponse(
    plat::WKWebView&, const plat::WKNavigationResponse& response,
    plat::WKDecisionHandler<plat::WKNavigationResponsePolicy> decisionHandler) {
    print("navigationResponse: ");
    if (!response.url) {
        // Nothing can be judged without an address: refused, once.
        decisionHandler(plat::WKNavigationResponsePolicy::cancel);
        return;
    }
    print(response.url->absoluteString());
    std::string extension = response.url->pathExtension();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    const bool shown = extension.empty() || extension == "PDF" || extension == "HTML";
    decisionHandler(shown ? plat::WKNavigationResponsePolicy::allow
                          : plat::WKNavigationResponsePolicy::cancel);
}

plat::WKWebView* HelpViewController::createWebView(plat::WKWebView&, const plat::WKNavigationAction& action) {
    print("createWebViewWith:");
    if (action.requestURL) print(action.requestURL->absoluteString());
    return nullptr;
}
