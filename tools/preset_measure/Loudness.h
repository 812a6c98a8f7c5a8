#pragma once
// Loudness as broadcast meters read it: K-weighting (a high shelf and a high-pass, for 48 kHz),
// mean square over 400 ms blocks that overlap by 75 %, and the integrated value kept from the
// blocks above the absolute gate (-70 LKFS) and above the relative gate (10 LU under the mean of
// those). Every channel counts with weight 1.

#include <cstddef>
#include <vector>

namespace presetmeasure {

inline constexpr double kMeasureRate = 48000.0; // the filters' coefficients hold for this rate only

using Channels = std::vector<std::vector<float>>;

// Sum over the channels of the K-weighted mean square in windows of `window` samples stepping by
// `step`, from `start` on.
std::vector<double> kWeightedPowers(const Channels& channels, std::size_t start, std::size_t window,
                                    std::size_t step);

// Integrated loudness of the channels from `start` on, LKFS; -300 when every block is gated out.
double integratedLoudness(const Channels& channels, std::size_t start = 0);

// How far the K-weighted gain from `in` to `out` swings over short windows (100 ms, stepping
// 25 ms) from `start` on: the largest window gain less the smallest, dB. Short windows, because
// pumping at a few hertz averages out of a 400 ms block.
double gainSwing(const Channels& in, const Channels& out, std::size_t start);

} // namespace presetmeasure
