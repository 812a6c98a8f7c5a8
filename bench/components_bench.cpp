// What loading each plug-in library first in a test process costs at start-up: a registry scans the
// application's PlugIns folder and instantiates the effect, with the first load in a helper process
// (argument 1) and without it (argument 0).
// - BM_FirstStart: each round is a fresh process (this program again) that does it once, so the
//   host's own first load of the plug-in and what it links is in both; this is the start-up cost.
// - BM_ScanAndInstantiate: rounds in this one process. The host opens a library once and never
//   closes it, so from the second round on its own load costs nothing, while the helper loads the
//   library whole every time: the worst ratio, that of a rescan.
#include "plat/components.h"
#include "plat/console.h"

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <future>
#include <string>

extern char** environ;

namespace {

bool scanAndInstantiate(bool probe) {
    const std::filesystem::path plugIns = std::filesystem::path(SORVANE_APP_DIR) / "PlugIns";
    plat::ComponentLoadChecks checks;
    checks.probeLibraries = probe;
    const plat::AudioComponentDescription effect{plat::fourCC("aumf"), plat::fourCC("yuSV"),
                                                 plat::fourCC("KWOB"), 0, 0};
    plat::AVAudioUnitComponentManager registry({plugIns}, checks);
    std::promise<bool> made;
    registry.instantiate(effect, [&](plat::Result<std::shared_ptr<plat::AUAudioUnit>> unit) {
        made.set_value(unit.ok());
    });
    return made.get_future().get();
}

void BM_ScanAndInstantiate(benchmark::State& state) {
    plat::Console::shared().setSink([](std::string_view) {});
    for (auto _ : state) {
        if (!scanAndInstantiate(state.range(0) != 0)) {
            state.SkipWithError("the effect was not instantiated");
            break;
        }
    }
    plat::Console::shared().setSink({});
}

void BM_FirstStart(benchmark::State& state) {
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string flag = "--first-start=" + std::to_string(state.range(0));
    for (auto _ : state) {
        char* argv[] = {self.data(), flag.data(), nullptr};
        pid_t pid = -1;
        int status = -1;
        if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the fresh process did not instantiate the effect");
            break;
        }
    }
}

} // namespace

BENCHMARK(BM_FirstStart)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanAndInstantiate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--first-start=", 14) == 0) {
            plat::Console::shared().setSink([](std::string_view) {});
            const bool made = scanAndInstantiate(std::strcmp(argv[i] + 14, "1") == 0);
            plat::Console::shared().setSink({});
            std::_Exit(made ? 0 : 1); // the unit and the library stay: as at a real start, no teardown
        }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
