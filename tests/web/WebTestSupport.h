#pragma once
// A real window under Xvfb with one web view, a delegate that records what the view asks and tells,
// and the GLib main context served by hand (the tests' main loop).

#include "plat/web.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace webtest {

// Serves the main context until pred() holds or `seconds` pass; returns pred()'s last answer.
inline bool spinUntil(const std::function<bool()>& pred, double seconds = 10) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(1000);
    }
    return true;
}

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

inline std::string page(const std::string& title) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title + "</title></head><body>" +
           title + "</body></html>";
}

struct Recorder : plat::WKNavigationDelegate, plat::WKUIDelegate {
    // Answers responses; the default allows them.
    std::function<plat::WKNavigationResponsePolicy(const plat::WKNavigationResponse&)> responsePolicy;
    std::vector<plat::WKNavigationAction> actions, newWindows;
    std::vector<plat::WKNavigationResponse> responses;
    int finished = 0;
    std::optional<plat::Error> failure;

    void decidePolicyForNavigationAction(
        plat::WKWebView&, const plat::WKNavigationAction& action,
        plat::WKDecisionHandler<plat::WKNavigationActionPolicy> handler) override {
        actions.push_back(action);
        handler(plat::WKNavigationActionPolicy::allow);
    }
    void decidePolicyForNavigationResponse(
        plat::WKWebView&, const plat::WKNavigationResponse& response,
        plat::WKDecisionHandler<plat::WKNavigationResponsePolicy> handler) override {
        responses.push_back(response);
        handler(responsePolicy ? responsePolicy(response) : plat::WKNavigationResponsePolicy::allow);
    }
    void didFinishNavigation(plat::WKWebView&) override { ++finished; }
    void didFailProvisionalNavigation(plat::WKWebView&, const plat::Error& e) override { failure = e; }
    void didFailNavigation(plat::WKWebView&, const plat::Error& e) override { failure = e; }
    plat::WKWebView* createWebView(plat::WKWebView&, const plat::WKNavigationAction& action) override {
        newWindows.push_back(action);
        return nullptr;
    }

    void reset() {
        actions.clear(), newWindows.clear(), responses.clear();
        finished = 0;
        failure.reset();
    }
    bool settled() const { return finished > 0 || failure.has_value(); }
};

// A toplevel window holding the web view in an overlay, as the application's window will.
class WebWindow : public ::testing::Test {
protected:
    void SetUp() override {
        auto made = plat::WKWebView::make();
        ASSERT_TRUE(made.ok()) << made.error().description;
        web = std::move(made.value());
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window), 900, 700);
        overlay = gtk_overlay_new();
        gtk_container_add(GTK_CONTAINER(overlay), gtk_drawing_area_new());
        gtk_overlay_add_overlay(GTK_OVERLAY(overlay), web->widget());
        gtk_container_add(GTK_CONTAINER(window), overlay);
        web->setFrame({0, 0, 900, 700});
        web->setNavigationDelegate(recorder);
        web->setUIDelegate(recorder);
        gtk_widget_show_all(window);
    }
    void TearDown() override {
        web.reset();
        if (window) gtk_widget_destroy(window);
    }

    // Loads and waits for the load to finish or fail.
    void load(const plat::URL& url, double timeout = 60) {
        recorder->reset();
        web->load(plat::URLRequest{url, timeout});
        ASSERT_TRUE(spinUntil([&] { return recorder->settled(); })) << url.absoluteString();
    }

    std::unique_ptr<plat::WKWebView> web;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    GtkWidget* window = nullptr;
    GtkWidget* overlay = nullptr;
};

} // namespace webtest
