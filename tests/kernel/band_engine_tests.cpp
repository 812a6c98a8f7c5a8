// Filter bank, compander, followers and the note table, checked against their own rules.
#include "Bandpass4Pole32_NEON1.h"
#include "Follower.h"
#include "SpectralCompander_NEON2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

TEST(NoteTable, FilledByTheFirstModulator) {
    Modulator m;
    EXPECT_FLOAT_EQ(Modulator::freqTable[69], 440.0f);
    EXPECT_FLOAT_EQ(Modulator::freqTable[57], 220.0f);
    EXPECT_FLOAT_EQ(Modulator::freqFactors[60], 1.0f);
    EXPECT_EQ(Modulator::maxFrequency, 14080.0f);
    EXPECT_EQ(Modulator::waveSine[0], 0.5f);
    EXPECT_FLOAT_EQ(Modulator::waveSine[1024], 1.0f);
    EXPECT_EQ(Modulator::waveSaw[2048], 0.5f);
}

TEST(NoteTable, ModulatorSettersClamp) {
    Modulator m;
    m.setFrequency(50000.0f);
    EXPECT_EQ(m.getFrequency(), 47999.0f);
    m.setGain(2.0f);
    EXPECT_EQ(m.getGain(), 1.0f);
    m.setPhase(0.25);
    EXPECT_EQ(m.getPhase(), 0.25);
    m.setTable(3);
    EXPECT_EQ(m.table1, Modulator::storedTable(0));
    EXPECT_EQ(m.table2, Modulator::storedTable(4));
    m.setTable(65);
    EXPECT_EQ(m.table1, Modulator::waveSine);
    EXPECT_EQ(m.table2, Modulator::waveSine);
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

TEST(FilterBank, ImpulseResponseStartsAtAttTimesGain) {
    Bandpass4Pole32_NEON1 bank;
    const float one = 1.0f;
    bank.processSampleBP(&one);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(bank.value[i], bank.att[i] * bank.gain2[i]) << i;
    EXPECT_EQ(bank.value[31], 0.0f);
}

TEST(FilterBank, LevelGainScalesOneBandAndResetRestoresUnity) {
    Bandpass4Pole32_NEON1 a, b;
    VEC32 g(0.5f);
    g[3] = 0.25f;
    b.setGain(g);
    const float one = 1.0f;
    a.processSampleBP(&one);
    b.processSampleBP(&one);
    EXPECT_EQ(b.value[3], a.value[3] * 0.5f);
    EXPECT_EQ(b.value[4], a.value[4]);
    b.reset();
    EXPECT_EQ(b.gain[3], 0.5f);
}

TEST(FilterBank, ResonanceSetsDamping) {
    Bandpass4Pole32_NEON1 bank;
    bank.setResonance(VEC32(0.9f));
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(bank.stageGain[i], 1.0f);
        EXPECT_NEAR(bank.q[i], 0.049f / bank.w[i], std::fabs(0.049f / bank.w[i]) * 1e-5f);
    }
}

TEST(Followers, SettersClampLaneByLane) {
    Follower32_NEON1 f;
    VEC32 a = f.attack;
    a[2] = 2.0f;
    a[3] = 0.0001f;
    f.setAttack(a);
    EXPECT_EQ(f.attack[2], 0.01f);
    EXPECT_EQ(f.attackSamples[3], 16.0f);

    Compander32_NEON1 c;
    VEC32 m(0.0f);
    m[5] = -3.0f;
    c.setMultiplier(m);
    EXPECT_EQ(c.multiplier[5], -1.0f);
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

TEST(Followers, ScalarFollowerTimes) {
    Follower f;
    EXPECT_EQ(f.attackSamples, 480.0f);
    EXPECT_EQ(f.releaseSamples, 24000.0f);
    EXPECT_EQ(f.holdSamples, 4);
    f.setAttack(1.5f);
    EXPECT_EQ(f.attackSamples, 480.0f);
    f.setAttack(0.0f);
    EXPECT_EQ(f.attackStep, 0.0625);
    f.setRelease(10.0f);
    EXPECT_EQ(f.releaseSamples, 480000.0f);
    f.setSamplerate(96000.0f);
    EXPECT_EQ(f.attackSamples, 960.0f);
    EXPECT_EQ(f.releaseSamples, 48000.0f);
    EXPECT_EQ(f.holdSamples, 9);
}

TEST(Compander, SilenceGivesOnePlusMultiplierAndASteadyPeakOfFourGivesAQuarter) {
    SpectralCompander_NEON2 sc;
    float l[64] = {}, r[64] = {};
    sc.processBuffers(l, r, 64);
    EXPECT_EQ(sc.compander[0].factor[7], 1.2f);
    EXPECT_EQ(sc.getFactor()[7], 1.2f);
    EXPECT_EQ(l[0], 0.0f);

    Compander32_NEON1 c;
    c.follower.peak = VEC32(4.0f);
    c.follower.hold = VEC32(1000.0f);
    VEC32 band(4.0f / c.pre[0]);
    c.processSample(&band);
    EXPECT_EQ(c.factor[0], 0.25f);
}

TEST(Compander, ThresholdMapsToDetectorDrive) {
    SpectralCompander_NEON2 sc;
    sc.setThreshold(1.0f);
    EXPECT_FLOAT_EQ(sc.compander[1].pre[0], 100.05f);
    EXPECT_NEAR(sc.compander[1].post[0], 0.009995f, 1e-6f);
    sc.setThreshold(0.0f);
    EXPECT_FLOAT_EQ(sc.compander[0].pre[31], 0.05f);
    EXPECT_FLOAT_EQ(sc.compander[0].post[31], 20.0f);
    sc.reset();
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(sc.getFactor()[i], 1.0f);
        EXPECT_EQ(sc.getBandpassPeaks()[i], 0.0f);
    }
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
