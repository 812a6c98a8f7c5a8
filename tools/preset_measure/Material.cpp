#include "Material.h"

#include "Loudness.h"
#include "Spectrum.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <span>

namespace presetmeasure {

namespace {

constexpr double kRate = kMeasureRate, kTwoPi = 2.0 * std::numbers::pi;
constexpr double kStep = 0.125; // a sixteenth note at 120 bpm, seconds
constexpr std::size_t kBarSteps = 16;

std::vector<float> toLevel(const std::vector<double>& signal, double dBFS) {
    return scaled(signal, amplitude(dBFS) / rms(std::span<const double>(signal)));
}

// Two-pole resonator with unity gain at its centre.
class Resonator {
public:
    Resonator(double hz, double bandwidth) {
        const double r = std::exp(-std::numbers::pi * bandwidth / kRate), w = kTwoPi * hz / kRate;
        a1_ = 2.0 * r * std::cos(w);
        a2_ = -r * r;
        gain_ = (1.0 - r) * std::sqrt(1.0 - 2.0 * r * std::cos(2.0 * w) + r * r);
    }
    double operator()(double x) {
        const double y = gain_ * x + a1_ * y1_ + a2_ * y2_;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

private:
    double a1_, a2_, gain_, y1_ = 0, y2_ = 0;
};

struct Hit {
    double attack, decay; // envelope: linear rise, then exponential fall (time constant), seconds
    double level;
};
enum Drum { kick, snare, hat };
constexpr Hit kHits[] = {{0.001, 0.05, 1.0}, {0.0005, 0.04, 0.85}, {0.0005, 0.01, 0.42}};
// Which drums play on each sixteenth of the bar.
constexpr std::pair<std::size_t, Drum> kPattern[] = {{0, kick}, {2, hat},   {4, snare},  {6, hat}, {8, kick},
                                                     {10, hat}, {11, kick}, {12, snare}, {14, hat}};

double envelope(const Hit& hit, double t) {
    return t < 0 ? 0.0 : t < hit.attack ? t / hit.attack : std::exp(-(t - hit.attack) / hit.decay);
}

} // namespace

double amplitude(double dB) {
    return std::pow(10.0, dB / 20.0);
}

std::vector<float> pinkNoise(std::size_t frames, double dBFS) {
    return toLevel(shapedNoise(frames, kRate, 1, pinkShape()), dBFS);
}

DrumLoop drumLoop(std::size_t frames, double peakDBFS) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> white(-1.0, 1.0);
    // One sound per drum, played on every step it has.
    const auto length = std::size_t(0.5 * kRate);
    std::vector<double> sounds[3];
    for (auto& s : sounds) s.assign(length, 0.0);
    double phase = 0, previous = 0, previousHigh = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const double t = double(i) / kRate;
        // Kick: a sine gliding down from 140 to 50 Hz, with a click.
        phase += kTwoPi * (50.0 + 90.0 * std::exp(-t / 0.03)) / kRate;
        sounds[kick][i] =
            envelope(kHits[kick], t) * (std::sin(phase) + 0.3 * white(random) * std::exp(-t / 0.002));
        // Snare: noise over a 185 Hz body.
        sounds[snare][i] =
            envelope(kHits[snare], t) * (0.7 * white(random) + 0.55 * std::sin(kTwoPi * 185.0 * t));
        // Hi-hat: noise differentiated twice, so mostly above 5 kHz.
        const double noise = white(random), high = noise - previous;
        sounds[hat][i] = envelope(kHits[hat], t) * 0.5 * (high - previousHigh);
        previous = noise;
        previousHigh = high;
    }

    const auto bar = std::size_t(kStep * kBarSteps * kRate);
    std::vector<double> hits(frames, 0.0), loud(frames, 0.0);
    for (std::size_t start = 0; start < frames; start += bar)
        for (const auto& [step, drum] : kPattern) {
            const auto onset = start + std::size_t(double(step) * kStep * kRate);
            for (std::size_t i = 0; i < length && onset + i < frames; ++i) {
                hits[onset + i] += kHits[drum].level * sounds[drum][i];
                loud[onset + i] += kHits[drum].level * envelope(kHits[drum], double(i) / kRate);
            }
        }

    double peak = 0;
    for (double x : hits) peak = std::max(peak, std::fabs(x));
    const double gain = amplitude(peakDBFS) / peak;
    const auto floor = pinkNoise(frames, kDrumFloor);
    DrumLoop loop;
    std::vector<double> mixed(frames);
    loop.gaps.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        mixed[i] = hits[i] * gain + floor[i];
        loop.gaps[i] = loud[i] * gain < amplitude(kDrumFloor - 10.0);
    }
    double mixedPeak = 0;
    for (double x : mixed) mixedPeak = std::max(mixedPeak, std::fabs(x));
    loop.signal = scaled(mixed, amplitude(peakDBFS) / mixedPeak);
    return loop;
}

std::vector<float> sungVowel(std::size_t frames, double dBFS) {
    Resonator formants[] = {{730, 90}, {1090, 110}, {2440, 170}, {3400, 250}};
    constexpr double formantLevels[] = {1.0, 0.5, 0.25, 0.12};
    std::vector<double> out(frames);
    double phase = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = double(i) / kRate, f0 = 196.0 * (1.0 + 0.015 * std::sin(kTwoPi * 5.5 * t));
        phase = std::fmod(phase + kTwoPi * f0 / kRate, kTwoPi);
        double source = 0;
        for (int k = 1; k * f0 < 8000.0; ++k) source += std::sin(k * phase) / k;
        double y = 0;
        for (std::size_t f = 0; f < std::size(formants); ++f) y += formantLevels[f] * formants[f](source);
        out[i] = y * std::min(1.0, t / 0.05);
    }
    return toLevel(out, dBFS);
}

std::vector<float> bassLine(std::size_t frames, double dBFS) {
    constexpr double notes[] = {55.0, 55.0, 82.41, 73.42, 49.0, 65.41, 55.0, 61.74};
    const auto noteLength = std::size_t(2 * kStep * kRate);
    std::vector<double> out(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double hz = notes[(i / noteLength) % std::size(notes)];
        const double t = double(i % noteLength) / kRate, left = double(noteLength - i % noteLength) / kRate;
        const double level = std::min({1.0, t / 0.003, left / 0.01}) * std::exp(-t / 0.4);
        double y = 0;
        for (int k = 1; k * hz < 2000.0; ++k) y += std::sin(kTwoPi * k * hz * t) / (k * k);
        out[i] = level * y;
    }
    return toLevel(out, dBFS);
}

std::vector<float> sine(std::size_t frames, double hz, double dBFS) {
    std::vector<double> out(frames);
    for (std::size_t i = 0; i < frames; ++i) out[i] = std::sin(kTwoPi * hz * double(i) / kRate);
    return toLevel(out, dBFS);
}

} // namespace presetmeasure
