#pragma once
// 32 resonant two-integrator band filters a major third apart, one per lane.

#include "Modulator.h"
#include "VEC32.h"

#include <cstdint>

class Bandpass4Pole32_NEON1 {
public:
    Bandpass4Pole32_NEON1();
    Bandpass4Pole32_NEON1(const Bandpass4Pole32_NEON1&) = delete;
    Bandpass4Pole32_NEON1& operator=(const Bandpass4Pole32_NEON1&) = delete;

    void init();
    void setSamplerate(float rate);
    void setFrequency(VEC32 v);
    void setResonance(VEC32 v);
    void setAttenuation(VEC32 v);
    void setGain(VEC32 v);
    void setGain(float v);
    void reset();
    // Filters one sample into the 32 lanes of `value`.
    void processSampleBP(const float* sample);
    // Returns every lane's recursion to rest; the settings stay.
    void restart();

    VEC32 value = 0.0f;
    VEC8 spare = 0.0f;
    float sampleRate = 48000.0f;
    VEC32 frequency = 440.0f;
    VEC32 resonance = 0.1f;
    VEC32 attenuation = 1.0f;
    VEC32 gain = 0.5f;
    float stages = 1.0f;
    VEC32 w = 0.0f;
    VEC32 w2 = 0.0f;
    VEC32 q = 0.0f;
    VEC32 att = 0.0f;
    VEC32 low1 = 0.0f, band1 = 0.0f, high1 = 0.0f;
    VEC32 low2 = 0.0f, band2 = 0.0f, high2 = 0.0f;
    VEC32 low3 = 0.0f, band3 = 0.0f, high3 = 0.0f;
    VEC32 low4 = 0.0f, band4 = 0.0f, high4 = 0.0f;
    VEC32 out = 0.0f;
    VEC32 stageGain = 1.0f;
    VEC32 gain2 = 1.0f;
    Modulator modulator;
    // Lanes muted because their centre lies above 0.4 x the rate, and the attenuation each had
    // before, given back when a later rate fits the centre.
    std::uint32_t limitMuted = 0;
    VEC32 attenuationBeforeLimit = 1.0f;

private:
    static VEC32 f2v(const float& x) { return VEC32(x); }
};
