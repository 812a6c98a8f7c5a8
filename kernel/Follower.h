#pragma once
// Single-channel peak follower settings: times, their sample counts and steps.

#include <cstdint>

class Follower {
public:
    Follower();

    void init() { peak = 0.0; }
    void reset() { init(); }
    // Also returns the times to their fixed defaults (10 ms attack, 0.5 s release, 0.1 ms hold).
    void setSamplerate(float rate);
    void setAttack(float a);  // ignored outside 0 ... 1 s
    void setRelease(float r); // ignored outside 0 ... 10 s
    void setDecay(float d);   // hold time, ignored outside 0 ... 1 s

    float sampleRate = 48000.0f;
    float attack = 0.01f;
    float release = 1.0f;
    float decay = 0.001f;
    float attackSamples = 480.0f;
    float releaseSamples = 48000.0f;
    std::int32_t holdSamples = 48;
    double attackStep = 0.0;
    double releaseStep = 0.0;
    double peak = 0.0;
};
