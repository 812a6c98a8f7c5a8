// The band objects and the note table, where the bit-exact comparison does not reach: the
// sample-by-sample road, modes the effect never takes.
#include "Bandpass4Pole32_NEON1.h"
#include "Cores.h"
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

// Band i is centred on 16.35 Hz x 2^(i/3); a band is muted exactly while its centre lies above
// 0.4 x the rate the bank runs at now, whatever rates it ran at before.
TEST(Bandpass, MutesExactlyTheBandsAboveTheLimitOfTheCurrentRate) {
    const struct {
        const char* fault;
        std::vector<float> rates;
        int firstMuted; // every band from this one up is muted, none below
    } rows[] = {
        {"band 31 sounds at 48 kHz", {48000.0f}, 31},
        {"band 31 sounds at 44.1 kHz", {44100.0f}, 31},
        {"band 31 stays muted from construction at 96 kHz", {96000.0f}, 32},
        {"too few or too many bands are muted at 16 kHz", {16000.0f}, 26},
        {"too few or too many bands are muted at 8 kHz", {8000.0f}, 23},
        {"too few or too many bands are muted at 100 Hz", {100.0f}, 4},
        {"a band sounds at 2 Hz", {2.0f}, 0},
        {"16 kHz mutes the top bands for good", {16000.0f, 48000.0f}, 31},
        {"100 Hz mutes the bands for good", {100.0f, 48000.0f}, 31},
        {"2 Hz mutes every band for good", {2.0f, 48000.0f}, 31},
        {"a band muted at a lower rate stays muted", {8000.0f, 16000.0f, 96000.0f}, 32},
    };
    for (const auto& row : rows) {
        Bandpass4Pole32_NEON1 bank;
        for (const float rate : row.rates) bank.setSamplerate(rate);
        bank.reset();
        for (int i = 0; i < 32; ++i) {
            const bool muted = i >= row.firstMuted;
            EXPECT_EQ(bank.attenuation[i], muted ? 0.0f : 1.0f) << row.fault << ", band " << i;
            EXPECT_EQ(bank.att[i] == 0.0f, muted) << row.fault << ", band " << i;
        }
    }
}

TEST(Compander, ABandObjectLimitsASteadyPeakOfFourToAQuarter) {
    Compander32_NEON1 c;
    c.follower.peak = VEC32(4.0f);
    c.follower.hold = VEC32(1000.0f);
    VEC32 band(4.0f / c.pre[0]);
    c.processSample(&band);
    EXPECT_EQ(c.factor[0], 0.25f);
}

TEST(Compander, EveryLoopAgreesWithTheBandObjectsInEveryMode) {
    // Inversion (both channels, or one), a partial mix: roads the effect itself never takes.
    for (int mode = 0; mode < 3; ++mode) {
        for (CompanderCoreFn core : cores()) {
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
            float l[300], r[300], el[300], er[300];
            for (int i = 0; i < 300; ++i) {
                l[i] = std::sin(0.05f * float(i)) * 0.8f;
                r[i] = std::cos(0.11f * float(i)) * 0.6f;
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
            // and leaves the band objects' samples as the sample loop does
            for (int c = 0; c < 2; ++c) {
                EXPECT_EQ(std::memcmp(&fused.bandpass[c].value, &bank[c].value, sizeof(VEC32)), 0) << mode;
                EXPECT_EQ(std::memcmp(&fused.compander[c].value, &comp[c].value, sizeof(VEC32)), 0) << mode;
            }
        }
    }
}
