// The factory presets as a user compares them with BYPASS, through the measurement the
// preset_measure program prints: each earns its name and none wins an A/B by loudness alone.
#include "PresetMeasure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace {

using namespace presetmeasure;

// The program's material, shortened to one bar of the loop after the settling second.
const PresetMeter& meter() {
    static const PresetMeter m(Settings{3.0, 1.0});
    return m;
}

const std::vector<Measurement>& measured() {
    static const auto all = meter().measureFactoryPresets();
    return all;
}

const Measurement& named(const std::string& name) {
    const auto found = std::find_if(measured().begin(), measured().end(),
                                    [&](const Measurement& m) { return m.name == name; });
    if (found == measured().end()) throw std::runtime_error("no preset named " + name);
    return *found;
}

double mean(const ThirdOctaves& r, double low, double high) {
    return meanOver(r, low, high);
}
// How far `a` stands over `b` at a pink-noise level, dB.
double lift(const Measurement& m, Level l, double aLow, double aHigh, double bLow, double bHigh) {
    return mean(m.response[l], aLow, aHigh) - mean(m.response[l], bLow, bHigh);
}
// How far the bands from `low` to `high` Hz stray from `level` at most, dB.
double farthest(const ThirdOctaves& r, double low, double high, double level) {
    double far = 0;
    for (int b = 0; b < kThirdOctaves; ++b)
        if (thirdOctaveCentre(b) > low * 0.99 && thirdOctaveCentre(b) < high * 1.01)
            far = std::max(far, std::fabs(r[std::size_t(b)] - level));
    return far;
}
constexpr Level kAllLevels[] = {quiet, medium, loud};

// What each name means in numbers, against bypass.
struct Character {
    const char* preset;
    void (*check)(const Measurement&);
};
const Character kCharacters[] = {
    {"Air Lift", // 8-16 kHz lifted 3 dB or more over 200 Hz-2 kHz, and little presence
     [](const Measurement& m) {
         for (Level l : kAllLevels) {
             EXPECT_GE(lift(m, l, 8000, 16000, 200, 2000), 3.0) << l;
             EXPECT_LE(lift(m, l, 2000, 5000, 200, 1000), 2.0) << l;
         }
     }},
    {"Drum Bus Punch", // the loop's crest factor up 2 dB or more, against Neutral too
     [](const Measurement& m) {
         EXPECT_GE(m.crestChange, 2.0);
         EXPECT_GE(m.crestChange - named("Neutral").crestChange, 2.0);
     }},
    {"Gentle Leveller", // 20 dB more input comes out 4 to 10 dB less raised
     [](const Measurement& m) {
         EXPECT_GE(m.ratio(quiet, loud), 20.0 / 16.0);
         EXPECT_LE(m.ratio(quiet, loud), 2.0);
     }},
    {"Hard Band Limiter", // loud pink noise (peaks 1.33 in) held 2 dB under full scale; 2:1 or more
     [](const Measurement& m) {
         EXPECT_LE(m.pinkPeak[loud], 0.8);
         EXPECT_GE(m.ratio(medium, loud), 2.0);
     }},
    {"Low Cut", // 31.5-63 Hz 15 dB or more under 1-4 kHz; from 200 Hz up within 1 dB of it
     [](const Measurement& m) {
         for (Level l : kAllLevels) {
             EXPECT_LE(lift(m, l, 31.5, 63, 1000, 4000), -15.0) << l;
             EXPECT_LE(farthest(m.response[l], 200, 16000, mean(m.response[l], 1000, 4000)), 1.0) << l;
         }
     }},
    {"Low-End Tamer", // every band to 100 Hz 3 dB or more under 1-4 kHz, none standing over both
                      // its neighbours (a resonance)
     [](const Measurement& m) {
         for (Level l : kAllLevels) {
             const auto& r = m.response[l];
             for (std::size_t b = 0; thirdOctaveCentre(int(b)) < 101; ++b) {
                 EXPECT_LE(r[b], mean(r, 1000, 4000) - 3.0) << thirdOctaveLabel(int(b));
                 if (b > 0) {
                     EXPECT_LE(r[b], std::max(r[b - 1], r[b + 1]) + 0.2) << thirdOctaveLabel(int(b));
                 }
             }
         }
     }},
    {"Neutral", // flat within 0.5 dB from 63 Hz up, 0.5 LU, no dynamics
     [](const Measurement& m) {
         EXPECT_LE(m.largestDeviation(), 0.5);
         for (Level l : kAllLevels) EXPECT_NEAR(m.pinkLoudness[l], 0.0, 0.5) << l;
         EXPECT_NEAR(m.loopLoudness, 0.0, 0.5);
     }},
    {"Presence Shelf", // 2-5 kHz lifted 3 dB or more over 200 Hz-1 kHz, the top no further
     [](const Measurement& m) {
         for (Level l : kAllLevels) {
             EXPECT_GE(lift(m, l, 2000, 5000, 200, 1000), 3.0) << l;
             EXPECT_GE(lift(m, l, 2000, 5000, 10000, 16000), 0.0) << l;
         }
     }},
    {"Resonant Treble", // 4-16 kHz lifted 3 dB or more over 200 Hz-1 kHz
     [](const Measurement& m) {
         for (Level l : kAllLevels) EXPECT_GE(lift(m, l, 4000, 16000, 200, 1000), 3.0) << l;
     }},
    {"Soft Expander", // quiet pink 2 dB or more further down than loud, no compression, clean bass
     [](const Measurement& m) {
         EXPECT_LE(m.ratio(quiet, loud), 20.0 / 22.0);
         EXPECT_LE(m.ratio(medium, loud), 1.0);
         for (double thd : m.distortion) EXPECT_LT(thd, 0.3);
     }},
};

TEST(FactoryPresets, EachEarnsItsNameAndNoneWinsByLoudnessPumpsOrClips) {
    std::vector<std::string> listed, names;
    for (std::size_t i = 2; i < measured().size(); ++i) listed.push_back(measured()[i].name);
    for (const auto& c : kCharacters) names.emplace_back(c.preset);
    ASSERT_EQ(listed, names);
    for (const auto& c : kCharacters) {
        SCOPED_TRACE(c.preset);
        const auto& m = named(c.preset);
        c.check(m);
        EXPECT_NEAR(m.pinkLoudness[medium], 0.0, 1.0);
        EXPECT_NEAR(m.loopLoudness, 0.0, 1.0);
        EXPECT_LE(m.loopPeak, 1.0);
        for (double swing : m.pumping) EXPECT_LE(swing, 1.0);
    }
}

// Everything a measurement reads against bypass, at its largest: 0 for bypass itself.
double largestChange(const Measurement& m) {
    double largest = std::max({m.largestDeviation(), std::fabs(m.loopLoudness), std::fabs(m.crestChange),
                               std::fabs(m.floorChange), std::fabs(m.voiceLoudness),
                               std::fabs(m.bassLoudness), std::fabs(m.loopPeak - amplitude(kLoopPeak))});
    for (Level l : kAllLevels)
        largest = std::max({largest, std::fabs(m.pinkLoudness[l]), m.pumping[l], m.distortion[l]});
    return largest;
}

std::vector<float> sineWave(double hz, double seconds, float level = 1.0f) {
    std::vector<float> v(std::size_t(seconds * kMeasureRate));
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = level * float(std::sin(2 * std::numbers::pi * hz * double(i) / kMeasureRate));
    return v;
}

std::vector<float> operator+(std::vector<float> a, const std::vector<float>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Signals whose readings are known, each named by the fault in the measurement it would show.
TEST(PresetMeasurement, ReadsKnownSignalsAsTheyAre) {
    const auto tone = sineWave(997, 10), silence = sineWave(997, 10, 0.0f), quieter = sineWave(997, 10, 0.1f),
               faint = sineWave(997, 10, float(amplitude(-75)));
    auto harmonic = sineWave(55, 2), third = sineWave(165, 2, 0.01f);
    for (std::size_t i = 0; i < harmonic.size(); ++i) harmonic[i] += third[i];
    const auto pink = pinkNoise(std::size_t(4 * kMeasureRate), -20.0);
    auto louder = pink;
    for (std::size_t i = louder.size() / 2; i < louder.size(); ++i) louder[i] *= float(amplitude(2.0));
    const auto bypassParameter = meter().measure("", [](Unit& unit) { unit.setParameter(0, 1.0f); });
    const struct {
        const char* fault;
        double read, expected;
    } rows[] = {
        {"K-weighting off at 1 kHz (0 dBFS sine, one channel)", integratedLoudness({tone, silence}), -3.01},
        {"no absolute gate (a sine at -75 dBFS)", integratedLoudness({faint, faint}), -300.0},
        {"no relative gate (a stretch 20 dB down)", integratedLoudness({tone + quieter, tone + quieter}),
         0.0},
        {"harmonics misread (1 % third)", 100 * harmonicDistortion(harmonic, 55.0, kMeasureRate), 1.0},
        {"gain swing misread (2 dB step)", gainSwing({pink}, {louder}, 0), 2.0},
        {"the unit's bypass reads as a change", largestChange(measured().front()), 0.0},
        {"the bypass parameter reads as a change", largestChange(bypassParameter), 0.0},
    };
    for (const auto& row : rows) EXPECT_NEAR(row.read, row.expected, 0.1) << row.fault;
}

} // namespace
