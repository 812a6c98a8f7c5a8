#pragma once
// The application's delegate: it accepts the launch and does nothing else; everything the
// application does starts when the main screen has loaded.
//
// Two additions: the window gets the main screen's minimum size, and, for unattended runs, with
// SORVANE_AUTOPLAY=1 the unit and play buttons are pressed as soon as the effect's view is in the
// main screen.

#include "plat/uiapplication.h"

#include <memory>

class AppDelegate : public plat::UIApplicationDelegate {
public:
    static constexpr const char* kAutoplayVariable = "SORVANE_AUTOPLAY";

    AppDelegate() = default;

    std::shared_ptr<plat::UIWindow> window() const override { return window_; }
    void setWindow(std::shared_ptr<plat::UIWindow> window) override { window_ = std::move(window); }

    bool didFinishLaunchingWithOptions(plat::UIApplication& application,
                                       const plat::UIApplicationLaunchOptions& options) override;
    void applicationWillResignActive(plat::UIApplication&) override {}
    void applicationDidEnterBackground(plat::UIApplication&) override {}
    void applicationWillEnterForeground(plat::UIApplication&) override {}
    void applicationDidBecomeActive(plat::UIApplication&) override {}
    void applicationWillTerminate(plat::UIApplication&) override {}

private:
    std::shared_ptr<plat::UIWindow> window_;
    std::shared_ptr<plat::Timer> autoplay_;
};
