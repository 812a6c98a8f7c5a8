#pragma once

#include <memory>

#include "FFTBase.h"
#include "Scala.h"

namespace SPECTRO {

// Shapes a second signal's spectrum by the first signal's per-note energy.
class CrossModulator : public FFTBase {
public:
    // Starts at amount 1 over the notes 0 .. 127.
    CrossModulator(int size, int overlap, float samplerate);
    ~CrossModulator() override;

    void process(float*, int) override {}
    void init() override;
    void onBufferReady() override;
    void onAnalysis(float* freq, float* mag) override;
    void onComplex(float* c) override;

    // Notes summed per analysis, kept inside 0 .. 137.
    virtual void setRange(int low, int high);
    virtual void setAmount(float a) { amount = a; }
    virtual float getAmount() { return amount; }
    // `a` is analysed; `b` is modulated and receives the output in place.
    virtual void process(float* a, float* b, int n);
    virtual void crossmodulate();
    virtual void createChromaticBands();

    float amount = 1.0f;
    int rangeLow = 0;
    int rangeHigh = 128;
    DynaBuffer secondInput;
    DynaBuffer secondComplex;
    Scala scala;
    int frameCounter = 0;
    std::unique_ptr<int[]> binToTone;

private:
    void ensureBuffers();
    int binToToneSize = 0;
};

} // namespace SPECTRO
