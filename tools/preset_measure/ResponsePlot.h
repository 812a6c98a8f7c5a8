#pragma once
// One picture of the measured responses: gain against frequency on a log axis, one curve per
// state, a panel per pink-noise level.

#include "PresetMeasure.h"

#include <string>
#include <vector>

namespace presetmeasure {

// Writes the PNG atomically; false with a message in `error` when it cannot be written.
bool drawResponses(const std::vector<Measurement>& measurements, const std::string& path, std::string* error);

} // namespace presetmeasure
