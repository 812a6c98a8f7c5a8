// A push that decays, bounces between bounds and dies away. Its timer is the animation timer test's.
#include "Impulse.h"
#include "SteppedClockTest.h"

#include <cmath>
#include <vector>

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
    i->setup(0, 1);
    i->start();
    tick(0.009, 30);
    ASSERT_EQ(values.size(), 24u);
    for (const auto& [n, v] : {std::pair{0, 0.75f}, {1, 1.3125f}, {2, 1.734375f}, {3, 2.05078125f}})
        EXPECT_FLOAT_EQ(values[n], v);
    EXPECT_NEAR(values[23], 2.99699f, 1e-4f);
    EXPECT_EQ(finishedValues, std::vector<float>{values[23]});
    EXPECT_TRUE(i->isFinished());
    EXPECT_EQ(std::tuple(i->getValue(), i->getSourceValue()), std::tuple(0.0f, 1.0f));
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);

    values.clear(), events.clear(), finishedValues.clear();
    auto bounded = make();
    bounded->setup(0, 1);
    bounded->setMinMax(true, -1, 1);
    bounded->start();
    tick(0.009, 43);
    EXPECT_FLOAT_EQ(values[1], 0.75f);
    EXPECT_EQ((std::vector<char>(events.begin(), events.begin() + 3)), (std::vector<char>{'a', 'c', 'a'}));
    for (float v : values) EXPECT_TRUE(v > -1.0f && v < 1.0f) << v;
    EXPECT_EQ(finishedValues.size(), 1u);
}

TEST_F(ImpulseRun, ABoundReachedExactlyIsACollisionAndPushesTooSmallEndlessOrOfAnyIntensityDieAway) {
    auto exact = make();
    exact->setup(0, 1, 0.009f, 0.5f);
    exact->setMinMax(true, -1, 0.5f);
    exact->animate();
    EXPECT_EQ(events, (std::vector<char>{'c', 'a'}));
    EXPECT_FLOAT_EQ(values[0], 0.0f);
    events.clear();
    auto fresh = make(), small = make(), endless = make();
    small->setup(0, 0.001f);
    endless->setup(0, INFINITY);
    for (auto* i : {&fresh, &small, &endless}) (*i)->animate();
    EXPECT_EQ(events, (std::vector<char>{'f', 'f', 'f'}));
    for (float intensity : {1.0f, 1.5f, -3.0f, NAN}) {
        auto i = make();
        i->setup(0, 1, 0.009f, intensity);
        EXPECT_LT(std::fabs(i->getIntensity()), 1.0f);
        for (int n = 0; n < 2000 && !i->isFinished(); ++n) i->animate();
        EXPECT_TRUE(i->isFinished()) << intensity;
    }
}
