#include "plat/uiapplication.h"

#include "WindowBackend.h"
#include "plat/console.h"
#include "plat/dispatch.h"
#include "plat/engine.h"
#include "plat/files.h"
#include "plat/web.h"

#include <cxxabi.h>
#include <glib.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

namespace plat {

namespace {

constexpr CGSize kWindowSize{1024, 768};

void say(const std::string& line) {
    Console::shared().writeLine("UIApplication: " + line);
}

template <class Value>
std::map<std::string, Value>& registry() {
    static auto* entries = new std::map<std::string, Value>;
    return *entries;
}

std::mutex& registryMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

bool truthy(const std::string& value) {
    return value == "1" || value == "true" || value == "yes" || value == "YES";
}

std::string infoString(const char* key) {
    if (const auto* value = Bundle::main().infoDictionary().find(key))
        if (const auto* text = value->asString()) return *text;
    return {};
}

// Set aside as the application starts and given back as it ends at once, so that what finishing
// the outputs and telling the cause take is there when memory has run out.
constexpr std::size_t kReserveBytes = 4 << 20;
std::atomic<void*> reserve{nullptr};

void giveBackReserve() {
    std::free(reserve.exchange(nullptr));
}

std::atomic<bool> endingAtOnce{false};
thread_local bool endingOnThisThread = false;

[[noreturn]] void endOnUncaughtException() {
    giveBackReserve();
    std::string cause = "The program was stopped by an error it could not handle.";
    if (const auto exception = std::current_exception()) {
        try {
            std::rethrow_exception(exception);
        } catch (const std::bad_alloc&) {
            cause = "Out of memory.";
        } catch (const std::exception& e) {
            cause = e.what();
        } catch (...) {
        }
    }
    UIApplication::endAtOnce(cause);
}

// GLib ends the process on an error of its own (a thread of its it could not start, say) once its
// log writer has told it, without a word of ours and with the take unfinished: the run ends here
// instead. Everything else GLib logs goes out as it always did.
GLogWriterOutput writeGLibLog(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data) {
    if (level & G_LOG_LEVEL_ERROR) {
        std::string message = "GLib stopped the program.";
        for (gsize i = 0; i < count; ++i)
            if (std::strcmp(fields[i].key, "MESSAGE") == 0 && fields[i].value)
                message = fields[i].length < 0 ? std::string(static_cast<const char*>(fields[i].value))
                                               : std::string(static_cast<const char*>(fields[i].value),
                                                             std::size_t(fields[i].length));
        UIApplication::endAtOnce(message);
    }
    return g_log_writer_default(level, fields, count, data);
}

} // namespace

// ---- classes by name ---------------------------------------------------------------------------

std::string application_detail::registerDelegateClass(const std::type_info& type, DelegateFactory make) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : type.name();
    std::free(demangled);
    std::lock_guard<std::mutex> lock(registryMutex());
    registry<DelegateFactory>()[name] = std::move(make);
    return name;
}

bool UIStoryboard::declare(const std::string& name, InitialViewController initial) {
    std::lock_guard<std::mutex> lock(registryMutex());
    registry<InitialViewController>()[name] = std::move(initial);
    return true;
}

std::optional<UIStoryboard> UIStoryboard::named(const std::string& name) {
    std::lock_guard<std::mutex> lock(registryMutex());
    const auto& all = registry<InitialViewController>();
    const auto it = all.find(name);
    if (it == all.end() || !it->second) return std::nullopt;
    return UIStoryboard(it->second);
}

std::shared_ptr<UIViewController> UIStoryboard::instantiateInitialViewController() const {
    return initial_();
}

// ---- the application ---------------------------------------------------------------------------

UIApplication& UIApplication::shared() {
    // Never destroyed: what the application holds stays reachable until the process is gone.
    static auto* application = new UIApplication;
    return *application;
}

void UIApplication::open(const URL& url, const UIApplicationOpenURLOptions&,
                         std::function<void(bool)> completion) {
    openURLInBrowser(url, [completion = std::move(completion)](bool opened) {
        if (completion) MainQueue::async([completion, opened] { completion(opened); });
    });
}

void UIApplication::terminate() {
    if (!running_ || terminating_) return;
    terminating_ = true;
    if (delegate_) {
        delegate_->applicationWillResignActive(*this);
        delegate_->applicationDidEnterBackground(*this);
        delegate_->applicationWillTerminate(*this);
    }
    if (const auto path = environment(kScreenshotVariable); path && window_) {
        const auto target = replaceableFile(*path); // as every save: through a link, only over a file
        std::string error = target.ok() ? "" : target.error().description;
        if (target.ok() && window_->writeScreenshot(target->string(), &error)) {
            say("the window was written to " + shownText(*path));
        } else {
            say("the window could not be written: " + shownMessage(error));
            status_ = 1;
        }
    }
    RunLoop::main().stop();
}

void UIApplication::endAtOnce(const std::string& cause) {
    if (endingAtOnce.exchange(true)) {
        if (endingOnThisThread) ::_exit(1); // finishing failed in its turn
        // Bounded: a thread that finishing waits for may be this one.
        std::this_thread::sleep_for(std::chrono::seconds(30));
        ::_exit(1);
    }
    endingOnThisThread = true;
    giveBackReserve();
    say("the application ends: " + shownMessage(cause));
    AVAudioEngine::finishOutputs();
    Console::shared().flush();
    ::_exit(1);
}

int UIApplication::run(const std::string& delegateClassName) {
    if (!reserve) reserve = std::malloc(kReserveBytes);
    std::set_terminate(endOnUncaughtException);
    // Once: GLib refuses a second writer.
    [[maybe_unused]] static const bool glibLogsHere =
        (g_log_set_writer_func(writeGLibLog, nullptr, nullptr), true);
    // Its storyboard, name and clips are all found through its bundle: without one it cannot start.
    if (const Bundle& bundle = Bundle::main(); bundle.infoDictionary().empty()) {
        say("no application bundle was found for the program " + shownText(bundle.executableURL().path()) +
            ": " + shownText((bundle.bundleURL().filePath() / "Info.plist").string()) + " cannot be read");
        return 1;
    }
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        const auto& classes = registry<application_detail::DelegateFactory>();
        const auto it = classes.find(delegateClassName);
        if (it == classes.end()) {
            say("there is no application delegate class '" + delegateClassName + "'");
            return 1;
        }
        delegate_ = it->second();
    }
    serveGLibMainContext();
    watchMemoryPressure();

    std::string title = infoString("CFBundleDisplayName");
    if (title.empty()) title = infoString("CFBundleName");
    if (title.empty()) title = Bundle::main().executableURL().lastPathComponent();
    const auto headless = environment(kHeadlessVariable);
    if (headless && truthy(*headless)) {
        window_ = UIWindow::makeHeadless(kWindowSize);
    } else if (auto made = UIWindow::makeOnScreen(kWindowSize, title)) {
        window_ = made.value();
    } else {
        say(shownMessage(made.error().description) + " Running without a window.");
        window_ = UIWindow::makeHeadless(kWindowSize);
    }
    window_->onClose = [this] { terminate(); };
    delegate_->setWindow(window_);

    const std::string storyboardName = infoString("UIMainStoryboardFile");
    if (const auto storyboard = UIStoryboard::named(storyboardName))
        window_->setRootViewController(storyboard->instantiateInitialViewController());
    else
        say("there is no main storyboard named '" + shownText(storyboardName) + "'");

    running_ = true;
    delegate_->didFinishLaunchingWithOptions(*this, {});
    window_->makeKeyAndVisible();
    delegate_->applicationDidBecomeActive(*this);

    std::shared_ptr<Timer> deadline;
    if (const auto seconds = environment(kRunSecondsVariable)) {
        char* end = nullptr;
        const double s = std::strtod(seconds->c_str(), &end);
        if (end && *end == '\0' && std::isfinite(s) && s > 0)
            deadline = Timer::scheduled(s, false, [this](Timer&) { terminate(); });
        else
            say(std::string(kRunSecondsVariable) + " is not a number of seconds (" + shownText(*seconds) +
                "); the application runs until it is closed");
    }
    RunLoop::main().run();
    if (deadline) deadline->invalidate();
    Console::shared().flush();
    return status_;
}

int UIApplicationMain(int argc, char** argv, const std::optional<std::string>& principalClassName,
                      const std::string& delegateClassName) {
    (void)argc, (void)argv;
    if (principalClassName && *principalClassName != "UIApplication") {
        say("there is no application class '" + *principalClassName + "'");
        return 1;
    }
    if (!isMainThread()) {
        say("the application runs on the main thread only");
        return 1;
    }
    return UIApplication::shared().run(delegateClassName);
}

} // namespace plat
