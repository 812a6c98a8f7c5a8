// Built into copies of the fixture plug-in that misbehave while the loader runs their
// initialisers: one aborts, one never returns (and leaves its process id beside the bundles, for
// tests that look for the process), two end the process, one waits on standard input, and one
// counts in a file beside the bundles how many copies are being loaded at once.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

void misbehave();

// <folder>/<name>.appex/lib/fixture.so -> <folder>/<file>
[[maybe_unused]] std::string besideBundles(const char* file) {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&misbehave), &info);
    return (std::filesystem::path(info.dli_fname).parent_path().parent_path().parent_path() / file).string();
}

__attribute__((constructor)) void misbehave() {
#if defined(FIXTURE_ABORTS)
    std::abort();
#elif defined(FIXTURE_HANGS)
    const std::string pid = std::to_string(::getpid());
    const std::string file = besideBundles("hanging.pid"), written = file + ".partial";
    const int fd = ::open(written.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0 && ::write(fd, pid.data(), pid.size()) == ssize_t(pid.size()) && ::close(fd) == 0)
        ::rename(written.c_str(), file.c_str());
    for (;;) ::pause();
#elif defined(FIXTURE_EXITS)
    std::exit(0);
#elif defined(FIXTURE_EXITS3)
    std::exit(3);
#elif defined(FIXTURE_READS)
    char c;
    while (::read(0, &c, 1) > 0) {
    }
#elif defined(FIXTURE_COUNTS)
    const int fd = ::open(besideBundles("loading.count").c_str(), O_RDWR | O_CREAT, 0644);
    const auto count = [fd](int step) {
        ::flock(fd, LOCK_EX);
        int now_most[2] = {0, 0};
        (void)!::pread(fd, now_most, sizeof now_most, 0);
        now_most[0] += step;
        now_most[1] = std::max(now_most[1], now_most[0]);
        (void)!::pwrite(fd, now_most, sizeof now_most, 0);
        ::flock(fd, LOCK_UN);
    };
    count(1);
    ::usleep(200 * 1000); // long enough for loads that run at once to overlap
    count(-1);
    ::close(fd);
#endif
}

} // namespace
