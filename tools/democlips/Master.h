#pragma once
// Brings every clip to one loudness: the same RMS where the peaks allow it, peaks held below
// the ceiling by a look-ahead limiter, and a few milliseconds of fade at both ends so a loop
// joins without a click even if the player leaves a gap between passes.

#include "M4aWriter.h"

namespace democlips {

constexpr float kTargetRmsDb = -17.0f;
constexpr float kCeilingDb = -3.5f;

void master(StereoBuffer& audio);

} // namespace democlips
