#pragma once
// 32-lane peak follower: linear attack, hold, linear release.

#include "VEC32.h"

class Follower32_NEON1 {
public:
    Follower32_NEON1();

    // Lanes outside the accepted range keep their previous settings.
    void setAttack(VEC32 v);  // 0 ... 1 s
    void setRelease(VEC32 v); // 0 ... 10 s
    void setDecay(VEC32 v);   // hold time, 0 ... 1 s
    void setSamplerate(float rate);
    void reset();
    void processSample(const VEC32* x);
    VEC32 getPeak() const { return peak; }
    VEC32 getPeakInverted() const;

    float sampleRate = 48000.0f;
    VEC32 attack = 0.01f;
    VEC32 release = 0.25f;
    VEC32 decay = 0.001f;
    VEC32 attackSamples = 480.0f;
    VEC32 releaseSamples = 24000.0f;
    VEC32 hold = 48.0f;
    VEC32 attackStep = 0.0f;
    VEC32 releaseStep = 0.0f;
    VEC32 peak = 0.0f;

private:
    static VEC32 absv(VEC32 v);
    static VEC32 f2v(const float& x) { return VEC32(x); }
};
