// Sixteen-lane build of the fused compander loop, chosen at run time on processors with
// AVX-512F (one register holds half a channel; compares yield mask registers). Built with
// -mavx512f -mavx2, no FMA.
#include "CompanderCore.h"

#include <immintrin.h>

// GCC 12 reads the deliberately undefined pass-through operand of the unmasked AVX-512
// intrinsics as (possibly) uninitialised.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"

namespace {

struct AVX512 {
    using V = __m512;
    using M = __mmask16;
    static constexpr int P = 4;      // groups per pass of the compander
    static constexpr int PMeter = 4; // and of the output follower
    static constexpr int W = 16;
    static constexpr bool kMaskRegisters = true;
    static V load(const float* p) { return _mm512_load_ps(p); }
    static void store(float* p, V v) { _mm512_store_ps(p, v); }
    static V set1(float x) { return _mm512_set1_ps(x); }
    static V zero() { return _mm512_setzero_ps(); }
    static V add(V a, V b) { return _mm512_add_ps(a, b); }
    static V sub(V a, V b) { return _mm512_sub_ps(a, b); }
    static V mul(V a, V b) { return _mm512_mul_ps(a, b); }
    static V div(V a, V b) { return _mm512_div_ps(a, b); }
    static V max(V a, V b) { return _mm512_max_ps(a, b); }
    static V abs(V a) {
        return _mm512_castsi512_ps(_mm512_and_si512(_mm512_castps_si512(a), _mm512_set1_epi32(0x7fffffff)));
    }
    static M cmpgt(V a, V b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
    static M cmplt(V a, V b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
    static M cmple(V a, V b) { return _mm512_cmp_ps_mask(a, b, _CMP_LE_OQ); }
    static M andMask(M a, M b) { return M(a & b); }
    static V blend(M mask, V a, V b) { return _mm512_mask_blend_ps(mask, b, a); } // mask ? a : b
    // mask ? a / b : src; m ? a + b : a; m ? a - b : a; each in one instruction
    static V maskDiv(V src, M m, V a, V b) { return _mm512_mask_div_ps(src, m, a, b); }
    static V addIf(V a, M m, V b) { return _mm512_mask_add_ps(a, m, a, b); }
    static V subIf(V a, M m, V b) { return _mm512_mask_sub_ps(a, m, a, b); }
    static bool all(M mask) { return mask == 0xFFFF; }
    static bool any(M mask) { return mask != 0; }
};

#include "CompanderSum8.h"
using Sum = Sum8;
#include "CompanderCoreImpl.h"

} // namespace

void companderCoreAVX512(const CompanderCoreArgs& args) {
    runCompanderCore<AVX512>(args);
}
