// Loads a plug-in library in a process of its own, so that a library which crashes or hangs while
// it is loaded takes only this process down: opens it, as the host would, and looks up its entry
// symbol. The host reads the outcome from the exit status alone:
//   0  the library opened and has the symbol
//   3  the loader refused the library cleanly (the host will say why when it loads it)
//   4  the symbol is missing
//   2  wrong arguments
// A signal or any other status means the library took the process down.
#include <dlfcn.h>

#include <csignal>
#include <cstdlib>
#include <initializer_list>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    // A crash must show as the signal it is, not as a sanitizer's report and exit status.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, SIG_DFL);
    void* handle = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!handle) std::_Exit(3);
    std::_Exit(dlsym(handle, argv[2]) ? 0 : 4);
}
