// The brightness setting c as a drawing base's two greys: ink 1 - c, inverted ink c.
#pragma once

#include <cmath>

namespace panel {

// False (and nothing changed) for a setting that is not a number.
template <class Base>
bool applyContrast(Base& base, double c) {
    if (!std::isfinite(c)) return false;
    base.colorContrast = {1 - c, 1 - c, 1 - c, 1};
    base.colorContrastInverted = {c, c, c, 1};
    return true;
}

} // namespace panel
