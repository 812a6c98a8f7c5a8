// Note names, the 140-tone grid (tone index = MIDI note + 3) and the chromatic sums over frames.
#include <gtest/gtest.h>

#include <string>

#include "Scala.h"

TEST(Names, NoteNamesWhiteKeysAndNumbersWithinTheirBounds) {
    // The last row: the result holds at most seven characters.
    const std::tuple<int, int, const char*, int> notes[] = {
        {60, 4, "C 4", 1},  {61, 4, "C#4", 0},
        {1, -1, "C#-1", 0}, {64, 0, "E 0", 1},
        {70, 3, "A#3", 0},  {71, 3, "B 3", 1},
        {-1, 0, "-", -1},   {128, 0, "-", -1},
        {200, 0, "-", -1},  {0, -2000000000, "C -2000", 1}};
    for (const auto& [note, octave, name, white] : notes) {
        EXPECT_EQ(std::string(Scala::names.getName(note, octave)), name) << note;
        EXPECT_EQ(Scala::names.getWhite(note), white) << note;
    }
    char buffer[128];
    EXPECT_EQ(itoa(-2147483647 - 1, buffer, 10), buffer);
    EXPECT_STREQ(buffer, "-2147483648");
    EXPECT_STREQ(itoa(255, buffer, 16), "255"); // decimal whatever the radix
    char* shared = itoa(42, nullptr, 10);       // without a buffer every call writes the same one
    EXPECT_STREQ(shared, "42");
    EXPECT_EQ(itoa(7, nullptr, 10), shared);
    EXPECT_STREQ(shared, "7");
}

TEST(Scala, TonesTileTheGridFromBelowMidiNoteZeroAndA440IsAt72) {
    Scala s;
    const Tone& a = s.tones[72];
    EXPECT_EQ(std::tuple(a.index, a.note, a.octave, a.pitchClass, std::string(a.name), a.white),
              std::tuple(72, 69, 4, 10, std::string("A 4"), 1));
    EXPECT_FLOAT_EQ(a.centre, 440.0f);
    for (int i = 0; i < 3; ++i) {
        const Tone& t = s.tones[i];
        EXPECT_EQ(std::tuple(t.note, t.octave, t.pitchClass, std::string(t.name), t.white),
                  std::tuple(i - 3, -2, 10 + i, std::string("-"), -1));
    }
    EXPECT_EQ(s.tones[3].octave, -1);
    EXPECT_NEAR(s.tones[3].centre, 8.1758f, 1e-3f);
    EXPECT_EQ(s.tones[0].lower, 0.0f);
    for (int i = 1; i < Scala::kTones; ++i) {
        EXPECT_EQ(s.tones[i].lower, s.tones[i - 1].upper);
        EXPECT_LT(s.tones[i].lower, s.tones[i].centre);
        EXPECT_LT(s.tones[i].centre, s.tones[i].upper);
    }
    EXPECT_NEAR(s.tones[139].upper, 21700.0f, 100.0f);
}

TEST(Scala, ChromaticSumsAverageTheFramesSinceTheLastReadWhichMayBeRepeated) {
    Scala s;
    auto frame = [&](std::initializer_list<std::pair<int, float>> records, int from = 0, int to = 127) {
        s.clear();
        for (const auto& [tone, magnitude] : records)
            s.tones[tone].records.Push(new BinRecord{magnitude, s.tones[tone].centre, 0.0f});
        s.chromaticScaleSums(from, to);
    };
    const float* sums = s.getChromatic(0, 127, true);
    for (int n = 0; n < Scala::kTones; ++n) EXPECT_EQ(sums[n], 0.0f); // nothing accumulated yet
    EXPECT_FALSE(s.readMark);
    s.tones[10].records.Push(new BinRecord{1.5f, 0, 0});
    s.tones[10].records.Push(new BinRecord{2.0f, 0, 0});
    EXPECT_FLOAT_EQ(s.tones[10].getSum(), 3.5f);
    frame({{72, 0.2f}});
    EXPECT_EQ(s.tones[10].records.Count(), 0u);
    frame({{72, 0.6f}});
    EXPECT_FLOAT_EQ(s.getChromatic(0, 127, false)[69], 0.4f);
    EXPECT_FLOAT_EQ(s.getChromatic(0, 127, false)[69], 0.4f);
    frame({{72, 1.0f}}); // a read starts a new average
    frame({{72, 3.0f}, {75, 1.0f}});
    EXPECT_FLOAT_EQ(s.getChromatic(0, 127, false)[69], 2.0f);
    frame({{72, 4.0f}, {75, 2.0f}});
    sums = s.getChromatic(0, 127, true); // the largest becomes one
    EXPECT_FLOAT_EQ(sums[69], 1.0f);
    EXPECT_FLOAT_EQ(sums[72], 0.5f);
    frame({{139, 2.0f}}, -50, 500); // ranges beyond the grid are cut to it
    EXPECT_FLOAT_EQ(s.getChromatic(-50, 500, true)[136], 1.0f);
}
