// Easing curves, one animator's frames, and the timer every animation class runs itself on.
#include "AnimationSequencer.h"
#include "AnimatorChain.h"
#include "AnimatorStack.h"
#include "Impulse.h"
#include "TestSupport.h"

#include <cmath>
#include <functional>
#include <vector>

namespace {

float curve(const Animator& a, EnumEasing type, std::int64_t t, float b, float c, std::int64_t d) {
    return (a.*Animator::curveFor(type))(t, b, c, d);
}

} // namespace

TEST(Easing, EveryCurveStartsAtSourceAndEndsAtDestinationAndOnlyKnownCurvesAreNamed) {
    const Animator a;
    for (std::int64_t raw = 0; raw < 41; ++raw)
        for (std::int64_t d : {1, 2, 5, 10, 33, 320})
            for (float c : {1.0f, -7.5f, 250.0f}) {
                const float tolerance = 1e-5f * std::max(1.0f, 3.0f + std::fabs(c));
                EXPECT_NEAR(curve(a, *enumEasing(raw), 0, 3, c, d), 3, tolerance) << raw << " " << d;
                EXPECT_NEAR(curve(a, *enumEasing(raw), d, 3, c, d), 3 + c, tolerance) << raw << " " << d;
            }
    // Where the formulas would miss an end by rounding, the ends are exact.
    for (auto f : {&Animator::easeInExpo, &Animator::easeInElastic, &Animator::easeOutElastic,
                   &Animator::easeInOutElastic})
        EXPECT_EQ((a.*f)(0, 2.5f, 3.0f, 9), 2.5f);
    for (auto f : {&Animator::easeOutExpo, &Animator::easeInOutExpo, &Animator::easeInElastic,
                   &Animator::easeOutElastic, &Animator::easeInOutElastic})
        EXPECT_EQ((a.*f)(9, 2.5f, 3.0f, 9), 5.5f);
    const float v = 0.5f - 1.5f / 2.75f; // the bounce's second branch
    EXPECT_FLOAT_EQ(a.easeOutBounce(1, 0, 1, 2), 7.5625f * v * v + 0.75f);
    EXPECT_EQ(enumEasing(41), EnumEasing::EASING_easeLast);
    EXPECT_FALSE(enumEasing(42) || enumEasing(-1));
}

TEST(Easing, OutInCurvesMeetInTheMiddleAndRiseWithoutAFlatStepAtOddFrameCounts) {
    const Animator a;
    EXPECT_EQ(a.easeOutInQuad(5, 1.0f, 4.0f, 10), 3.0f);
    EXPECT_EQ(a.easeOutInCubic(3, 1.0f, 4.0f, 6), 3.0f);
    for (EnumEasing type : {EnumEasing::EASING_easeOutInQuad, EnumEasing::EASING_easeOutInCubic,
                            EnumEasing::EASING_easeOutInQuart, EnumEasing::EASING_easeOutInQuint,
                            EnumEasing::EASING_easeOutInSine, EnumEasing::EASING_easeOutInExpo,
                            EnumEasing::EASING_easeOutInCirc})
        for (std::int64_t d : {3, 5, 7, 9, 11})
            for (std::int64_t t = 1; t <= d; ++t)
                EXPECT_GT(curve(a, type, t, 0, 1, d), curve(a, type, t - 1, 0, 1, d))
                    << rawValue(type) << " " << t;
}

TEST(Easing, OverriddenElasticAndBackAreUsedBySelectionAndOutIn) {
    struct Flat : Animator {
        float easeInBack(std::int64_t, float b, float, std::int64_t) const override { return b + 100; }
        float easeOutElastic(std::int64_t, float b, float, std::int64_t) const override { return b - 100; }
    } flat;
    EXPECT_EQ(curve(flat, EnumEasing::EASING_easeInBack, 1, 0, 1, 4), 100.0f);
    EXPECT_EQ(flat.easeOutInBack(3, 0, 2, 4), 101.0f);     // second half: In from b + c/2
    EXPECT_EQ(flat.easeOutInElastic(1, 0, 2, 4), -100.0f); // first half: Out from b
}

TEST(Animator, FramesAndTheEndOfEveryKindOfRun) {
    struct Case {
        const char* fault;
        std::function<void(Animator&)> prepare;
        int steps;
        std::vector<float> frames, finished;
        int loops;
    };
    auto steps = [](Animator& a, int n) {
        for (int i = 0; i < n; ++i) a.animate();
    };
    const Case cases[] = {
        {"a frame too many or a second finish",
         [](Animator& a) { a.setup(0, 1, 4); },
         6,
         {0, .25f, .5f, .75f},
         {1},
         0},
        {"an idle animator runs", [](Animator&) {}, 2, {}, {}, 0},
        {"equal ends step", [](Animator& a) { a.setup(2, 2, 50); }, 1, {}, {2}, 0},
        {"a negative count steps", [](Animator& a) { a.setup(0, 1, -3); }, 1, {}, {1}, 0},
        {"a loop finishes",
         [](Animator& a) { a.setup(0, 1, 2), a.looped = true; },
         6,
         {0, .5f, 1, .5f},
         {},
         2},
        {"rewind keeps the curve or the count",
         [&](Animator& a) {
             a.setup(0, 10, 4, 0.02f, EnumEasing::EASING_easeInQuad), steps(a, 5), a.rewind();
         },
         5,
         {0, 2.5f, 5, 7.5f},
         {10},
         0},
        {"reverse of a finished run",
         [&](Animator& a) { a.setup(3, 8, 2), steps(a, 3), a.reverse(); },
         1,
         {},
         {3},
         0},
        {"the last curve is not linear",
         [](Animator& a) { a.setup(0, 8, 4), a.setType(EnumEasing::EASING_easeLast); },
         2,
         {0, 2},
         {},
         0},
    };
    for (const auto& c : cases) {
        auto a = std::make_unique<Animator>();
        c.prepare(*a);
        std::vector<float> frames, finished;
        int loops = 0;
        a->onAnimation = [&](Animator&, float v) { frames.push_back(v); };
        a->onFinished = [&](Animator&, float v) { finished.push_back(v); };
        a->onLoop = [&](Animator&) { ++loops; };
        for (int i = 0; i < c.steps; ++i) a->animate();
        EXPECT_EQ(frames, c.frames) << c.fault;
        EXPECT_EQ(finished, c.finished) << c.fault;
        EXPECT_EQ(loops, c.loops) << c.fault;
    }
    Animator undone(0, 5, 10);
    std::vector<float> seen;
    undone.onAnimation = undone.onFinished = [&](Animator&, float v) { seen.push_back(v); };
    undone.undo();
    EXPECT_EQ(seen, (std::vector<float>{0, 5}));
    EXPECT_TRUE(undone.isFinished());
    undone.looped = true;
    undone.stop();
    EXPECT_FALSE(undone.looped);
}

// Every animation class runs on a timer of the thread that starts it: a second start replaces the
// first timer, the timer holds the object until its run ends, and an object no shared pointer
// owns cannot start.
class AnimationTimer : public SteppedClockTest {};

TEST_F(AnimationTimer, EveryClassRunsOnOneTimerThatHoldsItUntilItsRunEnds) {
    int finished = 0;
    auto item = [] { return std::make_shared<Animator>(0, 1, 3, 0.005f); };
    auto startTwice = [&](auto object) {
        object->onFinished = [&](auto&&...) { ++finished; };
        object->start();
        object->start();
        return std::weak_ptr<void>(object);
    };
    auto with = [&](auto group, auto... addItem) {
        group->add(item(), addItem...);
        return startTwice(group);
    };
    const std::pair<const char*, std::function<std::weak_ptr<void>()>> classes[] = {
        {"Animator", [&] { return startTwice(item()); }},
        {"AnimatorStack", [&] { return with(std::make_shared<AnimatorStack>()); }},
        {"AnimatorChain", [&] { return with(std::make_shared<AnimatorChain>()); }},
        {"AnimationSequencer", [&] { return with(std::make_shared<AnimationSequencer>(), 2); }},
        {"Impulse",
         [&] {
             auto i = std::make_shared<Impulse>();
             i->setup(0, 1, 0.005f);
             return startTwice(i);
         }},
    };
    const auto before = Animator::classCount();
    for (const auto& [name, startTwice] : classes) {
        SCOPED_TRACE(name);
        finished = 0;
        const auto watch = startTwice();
        EXPECT_FALSE(watch.expired()); // the timer holds it
        EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 1u);
        tick(0.005, 40);
        EXPECT_EQ(finished, 1);
        EXPECT_TRUE(watch.expired());
        EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
        EXPECT_EQ(Animator::classCount(), before);
    }
    // The first frame comes one interval after the start.
    auto a = std::make_shared<Animator>(0, 1, 4, 0.01f);
    int frames = 0;
    a->onAnimation = [&](auto&, float) { ++frames; };
    a->start();
    tick(0.005);
    EXPECT_EQ(frames, 0);
    tick(0.005);
    EXPECT_EQ(frames, 1);
    a->stop();
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);

    ConsoleCapture out;
    Animator unowned(0, 1, 2);
    unowned.start();
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
    EXPECT_EQ(out.count("Animator::start() : ERROR"), 1u);
}

TEST_F(AnimationTimer, AnIdleAnimatorWaitsForItsSetup) {
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
