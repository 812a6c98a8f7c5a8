#pragma once
// Plays test signals through the audio unit, as a sound engineer would try a preset, and measures
// what comes out: pink noise at a quiet and a loud level, noise bursts that peak just below full
// scale over a faint floor, and pink noise with one octave raised by 12 dB. Before every signal the
// unit is allocated afresh and then given the state under test, as a host does.

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
    double seconds = 4.0;       // length of every signal
    double settleSeconds = 1.0; // measuring starts here
    double sampleRate = 48000.0;
};

// Pink-noise levels, dBFS RMS.
enum Level { quiet, loud };
inline constexpr std::array<double, 2> kPinkLevels{-20.0, -6.0};
// Bursts peak here (dBFS) over a floor of pink noise at kBurstFloor (dBFS RMS).
inline constexpr double kBurstPeak = -1.0, kBurstFloor = -50.0;
// The raised octaves, Hz (the third-octave bands 63 to 100 Hz and 800 to 1250 Hz), and by how much.
inline constexpr double kRaise = 12.0;
inline constexpr std::array<std::array<double, 2>, 2> kRaisedOctaves{{{56.2, 112.2}, {708.0, 1413.0}}};
enum Octave { bassOctave, midOctave };

struct Measurement {
    std::string name;
    std::array<ThirdOctaves, 2> response{}; // output over input per third-octave band, dB, per Level
    std::array<double, 2> gain{};           // output over input RMS, dB, per Level
    std::array<double, 2> peak{};           // largest settled output sample on pink noise, per Level
    // dB: how much the bursts' level over the floor grew from input to output (per third-octave
    // band, averaged over the bands)
    double burstRangeChange = 0;
    double burstPeak = 0; // largest output sample of the bursts, the first included
    // How far a raised octave stands out of the rest of the spectrum at the output, dB (kRaise when
    // the state leaves the balance alone), per Octave.
    std::array<double, 2> octaveExcess{};
};

// Puts a freshly allocated unit into the state under test (nothing: the default state).
using Setup = std::function<void(YUX_Sorvane_Extension_AudioUnit&)>;

class PresetMeter {
public:
    // Throws std::invalid_argument when the signals are too short to hold a settled burst.
    explicit PresetMeter(Settings settings = {});

    // Throws std::runtime_error when the unit cannot be made or allocated, or fails to render.
    Measurement measure(std::string name, const Setup& setup) const;

    // The default state ("default state"), then every factory preset in listing order. Throws as
    // measure() does, and when a preset cannot be chosen.
    std::vector<Measurement> measureFactoryPresets() const;

private:
    static std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> makeUnit();
    // `input` in both channels through `unit`, allocated afresh and put into the state `setup`
    // makes; the left output.
    std::vector<float> render(YUX_Sorvane_Extension_AudioUnit& unit, const Setup& setup,
                              const std::vector<float>& input) const;
    std::size_t settledStart() const;
    std::span<const float> settled(const std::vector<float>& signal) const;

    Settings settings_;
    std::array<std::vector<float>, 2> pink_;
    std::array<ThirdOctaves, 2> pinkPowers_;
    std::array<std::vector<float>, 2> raised_;
    std::vector<float> bursts_;
    std::array<ThirdOctaves, 2> burstPowers_; // of the settled bursts and of the floor before them
    std::vector<std::size_t> burstOnsets_;
    std::vector<std::int8_t> burstGroups_;
    std::size_t burstLength_ = 0, floorLength_ = 0;
};

// One block per measurement: the broadband numbers, then the responses band by band. The first
// measurement is the reference the others' level differences are given against.
void printReport(std::ostream& out, const std::vector<Measurement>& measurements);

} // namespace presetmeasure
