#pragma once
// Plays the material through the audio unit's host-facing render block, as a host would, and
// measures what comes out against the same material through the unit's bypass: loudness,
// peaks, crest factor, the floor between a drum loop's hits, third-octave levels, a low tone's
// distortion and how much the gain swings on steady noise. Before every signal the unit is
// allocated afresh and then given the state under test.

#include "Loudness.h"
#include "Material.h"
#include "Spectrum.h"
#include "YUX_Sorvane_Extension_AudioUnit.h"

#include <array>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace presetmeasure {

struct Settings {
    double seconds = 5.0;       // length of every signal
    double settleSeconds = 1.0; // measuring starts here; the peaks count from the start
};

// Pink noise and the sine are played at these levels, dBFS RMS.
enum Level { quiet, medium, loud };
inline constexpr std::array<double, 3> kLevels{-30.0, -20.0, -10.0};
inline constexpr double kLoopPeak = -3.0; // dBFS
inline constexpr double kVoiceLevel = -20.0, kBassLevel = -20.0;
inline constexpr double kToneHz = 55.0;

struct Measurement {
    std::string name;
    // Everything against bypass: dB, or LU for loudness.
    std::array<ThirdOctaves, 3> response{}; // per third-octave band on pink noise, per Level
    std::array<double, 3> pinkLoudness{};
    std::array<double, 3> pinkPeak{};      // the largest output sample, as a sample value
    std::array<double, 3> pumping{};       // K-weighted gain swing on the pink noise
    std::array<double, 3> distortion{};    // of the sine, per cent (not against bypass)
    double loopLoudness = 0, loopPeak = 0; // the peak as a sample value, over the whole loop
    double crestChange = 0;                // of the loop
    double floorChange = 0;                // between the loop's hits
    double voiceLoudness = 0, bassLoudness = 0;

    // The largest third-octave deviation from 63 Hz to 16 kHz on the -20 dBFS pink noise, dB.
    double largestDeviation() const;
    // Input level change over output level change on pink noise from `from` to `to`.
    double ratio(Level from, Level to) const;
};

using Unit = YUX_Sorvane_Extension_AudioUnit;
// Puts a freshly allocated unit into the state under test (nothing: the default state).
using Setup = std::function<void(Unit&)>;

// The unit, made quietly. Throws std::runtime_error when it cannot be made.
std::shared_ptr<Unit> makeUnit();
// `input` in both channels through `unit`, allocated afresh and put into the state `setup` makes.
// Throws std::runtime_error when the unit cannot allocate or fails to render.
Channels render(Unit& unit, const Setup& setup, const std::vector<float>& input);
// Chooses a factory preset as a host does: it lists them first. Throws when it cannot.
void choose(Unit& unit, const plat::AUAudioUnitPreset& preset);

class PresetMeter {
public:
    // Throws std::invalid_argument when the signals are too short to measure after settling.
    explicit PresetMeter(Settings settings = {});

    // Throws as render() does.
    Measurement measure(std::string name, const Setup& setup) const;

    // "bypass", "default state", then every factory preset in listing order. Throws as
    // measure() does, and when a preset cannot be chosen.
    std::vector<Measurement> measureFactoryPresets() const;

    std::size_t settledStart() const;

private:
    Settings settings_;
    std::array<std::vector<float>, 3> pink_, sine_;
    DrumLoop loop_;
    std::vector<float> voice_, bass_;
    std::array<ThirdOctaves, 3> pinkPowers_{};
    std::array<double, 3> pinkLoudness_{};
    double loopLoudness_ = 0, loopCrest_ = 0, floorLevel_ = 0, voiceLoudness_ = 0, bassLoudness_ = 0;
};

// A table of the broadband numbers, then the responses band by band.
void printReport(std::ostream& out, const std::vector<Measurement>& measurements);

} // namespace presetmeasure
