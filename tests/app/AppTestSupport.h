#pragma once
// Shared pieces of the application's tests: the effect made through its record, a delegate that
// records what the engine player tells it, and an engine player rendered offline.

#include "AUEnginePlayer.h"
#include "ChildProcess.h"
#include "ConsoleCapture.h"
#include "RawText.h"
#include "ScratchFolder.h"

#include "plat/components.h"
#include "plat/dispatch.h"

#include <cairo.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

using Channels = std::vector<std::vector<float>>;

// Serves the main loop until `done` holds; generous, for busy machines.
inline bool spin(const std::function<bool()>& done, double seconds = 30) {
    return plat::RunLoop::main().runUntil(done, std::chrono::milliseconds(long(seconds * 1000)));
}

// An instance of the effect, through the plug-in's registration record only; none, and the test
// failed, when the registry does not deliver one within a generous wait.
inline std::shared_ptr<plat::AVAudioUnit> makeEffect() {
    static plat::AVAudioUnitComponentManager registry({fs::path(SORVANE_APP_DIR) / "PlugIns"});
    // Shared with the callback, which may still come after the wait has given up.
    auto made = std::make_shared<std::promise<plat::Result<std::shared_ptr<plat::AUAudioUnit>>>>();
    auto delivered = made->get_future();
    registry.instantiate(plat::AudioComponentDescription{plat::fourCC("aumf"), plat::fourCC("yuSV"),
                                                         plat::fourCC("KWOB"), 2, 0},
                         [made](auto unit) { made->set_value(std::move(unit)); });
    if (delivered.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "the registry delivered no instance of the effect within 60 s";
        return nullptr;
    }
    auto unit = delivered.get();
    EXPECT_TRUE(unit.ok());
    return unit.ok() ? std::make_shared<plat::AVAudioUnit>(unit.value()) : nullptr;
}

inline fs::path appClip(int number) {
    return fs::path(SORVANE_APP_DIR) / "Resources" / (std::to_string(number) + ".m4a");
}

inline Channels decoded(const fs::path& clip) {
    return plat::AVAudioFile::forReading(plat::URL::fileURL(clip)).value()->samples()->channels;
}

struct PlayerRecorder : AUEnginePlayerDelegate {
    std::vector<bool> states;
    std::vector<long> loops;
    std::vector<std::string> files;
    void onPlayerStateChanged(bool playing) override { states.push_back(playing); }
    void onFileSelect(const std::string& file) override { files.push_back(file); }
    void onLoop(long count) override { loops.push_back(count); }
};

// An engine player whose clips come from `clips` in the order drawn, rendered on this thread.
struct OfflinePlayer {
    static constexpr std::uint32_t kBlock = 512;

    // Manual rendering unless an output is given.
    explicit OfflinePlayer(fs::path clips, std::vector<int> draws,
                           std::optional<plat::AudioOutputConfiguration> output = std::nullopt,
                           decltype(AUEnginePlayer::Configuration::openClip) openClip = {})
        : player(std::make_shared<AUEnginePlayer>(AUEnginePlayer::Configuration{
              output.value_or(plat::AudioOutputConfiguration{}), std::move(clips),
              [draws, next = std::size_t(0)]() mutable { return draws[next++ % draws.size()]; },
              std::move(openClip)})) {
        player->delegate = recorder;
        if (!output) {
            EXPECT_TRUE(
                player->audioEngine().enableManualRenderingMode(plat::AVAudioFormat(48000, 2), kBlock).ok());
        }
    }
    ~OfflinePlayer() {
        spin([] { return plat::RunLoop::main().drain() == 0; });
    }

    Channels render(std::size_t frames) {
        Channels out(2);
        auto buffer = plat::AVAudioPCMBuffer::make(plat::AVAudioFormat(48000, 2), kBlock);
        for (std::size_t done = 0; done < frames; done += kBlock) {
            EXPECT_TRUE(player->audioEngine().renderOffline(kBlock, *buffer).ok());
            for (std::uint32_t c = 0; c < 2; ++c)
                out[c].insert(out[c].end(), buffer->channel(c), buffer->channel(c) + kBlock);
        }
        return out;
    }

    std::shared_ptr<PlayerRecorder> recorder = std::make_shared<PlayerRecorder>();
    std::shared_ptr<AUEnginePlayer> player;
};

// The pixels of a PNG file (0xAARRGGBB, row by row); none when it cannot be read as one.
struct Png {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    // Distinct colours inside the rectangle.
    std::size_t colours(int x0, int y0, int x1, int y1) const {
        std::set<std::uint32_t> seen;
        for (int y = y0; y < std::min(y1, height); ++y)
            for (int x = x0; x < std::min(x1, width); ++x) seen.insert(pixels[std::size_t(y * width + x)]);
        return seen.size();
    }
};

inline Png readPng(const fs::path& path) {
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    Png png;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        cairo_surface_flush(surface);
        png.width = cairo_image_surface_get_width(surface);
        png.height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < png.height; ++y)
            for (int x = 0; x < png.width; ++x)
                png.pixels.push_back(reinterpret_cast<const std::uint32_t*>(data + y * stride)[x]);
    }
    cairo_surface_destroy(surface);
    return png;
}

// Whether `line` is the one `pattern` gives; a trailing '*' matches any rest of the line.
inline bool lineMatches(std::string_view line, std::string_view pattern) {
    return pattern.ends_with('*') ? line.starts_with(pattern.substr(0, pattern.size() - 1)) : line == pattern;
}

// Whether the wanted lines appear in `text` in this order (patterns as lineMatches() takes them);
// the first one missing is reported through `missing`.
inline bool linesInOrder(const std::string& text, const std::vector<std::string>& wanted,
                         std::string& missing) {
    std::istringstream in(text);
    std::size_t next = 0;
    for (std::string line; next < wanted.size() && std::getline(in, line);)
        if (lineMatches(line, wanted[next])) ++next;
    if (next < wanted.size()) missing = wanted[next];
    return next == wanted.size();
}

// The lines of `text` that one of the `watched` patterns gives, in their order; everything else
// printed meanwhile (the plug-in's own lines, the platform's) is left out.
inline std::vector<std::string> watchedLines(const std::string& text,
                                             const std::vector<std::string>& watched) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (std::any_of(watched.begin(), watched.end(), [&](const auto& w) { return lineMatches(line, w); }))
            lines.push_back(line);
    return lines;
}

// Whether `lines` are, one for one, what the `wanted` patterns give; if not, both lists.
inline ::testing::AssertionResult sameLines(const std::vector<std::string>& lines,
                                            const std::vector<std::string>& wanted) {
    if (lines.size() == wanted.size() && std::equal(lines.begin(), lines.end(), wanted.begin(), lineMatches))
        return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "printed:\n";
    for (const auto& l : lines) failure << "  " << l << "\n";
    failure << "wanted:\n";
    for (const auto& w : wanted) failure << "  " << w << "\n";
    return failure;
}

inline std::string readAll(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// A running application program. Its standard output and error reach the log file through a pipe
// that a thread of the test drains, so a file-size limit on the program never cuts its log short.
// A process the program started may hold the pipe open after the program has ended: the thread is
// then told to stop rather than waited for without end.
struct Launched {
    struct LogState {
        std::atomic<bool> closed{false}, stop{false};
    };
    pid_t pid = -1;
    std::thread log;
    std::shared_ptr<LogState> logState = std::make_shared<LogState>();
    Launched() = default;
    Launched(Launched&& other) noexcept
        : pid(std::exchange(other.pid, -1)), log(std::move(other.log)), logState(std::move(other.logState)) {}
    ~Launched() {
        if (pid > 0) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
        finishLog(5);
    }
    // Whether the program's output closed within `seconds` (the log is then complete); the thread
    // that wrote the log has ended either way.
    bool finishLog(double seconds) {
        if (!log.joinable()) return true; // finished before, or moved away
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!logState->closed && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const bool closed = logState->closed;
        logState->stop = true;
        if (log.joinable()) log.join();
        return closed;
    }
};

// Where a shell finds a program named without a folder: in the first folder of the PATH in
// `environment` that holds it.
inline fs::path onPath(const fs::path& program, const std::vector<std::string>& environment) {
    if (program.has_parent_path()) return program;
    const auto path = std::find_if(environment.begin(), environment.end(),
                                   [](const auto& entry) { return entry.starts_with("PATH="); });
    std::istringstream folders(path == environment.end() ? "" : path->substr(5));
    for (std::string folder; std::getline(folders, folder, ':');)
        if (::access((fs::path(folder) / program).c_str(), X_OK) == 0) return fs::path(folder) / program;
    return program;
}

// Starts the application program with these variables set (an empty value unsets one) and its
// standard output and error in `log`, by the name `startedAs` (argv[0]; its path unless given) with
// `arguments` after it. A program
// named without a folder is looked up in PATH, as a shell does. A file-size limit is set as `ulimit
// -f` sets it, SIGXFSZ left to the program (which makes its writes beyond that size fail as on a
// full disk). A limit of processes (and threads) is set for a user of its own that the program runs
// as, so that it counts the program's alone; only root can give it one. The child only makes
// async-signal-safe calls before it runs the program.
inline Launched launchApp(const fs::path& program,
                          const std::vector<std::pair<std::string, std::string>>& variables,
                          const fs::path& log, rlim_t fileSizeLimit = RLIM_INFINITY,
                          std::string startedAs = {}, std::vector<std::string> arguments = {},
                          rlim_t processLimit = RLIM_INFINITY) {
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const bool replaced = std::any_of(variables.begin(), variables.end(),
                                          [&](const auto& v) { return entry.starts_with(v.first + "="); });
        if (!replaced) environment.push_back(entry);
    }
    for (const auto& [name, value] : variables)
        if (!value.empty()) environment.push_back(name + "=" + value);
    const fs::path file = onPath(program, environment);
    if (startedAs.empty()) startedAs = program;
    std::vector<char*> envp, argv{startedAs.data()};
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    int pipe[2];
    Launched launched;
    const auto user = uid_t(2'000'000'000u + unsigned(::getpid()) % 1'000'000u);
    // Emptied before the program starts, so that a caller watching it never reads an earlier run's.
    std::ofstream(log, std::ios::binary | std::ios::trunc);
    if (::pipe2(pipe, O_CLOEXEC) != 0) return launched;
    launched.pid = ::fork();
    if (launched.pid == 0) {
        ::dup2(pipe[1], 1);
        ::dup2(pipe[1], 2);
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_DFL);
        if (processLimit != RLIM_INFINITY) {
            const rlimit processes{processLimit, processLimit};
            if (::setrlimit(RLIMIT_NPROC, &processes) != 0 || ::setgroups(0, nullptr) != 0 ||
                ::setgid(user) != 0 || ::setuid(user) != 0)
                ::_exit(126);
        }
        ::execve(file.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(pipe[1]);
    launched.log = std::thread([from = pipe[0], log, state = launched.logState] {
        std::ofstream out(log, std::ios::binary);
        char buffer[4096];
        for (pollfd ready{from, POLLIN, 0}; !state->stop;) {
            if (::poll(&ready, 1, 50) <= 0) continue;
            const ssize_t n = ::read(from, buffer, sizeof buffer);
            if (n > 0)
                out.write(buffer, n), out.flush();
            else if (n == 0 || errno != EINTR)
                break;
        }
        ::close(from);
        state->closed = true;
    });
    return launched;
}

// Polls `done` until it holds; generous, for busy machines.
inline bool eventually(const std::function<bool()>& done, double seconds = 60) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The wait status of the program once it has ended, its log complete; -1, the program killed and
// the test failed, when it does not end.
inline int ended(Launched& app, double seconds = 60) {
    const int status =
        waitForChild(app.pid, "the application program (pid " + std::to_string(app.pid) + ")", seconds);
    app.pid = -1;
    EXPECT_TRUE(app.finishLog(30))
        << "the application program's output stayed open 30 s after it ended: a process it started holds it";
    return status;
}

inline std::uintmax_t sizeOf(const fs::path& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : size;
}
