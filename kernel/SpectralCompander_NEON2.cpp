#include "SpectralCompander_NEON2.h"

#include <cmath>

namespace {
bool allOnes(const VEC32& v) {
    const __m128 one = _mm_set1_ps(1.0f);
    int equal = 0xF;
    for (int g = 0; g < 8; ++g) equal &= _mm_movemask_ps(_mm_cmpeq_ps(_mm_load_ps(v.array() + 4 * g), one));
    return equal == 0xF;
}
} // namespace

SpectralCompander_NEON2::SpectralCompander_NEON2() : core_(selectCompanderCore()) {
    init();
}

void SpectralCompander_NEON2::setThreshold(float t) {
    for (auto& c : compander) c.setThreshold(VEC32(1.0f - t));
}

void SpectralCompander_NEON2::setAttack(float a) {
    for (auto& c : compander) c.setAttack(VEC32(a));
}

void SpectralCompander_NEON2::setRelease(float r) {
    for (auto& c : compander) c.setRelease(VEC32(r));
}

void SpectralCompander_NEON2::setGain(VEC32 v) {
    for (auto& b : bandpass) b.setGain(v);
}

void SpectralCompander_NEON2::setResonance(VEC32 v) {
    for (auto& b : bandpass) b.setResonance(v);
}

void SpectralCompander_NEON2::setMultiplier(VEC32 m) {
    const VEC32 slope = VEC32(2.0f) * m - VEC32(1.0f);
    for (auto& c : compander) c.setMultiplier(slope);
}

void SpectralCompander_NEON2::setSamplerate(float rate) {
    for (auto& b : bandpass) b.setSamplerate(rate);
    for (auto& c : compander) c.setSamplerate(rate);
}

void SpectralCompander_NEON2::reset() {
    for (auto& b : bandpass) b.reset();
    for (auto& c : compander) c.reset();
}

VEC32 SpectralCompander_NEON2::getBandpassPeaks() const {
    return compander[0].getPeakOut() + compander[1].getPeakOut();
}

VEC32 SpectralCompander_NEON2::getFactor() const {
    return (compander[0].getFactor() + compander[1].getFactor()) * VEC32(0.5f);
}

void SpectralCompander_NEON2::processSamples(float* left, float* right, int frameCount) {
    for (int i = 0; i < frameCount; ++i) {
        bandpass[0].processSampleBP(&left[i]);
        bandpass[1].processSampleBP(&right[i]);
        compander[0].processSample(&bandpass[0].value);
        compander[1].processSample(&bandpass[1].value);
        left[i] = compander[0].value.sum();
        right[i] = compander[1].value.sum();
    }
}

bool SpectralCompander_NEON2::withinBound(const float* samples, int count) {
    const __m128 bound = _mm_set1_ps(kInputBound);
    const __m128 sign = _mm_set1_ps(-0.0f);
    __m128 within = _mm_cmpeq_ps(bound, bound);
    int i = 0;
    for (; i + 4 <= count; i += 4)
        within = _mm_and_ps(within, _mm_cmple_ps(_mm_andnot_ps(sign, _mm_loadu_ps(samples + i)), bound));
    bool all = _mm_movemask_ps(within) == 0xF;
    for (; i < count; ++i) all &= std::fabs(samples[i]) <= kInputBound;
    return all;
}

// A sample beyond the bound sets the filters ringing loud for seconds, one not a number leaves
// them NaN for good, and either drives the followers far up. So what such a sample did ends
// with the call: the channel's filters start again from rest, where the signal soon rings them
// back to, and its followers and factors resume where they stood. Audio within the bound never
// takes this road, and renders exactly as it would without the check.
void SpectralCompander_NEON2::processBuffers(float* left, float* right, int frameCount) {
    if (frameCount <= 0) return;
    const bool spoilt[2] = {!withinBound(left, frameCount), !withinBound(right, frameCount)};
    Compander32_NEON1::Running kept[2];
    for (int c = 0; c < 2; ++c)
        if (spoilt[c]) kept[c] = compander[c].running();
    render(left, right, frameCount);
    for (int c = 0; c < 2; ++c) {
        if (!spoilt[c]) continue;
        bandpass[c].restart();
        compander[c].resume(kept[c]);
    }
}

void SpectralCompander_NEON2::render(float* left, float* right, int frameCount) {
    if (bandpass[0].stages > 1.0f || bandpass[1].stages > 1.0f) {
        processSamples(left, right, frameCount);
        return;
    }
    // Per-segment constants the loop would otherwise recompute every sample; each is the
    // same single product or difference the per-sample form computes, so results agree.
    struct Derived {
        VEC32 holdReset, outHoldReset, postGain, oneMinusMix;
    } derived[2];
    CompanderCoreArgs args;
    for (int c = 0; c < 2; ++c) {
        Bandpass4Pole32_NEON1& b = bandpass[c];
        Compander32_NEON1& k = compander[c];
        Derived& d = derived[c];
        d.holdReset = k.follower.decay * VEC32(k.follower.sampleRate);
        d.outHoldReset = k.outFollower.decay * VEC32(k.outFollower.sampleRate);
        d.postGain = k.post * k.gain2;
        d.oneMinusMix = VEC32(1.0f) - k.mix;
        args.channel[c] = CompanderLanes{b.low1.array(),
                                         b.band1.array(),
                                         b.high1.array(),
                                         b.out.array(),
                                         b.value.array(),
                                         b.q.array(),
                                         b.w2.array(),
                                         b.att.array(),
                                         b.stageGain.array(),
                                         b.gain2.array(),
                                         k.follower.peak.array(),
                                         k.follower.hold.array(),
                                         k.follower.attackStep.array(),
                                         k.follower.releaseStep.array(),
                                         d.holdReset.array(),
                                         k.outFollower.peak.array(),
                                         k.outFollower.hold.array(),
                                         k.outFollower.attackStep.array(),
                                         k.outFollower.releaseStep.array(),
                                         d.outHoldReset.array(),
                                         k.value.array(),
                                         k.factor.array(),
                                         k.pre.array(),
                                         k.multiplier.array(),
                                         d.postGain.array(),
                                         k.mix.array(),
                                         d.oneMinusMix.array(),
                                         k.inverted > 0.5f};
    }
    args.left = left;
    args.right = right;
    args.frames = frameCount;
    args.unitStageGain = allOnes(bandpass[0].stageGain) && allOnes(bandpass[1].stageGain);
    args.fullMix = allOnes(compander[0].mix) && allOnes(compander[1].mix);
    core_(args);
}
