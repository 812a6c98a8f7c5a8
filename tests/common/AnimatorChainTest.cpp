#include "AnimatorChain.h"
#include "TestSupport.h"

#include <vector>

namespace {

struct Chain {
    std::shared_ptr<AnimatorChain> chain = std::make_shared<AnimatorChain>();
    std::vector<std::shared_ptr<Animator>> items;
    std::vector<int> visited;    // index of the item onAnimation reported, per tick
    std::vector<int> finishedAt; // tick numbers of every onFinished
    int tickNo = 0;

    explicit Chain(int count, int frames = 2) {
        for (int i = 0; i < count; ++i) {
            items.push_back(std::make_shared<Animator>(0, 1, frames));
            chain->add(items.back());
        }
        chain->onAnimation = [this](AnimatorChain&, const std::shared_ptr<Animator>& a) {
            for (std::size_t i = 0; i < items.size(); ++i)
                if (items[i] == a) visited.push_back(int(i));
        };
        chain->onFinished = [this](AnimatorChain&) { finishedAt.push_back(tickNo); };
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) {
            ++tickNo;
            chain->animate();
        }
    }
};

using AnimatorChainTimer = SteppedClockTest;

} // namespace

TEST(AnimatorChain, PlaysItemsOneAfterAnotherForwards) {
    Chain c(3);
    c.ticks(9);
    EXPECT_EQ(c.visited, (std::vector<int>{0, 0, 0, 1, 1, 1, 2, 2, 2}));
    EXPECT_EQ(c.finishedAt, std::vector<int>{9});
    EXPECT_EQ(c.chain->getCurrentIndex(), 0);
    for (const auto& a : c.items) EXPECT_TRUE(a->isFinished());
}

TEST(AnimatorChain, BackwardsFromRestPlaysItemZeroAndFinishes) {
    Chain c(3);
    c.chain->setBackwards(true);
    c.ticks(3);
    EXPECT_EQ(c.visited, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(c.finishedAt, std::vector<int>{3});
}

TEST(AnimatorChain, BackwardWalkReachesItemZero) {
    Chain c(4);
    c.ticks(7); // items 0 and 1 done, item 2 has had its first step
    c.chain->setBackwards(true);
    c.ticks(4); // a walk that stopped early would be restarted by these ticks: it must finish once
    EXPECT_EQ(c.visited, (std::vector<int>{0, 0, 0, 1, 1, 1, 2, 2, 2, 1, 0}));
    EXPECT_EQ(c.finishedAt, std::vector<int>{11});
}

TEST(AnimatorChain, RemovingAnEarlierItemKeepsTheCurrentOne) {
    Chain c(3);
    c.ticks(4); // item 1 is current and running
    c.chain->remove(c.items[0]);
    EXPECT_EQ(c.chain->getCurrentItem(), c.items[1]);
    c.ticks(1);
    EXPECT_EQ(c.visited.back(), 1);
}

TEST(AnimatorChain, RemovingTheLastEntryUnderTheIndexFallsBackToTheNewLast) {
    Chain c(3);
    c.ticks(7); // item 2 current
    c.chain->remove(c.items[2]);
    c.ticks(1);
    EXPECT_EQ(c.visited.back(), 1);
}

TEST(AnimatorChain, CurrentItemOfStoppedAndEmptyChains) {
    Chain c(2);
    EXPECT_EQ(c.chain->getCurrentItem(), c.items[0]);
    AnimatorChain empty;
    EXPECT_EQ(empty.getCurrentItem(), nullptr);
    c.chain->remove(std::make_shared<Animator>()); // not in the list: nothing changes
    EXPECT_EQ(c.chain->getCount(), 2);
}

TEST_F(AnimatorChainTimer, AnEmptyChainWarnsOnceAndStops) {
    ConsoleCapture out;
    auto chain = std::make_shared<AnimatorChain>();
    int finished = 0;
    chain->onFinished = [&](AnimatorChain&) { ++finished; };
    chain->start();
    tick(0.005, 5);
    EXPECT_EQ(out.count("WARNUNG: Es sind keine Animator Objekte definiert.\n"), 1u);
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
}

TEST_F(AnimatorChainTimer, AsyncStartsOneItemPerTickOnItsOwnTimer) {
    const auto before = Animator::classCount();
    std::weak_ptr<AnimatorChain> watch;
    int itemsFinished = 0, chainFinished = 0;
    {
        auto chain = std::make_shared<AnimatorChain>();
        chain->async = true;
        for (int i = 0; i < 3; ++i) {
            auto a = std::make_shared<Animator>(0, 1, 2, 0.005f);
            a->onFinished = [&](Animator&, float) { ++itemsFinished; };
            chain->add(a);
        }
        chain->onFinished = [&](AnimatorChain&) { ++chainFinished; };
        chain->start();
        watch = chain;
    }
    tick(0.005, 3);
    EXPECT_EQ(chainFinished, 1);
    tick(0.005, 5);
    EXPECT_EQ(itemsFinished, 3);
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(Animator::classCount(), before);
}

TEST_F(AnimatorChainTimer, SecondStartReplacesTheFirstTimer) {
    Chain c(2);
    c.chain->start();
    c.chain->start();
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 1u);
    tick(0.005, 2);
    EXPECT_EQ(c.visited, (std::vector<int>{0, 0}));
    c.chain->stop();
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
}
