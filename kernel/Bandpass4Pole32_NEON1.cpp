#include "Bandpass4Pole32_NEON1.h"

#include <cmath>

Bandpass4Pole32_NEON1::Bandpass4Pole32_NEON1() {
    init();
}

void Bandpass4Pole32_NEON1::init() {
    sampleRate = 48000.0f;
    setSamplerate(48000.0f);
    setFrequency(frequency);
    setResonance(resonance);
    setAttenuation(attenuation);
    setGain(gain);
    reset();
}

void Bandpass4Pole32_NEON1::setSamplerate(float rate) {
    sampleRate = rate;
    setFrequency(frequency);
}

void Bandpass4Pole32_NEON1::setFrequency(VEC32 v) {
    // The centres are fixed: every third semitone from the C of MIDI note 12.
    frequency = v;
    for (int i = 0; i < 32; ++i) frequency[i] = 2.0f * Modulator::freqTable[4 * i];
    // A band whose centre lies above 0.4 x the rate is muted at that rate only: a host that ran
    // the effect at a low rate and comes back to a higher one gets every band that fits again.
    const float limit = 0.4f * sampleRate;
    for (int i = 0; i < 32; ++i) {
        const std::uint32_t bit = 1u << i;
        bool above = false;
        if (frequency[i] < 1.0f) {
            frequency[i] = 1.0f;
        } else if (frequency[i] > limit) {
            frequency[i] = limit;
            above = true;
        }
        if (above) {
            if (!(limitMuted & bit)) attenuationBeforeLimit[i] = attenuation[i];
            limitMuted |= bit;
            attenuation[i] = 0.0f;
        } else if (limitMuted & bit) {
            limitMuted &= ~bit;
            attenuation[i] = attenuationBeforeLimit[i];
        }
    }
    w = frequency * f2v(3.1415927f / sampleRate);
    w2 = w * w;
    setResonance(resonance);
    setAttenuation(attenuation);
}

void Bandpass4Pole32_NEON1::setResonance(VEC32 r) {
    if (stages <= 1.0f) {
        resonance = r;
        stageGain = f2v(1.0f);
    } else if (stages <= 2.0f) {
        resonance = r * f2v(0.99f);
        stageGain = f2v(1.0f) - resonance;
    } else if (stages <= 3.0f) {
        resonance = r * f2v(0.98f);
        const VEC32 d = f2v(1.0f) - resonance;
        stageGain = d * d;
    } else if (stages <= 4.0f) {
        resonance = r * f2v(0.97f);
        const VEC32 d = f2v(1.0f) - resonance;
        stageGain = d * d * d * d;
    } else {
        return;
    }
    q = f2v(0.49f) * (f2v(1.0f) - resonance) / w;
}

void Bandpass4Pole32_NEON1::setAttenuation(VEC32 a) {
    attenuation = a;
    for (int i = 0; i < 32; ++i)
        att[i] = 1.0f / (6.0f + 10.0f * (std::exp(frequency[i] / sampleRate) - 1.0f));
    const float scale = stages <= 1.0f ? 0.3f : (stages <= 2.0f ? 3.5f : (stages <= 3.0f ? 2.9f : 0.75f));
    att = att * f2v(scale);
    att = att * attenuation;
}

void Bandpass4Pole32_NEON1::setGain(VEC32 v) {
    gain = v;
    gain2 = f2v(2.0f) * v;
}

void Bandpass4Pole32_NEON1::setGain(float v) {
    setGain(f2v(v));
}

void Bandpass4Pole32_NEON1::reset() {
    restart();
    const VEC32 zero = f2v(0.0f);
    w = w2 = q = att = zero;
    setFrequency(frequency);
    setGain(0.5f);
    spare = VEC8(0.0f);
}

void Bandpass4Pole32_NEON1::processSampleBP(const float* sample) {
    value = f2v(*sample);
    high1 = value - q * band1 - low1;
    band1 += high1 * w2;
    low1 += band1;
    out = high1 * att;
    if (stages > 1.0f) {
        high2 = low1 - q * band2 - low2;
        band2 += high2 * w2;
        low2 += band2;
        out = high2 * att;
    }
    if (stages > 2.0f) {
        high3 = low2 - q * band3 - low3;
        band3 += high3 * w2;
        low3 += band3;
        out = high3 * att;
    }
    if (stages > 3.0f) {
        high4 = low3 - q * band4 - low4;
        band4 += high4 * w2;
        low4 += band4;
        out = high4 * att;
    }
    out = out * stageGain * gain2;
    value = out;
}

void Bandpass4Pole32_NEON1::restart() {
    const VEC32 zero = f2v(0.0f);
    low1 = band1 = high1 = zero;
    low2 = band2 = high2 = zero;
    low3 = band3 = high3 = zero;
    low4 = band4 = high4 = zero;
    out = value = zero;
}
