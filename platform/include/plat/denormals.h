#pragma once
// Denormals, which cost a hundred times a normal number on this hardware: flushed to zero for
// the span of a render call, or one value at a time where a decay runs outside one. Reading and
// writing the control register is an ordinary instruction: no system call, safe on the render thread.

#include <cmath>

#include <xmmintrin.h>

namespace plat {

// Zero in place of a subnormal value; every other value unchanged.
inline float flushDenormal(float v) {
    return std::fpclassify(v) == FP_SUBNORMAL ? 0.0f : v;
}

class DenormalsFlushScope {
public:
    DenormalsFlushScope() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushBits); }
    ~DenormalsFlushScope() { _mm_setcsr(saved_); }
    DenormalsFlushScope(const DenormalsFlushScope&) = delete;
    DenormalsFlushScope& operator=(const DenormalsFlushScope&) = delete;

private:
    static constexpr unsigned kFlushBits = 0x8040; // FTZ (bit 15) | DAZ (bit 6)
    unsigned saved_;
};

} // namespace plat
