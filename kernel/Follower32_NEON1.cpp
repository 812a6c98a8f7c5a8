#include "Follower32_NEON1.h"

Follower32_NEON1::Follower32_NEON1() {
    setSamplerate(48000.0f);
    reset();
}

void Follower32_NEON1::setAttack(VEC32 v) {
    for (int i = 0; i < 32; ++i) {
        if (v[i] >= 0.0f && v[i] <= 1.0f) {
            attack[i] = v[i];
            attackSamples[i] = v[i] * sampleRate;
            if (attackSamples[i] < 16.0f) attackSamples[i] = 16.0f;
            attackStep[i] = 1.0f / attackSamples[i];
        }
    }
}

void Follower32_NEON1::setRelease(VEC32 v) {
    for (int i = 0; i < 32; ++i) {
        if (v[i] >= 0.0f && v[i] <= 10.0f) {
            release[i] = v[i];
            releaseSamples[i] = v[i] * sampleRate;
            if (releaseSamples[i] < 16.0f) releaseSamples[i] = 16.0f;
            releaseStep[i] = 1.0f / releaseSamples[i];
        }
    }
}

void Follower32_NEON1::setDecay(VEC32 v) {
    for (int i = 0; i < 32; ++i) {
        if (v[i] >= 0.0f && v[i] <= 1.0f) {
            decay[i] = v[i];
            const float samples = v[i] * sampleRate;
            hold[i] = samples < 2147483520.0f ? float(static_cast<int>(samples)) : 2147483520.0f;
        }
    }
}

void Follower32_NEON1::setSamplerate(float rate) {
    sampleRate = rate;
    setAttack(attack);
    setRelease(release);
    setDecay(decay);
}

void Follower32_NEON1::reset() {
    peak = f2v(0.0f);
}

VEC32 Follower32_NEON1::absv(VEC32 v) {
    for (int i = 0; i < 32; ++i)
        if (v[i] < 0.0f) v[i] = -v[i];
    return v;
}

void Follower32_NEON1::processSample(const VEC32* x) {
    const VEC32 a = absv(*x);
    for (int i = 0; i < 32; ++i) {
        if (a[i] > peak[i]) {
            peak[i] += attackStep[i];
            hold[i] = decay[i] * sampleRate;
        } else if (a[i] < peak[i]) {
            hold[i] -= 1.0f;
            if (hold[i] <= 0.0f) {
                hold[i] = 0.0f;
                peak[i] -= releaseStep[i];
                if (peak[i] < 0.0f) peak[i] = 0.0f;
            }
        }
    }
}

VEC32 Follower32_NEON1::getPeakInverted() const {
    VEC32 r;
    for (int i = 0; i < 32; ++i) {
        float p = peak[i];
        if (p < 0.0f) p = 0.0f;
        if (p > 1.0f) p = 1.0f;
        r[i] = 1.0f - p;
    }
    return r;
}
