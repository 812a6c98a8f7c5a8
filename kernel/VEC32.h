#pragma once
// Band vectors: one float per band, computed side by side.

#include <xmmintrin.h>

// 32 lanes stored as eight groups of four consecutive floats. The whole vector sits on a
// cache line of its own, so that the wide paths load two or four groups at once.
struct alignas(64) VEC32 {
    float lanes[32];

    VEC32() = default; // lanes left uninitialised: every user writes before reading
    VEC32(float x) {
        const __m128 v = _mm_set1_ps(x);
        for (int g = 0; g < 8; ++g) _mm_store_ps(lanes + 4 * g, v);
    }

    VEC32 operator+(const VEC32& o) const {
        return apply(o, [](__m128 a, __m128 b) { return _mm_add_ps(a, b); });
    }
    VEC32 operator-(const VEC32& o) const {
        return apply(o, [](__m128 a, __m128 b) { return _mm_sub_ps(a, b); });
    }
    VEC32 operator*(const VEC32& o) const {
        return apply(o, [](__m128 a, __m128 b) { return _mm_mul_ps(a, b); });
    }
    VEC32 operator/(const VEC32& o) const {
        return apply(o, [](__m128 a, __m128 b) { return _mm_div_ps(a, b); });
    }
    VEC32& operator+=(const VEC32& o) { return *this = *this + o; }
    VEC32& operator*=(const VEC32& o) { return *this = *this * o; }

    // Out-of-range indices refer to lane 0.
    float& operator[](int i) { return lanes[static_cast<unsigned>(i) < 32u ? i : 0]; }
    const float& operator[](int i) const { return lanes[static_cast<unsigned>(i) < 32u ? i : 0]; }

    // Lane 0 first, one addition at a time, so that results never depend on the vector width.
    float sum() const {
        float s = 0.0f;
        for (int i = 0; i < 32; ++i) s += lanes[i];
        return s;
    }

    float* array() { return lanes; }
    const float* array() const { return lanes; }

private:
    template <class Op>
    VEC32 apply(const VEC32& o, Op op) const {
        VEC32 r;
        for (int g = 0; g < 8; ++g)
            _mm_store_ps(r.lanes + 4 * g, op(_mm_load_ps(lanes + 4 * g), _mm_load_ps(o.lanes + 4 * g)));
        return r;
    }
};

struct VEC8 {
    float lanes[8];
    VEC8() = default;
    VEC8(float x) {
        for (float& l : lanes) l = x;
    }
};
