#include "plat/web.h"

#include "plat/console.h"

#include <glib.h>

#include <csignal>
#include <cstdlib>

namespace plat {

namespace {

struct Opening {
    std::string url;
    std::function<void(bool)> completion;

    void finish(bool ok, const std::string& reason) {
        if (!ok)
            Console::shared().writeLine("UIApplication: could not open " + shownText(url) + ": " +
                                        shownText(reason));
        if (completion) completion(ok);
    }
};

void openerExited(GPid pid, gint status, gpointer data) {
    std::unique_ptr<Opening> opening(static_cast<Opening*>(data));
    g_spawn_close_pid(pid);
    GError* error = nullptr;
    const bool ok = g_spawn_check_wait_status(status, &error);
    opening->finish(ok, error ? error->message : "");
    if (error) g_error_free(error);
}

// The browser gets the signal dispositions a program starts with, not this process's: nothing
// blocked, nothing ignored (the application ignores SIGXFSZ). Runs between fork and exec.
void defaultSignals(gpointer) {
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    for (int signo = 1; signo < NSIG; ++signo) sigaction(signo, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

} // namespace

void openURLInBrowser(const URL& url, std::function<void(bool)> completion) {
    const char* opener = std::getenv("SORVANE_URL_OPENER");
    std::string program = opener && *opener ? opener : "xdg-open";
    auto opening = std::make_unique<Opening>(Opening{url.absoluteString(), std::move(completion)});
    // A URL always starts with its scheme, so the opener never takes it for an option.
    char* argv[] = {program.data(), opening->url.data(), nullptr};
    GPid pid = 0;
    GError* error = nullptr;
    if (g_spawn_async(nullptr, argv, nullptr, GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                      defaultSignals, nullptr, &pid, &error)) {
        g_child_watch_add(pid, openerExited, opening.release());
        return;
    }
    // Reported from the main context like every other outcome, never before this call returns.
    struct Failed {
        std::unique_ptr<Opening> opening;
        std::string reason;
    };
    auto* failed = new Failed{std::move(opening), error->message};
    g_error_free(error);
    g_idle_add(
        [](gpointer data) -> gboolean {
            std::unique_ptr<Failed> f(static_cast<Failed*>(data));
            f->opening->finish(false, f->reason);
            return G_SOURCE_REMOVE;
        },
        failed);
}

} // namespace plat
