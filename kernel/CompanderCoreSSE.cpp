// Four-lane build of the fused compander loop (any x86-64 processor), and the choice of
// the widest build the processor runs.
#include "CompanderCore.h"

#include <xmmintrin.h>

namespace {

struct SSE {
    using V = __m128;
    using M = __m128;
    static constexpr int P = 2;      // groups per pass of the compander
    static constexpr int PMeter = 4; // and of the output follower
    static constexpr int W = 4;
    static constexpr bool kMaskRegisters = false;
    static V load(const float* p) { return _mm_load_ps(p); }
    static void store(float* p, V v) { _mm_store_ps(p, v); }
    static V set1(float x) { return _mm_set1_ps(x); }
    static V zero() { return _mm_setzero_ps(); }
    static V add(V a, V b) { return _mm_add_ps(a, b); }
    static V sub(V a, V b) { return _mm_sub_ps(a, b); }
    static V mul(V a, V b) { return _mm_mul_ps(a, b); }
    static V div(V a, V b) { return _mm_div_ps(a, b); }
    static V abs(V a) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), a); }
    static M cmpgt(V a, V b) { return _mm_cmpgt_ps(a, b); }
    static M cmplt(V a, V b) { return _mm_cmplt_ps(a, b); }
    static M cmple(V a, V b) { return _mm_cmple_ps(a, b); }
    static M andMask(M a, M b) { return _mm_and_ps(a, b); }
    static V blend(M mask, V a, V b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
    // mask ? a / b : src
    static V maskDiv(V src, M m, V a, V b) { return blend(m, div(a, b), src); }
    static V bitAnd(V a, V b) { return _mm_and_ps(a, b); }
    static V bitOr(V a, V b) { return _mm_or_ps(a, b); }
    static V andNot(V a, V b) { return _mm_andnot_ps(a, b); }      // ~a & b
    static V maxNonNegative(V a, V b) { return _mm_max_ps(a, b); } // b >= +0, neither NaN
    static bool all(M mask) { return _mm_movemask_ps(mask) == 0xF; }
    static bool any(M mask) { return _mm_movemask_ps(mask) != 0; }
};

struct Sum {
    static constexpr int W = 4;
    static void bandSums(const float (*rows)[32], int count, float* out) {
        if (count <= 0) return;
        if (count > W) count = W;
        __m128 acc = _mm_setzero_ps();
        for (int g = 0; g < 8; ++g) {
            __m128 r[4];
            for (int s = 0; s < 4; ++s) r[s] = s < count ? _mm_load_ps(&rows[s][g * 4]) : _mm_setzero_ps();
            _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
            for (int k = 0; k < 4; ++k) acc = _mm_add_ps(acc, r[k]);
        }
        alignas(16) float sums[4];
        _mm_store_ps(sums, acc);
        for (int s = 0; s < count; ++s) out[s] = sums[s];
    }
    // Band sums of `count` rows of both channels.
    static void bandSums(const float (*left)[32], const float (*right)[32], int count, float* outLeft,
                         float* outRight) {
        for (int s = 0; s < count; s += W) {
            bandSums(left + s, count - s, outLeft + s);
            bandSums(right + s, count - s, outRight + s);
        }
    }
};

#include "CompanderCoreImpl.h"

} // namespace

void companderCoreSSE(const CompanderCoreArgs& args) {
    runCompanderCore<SSE>(args);
}

CompanderCoreFn selectCompanderCore() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return &companderCoreAVX512;
    if (__builtin_cpu_supports("avx2")) return &companderCoreAVX2;
    return &companderCoreSSE;
}
