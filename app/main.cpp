// The container application's entry: the platform's application loop with AppDelegate.
//
// SIGINT, SIGTERM and SIGHUP end the application as closing its window does, so a recording is
// finished and put in place and the screenshot written. GLib turns each signal into a source on the
// main loop: nothing runs in the handler itself. The exit status is then 128 + the signal's number,
// as a shell reports a program the signal ended, unless an output failed (1). A file-size limit
// (ulimit -f) fails the write that passes it, as a full disk does, rather than ending the program
// with SIGXFSZ: the take and the screenshot then end as their failures are reported.
#include "AppConsole.h"
#include "AppDelegate.h"

#include "plat/engine.h"
#include "plat/uiapplication.h"

#include <glib-unix.h>

#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace {

// The libraries the program is linked with start before main. Under a tight limit of address space
// (ulimit -v) or processes (ulimit -u) one of them can find no room for the memory it reserves, or
// no thread it starts, and stop the process with an illegal instruction, which would end it without
// a word. Until main runs, such a stop says why.
void startStopped(int) {
    static constexpr char line[] = "YUX_Sorvane: the program could not start: a library it is linked with "
                                   "stopped while it was loaded (is the address space or the number of "
                                   "processes limited? ulimit -v, ulimit -u)\n";
    [[maybe_unused]] const auto written = ::write(STDOUT_FILENO, line, sizeof line - 1);
    ::_exit(1);
}

void watchTheStart(int, char**, char**) {
    struct sigaction action {};
    action.sa_handler = startStopped;
    ::sigaction(SIGILL, &action, nullptr);
}

// Run before any library's own start-up code.
[[gnu::used, gnu::section(".preinit_array")]] void (*const watchStart)(int, char**, char**) = watchTheStart;

int endingSignal = 0;

gboolean endOnSignal(gpointer signo) {
    if (endingSignal == 0) endingSignal = GPOINTER_TO_INT(signo);
    plat::UIApplication::shared().terminate();
    return G_SOURCE_CONTINUE;
}

// A take (any of the run's, or the file it is written as until it is finished) and the window's
// picture saved to one file would replace each other: the run is refused before either is made.
bool recordingAndScreenshotClash() {
    using Output = plat::AudioOutputConfiguration;
    const char* output = std::getenv(Output::kEnvironmentVariable);
    const char* shot = std::getenv(plat::UIApplication::kScreenshotVariable);
    const auto configuration = Output::fromEnvironment();
    if (!shot || !*shot || !configuration.ok() || !configuration->wouldWrite(shot)) return false;
    print("ERROR: " + std::string(Output::kEnvironmentVariable) + " ('" + shown(output) + "') and " +
          plat::UIApplication::kScreenshotVariable + " ('" + shown(shot) +
          "') name one file; nothing is recorded and no screenshot is written.");
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    std::signal(SIGILL, SIG_DFL);
    if (recordingAndScreenshotClash()) return 1;
    std::signal(SIGXFSZ, SIG_IGN);
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) g_unix_signal_add(signo, endOnSignal, GINT_TO_POINTER(signo));
    const int status =
        plat::UIApplicationMain(argc, argv, std::nullopt, plat::NSStringFromClass<AppDelegate>());
    // A screenshot that could not be written has made `status` 1; a recording that could not be
    // started or written whole fails the run too.
    if (!plat::AVAudioEngine::finishOutputs() || status != 0) return 1;
    return endingSignal != 0 ? 128 + endingSignal : 0;
}
