// Filter bank, compander, followers, lane sums and the note table, where the bit-exact comparison
// does not reach: other sample rates, long tails, modes the effect never takes.
#include "Bandpass4Pole32_NEON1.h"
#include "SpectralCompander_NEON2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

TEST(NoteTable, FilledByTheFirstModulatorWhoseSettersClamp) {
    Modulator m;
    EXPECT_FLOAT_EQ(Modulator::freqTable[69], 440.0f);
    EXPECT_FLOAT_EQ(Modulator::freqTable[57], 220.0f);
    EXPECT_FLOAT_EQ(Modulator::freqFactors[60], 1.0f);
    EXPECT_FLOAT_EQ(Modulator::waveSine[1024], 1.0f);
    EXPECT_EQ(Modulator::waveSaw[2048], 0.5f);
    m.setFrequency(50000.0f);
    EXPECT_EQ(m.getFrequency(), 47999.0f);
    m.setGain(2.0f);
    EXPECT_EQ(m.getGain(), 1.0f);
    m.setTable(3);
    EXPECT_EQ(m.table1, Modulator::storedTable(0));
    EXPECT_EQ(m.table2, Modulator::storedTable(4));
    m.setTable(65);
    EXPECT_EQ(m.table1, Modulator::waveSine);
}

TEST(FilterBank, CentresAreMajorThirdsAndTheTopBandIsMuted) {
    Bandpass4Pole32_NEON1 bank;
    for (int i = 0; i < 31; ++i)
        EXPECT_NEAR(bank.frequency[i], 16.3516 * std::pow(2.0, i / 3.0),
                    16.3516 * std::pow(2.0, i / 3.0) * 1e-5);
    EXPECT_EQ(bank.frequency[31], 19200.0f);
    EXPECT_EQ(bank.attenuation[31], 0.0f);
    EXPECT_NEAR(bank.att[0], 0.05, 0.001);
    EXPECT_NEAR(bank.att[30], 0.0295, 0.0005);

    bank.setSamplerate(96000.0f);
    EXPECT_EQ(bank.attenuation[31], 0.0f); // muted for good
    EXPECT_EQ(bank.att[31], 0.0f);
}

TEST(Followers, PeakHoldsThenFallsToExactlyZero) {
    Follower32_NEON1 f;
    VEC32 burst(1.0f), silence(0.0f);
    for (int i = 0; i < 100; ++i) f.processSample(&burst); // still rising: 100 of 480 steps
    const float top = f.peak[0];
    EXPECT_NEAR(top, 100.0f / 480.0f, 1e-5f);
    for (int i = 0; i < 48; ++i) f.processSample(&silence);
    EXPECT_EQ(f.peak[0], top); // held for 48 samples
    f.processSample(&silence);
    EXPECT_EQ(f.peak[0], top - f.releaseStep[0]);
    for (int i = 0; i < 20000; ++i) f.processSample(&silence);
    EXPECT_EQ(f.peak[0], 0.0f);
}

TEST(Compander, ABandObjectLimitsASteadyPeakOfFourToAQuarter) {
    Compander32_NEON1 c;
    c.follower.peak = VEC32(4.0f);
    c.follower.hold = VEC32(1000.0f);
    VEC32 band(4.0f / c.pre[0]);
    c.processSample(&band);
    EXPECT_EQ(c.factor[0], 0.25f);
}

TEST(Compander, FusedLoopLeavesTheBandObjectsAsTheSampleLoopDoes) {
    // Fields after a block must be those the per-sample objects would hold.
    SpectralCompander_NEON2 fused;
    Bandpass4Pole32_NEON1 bank;
    Compander32_NEON1 comp;
    float l[37], r[37];
    for (int i = 0; i < 37; ++i) l[i] = r[i] = std::sin(0.3f * float(i));
    fused.processBuffers(l, r, 37);
    for (int i = 0; i < 37; ++i) {
        const float x = std::sin(0.3f * float(i));
        bank.processSampleBP(&x);
        comp.processSample(&bank.value);
    }
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(fused.bandpass[0].low1[i], bank.low1[i]);
        EXPECT_EQ(fused.bandpass[0].value[i], bank.value[i]);
        EXPECT_EQ(fused.compander[0].follower.hold[i], comp.follower.hold[i]);
        EXPECT_EQ(fused.compander[0].outFollower.peak[i], comp.outFollower.peak[i]);
        EXPECT_EQ(fused.compander[0].factor[i], comp.factor[i]);
    }
    EXPECT_EQ(l[36], comp.value.sum());
}

TEST(Compander, EveryLoopAgreesWithTheBandObjectsInEveryMode) {
    // Inversion (both channels, or one), a partial mix: roads the effect itself never takes.
    std::vector<CompanderCoreFn> cores{&companderCoreSSE};
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) cores.push_back(&companderCoreAVX2);
    if (__builtin_cpu_supports("avx512f")) cores.push_back(&companderCoreAVX512);
    for (int mode = 0; mode < 3; ++mode) {
        for (CompanderCoreFn core : cores) {
            SpectralCompander_NEON2 fused;
            fused.setCore(core);
            Bandpass4Pole32_NEON1 bank[2];
            Compander32_NEON1 comp[2];
            for (int c = 0; c < 2; ++c) {
                const float inverted = (mode == 0 || (mode == 1 && c == 1)) ? 1.0f : 0.0f;
                const VEC32 mix(mode == 2 ? 0.7f : 1.0f);
                fused.compander[c].setInverted(inverted);
                comp[c].setInverted(inverted);
                fused.compander[c].mix = mix;
                comp[c].mix = mix;
            }
            float l[300], r[300];
            for (int i = 0; i < 300; ++i) {
                l[i] = std::sin(0.05f * float(i)) * 0.8f;
                r[i] = std::cos(0.11f * float(i)) * 0.6f;
            }
            float el[300], er[300];
            for (int i = 0; i < 300; ++i) {
                bank[0].processSampleBP(&l[i]);
                bank[1].processSampleBP(&r[i]);
                comp[0].processSample(&bank[0].value);
                comp[1].processSample(&bank[1].value);
                el[i] = comp[0].value.sum();
                er[i] = comp[1].value.sum();
            }
            fused.processBuffers(l, r, 300);
            EXPECT_EQ(std::memcmp(l, el, sizeof l), 0) << mode;
            EXPECT_EQ(std::memcmp(r, er, sizeof r), 0) << mode;
        }
    }
}

TEST(LaneVectors, SumAddsLaneZeroFirst) {
    // A large lane 0 swallows the small lanes that follow it, one by one.
    VEC32 v(1.0f), w(1.0f);
    v[0] = w[31] = 16777216.0f;
    EXPECT_EQ(v.sum(), 16777216.0f);
    EXPECT_EQ(w.sum(), 16777216.0f + 32.0f);
}
