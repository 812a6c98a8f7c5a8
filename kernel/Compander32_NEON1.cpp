#include "Compander32_NEON1.h"

Compander32_NEON1::Compander32_NEON1() {
    setSamplerate(48000.0f);
    setMultiplier(multiplier);
    setAttack(f2v(0.05f));
    setRelease(f2v(0.25f));
    setDecay(f2v(0.001f));
    setThreshold(pre);
    setGain(gain);
    setInverted(inverted);
    outFollower.setAttack(f2v(0.1f));
    outFollower.setDecay(f2v(0.1f));
    outFollower.setRelease(f2v(1.0f));
    reset();
}

void Compander32_NEON1::setThreshold(VEC32 v) {
    for (int i = 0; i < 32; ++i) {
        pre[i] = 0.05f + 100.0f * (1.0f - v[i]);
        if (pre[i] < 0.01f) pre[i] = 0.01f;
    }
    post = f2v(1.0f) / pre;
}

void Compander32_NEON1::setMultiplier(VEC32 v) {
    multiplier = v;
    for (int i = 0; i < 32; ++i)
        if (multiplier[i] < -1.0f) multiplier[i] = -1.0f;
}

void Compander32_NEON1::setGain(VEC32 v) {
    gain = v;
    gain2 = f2v(2.0f) * v;
}

void Compander32_NEON1::setSamplerate(float rate) {
    sampleRate = rate;
    follower.setSamplerate(rate);
    outFollower.setSamplerate(rate);
}

void Compander32_NEON1::init() {
    factor = f2v(1.0f);
}

void Compander32_NEON1::reset() {
    init();
    follower.reset();
    outFollower.reset();
    value = f2v(0.0f);
}

void Compander32_NEON1::resume(const Running& r) {
    follower.peak = r.peak;
    follower.hold = r.hold;
    outFollower.peak = r.outPeak;
    outFollower.hold = r.outHold;
    factor = r.factor;
}

void Compander32_NEON1::processSample(VEC32* band) {
    const VEC32 y = *band;
    value = y * pre;
    follower.processSample(&value);
    const VEC32 p = follower.getPeak();
    const VEC32 inv = follower.getPeakInverted();
    for (int i = 0; i < 32; ++i) {
        if (p[i] > 1.0f) {
            factor[i] = 1.0f / p[i];
        } else if (p[i] < 1.0f) {
            factor[i] = 1.0f + inv[i] * multiplier[i];
        }
    }
    value = value * factor;
    value = value * (post * gain2);
    if (inverted > 0.5f) value = y - value;
    value = value * mix + y * (f2v(1.0f) - mix);
    *band = value;
    outFollower.processSample(&value);
}
