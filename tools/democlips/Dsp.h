#pragma once
// The small building blocks every instrument is made of. Everything here is plain arithmetic
// on floats with no dependence on time, thread or address, so a clip renders to the same
// samples on every run; sines come from one table so that thousands of oscillators stay cheap.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace democlips {

constexpr float kRate = 48000.0f;
constexpr float kTwoPi = 2.0f * std::numbers::pi_v<float>;

// xorshift64*: fast, seedable, identical everywhere.
class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) { next(); }
    uint64_t next() {
        s_ ^= s_ >> 12;
        s_ ^= s_ << 25;
        s_ ^= s_ >> 27;
        return s_ * 0x2545F4914F6CDD1Dull;
    }
    float uniform() { return float(next() >> 40) * (1.0f / 16777216.0f); } // [0, 1)
    float bipolar() { return 2.0f * uniform() - 1.0f; }                    // [-1, 1)

private:
    uint64_t s_;
};

// sin(2 pi x) for any x, from a table with linear interpolation (error below 1e-7).
inline float sine(double cycles) {
    constexpr int kSize = 8192;
    static const std::array<float, kSize + 1> table = [] {
        std::array<float, kSize + 1> t{};
        for (int i = 0; i <= kSize; ++i) t[size_t(i)] = float(std::sin(2.0 * std::numbers::pi * i / kSize));
        return t;
    }();
    const double f = (cycles - std::floor(cycles)) * kSize;
    const int i = int(f);
    const float frac = float(f - i);
    return table[size_t(i)] + (table[size_t(i) + 1] - table[size_t(i)]) * frac;
}

// A cheap saturating curve, close to tanh below |x| = 3 and flat beyond.
inline float softClip(float x) {
    if (x > 3.0f) return 1.0f;
    if (x < -3.0f) return -1.0f;
    return x * (27.0f + x * x) / (27.0f + 9.0f * x * x);
}

inline float midiToHz(double note) {
    return float(440.0 * std::exp2((note - 69.0) / 12.0));
}

// Band-limited step correction for saw and square oscillators.
inline float polyBlep(float t, float dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0f;
    }
    if (t > 1.0f - dt) {
        t = (t - 1.0f) / dt;
        return t * t + t + t + 1.0f;
    }
    return 0.0f;
}

struct Saw {
    float phase = 0;
    float tick(float hz) {
        const float dt = hz / kRate;
        const float v = 2.0f * phase - 1.0f - polyBlep(phase, dt);
        phase += dt;
        if (phase >= 1.0f) phase -= 1.0f;
        return v;
    }
};

struct Square {
    float phase = 0;
    float tick(float hz) {
        const float dt = hz / kRate;
        float v = phase < 0.5f ? 1.0f : -1.0f;
        v += polyBlep(phase, dt);
        float shifted = phase + 0.5f;
        if (shifted >= 1.0f) shifted -= 1.0f;
        v -= polyBlep(shifted, dt);
        phase += dt;
        if (phase >= 1.0f) phase -= 1.0f;
        return v;
    }
};

struct OnePole {
    float a = 0, z = 0;
    void setCutoff(float hz) { a = std::exp(-kTwoPi * std::min(hz, 0.45f * kRate) / kRate); }
    float lowpass(float x) { return z = x + a * (z - x); }
    float highpass(float x) { return x - lowpass(x); }
};

// Zero-delay-feedback state-variable filter; its band output is scaled to unit gain at the
// centre so formants and swells keep their level whatever the Q.
struct Svf {
    float g = 0, k = 1, a1 = 0, a2 = 0, a3 = 0, ic1 = 0, ic2 = 0;
    float low = 0, band = 0, high = 0;
    void set(float hz, float q) {
        g = std::tan(std::numbers::pi_v<float> * std::clamp(hz, 10.0f, 0.45f * kRate) / kRate);
        k = 1.0f / q;
        a1 = 1.0f / (1.0f + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }
    void tick(float x) {
        const float v3 = x - ic2;
        const float v1 = a1 * ic1 + a2 * v3;
        const float v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2.0f * v1 - ic1;
        ic2 = 2.0f * v2 - ic2;
        low = v2;
        band = v1;
        high = x - k * v1 - v2;
    }
    float bandNormalised() const { return band * k; }
};

// Two-pole resonator ringing at `hz` for about `seconds` (to -60 dB): modal bodies and bars.
struct Resonator {
    float b1 = 0, b2 = 0, y1 = 0, y2 = 0;
    void set(float hz, float seconds) {
        const float r = std::exp(-6.9f / (seconds * kRate));
        b1 = 2.0f * r * std::cos(kTwoPi * hz / kRate);
        b2 = -r * r;
    }
    float tick(float x) {
        const float y = x + b1 * y1 + b2 * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Delay line read at a fractional position (linear interpolation).
class Delay {
public:
    explicit Delay(size_t capacity = 2) : buf_(capacity, 0.0f) {}
    void write(float x) {
        buf_[pos_] = x;
        pos_ = pos_ + 1 == buf_.size() ? 0 : pos_ + 1;
    }
    // The sample written `samples` ticks ago (1 = the last one).
    float read(float samples) const {
        const float clamped = std::clamp(samples, 1.0f, float(buf_.size() - 1));
        const size_t whole = size_t(clamped);
        const float frac = clamped - float(whole);
        const float a = at(whole), b = at(whole + 1);
        return a + (b - a) * frac;
    }

private:
    float at(size_t back) const { return buf_[(pos_ + buf_.size() - back) % buf_.size()]; }
    std::vector<float> buf_;
    size_t pos_ = 0;
};

// Constant-power pan, -1 (left) to 1 (right).
struct PanGains {
    float left, right;
};
inline PanGains pan(float position) {
    const float angle = (std::clamp(position, -1.0f, 1.0f) + 1.0f) * 0.25f * std::numbers::pi_v<float>;
    return {std::cos(angle) * std::numbers::sqrt2_v<float>, std::sin(angle) * std::numbers::sqrt2_v<float>};
}

} // namespace democlips
