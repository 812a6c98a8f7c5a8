// democlips <folder>: synthesises the demonstration clips and writes them as 1.m4a, 2.m4a ...
// into the folder. Clips are independent, so a few workers share them; each clip's samples
// depend only on its number, so the files are the same whatever the order of work.
#include "Clips.h"
#include "Dsp.h"
#include "M4aWriter.h"
#include "Master.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <xmmintrin.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

constexpr unsigned kMaxWorkers = 4;
constexpr unsigned kFlushDenormals = 0x8040;

std::mutex reportLock;

void report(const std::string& message) {
    std::lock_guard lock(reportLock);
    std::fprintf(stderr, "democlips: %s\n", message.c_str());
}

bool makeClip(size_t index, const std::filesystem::path& folder) {
    using namespace democlips;
    const std::string name = std::to_string(index + 1) + ".m4a";
    try {
        const Clip& clip = clips()[index];
        Score score(clip.setting, index + 1);
        clip.compose(score);
        StereoBuffer audio = score.render();
        master(audio);
        std::string error;
        if (writeM4a((folder / name).string(), audio, int(kRate), error, kAacFrame)) return true;
        report(error);
    } catch (const std::exception& e) {
        report(name + ": " + e.what());
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: democlips <output folder>\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        report("cannot create " + folder.string() + ": " + ec.message());
        return 1;
    }
    av_log_set_level(AV_LOG_ERROR);

    const size_t count = democlips::clips().size();
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        _mm_setcsr(_mm_getcsr() | kFlushDenormals);
        for (size_t i = next++; i < count; i = next++)
            if (!makeClip(i, folder)) failed = true;
    };
    std::vector<std::thread> workers;
    const unsigned n = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxWorkers);
    for (unsigned i = 0; i < n; ++i) workers.emplace_back(work);
    for (auto& w : workers) w.join();
    return failed ? 1 : 0;
}
