#pragma once
// Band sums of eight samples at a time with AVX: 8 x 8 transposes put the samples in the
// lanes so the 32 bands are added in order, lane 0 first. Included inside an unnamed
// namespace by translation units built with AVX2.

struct Sum8 {
    static constexpr int W = 8;
    using V = __m256;

    static void transpose(V (&r)[8]) {
        const V t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
        const V t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
        const V t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
        const V t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
        const V u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
        const V u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
        const V u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
        const V u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
        r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
        r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
        r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
        r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
        r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
        r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
        r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
        r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
    }

    // rows: `count` samples of 32 band values (count may exceed 8 or be <= 0).
    static void bandSums(const float (*rows)[32], int count, float* out) {
        if (count <= 0) return;
        if (count > W) count = W;
        V acc = _mm256_setzero_ps();
        for (int g = 0; g < 4; ++g) {
            V r[8];
            for (int s = 0; s < 8; ++s)
                r[s] = s < count ? _mm256_load_ps(&rows[s][g * 8]) : _mm256_setzero_ps();
            transpose(r);
            for (int k = 0; k < 8; ++k) acc = _mm256_add_ps(acc, r[k]);
        }
        alignas(32) float sums[8];
        _mm256_store_ps(sums, acc);
        for (int s = 0; s < count; ++s) out[s] = sums[s];
    }
};
