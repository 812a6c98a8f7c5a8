#include "ConsoleCapture.h"
#include "SteppedClockTest.h"

#include "plat/dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Counts its own destruction, to see when a timer lets go of its block.
struct Token {
    explicit Token(std::atomic<int>& gone) : gone_(gone) {}
    ~Token() { ++gone_; }
    std::atomic<int>& gone_;
};

} // namespace

TEST(MainQueue, RunsWorkInOrderAndNeverInline) {
    std::vector<int> order;
    plat::MainQueue::async([&] { order.push_back(1); });
    plat::MainQueue::async([&] {
        order.push_back(2);
        plat::MainQueue::async([&] { order.push_back(4); });
    });
    plat::MainQueue::async([&] { order.push_back(3); });
    EXPECT_TRUE(order.empty());
    plat::RunLoop::main().drain();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(MainQueue, WorkFromOtherThreadsKeepsEachThreadsOrder) {
    std::mutex m;
    std::vector<std::pair<int, int>> seen;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i)
                plat::MainQueue::async([&, t, i] {
                    std::lock_guard<std::mutex> lock(m);
                    seen.emplace_back(t, i);
                });
        });
    for (auto& th : threads) th.join();
    plat::RunLoop::main().drain();
    ASSERT_EQ(seen.size(), 800u);
    int next[4] = {0, 0, 0, 0};
    for (auto [t, i] : seen) EXPECT_EQ(i, next[t]++);
}

TEST(MainQueue, RunUntilWaitsForWorkFromAnotherThread) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        std::this_thread::sleep_for(20ms);
        plat::MainQueue::async([&] { done = true; });
    });
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return done.load(); }, 5s));
    worker.join();
    EXPECT_FALSE(plat::RunLoop::main().runUntil([] { return false; }, 10ms));
}

TEST(SerialQueue, RunsOneItemAtATimeInOrderAndFinishesThemBeforeItGoes) {
    std::vector<int> order;
    std::atomic<int> inside{0};
    bool overlapped = false;
    {
        plat::SerialQueue queue("test.serial");
        for (int i = 0; i < 100; ++i)
            queue.async([&, i] {
                if (++inside > 1) overlapped = true;
                order.push_back(i);
                --inside;
            });
    }
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[std::size_t(i)], i);
}

TEST(SerialQueue, SyncWaitsAndMayBeNestedInItsOwnWork) {
    plat::SerialQueue queue("test.nested");
    int value = 0;
    queue.sync([&] {
        value = 1;
        queue.sync([&] { value = 2; }); // runs at once instead of deadlocking
    });
    EXPECT_EQ(value, 2);
}

TEST(GlobalQueue, RunsWorkOffTheMainThread) {
    std::atomic<int> onMain{0}, ran{0};
    for (int i = 0; i < 16; ++i)
        plat::GlobalQueue::async([&] {
            if (plat::isMainThread()) ++onMain;
            ++ran;
        });
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return ran == 16; }, 5s));
    EXPECT_EQ(onMain.load(), 0);
    EXPECT_TRUE(plat::isMainThread());
}

TEST_F(SteppedClockTest, FirstFireComesOneIntervalAfterScheduling) {
    int fires = 0;
    auto timer = plat::Timer::scheduled(0.1, true, [&](plat::Timer&) { ++fires; });
    tick(0.099);
    EXPECT_EQ(fires, 0);
    tick(0.001);
    EXPECT_EQ(fires, 1);
    tick(0.1);
    EXPECT_EQ(fires, 2);
    timer->invalidate();
    tick(1);
    EXPECT_EQ(fires, 2);
}

TEST_F(SteppedClockTest, MissedFiresCollapseOntoTheOriginalGrid) {
    std::vector<std::int64_t> at;
    auto timer = plat::Timer::scheduled(0.1, true, [&](plat::Timer&) { at.push_back(clock->now().count()); });
    tick(0.35); // three fires missed: one call
    EXPECT_EQ(at.size(), 1u);
    tick(0.04); // 0.39: the grid point 0.4 is not reached yet
    EXPECT_EQ(at.size(), 1u);
    tick(0.01);
    EXPECT_EQ(at.size(), 2u);
    timer->invalidate();
}

TEST_F(SteppedClockTest, NonRepeatingTimerFiresOnceAndLetsGo) {
    std::atomic<int> gone{0};
    int fires = 0;
    auto token = std::make_shared<Token>(gone);
    auto timer = plat::Timer::scheduled(0.01, false, [&, token](plat::Timer&) { ++fires; });
    token.reset();
    tick(0.05);
    EXPECT_EQ(fires, 1);
    EXPECT_FALSE(timer->isValid());
    EXPECT_EQ(gone.load(), 1);
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
}

TEST_F(SteppedClockTest, InvalidatingFromInsideTheBlockKeepsItAliveUntilItReturns) {
    std::atomic<int> gone{0};
    int fires = 0;
    bool aliveAfterInvalidate = false;
    auto token = std::make_shared<Token>(gone);
    std::weak_ptr<Token> watch = token;
    std::shared_ptr<plat::Timer> timer;
    timer = plat::Timer::scheduled(0.01, true, [&, token](plat::Timer& t) {
        ++fires;
        t.invalidate();
        aliveAfterInvalidate = !watch.expired() && token->gone_.load() == 0;
    });
    token.reset();
    tick(0.01);
    tick(0.05);
    EXPECT_EQ(fires, 1);
    EXPECT_TRUE(aliveAfterInvalidate);
    EXPECT_EQ(gone.load(), 1); // released once the block returned
}

TEST_F(SteppedClockTest, NonPositiveIntervalsBecomeATenthOfAMillisecond) {
    int fires = 0;
    auto timer = plat::Timer::scheduled(0, true, [&](plat::Timer&) { ++fires; });
    EXPECT_DOUBLE_EQ(timer->timeInterval(), 0.0001);
    tick(0.00005);
    EXPECT_EQ(fires, 0);
    tick(0.00005);
    EXPECT_EQ(fires, 1);
    timer->invalidate();
    EXPECT_DOUBLE_EQ(plat::Timer::scheduled(-3, false, [](plat::Timer&) {})->timeInterval(), 0.0001);
}

TEST_F(SteppedClockTest, TimersFireOnTheLoopOfTheThreadThatScheduledThem) {
    std::atomic<int> fires{0};
    std::atomic<bool> scheduled{false}, quit{false};
    std::thread worker([&] {
        auto timer = plat::Timer::scheduled(0.5, true, [&](plat::Timer&) { ++fires; });
        scheduled = true;
        plat::RunLoop::current().runUntil([&] { return quit.load(); }, 10s);
        timer->invalidate();
    });
    while (!scheduled) std::this_thread::yield();
    tick(0.5); // wakes the worker's loop
    for (int i = 0; i < 500 && fires == 0; ++i) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(fires.load(), 1);
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u); // not on the main loop
    quit = true;
    clock->advance(0.0);
    worker.join();
}

TEST(Console, NoLineRunsOnBehindARingRecordLeftOpen) {
    ConsoleCapture console;
    auto& shared = plat::Console::shared();
    shared.postFormatted("sent %llu", 1);
    shared.postFormatted("sent %llu\n", 2); // another record
    shared.postFormatted("sent %llu", 3);
    shared.writeLine("value"); // another writer's line
    EXPECT_EQ(console.text(), "sent 1\nsent 2\nsent 3\nvalue\n");
}
