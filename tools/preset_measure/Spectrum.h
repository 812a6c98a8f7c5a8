#pragma once
// Noise made to a spectrum, power in third-octave bands (libavutil's transform) and a tone's
// harmonic distortion.

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

// The amplitude spectrum of pink noise: power falling 3 dB per octave from 5 Hz upwards.
std::function<double(double)> pinkShape();

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

// Harmonic distortion of a steady tone of `hz` in `signal`: the RMS of its harmonics 2 to 40 over
// that of the tone, read over the longest stretch from the start that holds whole periods.
double harmonicDistortion(std::span<const float> signal, double hz, double sampleRate);

double decibels(double powerRatio); // 10 log10, -300 for silence

} // namespace presetmeasure
