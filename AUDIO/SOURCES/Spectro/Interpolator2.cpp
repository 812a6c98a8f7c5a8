#include "Interpolator2.h"

#include <algorithm>
#include <cmath>

void Interpolator2::setDestinationValue(float dest, long stepCount) {
    if (dest == destination) return;
    steps = std::max<std::int64_t>(1, stepCount);
    destination = dest;
    increment = dest - value;
    if (std::fabs(increment) < 0.0001f) {
        value = dest;
        increment = 0.0f;
        return;
    }
    increment /= static_cast<float>(steps);
    if (std::fpclassify(increment) == FP_SUBNORMAL) increment = 0.0f;
}

float Interpolator2::getValue() {
    if (hold >= 1) {
        --hold;
        return value;
    }
    if (increment != 0.0f) {
        value += increment;
        if ((increment > 0.0f && value >= destination) || (increment < 0.0f && value <= destination)) {
            value = destination;
            increment = 0.0f;
        }
    }
    return value;
}
