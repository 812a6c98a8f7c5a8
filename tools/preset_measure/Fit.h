#pragma once
// Solves a preset's band levels for a wanted response: the other parameters stay as the file has
// them, and the levels are fitted by damped Gauss-Newton steps on the measured third-octave
// response to pink noise at -20 dBFS, each band's effect found by rendering it nudged.

#include <filesystem>
#include <ostream>
#include <vector>

namespace presetmeasure {

struct TargetPoint {
    double hz, dB; // against bypass
};

// The wanted response at `hz`: linear in log frequency between the points, their level beyond them;
// flat at 0 dB when there are none.
double targetAt(const std::vector<TargetPoint>& target, double hz);

// Fits the levels of the preset file and writes it back atomically, logging each step. Throws
// std::runtime_error when the file cannot be read or written, or the unit fails.
void fitLevels(const std::filesystem::path& file, const std::vector<TargetPoint>& target, std::ostream& log);

} // namespace presetmeasure
