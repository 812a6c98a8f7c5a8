// A run loop with a host turns the host while it waits, and any thread's work wakes it.
#include "plat/dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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
