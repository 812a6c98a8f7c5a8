// The check at start that a recording and a screenshot name different files, in a take's folder
// that holds N numbered links ("s-1.wav" ... "s-N.wav", as a folder of numbered samples does): each
// link's number is a take the check tries, so its cost grows with the folder's entries.
#include "plat/engine.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

void BM_RecordingAndScreenshotChecked_NumberedLinks(benchmark::State& state) {
    const auto links = int(state.range(0));
    const fs::path folder = fs::temp_directory_path() / ("sorvane-bench-links-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    for (int n = 1; n <= links; ++n)
        fs::create_symlink("sample.wav", folder / ("s-" + std::to_string(n) + ".wav"));
    const auto output = plat::AudioOutputConfiguration::parse("wav:" + (folder / "take.wav").string());
    const fs::path shot = folder / "shot.png";
    for (auto _ : state) benchmark::DoNotOptimize(output->wouldWrite(shot));
    fs::remove_all(folder);
}

} // namespace

BENCHMARK(BM_RecordingAndScreenshotChecked_NumberedLinks)
    ->Arg(0)
    ->Arg(999)
    ->Arg(3000)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
