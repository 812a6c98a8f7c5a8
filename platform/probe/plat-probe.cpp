// Loads a plug-in library in a process of its own, so that a library which crashes, hangs or ends
// the process while it is loaded takes only this process down: opens it, as the host would, and
// looks up its entry symbol.
//
//   plat-probe <library> <entry symbol> <host's process id>
//
// The outcome goes to the host as one byte written to descriptor 3, a pipe, once the library is
// open; the exit status alone proves nothing, since a library's initialiser may call exit itself:
//   '0'  the library opened and has the symbol
//   '3'  the loader refused the library cleanly (the host will say why when it loads it)
//   '4'  the symbol is missing
// No byte means the library took the process down (or the arguments were wrong: status 2).
// Standard input is the host's, so an initialiser that waits on it here waits as it would there.
#include <dlfcn.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <initializer_list>
#include <string>

namespace {

constexpr int kVerdict = 3;

[[noreturn]] void finish(char verdict) {
    while (::write(kVerdict, &verdict, 1) < 0 && errno == EINTR) {
    }
    std::_Exit(0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    // Ends with the host: a library that spins must not keep a core busy after the host is gone.
    // The host may have ended before this took effect; then the parent is another process.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (std::to_string(::getppid()) != argv[3]) return 2;
    // A crash must show as the signal it is, not as a sanitizer's report and exit status.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, SIG_DFL);
    void* handle = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!handle) finish('3');
    finish(dlsym(handle, argv[2]) ? '0' : '4');
}
