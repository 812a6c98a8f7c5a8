// Animators placed on a timeline of frames: playing, pausing, seeking and removing.
#include "AnimationSequencer.h"
#include "TestSupport.h"

#include <map>
#include <vector>

namespace {

class Sequencer : public SteppedClockTest {
protected:
    void SetUp() override {
        SteppedClockTest::SetUp();
        seq->onAnimation = [this](AnimationSequencer& s, const std::shared_ptr<Animator>& a) {
            steps[a.get()].push_back(s.getCurrentFrame());
        };
        seq->onFinished = [this](AnimationSequencer& s) { finishedAtFrame.push_back(s.getCurrentFrame()); };
    }
    void TearDown() override {
        seq->stop();
        SteppedClockTest::TearDown();
    }
    std::shared_ptr<Animator> item(std::int64_t start, std::int64_t frames) {
        auto a = std::make_shared<Animator>(0, 1, frames);
        a->onFinished = [this, raw = a.get()](Animator&, float) {
            completedAtFrame[raw] = seq->getCurrentFrame();
        };
        seq->add(a, start);
        return a;
    }
    void ticks(int n) { tick(0.005, n); }

    std::shared_ptr<AnimationSequencer> seq = std::make_shared<AnimationSequencer>();
    std::map<Animator*, std::vector<std::int64_t>> steps;
    std::map<Animator*, std::int64_t> completedAtFrame;
    std::vector<std::int64_t> finishedAtFrame;
};

std::vector<std::int64_t> range(std::int64_t from, std::int64_t to) {
    std::vector<std::int64_t> v;
    for (auto i = from; i <= to; ++i) v.push_back(i);
    return v;
}

} // namespace

TEST_F(Sequencer, ItemsPlayFromTheirStartFramesInTheOrderAddedAndTheTimelineEndsWithTheLast) {
    auto a = item(5, 10);
    auto b = item(2, 4);
    auto first = item(3, 2), second = item(3, 2);
    std::vector<Animator*> atThree;
    seq->onAnimation = [&](AnimationSequencer& s, const std::shared_ptr<Animator>& x) {
        steps[x.get()].push_back(s.getCurrentFrame());
        if (s.getCurrentFrame() == 3 && (x == first || x == second)) atThree.push_back(x.get());
    };
    EXPECT_EQ(seq->getMaxFrames(), 15);
    seq->start();
    ticks(20);
    EXPECT_EQ(steps[b.get()], range(2, 6));
    EXPECT_EQ(completedAtFrame[b.get()], 6);
    EXPECT_EQ(steps[a.get()], range(5, 15));
    EXPECT_EQ(completedAtFrame[a.get()], 15);
    EXPECT_EQ(atThree, (std::vector<Animator*>{first.get(), second.get()}));
    EXPECT_EQ(finishedAtFrame, std::vector<std::int64_t>{15});
    EXPECT_EQ(seq->getCurrentFrame(), 0);
}

TEST_F(Sequencer, AnItemAtFrameZeroGetsItsLastStepBeforeTheEnd) {
    auto zero = item(0, 3); // stepped from tick 1
    seq->start();
    ticks(6);
    EXPECT_EQ(steps[zero.get()], range(1, 4));
    EXPECT_EQ(completedAtFrame[zero.get()], 4);
    EXPECT_EQ(finishedAtFrame, std::vector<std::int64_t>{4});
}

TEST_F(Sequencer, PauseHoldsTheTimeline) {
    auto a = item(1, 10);
    seq->start();
    ticks(3);
    seq->pause();
    ticks(20);
    EXPECT_EQ(seq->getCurrentFrame(), 3);
    EXPECT_EQ(steps[a.get()].size(), 3u);
    seq->continueAnimation();
    ticks(1);
    EXPECT_EQ(steps[a.get()].back(), 4);
}

TEST_F(Sequencer, SeekStopsEarlierItemsRearmsTheRestAndStopsPastTheEnd) {
    auto two = item(2, 3), seven = item(7, 3), nine = item(9, 3);
    seq->seek(7);
    EXPECT_TRUE(two->isFinished());
    EXPECT_FALSE(seven->isFinished() || nine->isFinished());
    EXPECT_EQ(seq->getCurrentIndex(), 1);
    seq->start();
    ticks(1);
    EXPECT_EQ(steps[seven.get()], std::vector<std::int64_t>{8});
    EXPECT_TRUE(steps[two.get()].empty() && steps[nine.get()].empty());
    seq->seek(100);
    EXPECT_EQ(seq->getCurrentFrame(), 0);
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
}

TEST_F(Sequencer, SeekBackDoesNotLetRearmedItemsPlayBeforeTheirStart) {
    auto early = item(1, 20);
    auto later = item(3, 10);
    seq->start();
    ticks(5); // both scheduled and running
    seq->seek(1);
    steps.clear();
    ticks(1); // frame 2
    EXPECT_EQ(steps[early.get()], std::vector<std::int64_t>{2});
    EXPECT_TRUE(steps[later.get()].empty());
    ticks(1); // frame 3
    EXPECT_EQ(steps[later.get()], std::vector<std::int64_t>{3});
}

TEST_F(Sequencer, RemovedItemsStopPlayingButTheEndStaysAndNothingIsNoItem) {
    auto a = item(1, 10);
    item(1, 2);
    seq->start();
    ticks(2);
    seq->remove(a);
    ticks(1);
    EXPECT_EQ(steps[a.get()].size(), 2u);
    EXPECT_EQ(seq->getCount(), 1);
    EXPECT_EQ(seq->getMaxFrames(), 11);
    seq->removeAll();
    EXPECT_EQ(seq->getMaxFrames(), 0);
    EXPECT_EQ(seq->getCurrentCount(), 0);
    ConsoleCapture out;
    seq->add(nullptr, 3);
    EXPECT_EQ(out.count("FEHLER: Das Animator Objekt ist ungültig.\n"), 1u);
    EXPECT_EQ(seq->getCount(), 0);
}
