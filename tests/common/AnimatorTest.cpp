#include "Animator.h"
#include "TestSupport.h"

#include <vector>

namespace {

struct Recorder {
    std::vector<float> frames;
    std::vector<float> finished;
    int loops = 0;
    void attach(Animator& a) {
        a.onAnimation = [this](Animator&, float v) { frames.push_back(v); };
        a.onFinished = [this](Animator&, float v) { finished.push_back(v); };
        a.onLoop = [this](Animator&) { ++loops; };
    }
};

using AnimatorTimer = SteppedClockTest;

} // namespace

TEST(Animator, StartsIdle) {
    Animator a;
    Recorder r;
    r.attach(a);
    EXPECT_TRUE(a.isFinished());
    a.animate();
    EXPECT_TRUE(r.frames.empty());
    EXPECT_TRUE(r.finished.empty());
    EXPECT_EQ(a.getValue(), 0.0f);
}

TEST(Animator, LinearFourFramesReportsEachFrameThenFinishesOnce) {
    Animator a(0, 1, 4);
    Recorder r;
    r.attach(a);
    for (int i = 0; i < 6; ++i) a.animate();
    EXPECT_EQ(r.frames, (std::vector<float>{0, 0.25f, 0.5f, 0.75f}));
    EXPECT_EQ(r.finished, std::vector<float>{1.0f});
    EXPECT_TRUE(a.isFinished());
    EXPECT_EQ(a.getValue(), 1.0f);
}

TEST(Animator, EqualEndsOrNegativeCountArmNoFrames) {
    Animator same(2, 2, 50);
    Recorder r;
    r.attach(same);
    EXPECT_FALSE(same.isFinished());
    same.animate();
    EXPECT_TRUE(r.frames.empty());
    EXPECT_EQ(r.finished, std::vector<float>{2.0f});

    Animator negative(0, 1, -3);
    Recorder n;
    n.attach(negative);
    negative.animate();
    EXPECT_EQ(n.finished, std::vector<float>{1.0f});
}

TEST(Animator, LoopedPlaysBackAndForthWithoutFinishing) {
    Animator a(0, 1, 2);
    a.looped = true;
    Recorder r;
    r.attach(a);
    for (int i = 0; i < 6; ++i) a.animate();
    EXPECT_EQ(r.frames, (std::vector<float>{0, 0.5f, 1, 0.5f}));
    EXPECT_EQ(r.loops, 2);
    EXPECT_TRUE(r.finished.empty());
    EXPECT_EQ(a.getSourceValue(), 0.0f);
    EXPECT_EQ(a.getDestinationValue(), 1.0f);
}

TEST(Animator, RewindUsesLinearCurveAndTheCountLastGiven) {
    Animator a(0, 10, 4, 0.02f, EnumEasing::EASING_easeInQuad);
    for (int i = 0; i < 5; ++i) a.animate();
    a.rewind();
    Recorder r;
    r.attach(a);
    for (int i = 0; i < 5; ++i) a.animate();
    EXPECT_EQ(r.frames, (std::vector<float>{0, 2.5f, 5, 7.5f}));
}

TEST(Animator, ReverseOfAFinishedAnimatorEndsAtTheOldSource) {
    Animator a(3, 8, 2);
    for (int i = 0; i < 3; ++i) a.animate();
    a.reverse();
    Recorder r;
    r.attach(a);
    a.animate();
    EXPECT_TRUE(r.frames.empty());
    EXPECT_EQ(r.finished, std::vector<float>{3.0f});
}

TEST(Animator, UndoJumpsToTheDestination) {
    Animator a(0, 5, 10);
    Recorder r;
    r.attach(a);
    a.undo();
    EXPECT_EQ(r.frames, std::vector<float>{0.0f});
    EXPECT_EQ(r.finished, std::vector<float>{5.0f});
    EXPECT_TRUE(a.isFinished());
}

TEST(Animator, StopClearsLoopingAndEaseLastSelectsLinear) {
    Animator a(0, 1, 2);
    a.looped = true;
    a.stop();
    EXPECT_FALSE(a.looped);
    EXPECT_TRUE(a.isFinished());
    a.setup(0, 8, 4);
    a.setType(EnumEasing::EASING_easeLast);
    Recorder r;
    r.attach(a);
    a.animate();
    a.animate();
    EXPECT_EQ(r.frames, (std::vector<float>{0, 2}));
}

TEST_F(AnimatorTimer, RunsOnItsTimerAndReleasesItselfWhenDone) {
    const auto before = Animator::classCount();
    std::vector<float> frames;
    int finished = 0;
    {
        auto a = std::make_shared<Animator>(0, 1, 4, 0.01f);
        a->onAnimation = [&](Animator&, float v) { frames.push_back(v); };
        a->onFinished = [&](Animator&, float) { ++finished; };
        a->start();
    }
    EXPECT_EQ(Animator::classCount(), before + 1); // the timer holds it
    tick(0.005);
    EXPECT_TRUE(frames.empty()); // first fire one interval after start
    tick(0.005);
    EXPECT_EQ(frames.size(), 1u);
    tick(0.01, 6);
    EXPECT_EQ(frames, (std::vector<float>{0, 0.25f, 0.5f, 0.75f}));
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(Animator::classCount(), before);
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
}

TEST_F(AnimatorTimer, SecondStartReplacesTheFirstTimer) {
    auto a = std::make_shared<Animator>(0, 1, 10, 0.01f);
    int frames = 0;
    a->onAnimation = [&](Animator&, float) { ++frames; };
    a->start();
    a->start();
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 1u);
    tick(0.01, 3);
    EXPECT_EQ(frames, 3);
    a->stop();
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
}

TEST_F(AnimatorTimer, StartOnAnIdleAnimatorWaitsForSetup) {
    auto a = std::make_shared<Animator>();
    std::vector<float> frames;
    a->onAnimation = [&](Animator&, float v) { frames.push_back(v); };
    a->start();
    tick(0.005, 2);
    EXPECT_TRUE(frames.empty());
    a->setup(0, 1, 2);
    tick(0.005);
    EXPECT_EQ(frames, std::vector<float>{0.0f});
    a->stop();
}

TEST_F(AnimatorTimer, StartWithoutSharedOwnerIsRefused) {
    ConsoleCapture out;
    Animator a(0, 1, 2);
    a.start();
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
    EXPECT_EQ(out.count("Animator::start() : ERROR"), 1u);
}
