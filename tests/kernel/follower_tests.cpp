// The scalar follower's settings: which times it takes, and the counts and steps they give.
#include "Follower.h"

#include <gtest/gtest.h>

#include <functional>

namespace {
struct Settings {
    float attack, attackSamples;
    double attackStep;
    float release, releaseSamples;
    double releaseStep;
    std::int32_t holdSamples;
};

Settings of(const Follower& f) {
    return {f.attack,         f.attackSamples, f.attackStep, f.release,
            f.releaseSamples, f.releaseStep,   f.holdSamples};
}

void expectSettings(const Settings& got, const Settings& want, const char* fault) {
    EXPECT_EQ(got.attack, want.attack) << fault;
    EXPECT_EQ(got.attackSamples, want.attackSamples) << fault;
    EXPECT_EQ(got.attackStep, want.attackStep) << fault;
    EXPECT_EQ(got.release, want.release) << fault;
    EXPECT_EQ(got.releaseSamples, want.releaseSamples) << fault;
    EXPECT_EQ(got.releaseStep, want.releaseStep) << fault;
    EXPECT_EQ(got.holdSamples, want.holdSamples) << fault;
}
} // namespace

TEST(Follower, TakesTimesOnlyWithinTheirRangesAndCountsThemAtTheRate) {
    // The fixed times at 48 kHz: 10 ms, 0.5 s, 0.1 ms; steps in double precision.
    const Settings fresh{0.01f, 480.0f, 1.0 / 480.0, 0.5f, 24000.0f, 1.0 / 24000.0, 4};
    const struct {
        const char* fault;
        std::function<void(Follower&)> change;
        Settings want;
    } rows[] = {
        {"construction keeps the declared times, or a step is single precision", [](Follower&) {}, fresh},
        {"an attack above 1 s is taken", [](Follower& f) { f.setAttack(1.5f); }, fresh},
        {"an attack of 0 is refused, or not raised to 16 samples",
         [](Follower& f) { f.setAttack(0.0f); },
         {0.0f, 16.0f, 0.0625, 0.5f, 24000.0f, 1.0 / 24000.0, 4}},
        {"a release of 10 s is refused",
         [](Follower& f) { f.setRelease(10.0f); },
         {0.01f, 480.0f, 1.0 / 480.0, 10.0f, 480000.0f, 1.0 / 480000.0, 4}},
        {"a release above 10 s is taken", [](Follower& f) { f.setRelease(10.5f); }, fresh},
        {"a negative release is taken", [](Follower& f) { f.setRelease(-0.5f); }, fresh},
        {"a hold above 1 s is taken", [](Follower& f) { f.setDecay(1.5f); }, fresh},
        {"a rate change keeps the stored times, or rounds the hold count",
         [](Follower& f) {
             f.setAttack(0.5f);
             f.setRelease(2.0f);
             f.setDecay(0.5f);
             f.setSamplerate(96000.0f);
         },
         {0.01f, 960.0f, 1.0 / 960.0, 0.5f, 48000.0f, 1.0 / 48000.0, 9}},
    };
    for (const auto& row : rows) {
        Follower f;
        row.change(f);
        expectSettings(of(f), row.want, row.fault);
    }
}
