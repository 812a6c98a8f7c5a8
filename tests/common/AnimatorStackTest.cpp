#include "AnimatorStack.h"
#include "TestSupport.h"

#include <map>
#include <vector>

namespace {
using AnimatorStackTimer = SteppedClockTest;
}

TEST(AnimatorStack, RunsItemsInParallelAndDropsEachWhenItFinishes) {
    auto stack = std::make_shared<AnimatorStack>();
    auto three = std::make_shared<Animator>(0, 1, 3);
    auto five = std::make_shared<Animator>(0, 1, 5);
    stack->add(three);
    stack->add(five);
    int tickNo = 0;
    std::map<Animator*, int> stepped, removedAt;
    int finishedAt = 0;
    stack->onAnimation = [&](AnimatorStack&, const std::shared_ptr<Animator>& a) { ++stepped[a.get()]; };
    stack->onRemovedItem = [&](AnimatorStack&, const std::shared_ptr<Animator>& a) {
        removedAt[a.get()] = tickNo;
    };
    stack->onFinished = [&](AnimatorStack& s) {
        finishedAt = tickNo;
        EXPECT_EQ(s.getCount(), 0);
    };
    for (tickNo = 1; tickNo <= 7; ++tickNo) stack->animate();
    EXPECT_EQ(stepped[three.get()], 4);
    EXPECT_EQ(stepped[five.get()], 6);
    EXPECT_EQ(removedAt[three.get()], 4);
    EXPECT_EQ(removedAt[five.get()], 6);
    EXPECT_EQ(finishedAt, 7);
}

TEST(AnimatorStack, FinishedItemsAreNeitherSteppedNorRemoved) {
    auto stack = std::make_shared<AnimatorStack>();
    auto idle = std::make_shared<Animator>();
    stack->add(idle);
    stack->add(nullptr);
    int stepped = 0, removed = 0, finished = 0;
    stack->onAnimation = [&](AnimatorStack&, const std::shared_ptr<Animator>&) { ++stepped; };
    stack->onRemovedItem = [&](AnimatorStack&, const std::shared_ptr<Animator>&) { ++removed; };
    stack->onFinished = [&](AnimatorStack& s) {
        ++finished;
        EXPECT_EQ(s.getItems().size(), 1u); // still listed until the stop that follows
    };
    stack->animate();
    EXPECT_EQ(stepped, 0);
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(stack->getCount(), 0);
}

TEST(AnimatorStack, AnItemAddedTwiceIsSteppedTwiceAndRemovedOnce) {
    auto stack = std::make_shared<AnimatorStack>();
    auto a = std::make_shared<Animator>(0, 1, 3);
    stack->add(a);
    stack->add(a);
    int removed = 0;
    stack->onRemovedItem = [&](AnimatorStack&, const std::shared_ptr<Animator>&) { ++removed; };
    stack->animate();
    stack->animate(); // four steps: three frames and the completion
    EXPECT_TRUE(a->isFinished());
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(stack->getCount(), 1);
}

TEST_F(AnimatorStackTimer, RunsOnOneTimerAndReleasesEverythingAtTheEnd) {
    const auto before = Animator::classCount();
    std::weak_ptr<AnimatorStack> watch;
    int finished = 0;
    {
        auto stack = std::make_shared<AnimatorStack>();
        stack->add(std::make_shared<Animator>(0, 1, 2));
        stack->add(std::make_shared<Animator>(5, 0, 3));
        stack->onFinished = [&](AnimatorStack&) { ++finished; };
        stack->start();
        stack->start(); // replaces, does not add a second ticker
        watch = stack;
    }
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 1u);
    tick(0.005, 10);
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(Animator::classCount(), before);
}

TEST_F(AnimatorStackTimer, StopDropsItemsWithoutFinishing) {
    auto stack = std::make_shared<AnimatorStack>();
    auto a = std::make_shared<Animator>(0, 1, 10);
    stack->add(a);
    int finished = 0;
    stack->onFinished = [&](AnimatorStack&) { ++finished; };
    stack->start();
    tick(0.005, 2);
    stack->stop();
    tick(0.005, 5);
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(stack->getCount(), 0);
    EXPECT_FALSE(a->isFinished());
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
}
