// A push that decays, bounces between bounds and dies away. Its timer is the animation timer test's.
#include "Impulse.h"
#include "TestSupport.h"

#include <cmath>
#include <vector>

namespace {

class ImpulseRun : public SteppedClockTest {
protected:
    std::shared_ptr<Impulse> make() {
        auto i = std::make_shared<Impulse>();
        i->onAnimation = [this](Impulse& x) {
            values.push_back(x.getValue());
            events.push_back('a');
        };
        i->onCollision = [this](Impulse&) { events.push_back('c'); };
        i->onFinished = [this](Impulse& x) {
            finishedValues.push_back(x.getValue());
            events.push_back('f');
        };
        return i;
    }
    std::vector<float> values, finishedValues;
    std::vector<char> events;
};

} // namespace

TEST_F(ImpulseRun, PushDecaysUntilBelowTheThreshold) {
    auto i = make();
    i->setup(0, 1);
    i->start();
    tick(0.009, 30);
    ASSERT_EQ(values.size(), 24u);
    EXPECT_FLOAT_EQ(values[0], 0.75f);
    EXPECT_FLOAT_EQ(values[1], 1.3125f);
    EXPECT_FLOAT_EQ(values[2], 1.734375f);
    EXPECT_FLOAT_EQ(values[3], 2.05078125f);
    EXPECT_NEAR(values[23], 2.99699f, 1e-4f);
    ASSERT_EQ(finishedValues.size(), 1u);
    EXPECT_NEAR(finishedValues[0], 2.99699f, 1e-4f);
    EXPECT_TRUE(i->isFinished());
    EXPECT_EQ(i->getValue(), 0.0f);
    EXPECT_EQ(i->getSourceValue(), 1.0f);
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
}

TEST_F(ImpulseRun, BouncesBetweenBounds) {
    auto i = make();
    i->setup(0, 1);
    i->setMinMax(true, -1, 1);
    i->start();
    tick(0.009, 3);
    EXPECT_FLOAT_EQ(values[1], 0.75f);
    EXPECT_EQ((std::vector<char>(events.begin(), events.begin() + 3)), (std::vector<char>{'a', 'c', 'a'}));
    tick(0.009, 40);
    for (float v : values) {
        EXPECT_GT(v, -1.0f);
        EXPECT_LT(v, 1.0f);
    }
    EXPECT_EQ(finishedValues.size(), 1u);
}

TEST_F(ImpulseRun, ReachingABoundExactlyCountsAsACollision) {
    auto i = make();
    i->setup(0, 1, 0.009f, 0.5f);
    i->setMinMax(true, -1, 0.5f);
    i->animate();
    EXPECT_EQ((std::vector<char>{'c', 'a'}), events);
    EXPECT_FLOAT_EQ(values[0], 0.0f);
}

TEST_F(ImpulseRun, APushTooSmallOrEndlessFinishesAtOnceAndAnyIntensityDiesAway) {
    auto fresh = make();
    fresh->animate();
    auto small = make();
    small->setup(0, 0.001f);
    small->animate();
    auto endless = make();
    endless->setup(0, INFINITY);
    endless->animate();
    EXPECT_EQ(events, (std::vector<char>{'f', 'f', 'f'}));
    for (float intensity : {1.0f, 1.5f, -3.0f}) {
        auto i = make();
        i->setup(0, 1, 0.009f, intensity);
        EXPECT_LT(std::fabs(i->getIntensity()), 1.0f);
        for (int n = 0; n < 2000 && !i->isFinished(); ++n) i->animate();
        EXPECT_TRUE(i->isFinished()) << intensity;
    }
}
