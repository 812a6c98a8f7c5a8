#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Scala.h"

TEST(Names, NoteNamesCarryTheirOctave) {
    EXPECT_EQ(std::string(Scala::names.getName(60, 4)), "C 4");
    EXPECT_EQ(std::string(Scala::names.getName(61, 4)), "C#4");
    EXPECT_EQ(std::string(Scala::names.getName(1, -1)), "C#-1");
    EXPECT_EQ(std::string(Scala::names.getName(-1, 0)), "-");
    EXPECT_EQ(std::string(Scala::names.getName(128, 0)), "-");
    // The result holds at most seven characters.
    EXPECT_EQ(std::string(Scala::names.getName(0, -2000000000)), "C -2000");
}

TEST(Names, WhiteKeys) {
    EXPECT_EQ(Scala::names.getWhite(61), 0);
    EXPECT_EQ(Scala::names.getWhite(64), 1);
    EXPECT_EQ(Scala::names.getWhite(200), -1);
    EXPECT_EQ(Scala::names.getWhite(-1), -1);
}

TEST(Itoa, DecimalWhateverTheRadixIntoTheGivenOrTheOneSharedBuffer) {
    char buffer[128];
    EXPECT_EQ(itoa(-2147483647 - 1, buffer, 10), buffer);
    EXPECT_STREQ(buffer, "-2147483648");
    EXPECT_STREQ(itoa(255, buffer, 16), "255");
    // Without a buffer every call writes the same static one, which the next call overwrites.
    char* first = itoa(42, nullptr, 10);
    EXPECT_STREQ(first, "42");
    EXPECT_EQ(itoa(7, nullptr, 10), first);
    EXPECT_STREQ(first, "7");
}

TEST(Scala, ToneOfA440) {
    Scala s;
    const Tone& t = s.tones[72];
    EXPECT_EQ(t.index, 72);
    EXPECT_EQ(t.note, 69);
    EXPECT_EQ(t.octave, 4);
    EXPECT_EQ(t.pitchClass, 10);
    EXPECT_EQ(std::string(t.name), "A 4");
    EXPECT_EQ(t.white, 1);
    EXPECT_FLOAT_EQ(t.centre, 440.0f);
    EXPECT_LT(t.lower, 440.0f);
    EXPECT_GT(t.upper, 440.0f);
}

TEST(Scala, TonesBelowMidiNoteZero) {
    Scala s;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.tones[i].note, i - 3);
        EXPECT_EQ(s.tones[i].octave, -2);
        EXPECT_EQ(s.tones[i].pitchClass, 10 + i);
        EXPECT_EQ(std::string(s.tones[i].name), "-");
        EXPECT_EQ(s.tones[i].white, -1);
    }
    EXPECT_EQ(s.tones[0].lower, 0.0f);
    EXPECT_NEAR(s.tones[3].centre, 8.1758f, 1e-3f);
    EXPECT_EQ(s.tones[3].octave, -1);
}

TEST(Scala, BandsTileTheGrid) {
    Scala s;
    for (int i = 1; i < Scala::kTones; ++i) {
        EXPECT_EQ(s.tones[i].lower, s.tones[i - 1].upper);
        EXPECT_LT(s.tones[i].lower, s.tones[i].centre);
    }
    EXPECT_NEAR(s.tones[139].upper, 21700.0f, 100.0f);
}

namespace {
void addRecord(Scala& s, int tone, float magnitude) {
    s.tones[tone].records.Push(new BinRecord{magnitude, s.tones[tone].centre, 0.0f});
}
} // namespace

TEST(Scala, ToneSumsAndClear) {
    Scala s;
    EXPECT_EQ(s.tones[10].getSum(), 0.0f);
    addRecord(s, 10, 1.5f);
    addRecord(s, 10, 2.0f);
    EXPECT_FLOAT_EQ(s.tones[10].getSum(), 3.5f);
    s.clear();
    EXPECT_EQ(s.tones[10].records.Count(), 0u);
}

TEST(Scala, ChromaticReadBeforeAccumulationIsZero) {
    Scala s;
    const float* sums = s.getChromatic(0, 127, true);
    for (int n = 0; n < Scala::kTones; ++n) EXPECT_EQ(sums[n], 0.0f);
    EXPECT_FALSE(s.readMark);
}

TEST(Scala, ChromaticReadAveragesOverFramesAndCanBeRepeated) {
    Scala s;
    addRecord(s, 72, 0.2f);
    s.chromaticScaleSums(0, 127);
    s.clear();
    addRecord(s, 72, 0.6f);
    s.chromaticScaleSums(0, 127);
    EXPECT_FLOAT_EQ(s.getChromatic(0, 127, false)[69], 0.4f);
    EXPECT_FLOAT_EQ(s.getChromatic(0, 127, false)[69], 0.4f);
}

TEST(Scala, AccumulationAfterAReadCoversEveryNewFrame) {
    Scala s;
    addRecord(s, 72, 5.0f);
    s.chromaticScaleSums(0, 127);
    s.getChromatic(0, 127, false);
    s.clear();
    addRecord(s, 72, 1.0f);
    s.chromaticScaleSums(0, 127);
    s.clear();
    addRecord(s, 72, 3.0f);
    s.chromaticScaleSums(0, 127);
    EXPECT_FLOAT_EQ(s.getChromatic(0, 127, false)[69], 2.0f);
}

TEST(Scala, NormalisingScalesTheLargestToOne) {
    Scala s;
    addRecord(s, 72, 4.0f);
    addRecord(s, 75, 2.0f);
    s.chromaticScaleSums(0, 127);
    const float* sums = s.getChromatic(0, 127, true);
    EXPECT_FLOAT_EQ(sums[69], 1.0f);
    EXPECT_FLOAT_EQ(sums[72], 0.5f);
}

TEST(Scala, RangesOutsideTheGridAreCut) {
    Scala s;
    addRecord(s, 139, 1.0f);
    s.chromaticScaleSums(-50, 500);
    const float* sums = s.getChromatic(-50, 500, true);
    EXPECT_FLOAT_EQ(sums[136], 1.0f);
}
