// Animators placed on a timeline of frames: playing, pausing, seeking and removing.
#include "AnimationSequencer.h"
#include "ConsoleCapture.h"
#include "SteppedClockTest.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <vector>

namespace {

using Frames = std::vector<std::int64_t>;

class Sequencer : public SteppedClockTest {
protected:
    Sequencer() {
        seq->onAnimation = [this](AnimationSequencer& s, const auto& a) {
            steps[a.get()].push_back(s.getCurrentFrame());
        };
        seq->onFinished = [this](AnimationSequencer& s) { finishedAtFrame.push_back(s.getCurrentFrame()); };
    }
    void TearDown() override { seq->stop(), SteppedClockTest::TearDown(); }
    std::shared_ptr<Animator> item(std::int64_t start, std::int64_t frames) {
        auto a = std::make_shared<Animator>(0, 1, frames);
        a->onFinished = [this, raw = a.get()](Animator&, float) {
            completedAtFrame[raw] = seq->getCurrentFrame();
        };
        seq->add(a, start);
        return a;
    }
    static Frames range(std::int64_t from, std::int64_t to) {
        Frames v(std::size_t(to - from + 1));
        std::iota(v.begin(), v.end(), from);
        return v;
    }

    std::shared_ptr<AnimationSequencer> seq = std::make_shared<AnimationSequencer>();
    std::map<Animator*, Frames> steps;
    std::map<Animator*, std::int64_t> completedAtFrame;
    Frames finishedAtFrame;
};

} // namespace

TEST_F(Sequencer, ItemsPlayFromTheirStartFramesInTheOrderAddedAndTheTimelineEndsAtTheLatestStartPlusFrames) {
    auto a = item(5, 10), b = item(2, 4), first = item(3, 2), second = item(3, 2);
    auto zero = item(0, 16);      // stepped from tick 1 like an item at 1, but its end is 0 + 16
    std::vector<Animator*> order; // items of one start frame play in the order added
    seq->onAnimation = [&](AnimationSequencer& s, const std::shared_ptr<Animator>& x) {
        steps[x.get()].push_back(s.getCurrentFrame()), order.push_back(x.get());
    };
    EXPECT_EQ(seq->getMaxFrames(), 16) << "an item's end is not its start plus its frames";
    seq->start(), tick(0.005, 20);
    for (const auto& [x, from, to] : {std::tuple{b, 2, 6}, {a, 5, 15}}) {
        EXPECT_EQ(steps[x.get()], range(from, to));
        EXPECT_EQ(completedAtFrame[x.get()], to);
    }
    EXPECT_LT(std::find(order.begin(), order.end(), first.get()),
              std::find(order.begin(), order.end(), second.get()));
    EXPECT_EQ(finishedAtFrame, Frames{16});
    EXPECT_EQ(seq->getCurrentFrame(), 0);
    // The item at 0 has had its 16 steps but not its completing one: it completes in the next run.
    EXPECT_EQ(std::tuple(steps[zero.get()], zero->isFinished(), seq->getCurrentCount()),
              std::tuple(range(1, 16), false, 1));
    seq->start(), tick(0.005);
    EXPECT_EQ(completedAtFrame[zero.get()], 1);
}

TEST_F(Sequencer, PausedTicksStillAdvanceTheFrameAndTheNextTickCatchesUp) {
    auto a = item(1, 10), late = item(20, 2); // the timeline ends at 22
    seq->start(), tick(0.005, 3), seq->pause(), tick(0.005, 20);
    EXPECT_EQ(std::tuple(seq->getCurrentFrame(), steps[a.get()].size()), std::tuple(23, 3u))
        << "a paused timeline stands still";
    seq->continueAnimation(), tick(0.005);
    EXPECT_EQ(std::tuple(steps[a.get()].back(), steps[late.get()]), std::tuple(24, Frames{24}));
    EXPECT_EQ(finishedAtFrame, Frames{24});
}

TEST_F(Sequencer, RemovingLeavesTheScheduledItemsTheIndexAndTheEndAndRemovingAllLeavesTheRunAsItIs) {
    auto a = item(1, 10), b = item(1, 30);
    seq->start(), tick(0.005, 4);
    seq->remove(a), tick(0.005);
    EXPECT_EQ(steps[a.get()].back(), 5) << "a removed item no longer played";
    EXPECT_EQ(
        std::tuple(seq->getCount(), seq->getCurrentCount(), seq->getCurrentIndex(), seq->getMaxFrames()),
        std::tuple(1, 2, 1, 31))
        << "remove() touched the scheduled items, the index or the end";
    seq->removeAll();
    EXPECT_EQ(std::tuple(seq->getMaxFrames(), seq->getCurrentCount(), seq->getCurrentFrame(),
                         seq->getCurrentIndex(), plat::RunLoop::current().scheduledTimerCount()),
              std::tuple(0, 2, 5, 1, 1u))
        << "removeAll() touched the scheduled items, the frame, the index or the timer";
    ConsoleCapture out;
    seq->add(nullptr, 3);
    EXPECT_EQ(std::tuple(out.count("FEHLER: Das Animator Objekt ist ungültig.\n"), seq->getCount()),
              std::tuple(1u, 0));
}

TEST_F(Sequencer, SeekStopsEarlierItemsRearmsTheRestLeavesTheScheduledOnesAndStopsPastTheEnd) {
    auto two = item(2, 3), seven = item(7, 3), nine = item(9, 3);
    seq->seek(7);
    EXPECT_TRUE(two->isFinished() && !seven->isFinished() && !nine->isFinished());
    EXPECT_EQ(seq->getCurrentIndex(), 1);
    seq->start(), tick(0.005);
    EXPECT_EQ(steps[seven.get()], Frames{8});
    EXPECT_TRUE(steps[two.get()].empty() && steps[nine.get()].empty());
    tick(0.005, 3); // the item at 9 is running now; seeking back re-arms it but keeps it scheduled
    seq->seek(6), steps.clear(), tick(0.005);
    EXPECT_EQ(steps[seven.get()], Frames{7});
    EXPECT_EQ(steps[nine.get()], Frames{7}) << "the seek emptied the scheduled items";
    seq->seek(100);
    EXPECT_EQ(std::tuple(seq->getCurrentFrame(), plat::RunLoop::current().scheduledTimerCount()),
              std::tuple(0, 0u));
}
