#pragma once

#include <memory>

#include "FFTBase.h"
#include "Scala.h"

namespace SPECTRO {

// Sorts the bins of the last analysed frame of `fft` into the tones of `scala` (one record per
// bin) and writes each bin's tone index to `binToTone` (halfSize + 1 entries).
void distributeBins(FFTBase& fft, Scala& scala, int* binToTone);

// Analysis only: magnitude, normalised and peak-hold spectra, and in chromatic mode the bins
// distributed over the semitones of a Scala.
class Analyzer : public FFTBase {
public:
    Analyzer(int size, int overlap, float samplerate);
    ~Analyzer() override = default;

    void setSamplerate(float rate) override;
    void process(float* samples, int n) override;
    void init() override;
    void clear() override;
    void onBufferReady() override;
    void onAnalysis(float* freq, float* mag) override;

    // Analyses per second wanted; 0 or less analyses every frame.
    virtual void setUpdateRate(int rate);
    virtual void setChromatic(bool on);
    // Feeds the sum of two signals.
    virtual void process(float* a, float* b, int n);
    virtual void createSpectrum();

    Scala scala;
    // Tone index per bin (halfSize + 1 entries); present only in chromatic mode.
    std::unique_ptr<int[]> binToTone;
    bool chromatic = false;
    int updateRate = 0;
    int frameCounter = 0;
    int updateInterval = 1;

private:
    void computeInterval();
    int binToToneSize = 0;
};

} // namespace SPECTRO
