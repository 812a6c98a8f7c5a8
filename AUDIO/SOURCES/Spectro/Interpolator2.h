#pragma once

#include <cstdint>

// A value gliding to its destination in equal steps, one step per getValue call.
class Interpolator2 {
public:
    explicit Interpolator2(float initial = 0.0f) : destination(initial), value(initial) {}

    void setDestinationValue(float dest, long stepCount);
    float getValue();

    float destination;
    float value;
    float increment = 0.0f;
    std::int64_t steps = 1;
    // Calls still to wait before gliding.
    std::int64_t hold = 0;
};
