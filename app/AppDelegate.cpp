#include "AppDelegate.h"

#include "interface/ViewController.h"

#include "plat/dispatch.h"

#include <cstdlib>
#include <string>

bool AppDelegate::didFinishLaunchingWithOptions(plat::UIApplication&,
                                                const plat::UIApplicationLaunchOptions&) {
    if (window_) window_->setMinimumSize(ViewController::minimumSize());
    const char* autoplay = std::getenv(kAutoplayVariable);
    if (!autoplay || std::string(autoplay) != "1" || !window_) return true;
    const auto screen = std::dynamic_pointer_cast<ViewController>(window_->rootViewController());
    if (!screen) return true;
    // Waits for the effect's view (or two seconds, after which the clips play dry), then presses
    // the buttons as a user would.
    int ticks = 0;
    autoplay_ = plat::Timer::scheduled(0.1, true, [screen, ticks](plat::Timer& timer) mutable {
        if (screen->pluginView->subviews().empty() && ++ticks < 20) return;
        timer.invalidate();
        screen->buttonUnit->sendActions(plat::UIControlEvents::touchUpInside);
        screen->playButton->sendActions(plat::UIControlEvents::touchUpInside);
    });
    return true;
}
