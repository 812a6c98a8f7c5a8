// Numbers as the diagnostic lines print them: the shortest decimal form that reads back as the
// same value, always with a fractional part ("0.5", "1.0", "1e-05").
#pragma once

#include <string>

namespace panel {

std::string shortestText(float value);
std::string shortestText(double value);

} // namespace panel
