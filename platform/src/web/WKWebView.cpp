#include "plat/web.h"

#include "WebKitSupport.h"
#include "plat/console.h"

#include <webkit2/webkit2.h>

#include <cmath>

namespace plat {

template <class Policy>
struct WKDecisionHandler<Policy>::State {
    Answer answer;
    std::string question;
    bool answered = false;

    ~State() {
        if (answered) return;
        Console::shared().writeLine("WKWebView: the " + question + " was never answered; it is cancelled");
        if (answer) answer(Policy::cancel);
    }
};

template <class Policy>
WKDecisionHandler<Policy>::WKDecisionHandler(Answer answer, std::string question)
    : state_(std::make_shared<State>()) {
    state_->answer = std::move(answer);
    state_->question = std::move(question);
}

template <class Policy>
void WKDecisionHandler<Policy>::operator()(Policy policy) const {
    if (state_->answered) {
        Console::shared().writeLine("WKWebView: the " + state_->question +
                                    " was answered twice; the second answer is ignored");
        return;
    }
    state_->answered = true;
    if (auto answer = std::move(state_->answer)) answer(policy);
}

template class WKDecisionHandler<WKNavigationActionPolicy>;
template class WKDecisionHandler<WKNavigationResponsePolicy>;

void WKNavigationDelegate::decidePolicyForNavigationAction(
    WKWebView&, const WKNavigationAction&, WKDecisionHandler<WKNavigationActionPolicy> handler) {
    handler(WKNavigationActionPolicy::allow);
}

void WKNavigationDelegate::decidePolicyForNavigationResponse(
    WKWebView&, const WKNavigationResponse&, WKDecisionHandler<WKNavigationResponsePolicy> handler) {
    handler(WKNavigationResponsePolicy::allow);
}

namespace {

WKNavigationType navigationType(WebKitNavigationType type) {
    switch (type) {
    case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED:
        return WKNavigationType::linkActivated;
    case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED:
        return WKNavigationType::formSubmitted;
    case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD:
        return WKNavigationType::backForward;
    case WEBKIT_NAVIGATION_TYPE_RELOAD:
        return WKNavigationType::reload;
    case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED:
        return WKNavigationType::formResubmitted;
    default:
        return WKNavigationType::other;
    }
}

WKNavigationAction navigationAction(WebKitNavigationAction* action, bool hasTargetFrame) {
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    return {webkit::readURL(request ? webkit_uri_request_get_uri(request) : nullptr),
            navigationType(webkit_navigation_action_get_navigation_type(action)), hasTargetFrame};
}

// An answer that holds the WebKit decision until it is given.
template <class Policy>
WKDecisionHandler<Policy> answering(WebKitPolicyDecision* decision, const char* question) {
    webkit::Ref<WebKitPolicyDecision> held(decision);
    return WKDecisionHandler<Policy>(
        [held](Policy policy) {
            if (policy == Policy::allow)
                webkit_policy_decision_use(held.get());
            else
                webkit_policy_decision_ignore(held.get());
        },
        question);
}

} // namespace

struct WKWebView::Impl {
    WKWebView& owner;
    webkit::Ref<GtkWidget> widget;
    std::weak_ptr<WKNavigationDelegate> navigationDelegate;
    std::weak_ptr<WKUIDelegate> uiDelegate;
    guint timeoutSource = 0, failureGuardSource = 0;
    std::string loadingURI;
    // Whether the load we started timed out, and whether its failure has been reported: after a
    // time-out WebKit reports the cancellation late, or not at all when the load had not begun.
    bool timedOut = false, reported = false;
    // From a failure until the next navigation starts, so the failed load's end is not a finish.
    bool failed = false;
    // A failed load is shown by a page of its own, whose load is no navigation of the delegate's. A
    // load asked for while that page is on its way waits for it: started at once, it would be lost
    // when the failure page takes the view.
    enum class FailurePage { none, requested, loading } failurePage = FailurePage::none;
    std::function<void()> waitingLoad;

    explicit Impl(WKWebView& o) : owner(o), widget(webkit::Ref<GtkWidget>::adopt(webkit_web_view_new())) {
        g_signal_connect(widget.get(), "decide-policy", G_CALLBACK(onDecidePolicy), this);
        g_signal_connect(widget.get(), "create", G_CALLBACK(onCreate), this);
        g_signal_connect(widget.get(), "load-changed", G_CALLBACK(onLoadChanged), this);
        g_signal_connect(widget.get(), "load-failed", G_CALLBACK(onLoadFailed), this);
    }

    ~Impl() {
        removeSource(timeoutSource);
        removeSource(failureGuardSource);
        g_signal_handlers_disconnect_by_data(widget.get(), this);
        webkit_web_view_stop_loading(view());
        gtk_widget_destroy(widget.get());
    }

    WebKitWebView* view() const { return WEBKIT_WEB_VIEW(widget.get()); }

    static void removeSource(guint& source) {
        if (source) g_source_remove(source);
        source = 0;
    }

    void begin(std::function<void()> start, double timeoutSeconds, std::string uri) {
        if (failurePage != FailurePage::none) {
            waitingLoad = [this, start = std::move(start), timeoutSeconds, uri = std::move(uri)] {
                begin(start, timeoutSeconds, uri);
            };
            return;
        }
        removeSource(timeoutSource);
        loadingURI = std::move(uri);
        timedOut = reported = false;
        if (timeoutSeconds > 0 && std::isfinite(timeoutSeconds))
            timeoutSource = g_timeout_add(
                guint(std::ceil(std::min(timeoutSeconds * 1000.0, double(G_MAXUINT)))), onTimeout, this);
        start();
    }

    static gboolean onTimeout(gpointer data) {
        auto* self = static_cast<Impl*>(data);
        self->timeoutSource = 0;
        self->timedOut = true;
        webkit_web_view_stop_loading(self->view());
        if (!self->reported) self->fail(false, self->loadingURI.c_str(), {});
        return G_SOURCE_REMOVE;
    }

    void showFailure(const char* failingURI, const Error& e) {
        gchar* text = g_markup_escape_text(e.description.c_str(), -1);
        gchar* where = g_markup_escape_text(failingURI ? failingURI : "", -1);
        const std::string html =
            std::string("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>The page "
                        "cannot be shown</title></head><body style=\"font-family:sans-serif;"
                        "margin:2em\"><h2>The page cannot be shown</h2><p>") +
            text + "</p><p style=\"color:gray\">" + where + "</p></body></html>";
        g_free(text);
        g_free(where);
        failurePage = FailurePage::requested;
        webkit_web_view_load_alternate_html(view(), html.c_str(), failingURI, nullptr);
        // Should the page never arrive, a waiting load still goes ahead; long after the page would
        // have come on a busy machine, since a load let through early is lost to the page.
        removeSource(failureGuardSource);
        failureGuardSource = g_timeout_add(10000, onFailureGuard, this);
    }

    static gboolean onFailureGuard(gpointer data) {
        auto* self = static_cast<Impl*>(data);
        self->failureGuardSource = 0;
        self->failurePageShown();
        return G_SOURCE_REMOVE;
    }

    void failurePageShown() {
        removeSource(failureGuardSource);
        failurePage = FailurePage::none;
        if (auto load = std::exchange(waitingLoad, {})) load();
    }

    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        const auto delegate = self->navigationDelegate.lock();
        if (!delegate) return FALSE; // WebKit's own choice
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
            auto* d = WEBKIT_RESPONSE_POLICY_DECISION(decision);
            WebKitURIResponse* r = webkit_response_policy_decision_get_response(d);
            const char* mime = r ? webkit_uri_response_get_mime_type(r) : nullptr;
            const WKNavigationResponse response{
                webkit::readURL(r ? webkit_uri_response_get_uri(r) : nullptr), mime ? mime : "",
                bool(webkit_response_policy_decision_is_main_frame_main_resource(d))};
            delegate->decidePolicyForNavigationResponse(
                self->owner, response,
                answering<WKNavigationResponsePolicy>(decision, "navigation-response policy"));
            return TRUE;
        }
        auto* d = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
        const auto action = navigationAction(webkit_navigation_policy_decision_get_navigation_action(d),
                                             type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION);
        delegate->decidePolicyForNavigationAction(
            self->owner, action, answering<WKNavigationActionPolicy>(decision, "navigation-action policy"));
        return TRUE;
    }

    static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        if (const auto delegate = self->uiDelegate.lock())
            if (delegate->createWebView(self->owner, navigationAction(action, false)))
                Console::shared().writeLine(
                    "WKWebView: this web view opens no new windows; the request is dropped");
        return nullptr;
    }

    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        if (self->failurePage != FailurePage::none) {
            // The failed load's own late events come first (a timed-out load may even start after
            // its time-out), then the failure page's: of the two, only the page commits.
            if (event == WEBKIT_LOAD_COMMITTED) self->failurePage = FailurePage::loading;
            if (event == WEBKIT_LOAD_FINISHED && self->failurePage == FailurePage::loading)
                self->failurePageShown();
            return;
        }
        if (event == WEBKIT_LOAD_STARTED) self->failed = false;
        if (event == WEBKIT_LOAD_COMMITTED || event == WEBKIT_LOAD_FINISHED)
            removeSource(self->timeoutSource);
        if (event != WEBKIT_LOAD_FINISHED || self->failed) return;
        if (const auto delegate = self->navigationDelegate.lock()) delegate->didFinishNavigation(self->owner);
    }

    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent event, gchar* failingURI, GError* error,
                                 gpointer data) {
        auto* self = static_cast<Impl*>(data);
        if (self->failurePage == FailurePage::loading) {
            self->failurePageShown();
        } else if (self->failurePage == FailurePage::requested) {
            // The failed load's own late end (a timed-out load's cancellation): the failure page is
            // still on its way, and a load asked for meanwhile still waits for it.
        } else if (!(self->timedOut && self->reported)) {
            self->fail(event == WEBKIT_LOAD_COMMITTED, failingURI, webkit::error(error));
        }
        return TRUE;
    }

    void fail(bool committed, const char* failingURI, Error e) {
        removeSource(timeoutSource);
        failed = reported = true;
        if (timedOut) e = {kURLErrorDomain, webkit::kTimedOut, "The request timed out."};
        if (const auto delegate = navigationDelegate.lock()) {
            if (committed)
                delegate->didFailNavigation(owner, e);
            else
                delegate->didFailProvisionalNavigation(owner, e);
        }
        // A load stopped on purpose or by a policy answer leaves the page as it was.
        const bool stopped =
            (e.domain == kURLErrorDomain && e.code == webkit::kCancelled) ||
            (e.domain == kWKErrorDomain && e.code == kWKErrorFrameLoadInterruptedByPolicyChange);
        if (!stopped) showFailure(failingURI, e);
    }
};

Result<std::unique_ptr<WKWebView>> WKWebView::make() {
    if (!gtk_init_check(nullptr, nullptr))
        return Error{kCocoaErrorDomain, 4, "There is no display to show a web view on."};
    return std::unique_ptr<WKWebView>(new WKWebView());
}

WKWebView::WKWebView() : impl_(std::make_unique<Impl>(*this)) {}

WKWebView::~WKWebView() = default;

GtkWidget* WKWebView::widget() const {
    return impl_->widget.get();
}

void WKWebView::setNavigationDelegate(std::weak_ptr<WKNavigationDelegate> delegate) {
    impl_->navigationDelegate = std::move(delegate);
}

void WKWebView::setUIDelegate(std::weak_ptr<WKUIDelegate> delegate) {
    impl_->uiDelegate = std::move(delegate);
}

void WKWebView::load(const URLRequest& request) {
    impl_->begin([view = impl_->view(),
                  uri = request.url.absoluteString()] { webkit_web_view_load_uri(view, uri.c_str()); },
                 request.timeoutInterval, request.url.absoluteString());
}

void WKWebView::loadHTMLString(std::string_view html, const std::optional<URL>& baseURL) {
    impl_->begin(
        [view = impl_->view(), text = std::string(html),
         base = baseURL ? baseURL->absoluteString() : std::string()] {
            webkit_web_view_load_html(view, text.c_str(), base.empty() ? nullptr : base.c_str());
        },
        0, baseURL ? baseURL->absoluteString() : std::string());
}

std::optional<URL> WKWebView::url() const {
    return webkit::readURL(webkit_web_view_get_uri(impl_->view()));
}

std::string WKWebView::title() const {
    const char* t = webkit_web_view_get_title(impl_->view());
    return t ? t : "";
}

} // namespace plat
