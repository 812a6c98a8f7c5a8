#pragma once

#include "FFTBase.h"

namespace SPECTRO {

// Gaussian wavelet of bin `x` for a band at `scale` (period / fftSize) and quality `q`.
float wavelet(float x, float scale, float q);

// A bank of Gaussian wavelet bands (periods of 880 Hz down to 110 Hz) resynthesised and summed.
class SuperSpectro : public FFTBase {
public:
    SuperSpectro(int size, int overlap, float samplerate);
    ~SuperSpectro() override = default;

    void process(float* samples, int n) override;
    void doOutput(float* out) override;
    void init() override;
    void clear() override;
    void onBufferReady() override;
    void onComplex(float*) override {}

    // Inverse transform of one band, overlap-added into the frame's accumulator.
    virtual void complex2buffer2(float* c, float f);

    DynaBuffer waveletBand;
};

} // namespace SPECTRO
