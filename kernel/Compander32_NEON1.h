#pragma once
// Per-band compander: a peak detector sets each band's gain factor (limiting above full
// scale, compressing or expanding below it); a second follower meters the output.

#include "Follower32_NEON1.h"

class Compander32_NEON1 {
public:
    Compander32_NEON1();

    void setThreshold(VEC32 v);
    void setAttack(VEC32 v) { follower.setAttack(v); }
    void setRelease(VEC32 v) { follower.setRelease(v); }
    void setDecay(VEC32 v) { follower.setDecay(v); }
    void setMultiplier(VEC32 v);
    void setGain(VEC32 v);
    void setInverted(float x) { inverted = x; }
    void setSamplerate(float rate);
    void init();
    void reset();
    // Compands the bank's band samples in place.
    void processSample(VEC32* band);
    VEC32 getPeakOut() const { return outFollower.getPeak(); }
    VEC32 getFactor() const { return factor; }

    // What rendering moves: both followers and the gain factor.
    struct Running {
        VEC32 peak, hold, outPeak, outHold, factor;
    };
    Running running() const {
        return {follower.peak, follower.hold, outFollower.peak, outFollower.hold, factor};
    }
    void resume(const Running& r);

    VEC32 value = 0.0f;
    Follower32_NEON1 follower;
    Follower32_NEON1 outFollower;
    float sampleRate = 48000.0f;
    VEC32 multiplier = 0.2f;
    VEC32 pre = 1.0f;
    VEC32 post = 1.0f;
    VEC32 mix = 1.0f;
    VEC32 gain = 0.6f;
    float inverted = 0.0f;
    VEC32 factor = 1.0f;
    VEC32 gain2 = 1.0f;

private:
    static VEC32 f2v(const float& x) { return VEC32(x); }
};
