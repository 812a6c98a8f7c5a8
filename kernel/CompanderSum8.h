#pragma once
// Band sums of eight samples at a time with AVX: 8 x 8 transposes put the samples in the
// lanes so the 32 bands are added in order, lane 0 first. Included inside an unnamed
// namespace by translation units built with AVX2.

struct Sum8 {
    static constexpr int W = 8;
    using V = __m256;

    // Bands 8g .. 8g + 7 of eight rows as columns, the eight samples of one band each. The
    // rows' halves come in by loads, rows s and s + 4 side by side, so that only shuffles
    // within 128-bit lanes remain.
    static void columns(const float (*rows)[32], int g, V (&c)[8]) {
        for (int half = 0; half < 2; ++half) {
            V a[4];
            for (int s = 0; s < 4; ++s)
                a[s] = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_load_ps(&rows[s][g * 8 + half * 4])),
                                            _mm_load_ps(&rows[s + 4][g * 8 + half * 4]), 1);
            const V t0 = _mm256_unpacklo_ps(a[0], a[1]), t1 = _mm256_unpackhi_ps(a[0], a[1]);
            const V t2 = _mm256_unpacklo_ps(a[2], a[3]), t3 = _mm256_unpackhi_ps(a[2], a[3]);
            c[half * 4 + 0] = _mm256_shuffle_ps(t0, t2, 0x44);
            c[half * 4 + 1] = _mm256_shuffle_ps(t0, t2, 0xEE);
            c[half * 4 + 2] = _mm256_shuffle_ps(t1, t3, 0x44);
            c[half * 4 + 3] = _mm256_shuffle_ps(t1, t3, 0xEE);
        }
    }

    // Sums of N blocks of eight rows each, side by side: every block is one chain of 32
    // additions, and the chains overlap.
    template <int N>
    static void blockSums(const float (*const (&rows)[N])[32], float* const (&out)[N]) {
        V acc[N];
        for (int b = 0; b < N; ++b) acc[b] = _mm256_setzero_ps();
        for (int g = 0; g < 4; ++g)
            for (int b = 0; b < N; ++b) {
                V c[8];
                columns(rows[b], g, c);
                for (int k = 0; k < 8; ++k) acc[b] = _mm256_add_ps(acc[b], c[k]);
            }
        for (int b = 0; b < N; ++b) _mm256_storeu_ps(out[b], acc[b]);
    }

    // Band sums of `count` rows of both channels.
    static void bandSums(const float (*left)[32], const float (*right)[32], int count, float* outLeft,
                         float* outRight) {
        int s = 0;
        for (; s + 2 * W <= count; s += 2 * W)
            blockSums<4>({left + s, left + s + W, right + s, right + s + W},
                         {outLeft + s, outLeft + s + W, outRight + s, outRight + s + W});
        for (; s + W <= count; s += W) blockSums<2>({left + s, right + s}, {outLeft + s, outRight + s});
        if (s < count) {
            // a last, partial block: padded with zero rows
            alignas(32) float padded[2][W][32];
            for (int r = 0; r < W; ++r)
                for (int b = 0; b < 32; b += W) {
                    const bool inside = s + r < count;
                    _mm256_store_ps(&padded[0][r][b],
                                    inside ? _mm256_load_ps(&left[s + r][b]) : _mm256_setzero_ps());
                    _mm256_store_ps(&padded[1][r][b],
                                    inside ? _mm256_load_ps(&right[s + r][b]) : _mm256_setzero_ps());
                }
            alignas(32) float sums[2][W];
            blockSums<2>({padded[0], padded[1]}, {sums[0], sums[1]});
            for (int r = 0; s + r < count; ++r) {
                outLeft[s + r] = sums[0][r];
                outRight[s + r] = sums[1][r];
            }
        }
    }
};
