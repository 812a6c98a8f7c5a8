#pragma once
// Child processes waited for within a deadline: one that does not end fails the test that waits,
// saying what it waited for, and is killed, rather than holding the whole run until its time-out.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

// Generous, for busy machines: far beyond what a child of the tests takes (a few seconds), and
// under a test program's own time-out.
inline constexpr double kChildDeadlineSeconds = 60;

// The wait status of the child `pid` once it has ended. If it has not ended within `seconds`, the
// test fails naming `what`, the child is killed (with its process group when it leads one) and -1
// is returned.
inline int waitForChild(pid_t pid, const std::string& what, double seconds = kChildDeadlineSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (int status = 0;;) {
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid) return status;
        if (ended < 0 && errno != EINTR) {
            ADD_FAILURE() << what << " cannot be waited for: " << std::strerror(errno);
            return -1;
        }
        if (std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << what << " did not end within " << seconds << " s, and was killed";
    if (::getpgid(pid) == pid) ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

// What std::system answers for `command`, but within `seconds`: the shell runs in a process group
// of its own, so that on the deadline what it started is killed with it.
inline int runCommand(const std::string& command, double seconds = kChildDeadlineSeconds) {
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::execv("/bin/sh", const_cast<char* const*>(argv));
        ::_exit(127);
    }
    if (pid < 0) return -1;
    ::setpgid(pid, pid); // also here, so that the group is there before a kill may need it
    return waitForChild(pid, "'" + command + "'", seconds);
}
