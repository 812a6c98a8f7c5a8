#pragma once
// The application: its one object, its delegate, and the entry that runs it.
//
// UIApplicationMain makes the delegate from its class name, opens the window (on screen through
// GTK, or headless when told to or when there is no display), fills it with the initial controller
// of the main storyboard that the bundle's Info.plist names (UIMainStoryboardFile), tells the
// delegate, and serves the main run loop until the application ends. The GLib main context is the
// loop's host, so toolkit events, web views, child processes and main-queue work share one loop.
//
// How the application runs is configuration, read from the environment at launch:
//   SORVANE_HEADLESS=1          no window: the view tree renders off screen
//   SORVANE_RUN_SECONDS=<s>     the application ends after that many seconds
//   SORVANE_SCREENSHOT=<png>    the window is written there as the application ends (through a
//                               link; anything but a regular file there is left alone and fails the run)
// Main thread only.

#include "plat/uiwindow.h"
#include "plat/url.h"

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <typeinfo>

namespace plat {

class UIApplication;

using UIApplicationLaunchOptions = std::map<std::string, std::any>;
using UIApplicationOpenURLOptions = std::map<std::string, std::any>;

class UIApplicationDelegate {
public:
    virtual ~UIApplicationDelegate() = default;

    // The application's window, given to the delegate once the window exists.
    virtual std::shared_ptr<UIWindow> window() const { return nullptr; }
    virtual void setWindow(std::shared_ptr<UIWindow> window) { (void)window; }

    virtual bool didFinishLaunchingWithOptions(UIApplication& application,
                                               const UIApplicationLaunchOptions& options) {
        (void)application, (void)options;
        return true;
    }
    virtual void applicationDidBecomeActive(UIApplication&) {}
    virtual void applicationWillResignActive(UIApplication&) {}
    virtual void applicationDidEnterBackground(UIApplication&) {}
    virtual void applicationWillEnterForeground(UIApplication&) {}
    virtual void applicationWillTerminate(UIApplication&) {}
};

class UIApplication : public UIResponder {
public:
    static constexpr const char* kHeadlessVariable = "SORVANE_HEADLESS";
    static constexpr const char* kRunSecondsVariable = "SORVANE_RUN_SECONDS";
    static constexpr const char* kScreenshotVariable = "SORVANE_SCREENSHOT";

    // The one application of the process; it lives until the process ends.
    static UIApplication& shared();

    const std::shared_ptr<UIApplicationDelegate>& delegate() const { return delegate_; }
    const std::shared_ptr<UIWindow>& window() const { return window_; }

    // Opens the URL in the user's browser; the completion (if any) runs on the main queue with
    // whether it worked. A failure is also reported on the console.
    void open(const URL& url, const UIApplicationOpenURLOptions& options = {},
              std::function<void(bool)> completion = {});

    // Memory pressure: from the first call on, GLib's memory monitor is watched, and each warning it
    // raises reaches didReceiveMemoryWarning of every live view controller, on the main thread
    // through the main queue. The application starts it as it runs. Main thread.
    void watchMemoryPressure();
    // Raises a low-memory warning through that monitor, as the system does. Any thread.
    void simulateMemoryWarning();

    // Ends the application: the delegate is told, the screenshot (if asked for) is written, and
    // UIApplicationMain returns.
    void terminate();

    // Ends the process at once, from any thread, for what the run cannot go on from (the display
    // lost, memory or threads run out, an exception that nothing caught; once the application runs,
    // each of these ends here): one line gives the cause, the audio outputs are finished (a
    // recording put in place, or a line says where its sound is kept) and the exit status is 1.
    // The first cause is the one told; another thread that ends meanwhile waits for it.
    [[noreturn]] static void endAtOnce(const std::string& cause);

    UIApplication(const UIApplication&) = delete;
    UIApplication& operator=(const UIApplication&) = delete;

private:
    friend int UIApplicationMain(int, char**, const std::optional<std::string>&, const std::string&);
    UIApplication() = default;
    int run(const std::string& delegateClassName);

    std::shared_ptr<UIApplicationDelegate> delegate_;
    std::shared_ptr<UIWindow> window_;
    bool running_ = false;
    bool terminating_ = false;
    int status_ = 0; // 1 once a screenshot asked for could not be written
};

// Declares a stored interface (what a storyboard file is elsewhere) by the name the bundle's
// Info.plist gives it: how its initial view controller is made.
class UIStoryboard {
public:
    using InitialViewController = std::function<std::shared_ptr<UIViewController>()>;
    static bool declare(const std::string& name, InitialViewController initial);
    // Nothing when no storyboard of that name was declared.
    static std::optional<UIStoryboard> named(const std::string& name);

    std::shared_ptr<UIViewController> instantiateInitialViewController() const;

private:
    explicit UIStoryboard(InitialViewController initial) : initial_(std::move(initial)) {}
    InitialViewController initial_;
};

namespace application_detail {
using DelegateFactory = std::function<std::shared_ptr<UIApplicationDelegate>()>;
std::string registerDelegateClass(const std::type_info& type, DelegateFactory make);
} // namespace application_detail

// The run-time name of a delegate class, which UIApplicationMain can then make by that name.
template <class Delegate>
std::string NSStringFromClass() {
    static_assert(std::is_base_of_v<UIApplicationDelegate, Delegate>, "an application delegate class");
    return application_detail::registerDelegateClass(typeid(Delegate),
                                                     [] { return std::make_shared<Delegate>(); });
}

// Runs the application; returns its exit status once it ends (0, or 1 when the screenshot asked for
// could not be written) or, when it cannot start (an unknown delegate or principal class), 1 with
// the reason on the console. Call it once, from main.
int UIApplicationMain(int argc, char** argv, const std::optional<std::string>& principalClassName,
                      const std::string& delegateClassName);

} // namespace plat
