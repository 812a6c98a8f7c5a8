// Easing curves, one animator's frames, and the timer every animation class runs itself on.
#include "AnimationSequencer.h"
#include "AnimatorChain.h"
#include "AnimatorStack.h"
#include "ConsoleCapture.h"
#include "Impulse.h"
#include "SteppedClockTest.h"

#include <cmath>
#include <functional>
#include <vector>

namespace {

float curve(const Animator& a, std::int64_t raw, std::int64_t t, float b, float c, std::int64_t d) {
    return (a.*Animator::curveFor(*enumEasing(raw)))(t, b, c, d);
}

} // namespace

TEST(Easing, EveryCurveHasItsShapeStartsAtSourceAndEndsAtDestination) {
    const Animator a;
    // The standard easing equations at 3 and 8 tenths of the way, from 0 by 1, in the order of the names
    // (to three places).
    const float at3[] = {.3,   .09,   .51,  .18,  .42,  .027, .657, .108,  .468, .008, .76,  .065, .487, .002,
                         .832, .039,  .495, .109, .454, .206, .405, .008,  .875, .031, .492, .046, .714, .1,
                         .458, -.004, .875, .024, .492, -.08, .907, -.079, .55,  .069, .681, .045, .386};
    const float at8[] = {.8,   .64,   .96,   .92,  .68,  .512, .992, .968,  .608,  .41,   .998,
                         .987, .565,  .328,  1,    .995, .539, .691, .951,  .905,  .706,  .25,
                         .996, .992,  .531,  .4,   .98,  .958, .6,   -.125, 1.002, 1.004, .484,
                         .294, 1.046, 1.093, .485, .698, .94,  .886, .545};
    for (std::int64_t raw = 0; raw < 41; ++raw) {
        EXPECT_NEAR(curve(a, raw, 3, 0, 1, 10), at3[raw], 6e-4) << raw;
        EXPECT_NEAR(curve(a, raw, 8, 0, 1, 10), at8[raw], 6e-4) << raw;
        for (std::int64_t d : {1, 2, 5, 33, 320})
            for (float c : {1.0f, -7.5f, 250.0f}) {
                const float tolerance = 1e-5f * std::max(1.0f, 3.0f + std::fabs(c));
                // One frame of an OutIn curve is all second half: its frame 0 is the In curve's -1.
                if (!(raw % 4 == 0 && raw > 0 && d == 1)) {
                    EXPECT_NEAR(curve(a, raw, 0, 3, c, d), 3, tolerance) << raw << " " << d;
                }
                EXPECT_NEAR(curve(a, raw, d, 3, c, d), 3 + c, tolerance) << raw << " " << d;
            }
    }
    EXPECT_EQ(enumEasing(41), EnumEasing::EASING_easeLast);
    EXPECT_FALSE(enumEasing(42) || enumEasing(-1));
}

TEST(Easing, OutInCurvesSwitchHalvesAtTheIntegerHalfOfTheFrameCountAndOverriddenCurvesAreUsed) {
    const Animator a;
    // Each kind's OutIn curve (raw 4, 8 ... 40) from 1 by 4, against its In (raw - 3) and Out (raw - 2).
    for (std::int64_t raw = 4; raw <= 40; raw += 4)
        for (std::int64_t d : {3, 5, 7, 33}) {
            const std::int64_t middle = (d - 1) / 2; // an odd count: not below d / 2 in integers
            EXPECT_EQ(curve(a, raw, middle, 1, 4, d), curve(a, raw - 3, -1, 3, 2, d))
                << "the middle frame of an odd count taken for the first half: " << raw << " " << d;
            EXPECT_EQ(curve(a, raw, middle - 1, 1, 4, d), curve(a, raw - 2, 2 * middle - 2, 1, 2, d))
                << "the first half not the Out curve over the whole count: " << raw << " " << d;
        }
    EXPECT_FLOAT_EQ(a.easeOutInQuad(2, 1, 4, 5), 1 + 2 + 2.0f / 25); // b + c/2 + c/2 * (1/25)
    EXPECT_EQ(a.easeOutInQuad(5, 1, 4, 10), 3.0f); // an even count: the In curve at 0, exactly b + c/2
    struct Flat : Animator {
        float easeInBack(std::int64_t, float b, float, std::int64_t) const override { return b + 100; }
        float easeOutElastic(std::int64_t, float b, float, std::int64_t) const override { return b - 100; }
    } flat;
    EXPECT_EQ(curve(flat, rawValue(EnumEasing::EASING_easeInBack), 1, 0, 1, 4), 100.0f);
    EXPECT_EQ(flat.easeOutInBack(3, 0, 2, 4), 101.0f);     // second half: In from b + c/2
    EXPECT_EQ(flat.easeOutInElastic(1, 0, 2, 4), -100.0f); // first half: Out from b
}

TEST(Animator, FramesAndTheEndOfEveryKindOfRun) {
    using A = Animator;
    struct Case {
        const char* fault;
        std::function<void(A&)> prepare;
        int steps;
        std::vector<float> frames, finished;
        int loops;
    };
    auto steps = [](A& a, int n) {
        for (int i = 0; i < n; ++i) a.animate();
    };
    auto rewound = [&](A& a) {
        a.setup(0, 10, 4, .02f, EnumEasing::EASING_easeInQuad), steps(a, 5), a.rewind();
    };
    auto reversed = [&](A& a) { a.setup(3, 8, 2), steps(a, 3), a.reverse(); };
    auto last = [](A& a) { a.setup(0, 8, 4), a.setType(EnumEasing::EASING_easeLast); };
    const Case cases[] = {
        {"a frame too many or a second finish",
         [](A& a) { a.setup(0, 1, 4); },
         6,
         {0, .25f, .5f, .75f},
         {1},
         0},
        {"an idle animator runs", [](A&) {}, 2, {}, {}, 0},
        {"equal ends step", [](A& a) { a.setup(2, 2, 50); }, 1, {}, {2}, 0},
        {"a negative count steps", [](A& a) { a.setup(0, 1, -3); }, 1, {}, {1}, 0},
        {"a loop finishes", [](A& a) { a.setup(0, 1, 2), a.looped = true; }, 6, {0, .5f, 1, .5f}, {}, 2},
        {"rewind loses the curve or the count", rewound, 5, {0, 2.5f, 5, 7.5f}, {10}, 0},
        {"reverse of a finished run", reversed, 1, {}, {3}, 0},
        {"the last curve is not linear", last, 2, {0, 2}, {}, 0},
    };
    for (const auto& c : cases) {
        auto a = std::make_shared<A>();
        c.prepare(*a);
        std::vector<float> frames, finished;
        int loops = 0;
        a->onAnimation = [&](A&, float v) { frames.push_back(v); };
        a->onFinished = [&](A&, float v) { finished.push_back(v); };
        a->onLoop = [&](A&) { ++loops; };
        steps(*a, c.steps);
        EXPECT_EQ(frames, c.frames) << c.fault;
        EXPECT_EQ(finished, c.finished) << c.fault;
        EXPECT_EQ(loops, c.loops) << c.fault;
    }
    Animator undone(0, 5, 10); // undo jumps back through the source to the end
    std::vector<float> seen;
    undone.onAnimation = undone.onFinished = [&](A&, float v) { seen.push_back(v); };
    undone.undo();
    EXPECT_EQ(seen, (std::vector<float>{0, 5}));
    undone.looped = true;
    undone.stop(); // a stopped animator does not loop when started again
    EXPECT_TRUE(undone.isFinished() && !undone.looped);
}

// Every animation class runs on a timer of the thread that starts it: a second start replaces the first
// timer, the timer holds the object until its run ends, and an object no shared pointer owns cannot start.
class AnimationTimer : public SteppedClockTest {};

TEST_F(AnimationTimer, EveryClassRunsOnOneTimerThatHoldsItUntilItsRunEnds) {
    int finished = 0;
    auto item = [] { return std::make_shared<Animator>(0, 1, 3, 0.005f); };
    auto startTwice = [&](auto object) {
        object->onFinished = [&](auto&&...) { ++finished; };
        object->start(), object->start();
        return std::weak_ptr<void>(object);
    };
    auto with = [&](auto group, auto... addItem) {
        group->add(item(), addItem...);
        return startTwice(group);
    };
    auto impulse = std::make_shared<Impulse>();
    impulse->setup(0, 1, 0.005f);
    const std::pair<const char*, std::function<std::weak_ptr<void>()>> classes[] = {
        {"Animator", [&] { return startTwice(item()); }},
        {"AnimatorStack", [&] { return with(std::make_shared<AnimatorStack>()); }},
        {"AnimatorChain", [&] { return with(std::make_shared<AnimatorChain>()); }},
        {"AnimationSequencer", [&] { return with(std::make_shared<AnimationSequencer>(), 2); }},
        {"Impulse", [&] { return startTwice(std::exchange(impulse, nullptr)); }},
    };
    const auto before = Animator::classCount();
    for (const auto& [name, start] : classes) {
        SCOPED_TRACE(name);
        finished = 0;
        const auto watch = start();
        EXPECT_FALSE(watch.expired()); // the timer holds it
        EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 1u);
        tick(0.005, 40);
        EXPECT_EQ(std::tuple(finished, watch.expired(), plat::RunLoop::current().scheduledTimerCount()),
                  std::tuple(1, true, 0u));
        EXPECT_EQ(Animator::classCount(), before);
    }
    ConsoleCapture out;
    Animator unowned(0, 1, 2);
    unowned.start();
    EXPECT_EQ(
        std::tuple(plat::RunLoop::current().scheduledTimerCount(), out.count("Animator::start() : ERROR")),
        std::tuple(0u, 1u));
}
