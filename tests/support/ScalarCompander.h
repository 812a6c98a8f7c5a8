#pragma once
// A plain scalar reading of the band filter bank, the compander and its followers, and the
// kernel's parameter routing, one lane at a time with ordinary float arithmetic. The
// optimised engine must match it bit for bit; the benchmarks compare against its speed.

#include <cmath>
#include <cstdint>

namespace scalar {

constexpr int N = 32;

inline const float* noteTable() {
    static float table[128];
    static bool filled = false;
    if (!filled) {
        const double r = 1.059463094359;
        double f = 6.875 * r * r * r;
        for (int n = 0; n < 128; ++n) {
            table[n] = float(f);
            f *= r;
        }
        filled = true;
    }
    return table;
}

struct Bank {
    float sampleRate = 48000.0f;
    float frequency[N], resonance[N], attenuation[N], gain[N], gain2[N];
    float w[N], w2[N], q[N], att[N], stageGain[N];
    float low[N], band[N], high[N], out[N], value[N];

    Bank() {
        for (int i = 0; i < N; ++i) {
            frequency[i] = 440.0f;
            resonance[i] = 0.1f;
            attenuation[i] = 1.0f;
            gain[i] = 0.5f;
        }
        setSamplerate(48000.0f);
        setGain(gain);
        reset();
    }
    void setSamplerate(float rate) {
        sampleRate = rate;
        setFrequency();
    }
    void setFrequency() {
        const float* table = noteTable();
        const float limit = 0.4f * sampleRate;
        for (int i = 0; i < N; ++i) {
            float f = 2.0f * table[4 * i];
            attenuation[i] = 1.0f; // muted only at a rate the centre lies too high for
            if (f < 1.0f) {
                f = 1.0f;
            } else if (f > limit) {
                f = limit;
                attenuation[i] = 0.0f;
            }
            frequency[i] = f;
            w[i] = f * (3.1415927f / sampleRate);
            w2[i] = w[i] * w[i];
        }
        setResonance(resonance);
        setAttenuation();
    }
    void setResonance(const float* r) {
        for (int i = 0; i < N; ++i) {
            resonance[i] = r[i];
            stageGain[i] = 1.0f;
            q[i] = 0.49f * (1.0f - resonance[i]) / w[i];
        }
    }
    void setAttenuation() {
        for (int i = 0; i < N; ++i) {
            float a = 1.0f / (6.0f + 10.0f * (std::exp(frequency[i] / sampleRate) - 1.0f));
            a = a * 0.3f;
            att[i] = a * attenuation[i];
        }
    }
    void setGain(const float* g) {
        for (int i = 0; i < N; ++i) {
            gain[i] = g[i];
            gain2[i] = 2.0f * g[i];
        }
    }
    void reset() {
        for (int i = 0; i < N; ++i) low[i] = band[i] = high[i] = out[i] = value[i] = 0.0f;
        setFrequency();
        float unity[N];
        for (float& u : unity) u = 0.5f;
        setGain(unity);
    }
    void step(float x) {
        for (int i = 0; i < N; ++i) {
            high[i] = (x - q[i] * band[i]) - low[i];
            band[i] = band[i] + high[i] * w2[i];
            low[i] = low[i] + band[i];
            out[i] = high[i] * att[i];
            out[i] = (out[i] * stageGain[i]) * gain2[i];
            value[i] = out[i];
        }
    }
};

struct Follower {
    float sampleRate = 48000.0f;
    float attack[N], release[N], decay[N], hold[N], attackStep[N], releaseStep[N], peak[N];

    Follower(float a, float r, float d) {
        for (int i = 0; i < N; ++i) {
            attack[i] = a;
            release[i] = r;
            decay[i] = d;
            peak[i] = 0.0f;
        }
        setSamplerate(48000.0f);
    }
    void setSamplerate(float rate) {
        sampleRate = rate;
        for (int i = 0; i < N; ++i) {
            setAttack(i, attack[i]);
            setRelease(i, release[i]);
            setDecay(i, decay[i]);
        }
    }
    void setAttack(int i, float v) {
        if (!(v >= 0.0f && v <= 1.0f)) return;
        attack[i] = v;
        float samples = v * sampleRate;
        if (samples < 16.0f) samples = 16.0f;
        attackStep[i] = 1.0f / samples;
    }
    void setRelease(int i, float v) {
        if (!(v >= 0.0f && v <= 10.0f)) return;
        release[i] = v;
        float samples = v * sampleRate;
        if (samples < 16.0f) samples = 16.0f;
        releaseStep[i] = 1.0f / samples;
    }
    void setDecay(int i, float v) {
        if (!(v >= 0.0f && v <= 1.0f)) return;
        decay[i] = v;
        hold[i] = float(int(v * sampleRate));
    }
    void reset() {
        for (float& p : peak) p = 0.0f;
    }
    void step(const float* x) {
        for (int i = 0; i < N; ++i) {
            const float a = x[i] < 0.0f ? -x[i] : x[i];
            if (a > peak[i]) {
                peak[i] = peak[i] + attackStep[i];
                hold[i] = decay[i] * sampleRate;
            } else if (a < peak[i]) {
                hold[i] = hold[i] - 1.0f;
                if (hold[i] <= 0.0f) {
                    hold[i] = 0.0f;
                    peak[i] = peak[i] - releaseStep[i];
                    if (peak[i] < 0.0f) peak[i] = 0.0f;
                }
            }
        }
    }
};

struct Compander {
    Follower detector{0.01f, 0.25f, 0.001f};
    Follower meter{0.01f, 0.25f, 0.001f};
    float multiplier[N], pre[N], post[N], gain2[N], factor[N], value[N];
    float mix = 1.0f;

    Compander() {
        for (int i = 0; i < N; ++i) {
            multiplier[i] = 0.2f;
            detector.setAttack(i, 0.05f);
            detector.setRelease(i, 0.25f);
            detector.setDecay(i, 0.001f);
            meter.setAttack(i, 0.1f);
            meter.setDecay(i, 0.1f);
            meter.setRelease(i, 1.0f);
            gain2[i] = 2.0f * 0.6f;
        }
        setThreshold(1.0f);
        reset();
    }
    void setThreshold(float v) {
        for (int i = 0; i < N; ++i) {
            pre[i] = 0.05f + 100.0f * (1.0f - v);
            if (pre[i] < 0.01f) pre[i] = 0.01f;
            post[i] = 1.0f / pre[i];
        }
    }
    void setMultiplier(int i, float v) { multiplier[i] = v < -1.0f ? -1.0f : v; }
    void reset() {
        for (int i = 0; i < N; ++i) {
            factor[i] = 1.0f;
            value[i] = 0.0f;
        }
        detector.reset();
        meter.reset();
    }
    void step(float* band) {
        float v[N];
        for (int i = 0; i < N; ++i) v[i] = band[i] * pre[i];
        detector.step(v);
        for (int i = 0; i < N; ++i) {
            const float p = detector.peak[i];
            float clamped = p < 0.0f ? 0.0f : p;
            if (clamped > 1.0f) clamped = 1.0f;
            const float inv = 1.0f - clamped;
            if (p > 1.0f) {
                factor[i] = 1.0f / p;
            } else if (p < 1.0f) {
                factor[i] = 1.0f + inv * multiplier[i];
            }
            float out = v[i] * factor[i];
            out = out * (post[i] * gain2[i]);
            out = out * mix + band[i] * (1.0f - mix);
            value[i] = out;
            band[i] = out;
        }
        meter.step(value);
    }
};

// The stereo engine with the kernel's parameter routing: a band value refreshes the whole
// stored vector of its kind; nothing reaches the engine before it is first set.
struct Engine {
    Bank bank[2];
    Compander comp[2];
    float params[4] = {0, 0, 0, 0};
    float gains[N], resonances[N], multipliers[N];

    Engine() {
        for (int i = 0; i < N; ++i) {
            gains[i] = 1.0f;
            resonances[i] = 0.1f;
            multipliers[i] = 0.0f;
        }
    }
    void setParameter(std::uint64_t address, float value) {
        if (address <= 3) {
            params[address] = value;
            for (auto& c : comp) {
                if (address == 1) c.setThreshold(1.0f - value);
                for (int i = 0; i < N; ++i) {
                    if (address == 2) c.detector.setAttack(i, value);
                    if (address == 3) c.detector.setRelease(i, value);
                }
            }
            return;
        }
        const int kind = int(address / 1000);
        const int band = int(address % 1000);
        if (kind < 1 || kind > 3 || band >= N) return;
        if (kind == 1) {
            gains[band] = value;
            for (auto& b : bank) b.setGain(gains);
        } else if (kind == 2) {
            resonances[band] = value;
            for (auto& b : bank) b.setResonance(resonances);
        } else {
            multipliers[band] = value;
            for (auto& c : comp)
                for (int i = 0; i < N; ++i) c.setMultiplier(i, 2.0f * multipliers[i] - 1.0f);
        }
    }
    void process(float* left, float* right, int frames) {
        if (params[0] != 0.0f) return;
        for (int n = 0; n < frames; ++n) {
            bank[0].step(left[n]);
            bank[1].step(right[n]);
            comp[0].step(bank[0].value);
            comp[1].step(bank[1].value);
            float l = 0.0f, r = 0.0f;
            for (int i = 0; i < N; ++i) l += comp[0].value[i];
            for (int i = 0; i < N; ++i) r += comp[1].value[i];
            left[n] = l;
            right[n] = r;
        }
    }
};

} // namespace scalar
