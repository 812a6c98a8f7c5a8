#pragma once
// The stereo 32-band compander: one filter bank and one compander per channel; each output
// sample is the sum of its 32 companded bands.

#include "Bandpass4Pole32_NEON1.h"
#include "Compander32_NEON1.h"
#include "CompanderCore.h"

class SpectralCompander_NEON2 {
public:
    SpectralCompander_NEON2();
    SpectralCompander_NEON2(const SpectralCompander_NEON2&) = delete;
    SpectralCompander_NEON2& operator=(const SpectralCompander_NEON2&) = delete;

    void init() {}
    void setThreshold(float t);
    void setAttack(float a);
    void setRelease(float r);
    void setGain(VEC32 v);
    void setResonance(VEC32 v);
    void setMultiplier(VEC32 m);
    void setSamplerate(float rate);
    void reset();
    // Filters and compands both channels in place. A channel whose input holds a sample beyond
    // kInputBound, or not a number, leaves the call with its filters at rest and its followers
    // and factors as they were before it.
    void processBuffers(float* left, float* right, int frameCount);
    static constexpr float kInputBound = 1000.0f; // +60 dBFS, far above anything audio reaches
    // Whether every sample lies within the bound (NaN does not).
    static bool withinBound(const float* samples, int count);
    VEC32 getBandpassPeaks() const;
    VEC32 getFactor() const;
    const float* getFrequencies() const { return bandpass[0].frequency.array(); }
    // Picks the loop's instruction set (the widest the processor runs by default).
    void setCore(CompanderCoreFn core) { core_ = core; }

    Bandpass4Pole32_NEON1 bandpass[2];
    Compander32_NEON1 compander[2];

private:
    void render(float* left, float* right, int frameCount);
    // The sample-by-sample road through the band objects, for banks with more than one stage.
    void processSamples(float* left, float* right, int frameCount);
    CompanderCoreFn core_;
};
