#pragma once

#include "Analyzer.h"

namespace SPECTRO {

// Spectral gain per semitone. Notes 0 .. 127 address tones 3 .. 130; the other tones share the
// outside-range gain.
class ChromaticFilter : public Analyzer {
public:
    static constexpr int kFirstNoteTone = 3;
    static constexpr int kLastNoteTone = 130;

    // Starts in chromatic mode with every gain at 1.
    ChromaticFilter(int size, int overlap, float samplerate);
    ~ChromaticFilter() override;

    void process(float* samples, int n) override;
    using Analyzer::process;
    void onBufferReady() override;
    void onComplex(float* c) override;

    virtual void setChromaticFilterRange(int low, int high, float outside);
    virtual void setChromaticFilterBands(float* gains, float outside);
    virtual void setChromaticFilterBand(int note, float v);
    virtual void setChromaticFilterBand2(int note, float v);
    virtual void setInverted(bool on) { inverted = on; }
    virtual void setOutsideRange(float v);
    virtual void filter(float* c);
    virtual void createChromaticSpectrum() { createSpectrum(); }

    float filterGains[Scala::kTones];
    bool inverted = false;

protected:
    static bool validNote(int note) { return note >= 0 && note <= 127; }
    // Whether a settable tone lies outside the kept range.
    bool outsideRange(int tone, int low, int high) const;
    // Tone index of bin k, or -1 without a bin map.
    int toneOf(int k) const;
};

} // namespace SPECTRO
