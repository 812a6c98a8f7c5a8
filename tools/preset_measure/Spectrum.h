#pragma once
// Noise made to a spectrum, and power in third-octave bands: over a whole signal from its spectrum
// (libavutil's transform), or over marked stretches of it through band filters.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace presetmeasure {

// Third-octave bands from 31.5 Hz to 16 kHz, centred on 1 kHz x 2^(k/3).
inline constexpr int kThirdOctaves = 28;
using ThirdOctaves = std::array<double, kThirdOctaves>;
double thirdOctaveCentre(int band);
// Mean of the values of the bands whose centre lies from `low` to `high` Hz.
double meanOver(const ThirdOctaves& values, double low, double high);
// The nominal label of a band ("31.5", "1k", "12.5k").
const char* thirdOctaveLabel(int band);

// `frames` samples of noise whose amplitude spectrum is `shape(f)` (f in Hz) and whose phases are
// drawn from `seed`; it repeats every 65536 samples. The same seed gives the same phases for every
// shape, so two signals differ only where their shapes differ.
std::vector<double> shapedNoise(std::size_t frames, double sampleRate, unsigned seed,
                                const std::function<double(double)>& shape);

// The amplitude spectrum of pink noise (power falling 3 dB per octave from 5 Hz upwards), raised
// by `raise` dB from `low` to `high` Hz.
std::function<double(double)> pinkShape(double raise = 0, double low = 0, double high = 0);

// `signal` x `gain` in single precision.
std::vector<float> scaled(const std::vector<double>& signal, double gain);

// Mean power per third-octave band of `signal`: Hann-windowed segments of 16384 samples,
// overlapping by half (one segment when the signal is shorter).
ThirdOctaves thirdOctavePowers(std::span<const float> signal, double sampleRate);

// Root mean square of a signal of floats or doubles.
template <typename T>
double rms(std::span<const T> signal) {
    double sum = 0;
    for (T x : signal) sum += double(x) * double(x);
    return signal.empty() ? 0.0 : std::sqrt(sum / double(signal.size()));
}

// Power per third-octave band of the samples marked 0 and of those marked 1 in `group` (others -1).
// The bands are taken by band filters run over the whole signal, so short stretches keep their low
// bands and a stretch's power does not depend on its neighbours' spectrum.
std::array<ThirdOctaves, 2> thirdOctavePowersByGroup(std::span<const float> signal, double sampleRate,
                                                     std::span<const std::int8_t> group);

double decibels(double powerRatio); // 10 log10, -300 for silence

} // namespace presetmeasure
