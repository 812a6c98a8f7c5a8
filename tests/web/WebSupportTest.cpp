#include "WebTestSupport.h"

#include "ConsoleCapture.h"

#include <unistd.h>

#include <cstdlib>

using namespace plat;
using namespace webtest;
namespace fs = std::filesystem;

// A delegate that forgets to answer would hang the load, and one that answers twice would give
// WebKit two decisions: the handler answers exactly once either way, and says so.
TEST(DecisionHandler, AnswersExactlyOnce) {
    const struct {
        int answers;
        WKNavigationResponsePolicy given;
        const char* report;
    } cases[] = {
        {0, WKNavigationResponsePolicy::cancel, "was never answered; it is cancelled"},
        {1, WKNavigationResponsePolicy::allow, nullptr},
        {2, WKNavigationResponsePolicy::allow, "was answered twice; the second answer is ignored"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answers);
        ConsoleCapture console;
        std::vector<WKNavigationResponsePolicy> given;
        {
            WKDecisionHandler<WKNavigationResponsePolicy> handler(
                [&](WKNavigationResponsePolicy p) { given.push_back(p); }, "navigation-response policy");
            const auto copy = handler; // a kept copy is the same question
            for (int i = 0; i < c.answers; ++i)
                (i % 2 ? copy : handler)(i ? WKNavigationResponsePolicy::cancel
                                           : WKNavigationResponsePolicy::allow);
        }
        EXPECT_EQ(given, std::vector{c.given});
        EXPECT_EQ(console.count("WKWebView: the navigation-response policy"), c.report ? 1u : 0u);
        if (c.report) {
            EXPECT_NE(console.text().find(c.report), std::string::npos) << console.text();
        }
    }
}

// A setting that names no usable site is reported and the shipped pages stand in.
TEST(SiteRoot, ComesFromTheEnvironmentOrTheShippedFolder) {
    const fs::path shipped = std::getenv("SORVANE_HELP_DIR");
    const struct {
        const char* value;
        const char* root;
        bool reported;
    } cases[] = {
        {nullptr, "yux-help://bundle/", false},
        {"https://help.example/", "https://help.example/", false},
        {"https://help.example/guide", "yux-help://bundle/", true},
        {"not a place", "yux-help://bundle/", true},
        {"file:///nonexistent-folder/", "yux-help://bundle/", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        ConsoleCapture console;
        if (c.value)
            setenv("SORVANE_HELP_ROOT", c.value, 1);
        else
            unsetenv("SORVANE_HELP_ROOT");
        const auto root = siteRoot("SORVANE_HELP_ROOT", "yux-help", shipped);
        ASSERT_TRUE(root.ok()) << root.error().description;
        EXPECT_EQ(root->absoluteString(), c.root);
        EXPECT_EQ(console.count("the shipped pages are used"), c.reported ? 1u : 0u);
    }
    unsetenv("SORVANE_HELP_ROOT");
    EXPECT_FALSE(serveFolder("http", shipped).ok());
    EXPECT_FALSE(serveFolder("yux-help", shipped / "missing").ok());
}

TEST(OpenURLInBrowser, RunsTheOpenerAndReportsItsFailure) {
    const fs::path dir = fs::temp_directory_path() / ("web-opener-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path record = dir / "opened";
    const struct {
        std::string script; // empty: no such program
        bool ok;
    } cases[] = {
        {"#!/bin/sh\nprintf '%s' \"$1\" > '" + record.string() + "'\n", true},
        {"#!/bin/sh\nexit 3\n", false},
        {"", false},
    };
    const URL url = *URL::string("https://help.example/?a=1&b=2");
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const fs::path opener = dir / ("opener" + std::to_string(i));
        if (!cases[i].script.empty()) {
            writeFile(opener, cases[i].script);
            fs::permissions(opener, fs::perms::owner_all);
        }
        setenv("SORVANE_URL_OPENER", opener.c_str(), 1);
        ConsoleCapture console;
        std::optional<bool> result;
        openURLInBrowser(url, [&](bool ok) { result = ok; });
        EXPECT_FALSE(result) << "the completion comes from the main context, not inline";
        ASSERT_TRUE(spinUntil([&] { return result.has_value(); }));
        EXPECT_EQ(*result, cases[i].ok);
        EXPECT_EQ(console.count("UIApplication: could not open " + url.absoluteString()),
                  cases[i].ok ? 0u : 1u);
    }
    std::ifstream in(record);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), url.absoluteString());
    unsetenv("SORVANE_URL_OPENER");
    fs::remove_all(dir);
}
