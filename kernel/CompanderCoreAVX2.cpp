// Eight-lane build of the fused compander loop, chosen at run time on processors with AVX2.
// Built with -mavx2 (no FMA: every product is rounded before it is added, as on the other
// paths). Includes nothing that defines shared inline code.
#include "CompanderCore.h"

#include <immintrin.h>

namespace {

struct AVX2 {
    using V = __m256;
    using M = __m256;
    static constexpr int P = 2;      // groups per pass of the compander
    static constexpr int PMeter = 4; // and of the output follower
    static constexpr int W = 8;
    static constexpr bool kMaskRegisters = false;
    static V load(const float* p) { return _mm256_load_ps(p); }
    static void store(float* p, V v) { _mm256_store_ps(p, v); }
    static V set1(float x) { return _mm256_set1_ps(x); }
    static V zero() { return _mm256_setzero_ps(); }
    static V add(V a, V b) { return _mm256_add_ps(a, b); }
    static V sub(V a, V b) { return _mm256_sub_ps(a, b); }
    static V mul(V a, V b) { return _mm256_mul_ps(a, b); }
    static V div(V a, V b) { return _mm256_div_ps(a, b); }
    static V abs(V a) { return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), a); }
    static M cmpgt(V a, V b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static M cmplt(V a, V b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static M cmple(V a, V b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
    static M andMask(M a, M b) { return _mm256_and_ps(a, b); }
    static V blend(M mask, V a, V b) { return _mm256_blendv_ps(b, a, mask); } // mask ? a : b
    // mask ? a / b : src
    static V maskDiv(V src, M m, V a, V b) { return blend(m, div(a, b), src); }
    static V bitAnd(V a, V b) { return _mm256_and_ps(a, b); }
    static V bitOr(V a, V b) { return _mm256_or_ps(a, b); }
    static V andNot(V a, V b) { return _mm256_andnot_ps(a, b); } // ~a & b
    // max(a, b) for b >= +0 and neither NaN: such floats order as their bit patterns do as
    // signed integers, and the integer max answers in one cycle rather than four.
    static V maxNonNegative(V a, V b) {
        return _mm256_castsi256_ps(_mm256_max_epi32(_mm256_castps_si256(a), _mm256_castps_si256(b)));
    }
    static bool all(M mask) { return _mm256_movemask_ps(mask) == 0xFF; }
    static bool any(M mask) { return _mm256_movemask_ps(mask) != 0; }
};

#include "CompanderSum8.h"
using Sum = Sum8;
#include "CompanderCoreImpl.h"

} // namespace

void companderCoreAVX2(const CompanderCoreArgs& args) {
    runCompanderCore<AVX2>(args);
}
