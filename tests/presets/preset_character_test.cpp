// The factory presets as a sound engineer tries them, through the measurement the preset_measure
// program prints: each does what its name says, in decibels.
#include "PresetMeasure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using namespace presetmeasure;

// The program's signals, shortened: every hit is the same, so peaks and ranges match the long run.
const PresetMeter& meter() {
    static const PresetMeter m(Settings{2.5, 1.0});
    return m;
}

const std::vector<Measurement>& measured() {
    static const auto all = meter().measureFactoryPresets();
    return all;
}

const Measurement& defaultState() {
    return measured().front();
}

struct Range {
    double low, high;
};
constexpr Range kSub{31.5, 63}, kBass{31.5, 100}, kLowMids{200, 1000}, kMids{200, 2000},
    kUpperMids{1000, 4000}, kPresence{2000, 5000}, kTop{4000, 16000}, kAir{8000, 16000},
    kVeryTop{10000, 16000};

// How much more a state lifts `a` over `b` than the default state does, dB.
double lift(const Measurement& m, Level level, Range a, Range b) {
    const auto& r = m.response[level];
    const auto& d = defaultState().response[level];
    return meanOver(r, a.low, a.high) - meanOver(d, a.low, a.high) -
           (meanOver(r, b.low, b.high) - meanOver(d, b.low, b.high));
}

// How much less the loud pink noise gains than the quiet one, dB (0: no dynamics).
double compression(const Measurement& m) {
    return m.gain[quiet] - m.gain[loud];
}

// What each name means in numbers. "Lifts" are against the default state, whose own response
// rises about 1 dB per octave; "range" is how far the bursts stand out of the floor between them.
struct Character {
    const char* preset;
    void (*check)(const Measurement&);
};
const Character kCharacters[] = {
    {"Air Lift", // 8-16 kHz lifted at least 3 dB over 200 Hz-2 kHz, quiet and loud
     [](const Measurement& m) {
         for (Level l : {quiet, loud}) EXPECT_GE(lift(m, l, kAir, kMids), 3.0) << "level " << l;
     }},
    {"Drum Bus Punch", // hits stand 3 to 10 dB further out of what lies between them (more is a gate)
     [](const Measurement& m) {
         EXPECT_GE(m.burstRangeChange, 3.0);
         EXPECT_LE(m.burstRangeChange, 10.0);
     }},
    {"Gentle Leveller", // 14 dB more input comes out 4 to 10 dB less raised; hits brought 2 dB or more
                        // closer to the floor
     [](const Measurement& m) {
         EXPECT_GE(compression(m), 4.0);
         EXPECT_LE(compression(m), 10.0);
         EXPECT_LE(m.burstRangeChange, -2.0);
     }},
    {"Hard Band Limiter", // 14 dB more input gives at most 2 dB more output; loud pink and full-scale
                          // hits, their onsets included, stay below full scale
     [](const Measurement& m) {
         EXPECT_GE(compression(m), 12.0);
         EXPECT_LE(m.peak[loud], 1.0);
         EXPECT_LE(m.burstPeak, 1.0);
     }},
    {"Low Cut", // 31.5-63 Hz at least 15 dB down against 1-4 kHz; from 200 Hz up the balance kept
                // within 1 dB
     [](const Measurement& m) {
         for (Level l : {quiet, loud}) {
             EXPECT_LE(lift(m, l, kSub, kUpperMids), -15.0) << "level " << l;
             EXPECT_LE(std::fabs(lift(m, l, kLowMids, kUpperMids)), 1.0) << "level " << l;
             EXPECT_LE(std::fabs(lift(m, l, kTop, kUpperMids)), 1.0) << "level " << l;
         }
     }},
    {"Low-End Tamer", // 31.5-100 Hz 3 dB or more down against 1-4 kHz when quiet, not up when loud;
                      // a bass octave raised 12 dB comes out at least 2 dB less raised; highs kept
     [](const Measurement& m) {
         EXPECT_LE(lift(m, quiet, kBass, kUpperMids), -3.0);
         EXPECT_LE(lift(m, loud, kBass, kUpperMids), 0.0);
         EXPECT_LE(m.octaveExcess[bassOctave], kRaise - 2.0);
         for (Level l : {quiet, loud})
             EXPECT_LE(std::fabs(lift(m, l, kTop, kUpperMids)), 1.0) << "level " << l;
     }},
    {"Neutral", // no dynamics, and the engine's own response: every band within 0.5 dB of the default
                // state's on quiet pink
     [](const Measurement& m) {
         EXPECT_LE(std::fabs(compression(m)), 0.5);
         EXPECT_LE(std::fabs(m.burstRangeChange), 0.5);
         for (int b = 0; b < kThirdOctaves; ++b)
             EXPECT_NEAR(m.response[quiet][std::size_t(b)], defaultState().response[quiet][std::size_t(b)],
                         0.5)
                 << thirdOctaveLabel(b) << " Hz";
     }},
    {"Resonant Shimmer", // 4-16 kHz lifted at least 3 dB over 200 Hz-1 kHz when quiet, and at least
                         // 1.5 dB less when loud: quiet treble is brought up
     [](const Measurement& m) {
         EXPECT_GE(lift(m, quiet, kTop, kLowMids), 3.0);
         EXPECT_LE(lift(m, loud, kTop, kLowMids), lift(m, quiet, kTop, kLowMids) - 1.5);
     }},
    {"Soft Noise Gate", // the floor between hits sinks 10 to 30 dB further than the hits: lowered, not cut
     [](const Measurement& m) {
         EXPECT_GE(m.burstRangeChange, 10.0);
         EXPECT_LE(m.burstRangeChange, 30.0);
     }},
    {"Vocal Presence", // 2-5 kHz lifted at least 3 dB over 200 Hz-1 kHz, and 1.5 dB over 10-16 kHz (a rise,
                       // not a shelf), quiet and loud
     [](const Measurement& m) {
         for (Level l : {quiet, loud}) {
             EXPECT_GE(lift(m, l, kPresence, kLowMids), 3.0) << "level " << l;
             EXPECT_GE(lift(m, l, kPresence, kVeryTop), 1.5) << "level " << l;
         }
     }},
};

TEST(FactoryPresets, AreTheTenNamedCharacters) {
    std::vector<std::string> names, expected;
    for (std::size_t i = 1; i < measured().size(); ++i) names.push_back(measured()[i].name);
    for (const auto& c : kCharacters) expected.emplace_back(c.preset);
    EXPECT_EQ(names, expected);
}

TEST(FactoryPresets, EachDoesWhatItsNameSays) {
    for (const auto& c : kCharacters) {
        SCOPED_TRACE(c.preset);
        const auto found = std::find_if(measured().begin(), measured().end(),
                                        [&](const Measurement& m) { return m.name == c.preset; });
        if (found == measured().end())
            ADD_FAILURE() << "no such preset";
        else
            c.check(*found);
    }
}

TEST(FactoryPresets, AreWithin2dBOfTheDefaultStateOnQuietPink) {
    for (const auto& m : measured()) EXPECT_NEAR(m.gain[quiet], defaultState().gain[quiet], 2.0) << m.name;
}

TEST(FactoryPresets, TakeAFullScaleHitNoFurtherOverFullScaleThanTheDefaultState) {
    const double allowed = std::max(defaultState().burstPeak, 1.0) + 1e-3; // rounding between states
    for (const auto& m : measured()) EXPECT_LE(m.burstPeak, allowed) << m.name;
}

TEST(PresetMeasurement, ABypassedUnitReadsAsUnity) {
    const auto m = meter().measure("bypassed",
                                   [](YUX_Sorvane_Extension_AudioUnit& unit) { unit.setParameter(0, 1.0f); });
    for (Level l : {quiet, loud}) {
        EXPECT_NEAR(m.gain[l], 0.0, 1e-3);
        for (double db : m.response[l]) EXPECT_NEAR(db, 0.0, 1e-3);
    }
    EXPECT_NEAR(m.burstRangeChange, 0.0, 1e-3);
    EXPECT_NEAR(m.burstPeak, std::pow(10.0, kBurstPeak / 20.0), 1e-6);
    for (double excess : m.octaveExcess) EXPECT_NEAR(excess, kRaise, 0.3);
}

TEST(PresetMeasurement, HalvingEveryBandReadsAs6dBLessEverywhere) {
    // Without a detector drive (process 0) and with compansion 0.5 the engine is linear.
    auto linear = [](float level) {
        return [level](YUX_Sorvane_Extension_AudioUnit& unit) {
            unit.setParameter(1, 0.0f);
            for (int band = 0; band < 32; ++band) unit.setParameter(1000 + band, level);
        };
    };
    const auto full = meter().measure("full", linear(0.5f)), half = meter().measure("half", linear(0.25f));
    const double sixDB = 20 * std::log10(0.5);
    for (Level l : {quiet, loud}) {
        EXPECT_NEAR(half.gain[l] - full.gain[l], sixDB, 1e-3);
        EXPECT_NEAR(half.peak[l] / full.peak[l], 0.5, 1e-4);
        for (int b = 0; b < kThirdOctaves; ++b)
            EXPECT_NEAR(half.response[l][std::size_t(b)] - full.response[l][std::size_t(b)], sixDB, 1e-3);
    }
    EXPECT_NEAR(half.burstPeak / full.burstPeak, 0.5, 1e-4);
    EXPECT_NEAR(half.burstRangeChange, full.burstRangeChange, 1e-3);
}

} // namespace
