// Animators run side by side (stack) or one after another (chain). Their timers are the
// animation timer test's.
#include "AnimatorChain.h"
#include "AnimationSequencer.h"
#include "AnimatorStack.h"
#include "ConsoleCapture.h"
#include "SteppedClockTest.h"

#include <vector>

namespace {

// Which item each tick of a group reported, by index, and the ticks at which the group finished.
template <class Group>
struct GroupRun {
    std::shared_ptr<Group> group = std::make_shared<Group>();
    std::vector<std::shared_ptr<Animator>> items;
    std::vector<int> visited, finishedAt, removedAt;
    int tickNo = 0;

    explicit GroupRun(std::vector<int> frames, float interval = 0.009f) {
        for (int n : frames) add(std::make_shared<Animator>(0, 1, n, interval));
        group->onAnimation = [this](Group&, const std::shared_ptr<Animator>& a) {
            visited.push_back(index(a));
        };
        group->onFinished = [this](Group&) { finishedAt.push_back(tickNo); };
    }
    int index(const std::shared_ptr<Animator>& a) const {
        return int(std::find(items.begin(), items.end(), a) - items.begin());
    }
    void add(std::shared_ptr<Animator> a) { items.push_back(a), group->add(a); }
    void ticks(int n) {
        for (int i = 0; i < n; ++i, ++tickNo) group->animate();
    }
};

} // namespace

TEST(AnimatorStack, RunsItemsSideBySideDropsEachWhenItFinishesAndSkipsFinishedOnes) {
    GroupRun<AnimatorStack> run({3, 5});
    run.add(std::make_shared<Animator>()); // finished from the start: neither stepped nor removed
    auto twice = std::make_shared<Animator>(0, 1, 3);
    run.add(twice); // an item added twice is stepped twice a tick and removed once
    run.add(twice);
    run.group->onRemovedItem = [&](AnimatorStack&, const std::shared_ptr<Animator>& a) {
        run.removedAt.push_back(run.index(a) * 10 + run.tickNo);
    };
    run.ticks(7);
    EXPECT_EQ(run.visited, (std::vector<int>{0, 1, 3, 3, 0, 1, 3, 3, 0, 1, 0, 1, 1, 1}));
    EXPECT_EQ(run.removedAt, (std::vector<int>{31, 3, 15}));
    EXPECT_EQ(run.finishedAt, std::vector<int>{6});
    EXPECT_EQ(run.group->getCount(), 0);
}

TEST(AnimatorChain, PlaysItemsOneAfterAnotherAndBackwardsDownToItemZero) {
    GroupRun<AnimatorChain> forwards({2, 2, 2}), fromRest({2, 2, 2}), back({2, 2, 2, 2});
    forwards.ticks(9);
    EXPECT_EQ(forwards.visited, (std::vector<int>{0, 0, 0, 1, 1, 1, 2, 2, 2}));
    EXPECT_EQ(forwards.finishedAt, std::vector<int>{8});
    EXPECT_EQ(forwards.group->getCurrentIndex(), 0);
    fromRest.group->setBackwards(true);
    fromRest.ticks(3);
    EXPECT_EQ(fromRest.visited, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(fromRest.finishedAt, std::vector<int>{2});
    back.ticks(7); // items 0 and 1 done, item 2 has had its first step
    back.group->setBackwards(true);
    back.ticks(4); // a walk that stopped early would be restarted by these ticks: it must finish once
    EXPECT_EQ(back.visited, (std::vector<int>{0, 0, 0, 1, 1, 1, 2, 2, 2, 1, 0}));
    EXPECT_EQ(back.finishedAt, std::vector<int>{10});
}

TEST(AnimatorChain, RemovingAnItemKeepsTheCurrentOneOrFallsBackToTheNewLast) {
    GroupRun<AnimatorChain> earlier({2, 2, 2}), last({2, 2, 2});
    earlier.ticks(4); // item 1 is current and running
    earlier.group->remove(earlier.items[0]);
    EXPECT_EQ(earlier.group->getCurrentItem(), earlier.items[1]);
    earlier.group->remove(std::make_shared<Animator>()); // not in the list: nothing changes
    EXPECT_EQ(earlier.group->getCount(), 2);
    last.ticks(7); // item 2 current
    last.group->remove(last.items[2]);
    last.ticks(1);
    EXPECT_EQ(last.visited.back(), 1);
    EXPECT_EQ(AnimatorChain().getCurrentItem(), nullptr);
}

class AnimatorGroups : public SteppedClockTest {};

TEST_F(AnimatorGroups, AsyncChainsStartAnItemPerTickEmptyOnesWarnAndStopAndAStoppedStackDropsItsItems) {
    GroupRun<AnimatorChain> async({2, 2, 2}, 0.005f), empty({});
    int itemsFinished = 0;
    for (auto& item : async.items) item->onFinished = [&](Animator&, float) { ++itemsFinished; };
    async.group->async = true;
    async.group->start();
    tick(0.005, 3);
    EXPECT_EQ(async.finishedAt.size(), 1u);
    tick(0.005, 5);
    EXPECT_EQ(itemsFinished, 3);

    ConsoleCapture out;
    auto timeline = std::make_shared<AnimationSequencer>();
    empty.group->start();
    timeline->start();
    tick(0.005, 5);
    EXPECT_EQ(out.count("WARNUNG: Es sind keine Animator Objekte definiert.\n"), 2u);
    EXPECT_TRUE(empty.finishedAt.empty());
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);

    GroupRun<AnimatorStack> stack({10});
    stack.group->start();
    tick(0.005, 2);
    stack.group->stop();
    tick(0.005, 5);
    EXPECT_TRUE(stack.finishedAt.empty());
    EXPECT_EQ(stack.group->getCount(), 0);
    EXPECT_FALSE(stack.items[0]->isFinished());
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
}
