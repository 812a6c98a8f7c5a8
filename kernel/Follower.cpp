#include "Follower.h"

#include <cmath>

namespace {
double stepFor(float samples) {
    const double step = 1.0 / double(samples);
    return std::fpclassify(step) == FP_SUBNORMAL ? 0.0 : step;
}
} // namespace

Follower::Follower() {
    setSamplerate(48000.0f);
    init();
}

void Follower::setSamplerate(float rate) {
    sampleRate = rate;
    setAttack(0.01f);
    setRelease(0.5f);
    setDecay(0.0001f);
}

void Follower::setAttack(float a) {
    if (!(a >= 0.0f && a <= 1.0f)) return;
    attack = a;
    attackSamples = a * sampleRate;
    if (attackSamples < 16.0f) attackSamples = 16.0f;
    attackStep = stepFor(attackSamples);
}

void Follower::setRelease(float r) {
    if (!(r >= 0.0f && r <= 10.0f)) return;
    release = r;
    releaseSamples = r * sampleRate;
    if (releaseSamples < 16.0f) releaseSamples = 16.0f;
    releaseStep = stepFor(releaseSamples);
}

void Follower::setDecay(float d) {
    if (!(d >= 0.0f && d <= 1.0f)) return;
    decay = d;
    const float samples = d * sampleRate;
    holdSamples = samples < 2147483520.0f ? static_cast<std::int32_t>(samples) : 2147483520;
}
