// A run loop with a host turns the host while it waits, and any thread's work wakes it.
#include "plat/dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

namespace {
class CountingHost : public plat::RunLoopHost {
public:
    void wake() override { ++wakes; }
    void poll() override { ++polls; }
    void wait(std::chrono::steady_clock::time_point until) override {
        ++waits;
        std::this_thread::sleep_until(
            std::min(until, std::chrono::steady_clock::now() + std::chrono::milliseconds(1)));
    }
    std::atomic<int> wakes{0}, polls{0}, waits{0};
};

// A toolkit loop as GLib's is: a wake-up stays pending until a wait or a poll takes it, and a poll
// dispatches what is ready, which may stop the run loop, then takes the wake-up that stop sent.
class ToolkitHost : public plat::RunLoopHost {
public:
    void wake() override {
        std::lock_guard<std::mutex> lock(m_);
        woken_ = true;
        cv_.notify_all();
    }
    void poll() override {
        if (auto dispatch = std::exchange(ready, nullptr)) dispatch();
        std::lock_guard<std::mutex> lock(m_);
        woken_ = false;
    }
    void wait(std::chrono::steady_clock::time_point until) override {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_until(lock, until, [&] { return woken_; });
        woken_ = false;
    }
    std::function<void()> ready; // an event source ready at the next poll; the loop's thread

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool woken_ = false;
};
} // namespace

TEST(RunLoopHost, ServesWorkAndWaitsThroughTheHost) {
    std::atomic<bool> done{false};
    std::thread([&] {
        auto host = std::make_shared<CountingHost>();
        auto& loop = plat::RunLoop::current();
        loop.setHost(host);
        std::thread([&loop] { loop.perform([] {}); }).join();
        EXPECT_GE(host->wakes, 1);
        bool ran = false;
        loop.perform([&] { ran = true; });
        loop.runUntil([&] { return ran; }, std::chrono::seconds(1));
        EXPECT_TRUE(ran);
        loop.runFor(std::chrono::milliseconds(5));
        EXPECT_GE(host->waits, 1);
        EXPECT_GE(host->polls, host->waits);
        done = true;
    }).join();
    EXPECT_TRUE(done);
}

// A stop made by an event the host dispatches in its poll (a signal's source when the signal came
// while the loop was busy) ends run(), though the host's poll took the wake-up the stop sent.
TEST(RunLoopHost, AStopFromAnEventDispatchedInThePollEndsTheRun) {
    auto host = std::make_shared<ToolkitHost>();
    std::promise<void> ended;
    auto end = ended.get_future();
    std::thread thread([&] {
        auto& loop = plat::RunLoop::current();
        loop.setHost(host);
        host->ready = [&loop] { loop.stop(); };
        loop.run();
        ended.set_value();
    });
    const bool stopped = end.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    EXPECT_TRUE(stopped) << "run() went on waiting after the stop";
    if (!stopped) host->wake(); // lets it see the stop, so the thread ends
    thread.join();
}
