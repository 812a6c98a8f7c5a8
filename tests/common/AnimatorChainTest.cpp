// Animators run side by side (stack) or one after another (chain). Their timers are the
// animation timer test's.
#include "AnimatorChain.h"
#include "AnimationSequencer.h"
#include "AnimatorStack.h"
#include "TestSupport.h"

#include <map>
#include <vector>

namespace {

// Which item each tick of a group reported, by index, and the ticks at which the group finished.
template <class Group>
struct GroupRun {
    std::shared_ptr<Group> group = std::make_shared<Group>();
    std::vector<std::shared_ptr<Animator>> items;
    std::vector<int> visited, finishedAt;
    int tickNo = 0;

    explicit GroupRun(int count, int frames = 2) {
        for (int i = 0; i < count; ++i) add(std::make_shared<Animator>(0, 1, frames));
        group->onAnimation = [this](Group&, const std::shared_ptr<Animator>& a) {
            for (std::size_t i = 0; i < items.size(); ++i)
                if (items[i] == a) visited.push_back(int(i));
        };
        group->onFinished = [this](Group&) { finishedAt.push_back(tickNo); };
    }
    void add(std::shared_ptr<Animator> a) {
        items.push_back(a);
        group->add(a);
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i, ++tickNo) group->animate();
    }
};

} // namespace

TEST(AnimatorStack, RunsItemsSideBySideDropsEachWhenItFinishesAndSkipsFinishedOnes) {
    GroupRun<AnimatorStack> run(0);
    run.add(std::make_shared<Animator>(0, 1, 3));
    run.add(std::make_shared<Animator>(0, 1, 5));
    run.add(std::make_shared<Animator>()); // finished from the start: neither stepped nor removed
    std::map<int, int> removedAt;
    run.group->onRemovedItem = [&](AnimatorStack&, const std::shared_ptr<Animator>& a) {
        removedAt[int(std::find(run.items.begin(), run.items.end(), a) - run.items.begin())] = run.tickNo;
    };
    run.ticks(7);
    EXPECT_EQ(run.visited, (std::vector<int>{0, 1, 0, 1, 0, 1, 0, 1, 1, 1}));
    EXPECT_EQ(removedAt, (std::map<int, int>{{0, 3}, {1, 5}}));
    EXPECT_EQ(run.finishedAt, std::vector<int>{6});
    EXPECT_EQ(run.group->getCount(), 0);

    GroupRun<AnimatorStack> twice(0); // an item added twice is stepped twice and removed once
    auto a = std::make_shared<Animator>(0, 1, 3);
    twice.add(a);
    twice.add(a);
    int removed = 0;
    twice.group->onRemovedItem = [&](AnimatorStack&, const std::shared_ptr<Animator>&) { ++removed; };
    twice.ticks(2);
    EXPECT_TRUE(a->isFinished());
    EXPECT_EQ(removed, 1);
}

TEST(AnimatorChain, PlaysItemsOneAfterAnotherAndBackwardsDownToItemZero) {
    GroupRun<AnimatorChain> forwards(3);
    forwards.ticks(9);
    EXPECT_EQ(forwards.visited, (std::vector<int>{0, 0, 0, 1, 1, 1, 2, 2, 2}));
    EXPECT_EQ(forwards.finishedAt, std::vector<int>{8});
    EXPECT_EQ(forwards.group->getCurrentIndex(), 0);

    GroupRun<AnimatorChain> fromRest(3);
    fromRest.group->setBackwards(true);
    fromRest.ticks(3);
    EXPECT_EQ(fromRest.visited, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(fromRest.finishedAt, std::vector<int>{2});

    GroupRun<AnimatorChain> back(4);
    back.ticks(7); // items 0 and 1 done, item 2 has had its first step
    back.group->setBackwards(true);
    back.ticks(4); // a walk that stopped early would be restarted by these ticks: it must finish once
    EXPECT_EQ(back.visited, (std::vector<int>{0, 0, 0, 1, 1, 1, 2, 2, 2, 1, 0}));
    EXPECT_EQ(back.finishedAt, std::vector<int>{10});
}

TEST(AnimatorChain, RemovingAnItemKeepsTheCurrentOneOrFallsBackToTheNewLast) {
    GroupRun<AnimatorChain> earlier(3);
    earlier.ticks(4); // item 1 is current and running
    earlier.group->remove(earlier.items[0]);
    EXPECT_EQ(earlier.group->getCurrentItem(), earlier.items[1]);
    earlier.group->remove(std::make_shared<Animator>()); // not in the list: nothing changes
    EXPECT_EQ(earlier.group->getCount(), 2);

    GroupRun<AnimatorChain> last(3);
    last.ticks(7); // item 2 current
    last.group->remove(last.items[2]);
    last.ticks(1);
    EXPECT_EQ(last.visited.back(), 1);
    EXPECT_EQ(AnimatorChain().getCurrentItem(), nullptr);
}

class AnimatorGroups : public SteppedClockTest {};

TEST_F(AnimatorGroups, AnAsyncChainStartsOneItemPerTickOnItsOwnTimer) {
    GroupRun<AnimatorChain> run(0);
    run.group->async = true;
    int itemsFinished = 0;
    for (int i = 0; i < 3; ++i) {
        run.add(std::make_shared<Animator>(0, 1, 2, 0.005f));
        run.items.back()->onFinished = [&](Animator&, float) { ++itemsFinished; };
    }
    run.group->start();
    tick(0.005, 3);
    EXPECT_EQ(run.finishedAt.size(), 1u);
    tick(0.005, 5);
    EXPECT_EQ(itemsFinished, 3);
}

TEST_F(AnimatorGroups, EmptyChainsAndTimelinesWarnOnceAndStopAndAStoppedStackDropsItsItems) {
    ConsoleCapture out;
    GroupRun<AnimatorChain> chain(0);
    auto timeline = std::make_shared<AnimationSequencer>();
    chain.group->start();
    timeline->start();
    tick(0.005, 5);
    EXPECT_EQ(out.count("WARNUNG: Es sind keine Animator Objekte definiert.\n"), 2u);
    EXPECT_TRUE(chain.finishedAt.empty());
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);

    GroupRun<AnimatorStack> stack(1, 10);
    stack.group->start();
    tick(0.005, 2);
    stack.group->stop();
    tick(0.005, 5);
    EXPECT_TRUE(stack.finishedAt.empty());
    EXPECT_EQ(stack.group->getCount(), 0);
    EXPECT_FALSE(stack.items[0]->isFinished());
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
}
