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

TEST_F(Sequencer, ItemsPlayFromTheirStartFramesInTheOrderAddedAndTheTimelineEndsWithTheLast) {
    auto a = item(5, 10), b = item(2, 4), first = item(3, 2), second = item(3, 2);
    auto zero = item(0, 16);      // ends at frame 16, before its completing step on tick 17
    std::vector<Animator*> order; // items of one start frame play in the order added
    seq->onAnimation = [&](AnimationSequencer& s, const std::shared_ptr<Animator>& x) {
        steps[x.get()].push_back(s.getCurrentFrame()), order.push_back(x.get());
    };
    EXPECT_EQ(seq->getMaxFrames(), 16);
    seq->start(), tick(0.005, 20);
    for (const auto& [x, from, to] : {std::tuple{b, 2, 6}, {a, 5, 15}}) {
        EXPECT_EQ(steps[x.get()], range(from, to));
        EXPECT_EQ(completedAtFrame[x.get()], to);
    }
    EXPECT_EQ(steps[zero.get()], range(1, 16)); // armed and still scheduled for the next run
    EXPECT_FALSE(completedAtFrame.contains(zero.get()));
    EXPECT_EQ(seq->getCurrentCount(), 1);
    EXPECT_LT(std::find(order.begin(), order.end(), first.get()),
              std::find(order.begin(), order.end(), second.get()));
    EXPECT_EQ(finishedAtFrame, Frames{16});
    EXPECT_EQ(seq->getCurrentFrame(), 0);
}

TEST_F(Sequencer, PausedTicksAdvanceTheFrameAndRemovingLeavesScheduledItemsIndexAndEnd) {
    auto a = item(1, 10), b = item(1, 30);
    seq->start(), tick(0.005, 3), seq->pause(), tick(0.005, 20);
    EXPECT_EQ(std::tuple(seq->getCurrentFrame(), steps[a.get()].size()), std::tuple(23, 3u));
    seq->continueAnimation(), tick(0.005);
    EXPECT_EQ(steps[a.get()].back(), 24);
    seq->remove(a); // a stays scheduled and plays on; the search index stays at 1
    EXPECT_EQ(std::tuple(seq->getCount(), seq->getCurrentIndex(), seq->getMaxFrames()), std::tuple(1, 1, 31));
    tick(0.005);
    EXPECT_EQ(steps[a.get()], (Frames{1, 2, 3, 24, 25}));
    seq->removeAll(); // the end goes back to 0; scheduled items, frame and index stay
    EXPECT_EQ(std::tuple(seq->getMaxFrames(), seq->getCurrentCount(), seq->getCurrentIndex(),
                         seq->getCurrentFrame()),
              std::tuple(0, 2, 1, 25));
    ConsoleCapture out;
    seq->add(nullptr, 3);
    EXPECT_EQ(std::tuple(out.count("FEHLER: Das Animator Objekt ist ungültig.\n"), seq->getCount()),
              std::tuple(1u, 0));
}

TEST_F(Sequencer, SeekStopsEarlierItemsRearmsTheRestForTheirStartAndStopsPastTheEnd) {
    auto two = item(2, 3), seven = item(7, 3), nine = item(9, 3);
    seq->seek(7);
    EXPECT_TRUE(two->isFinished() && !seven->isFinished() && !nine->isFinished());
    EXPECT_EQ(seq->getCurrentIndex(), 1);
    seq->start(), tick(0.005);
    EXPECT_EQ(steps[seven.get()], Frames{8});
    EXPECT_TRUE(steps[two.get()].empty() && steps[nine.get()].empty());
    tick(0.005, 3); // seven completes on tick 11, nine is still running
    // Seeking back leaves the scheduled list: nine, armed again, goes on from the next tick, before its
    // start frame; seven is scheduled again when the frame reaches it.
    seq->seek(6), steps.clear(), tick(0.005);
    EXPECT_EQ(steps[seven.get()], Frames{7});
    EXPECT_EQ(steps[nine.get()], Frames{7});
    EXPECT_EQ(seq->getCurrentCount(), 2);
    seq->seek(100);
    EXPECT_EQ(std::tuple(seq->getCurrentFrame(), plat::RunLoop::current().scheduledTimerCount()),
              std::tuple(0, 0u));
}
