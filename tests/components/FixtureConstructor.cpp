// Built into copies of the fixture plug-in that misbehave while the loader runs their
// initialisers: one aborts, one never returns.
#include <unistd.h>

#include <cstdlib>

namespace {

__attribute__((constructor)) void misbehave() {
#if defined(FIXTURE_ABORTS)
    std::abort();
#elif defined(FIXTURE_HANGS)
    for (;;) ::pause();
#endif
}

} // namespace
