#include "Master.h"

#include "Dsp.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace democlips {

namespace {

constexpr float kLookahead = 0.002f, kRelease = 0.08f;
constexpr float kMaxPeakLift = 2.0f;   // dB above the RMS target that a tame clip may be raised
constexpr float kMaxExtraLimit = 2.0f; // dB more limiting a sparse, peaky clip may take to come closer

float dbToGain(float db) {
    return std::pow(10.0f, db / 20.0f);
}

float rms(const StereoBuffer& a) {
    double sum = 0;
    for (size_t i = 0; i < a.frames(); ++i)
        sum += double(a.left[i]) * a.left[i] + double(a.right[i]) * a.right[i];
    return float(std::sqrt(sum / double(2 * std::max<size_t>(a.frames(), 1))));
}

float peak(const StereoBuffer& a) {
    float p = 0;
    for (size_t i = 0; i < a.frames(); ++i) p = std::max({p, std::fabs(a.left[i]), std::fabs(a.right[i])});
    return p;
}

StereoBuffer scaled(const StereoBuffer& a, float gain) {
    StereoBuffer out = a;
    for (size_t i = 0; i < out.frames(); ++i) {
        out.left[i] *= gain;
        out.right[i] *= gain;
    }
    return out;
}

// The gain each frame needs so no sample exceeds the ceiling, spread over the look-ahead
// (a running minimum, then a running mean of that, so the gain is in place before the peak)
// and released slowly afterwards.
void limit(StereoBuffer& a, float ceiling) {
    const size_t n = a.frames(), window = size_t(kLookahead * kRate);
    std::vector<float> need(n), held(n);
    for (size_t i = 0; i < n; ++i) {
        const float p = std::max(std::fabs(a.left[i]), std::fabs(a.right[i]));
        need[i] = p > ceiling ? ceiling / p : 1.0f;
    }
    std::deque<size_t> minima; // indices of a rising run of need over [i, i + window)
    for (size_t j = 0; j + 1 < n + window; ++j) {
        if (j < n) {
            while (!minima.empty() && need[minima.back()] >= need[j]) minima.pop_back();
            minima.push_back(j);
        }
        if (j + 1 < window) continue;
        const size_t i = j + 1 - window;
        while (minima.front() < i) minima.pop_front();
        held[i] = need[minima.front()];
    }
    const float release = 1.0f - std::exp(-1.0f / (kRelease * kRate));
    double sum = 0;
    float gain = 1.0f;
    for (size_t i = 0; i < n; ++i) {
        sum += held[i];
        if (i >= window) sum -= held[i - window];
        const float mean = float(sum / double(std::min(i + 1, window)));
        gain = std::min(mean, gain + (1.0f - gain) * release);
        a.left[i] *= gain;
        a.right[i] *= gain;
    }
}

void fade(StereoBuffer& a, float inSeconds, float outSeconds) {
    const size_t in = size_t(inSeconds * kRate), out = size_t(outSeconds * kRate), n = a.frames();
    for (size_t i = 0; i < in && i < n; ++i) {
        const float g = 0.5f - 0.5f * std::cos(std::numbers::pi_v<float> * float(i) / float(in));
        a.left[i] *= g;
        a.right[i] *= g;
    }
    for (size_t i = 0; i < out && i < n; ++i) {
        const float g = 0.5f - 0.5f * std::cos(std::numbers::pi_v<float> * float(i) / float(out));
        a.left[n - 1 - i] *= g;
        a.right[n - 1 - i] *= g;
    }
}

} // namespace

void master(StereoBuffer& audio) {
    const float level = rms(audio), top = peak(audio);
    if (level <= 0.0f || top <= 0.0f) return;
    const float ceiling = dbToGain(kCeilingDb), target = dbToGain(kTargetRmsDb);
    float gain = target / level;
    if (top * gain < ceiling) gain = std::min(ceiling / top, gain * dbToGain(kMaxPeakLift));
    StereoBuffer limited = scaled(audio, gain);
    limit(limited, ceiling);
    // Limiting cost the clip loudness: give some of it back at the price of more limiting.
    const float shortfall = target / rms(limited);
    if (shortfall > 1.0f) {
        limited = scaled(audio, gain * std::min(shortfall, dbToGain(kMaxExtraLimit)));
        limit(limited, ceiling);
    }
    audio = std::move(limited);
    fade(audio, 0.002f, 0.008f);
}

} // namespace democlips
