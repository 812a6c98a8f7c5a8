// Animators run side by side (stack) or one after another (chain), and a push that decays, bounces
// between bounds and dies away (impulse). Their timers are the animation timer test's.
#include "AnimatorChain.h"
#include "AnimationSequencer.h"
#include "AnimatorStack.h"
#include "ConsoleCapture.h"
#include "Impulse.h"
#include "SteppedClockTest.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// A group of animators of the given frame counts and what its ticks did, as text: the index of each
// item stepped, "r" and the index of each item removed, "F" when the group finished, "|" between ticks.
template <class Group>
struct GroupRun {
    std::shared_ptr<Group> group = std::make_shared<Group>();
    std::vector<std::shared_ptr<Animator>> items;
    std::string trace;

    explicit GroupRun(std::vector<int> frames, float interval = 0.009f) {
        for (int n : frames) add(std::make_shared<Animator>(0, 1, n, interval));
        group->onAnimation = [this](Group&, const std::shared_ptr<Animator>& a) { trace += index(a); };
        group->onFinished = [this](Group&) { trace += 'F'; };
        if constexpr (std::is_same_v<Group, AnimatorStack>)
            group->onRemovedItem = [this](Group&, const std::shared_ptr<Animator>& a) {
                trace += 'r', trace += index(a);
            };
    }
    char index(const std::shared_ptr<Animator>& a) const {
        return char('0' + (std::find(items.begin(), items.end(), a) - items.begin()));
    }
    void add(std::shared_ptr<Animator> a) { items.push_back(a), group->add(a); }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) group->animate(), trace += '|';
    }
};

} // namespace

TEST(AnimatorGroups, AStackRunsItemsSideBySideAndAChainOneAfterAnotherAndBackwardsDownToItemZero) {
    GroupRun<AnimatorStack> stack({3, 5});
    stack.add(std::make_shared<Animator>()); // finished from the start: neither stepped nor removed
    auto twice = std::make_shared<Animator>(0, 1, 3);
    stack.add(twice), stack.add(twice); // an item added twice is stepped twice a tick and removed once
    GroupRun<AnimatorChain> forwards({2, 2, 2}), fromRest({2, 2, 2}), back({2, 2, 2, 2});
    fromRest.group->setBackwards(true);
    stack.ticks(7), forwards.ticks(9), fromRest.ticks(3);
    back.ticks(7); // items 0 and 1 done, item 2 has had its first step
    back.group->setBackwards(true);
    back.ticks(3); // item 2 completes, then the finished item 1 moves the index to 0: the walk ends
    EXPECT_EQ(stack.trace, "0133|0133r3|01|0r01|1|1r1|F|");
    EXPECT_EQ(stack.group->getCount(), 0);
    EXPECT_EQ(forwards.trace, "0|0|0|1|1|1|2|2|2F|");
    EXPECT_EQ(forwards.group->getCurrentIndex(), 0);
    EXPECT_EQ(fromRest.trace, "0|0|0F|"); // a walk that begins at item 0 plays it to completion
    EXPECT_EQ(back.trace, "0|0|0|1|1|1|2|2|2|1F|") << "a backward walk visits item 0 again";
}

TEST(AnimatorChain, RemovingAnItemLeavesTheIndexAndAnIndexPastTheEndFallsBackToTheNewLast) {
    GroupRun<AnimatorChain> earlier({2, 2, 2}), last({2, 2, 2});
    earlier.ticks(4); // item 1 is current and running
    earlier.group->remove(earlier.items[0]);
    EXPECT_EQ(std::tuple(earlier.group->getCurrentIndex(), earlier.group->getCurrentItem()),
              std::tuple(1, earlier.items[2]))
        << "the index was moved to keep the current item";
    earlier.group->remove(std::make_shared<Animator>()); // not in the list: nothing changes
    EXPECT_EQ(earlier.group->getCount(), 2);
    last.ticks(7); // item 2 current
    last.group->remove(last.items[2]);
    last.ticks(1);
    EXPECT_EQ(last.trace.substr(last.trace.size() - 3), "1F|"); // the new last, already done
    EXPECT_EQ(AnimatorChain().getCurrentItem(), nullptr);
}

class AnimatorGroupTimers : public SteppedClockTest {};

TEST_F(AnimatorGroupTimers,
       AsyncChainsStartAnItemPerTickEmptyOnesWarnEveryTickAndAStoppedStackDropsItsItems) {
    GroupRun<AnimatorChain> async({2, 2, 2}, 0.005f), empty({});
    GroupRun<AnimatorStack> stack({10});
    int itemsFinished = 0;
    for (auto& item : async.items) item->onFinished = [&](Animator&, float) { ++itemsFinished; };
    async.group->async = true;
    async.group->start(), tick(0.005, 3);
    EXPECT_EQ(std::count(async.trace.begin(), async.trace.end(), 'F'), 1);
    tick(0.005, 5);
    EXPECT_EQ(itemsFinished, 3);

    ConsoleCapture out;
    auto timeline = std::make_shared<AnimationSequencer>();
    empty.group->start(), stack.group->start(), tick(0.005, 2);
    stack.group->stop(), tick(0.005, 3);
    // An empty chain or timeline warns on every tick and never finishes by itself, until stop().
    const std::string warning = "WARNUNG: Es sind keine Animator Objekte definiert.\n";
    EXPECT_EQ(std::tuple(out.count(warning), plat::RunLoop::current().scheduledTimerCount()),
              std::tuple(5u, 1u))
        << "an empty chain ends its run";
    empty.group->stop(), timeline->start(), tick(0.005, 4);
    EXPECT_EQ(std::tuple(out.count(warning), plat::RunLoop::current().scheduledTimerCount()),
              std::tuple(9u, 1u))
        << "an empty timeline ends its run";
    timeline->stop(), tick(0.005, 2);
    EXPECT_EQ(out.count(warning), 9u);
    EXPECT_EQ(empty.trace + stack.trace, "00"); // no finish, no tick after the stop
    EXPECT_EQ(stack.group->getCount(), 0);
    EXPECT_FALSE(stack.items[0]->isFinished());
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
}

namespace {

class ImpulseRun : public SteppedClockTest {
protected:
    std::shared_ptr<Impulse> make() {
        auto i = std::make_shared<Impulse>();
        i->onAnimation = [this](Impulse& x) { values.push_back(x.getValue()), events.push_back('a'); };
        i->onCollision = [this](Impulse&) { events.push_back('c'); };
        i->onFinished = [this](Impulse& x) { finishedValues.push_back(x.getValue()), events.push_back('f'); };
        return i;
    }
    std::vector<float> values, finishedValues;
    std::vector<char> events;
};

} // namespace

TEST_F(ImpulseRun, APushDecaysUntilBelowTheThresholdOrBouncesBetweenBounds) {
    auto i = make();
    i->setup(0, 1), i->start(), tick(0.009, 30);
    ASSERT_EQ(values.size(), 24u);
    for (const auto& [n, v] : {std::pair{0, 0.75f}, {1, 1.3125f}, {2, 1.734375f}, {3, 2.05078125f}})
        EXPECT_FLOAT_EQ(values[n], v);
    EXPECT_NEAR(values[23], 2.99699f, 1e-4f);
    EXPECT_EQ(finishedValues, std::vector<float>{values[23]});
    EXPECT_EQ(std::tuple(i->isFinished(), i->getValue(), i->getSourceValue()), std::tuple(true, 0.0f, 1.0f));
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);

    values.clear(), events.clear(), finishedValues.clear();
    auto bounded = make();
    bounded->setup(0, 1), bounded->setMinMax(true, -1, 1), bounded->start(), tick(0.009, 43);
    EXPECT_FLOAT_EQ(values[1], 0.75f);
    EXPECT_EQ((std::vector<char>(events.begin(), events.begin() + 3)), (std::vector<char>{'a', 'c', 'a'}));
    for (float v : values) EXPECT_TRUE(v > -1.0f && v < 1.0f) << v;
    EXPECT_EQ(finishedValues.size(), 1u);
}

TEST_F(ImpulseRun,
       ABoundReachedExactlyIsACollisionPushesTooSmallOrEndlessDieAwayAndStrongOnesRunUntilStopped) {
    auto exact = make();
    exact->setup(0, 1, 0.009f, 0.5f), exact->setMinMax(true, -1, 0.5f), exact->animate();
    EXPECT_EQ(events, (std::vector<char>{'c', 'a'}));
    EXPECT_FLOAT_EQ(values[0], 0.0f);
    events.clear();
    auto fresh = make(), small = make(), endless = make();
    small->setup(0, 0.001f), endless->setup(0, INFINITY);
    fresh->animate(), small->animate(), endless->animate();
    EXPECT_EQ(events, (std::vector<char>{'f', 'f', 'f'}));
    // An intensity that is not finite is refused for the default, and the push dies away.
    for (float intensity : {NAN, INFINITY, -INFINITY}) {
        auto i = make();
        i->setup(0, 1, 0.009f, intensity);
        EXPECT_EQ(i->getIntensity(), 0.75f);
        for (int n = 0; n < 100 && !i->isFinished(); ++n) i->animate();
        EXPECT_TRUE(i->isFinished()) << intensity;
    }
    // One of magnitude 1 or more is kept: the push never dies away and the timer runs until stop().
    for (float intensity : {1.0f, 1.5f, -1.0f, -3.0f}) {
        events.clear();
        auto i = make();
        i->setup(0, 1, 0.009f, intensity), i->setMinMax(intensity < 0, -10, 10), i->start();
        tick(0.009, 400);
        EXPECT_EQ(
            std::tuple(i->getIntensity(), i->isFinished(), plat::RunLoop::current().scheduledTimerCount()),
            std::tuple(intensity, false, 1u))
            << "an intensity of " << intensity << " was held below 1";
        EXPECT_EQ(std::count(events.begin(), events.end(), 'f'), 0);
        i->stop();
        EXPECT_TRUE(i->isFinished() && plat::RunLoop::current().scheduledTimerCount() == 0u);
    }
}
