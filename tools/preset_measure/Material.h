#pragma once
// The material a preset is tried on, made the same on every run: pink noise, a drum loop over a
// faint noise floor, a sung vowel, a bass line and a low sine. Every signal is mono, 48 kHz, and
// played into both channels.

#include <cstddef>
#include <vector>

namespace presetmeasure {

double amplitude(double dB); // 10^(dB/20)

// Pink noise (power falling 3 dB per octave from 5 Hz) at `dBFS` RMS.
std::vector<float> pinkNoise(std::size_t frames, double dBFS);

// A two-second bar at 120 bpm, repeated: kick, snare and closed hi-hat over pink noise at
// kDrumFloor dBFS RMS, peaking at `peakDBFS`. `gaps` marks the stretches between the hits, where
// what sounds of them has died below the floor.
inline constexpr double kDrumFloor = -50.0;
struct DrumLoop {
    std::vector<float> signal;
    std::vector<bool> gaps;
};
DrumLoop drumLoop(std::size_t frames, double peakDBFS);

// An /a/ sung at 196 Hz with vibrato, through four formants, at `dBFS` RMS.
std::vector<float> sungVowel(std::size_t frames, double dBFS);

// Plucked bass notes from 49 to 82 Hz, four to the beat at 120 bpm, at `dBFS` RMS.
std::vector<float> bassLine(std::size_t frames, double dBFS);

// A sine at `dBFS` RMS.
std::vector<float> sine(std::size_t frames, double hz, double dBFS);

} // namespace presetmeasure
