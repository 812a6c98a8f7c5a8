#pragma once
// Real input for window tests: xdotool, run while the main loop keeps serving the window.

#include "plat/dispatch.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

// Runs xdotool with `args`; true when it succeeded. One still running after a generous wait fails the
// test and is killed.
inline bool xdotool(const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>("xdotool")};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    if (!plat::RunLoop::main().runUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; },
                                        std::chrono::seconds(20))) {
        ADD_FAILURE() << "xdotool " << args.front() << " did not end within 20 s, and was killed";
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
