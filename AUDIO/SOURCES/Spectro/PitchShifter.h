#pragma once

#include "FFTBase.h"
#include "Interpolator2.h"

namespace SPECTRO {

// Phase-vocoder pitch shift; the shift factor glides to each new setting over 12 frames.
class PitchShifter : public FFTBase {
public:
    // Starts at shift 1 (audio passes untouched) with partials kept up to the Nyquist frequency.
    PitchShifter(int size, int overlap, float samplerate);
    ~PitchShifter() override = default;

    void process(float* samples, int n) override;
    void init() override;
    void onBufferReady() override;
    void onAnalysis(float* freq, float* mag) override;

    virtual void setShift(float s);
    virtual float getShift() { return shift; }
    void onComplex(float*) override {}
    virtual void shiftPitch();

    float shift = 1.0f;
    Interpolator2 glide{1.0f};
    DynaBuffer shiftedFrequencies;
    DynaBuffer shiftedMagnitudes;
    DynaBuffer sumPhase;
    float maxFrequency = 0.0f;

private:
    void ensureSpectra();
};

} // namespace SPECTRO
