#pragma once

#include "ChromaticFilter.h"

namespace SPECTRO {

// Per-semitone pitch or magnitude shifting on top of the chromatic filter. The pitch modes keep a
// running phase per bin: after a factor jumps instead of gliding, the bins that take over a partial
// keep the phase pattern they had, which can put its energy at the frame edges, where the window
// mutes it.
class ChromaticPitch : public ChromaticFilter {
public:
    enum Mode { kShiftPitches = 0, kShiftMagnitudes = 1, kFilterPhases = 2, kFilter = 3, kUnchanged = 4 };

    // Starts in mode 4 (no spectral change) with every pitch factor at 1.
    ChromaticPitch(int size, int overlap, float samplerate);
    ~ChromaticPitch() override = default;

    void init() override;
    void onBufferReady() override;
    void onComplex(float* c) override;
    void setChromaticFilterRange(int low, int high, float outside) override;
    void setOutsideRange(float v) override;

    virtual void setMode(int m) { mode = m; }
    virtual int getMode() { return mode; }
    virtual void setChromaticPitches(float* p, float scale);
    virtual void setChromaticPitch(int note, float v, float scale);
    virtual void shiftPitches();
    virtual void shiftMagnitudes();
    virtual void filter2();

    DynaBuffer shiftedFrequencies;
    DynaBuffer shiftedMagnitudes;
    DynaBuffer sumPhase;
    float pitchFactors[Scala::kTones];
    bool throttled = false;
    int mode = kUnchanged;

private:
    bool spectraReady() const;
    // Moves bins by the per-tone factor; `pitch` scales frequencies, otherwise magnitudes.
    void shiftBins(bool pitch);
};

} // namespace SPECTRO
