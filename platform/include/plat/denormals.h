#pragma once
// Flush-to-zero and denormals-are-zero for the span of a render call. Reading and writing
// the control register is an ordinary instruction: no system call, safe on the render thread.

#include <xmmintrin.h>

namespace plat {

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
