#pragma once

#include "CPointerList.h"

// Decimal text of `value` into `buffer` (at most 128 characters with terminator; null means a
// shared static buffer). The radix is accepted for compatibility and not used.
char* itoa(int value, char* buffer, int radix);

// One FFT bin as sorted into a tone: magnitude, frequency (Hz), phase.
struct BinRecord {
    float magnitude = 0.0f;
    float frequency = 0.0f;
    float phase = 0.0f;
};

// Note names; one shared instance, its result buffer reused by every getName call.
class Names {
public:
    // Constant-initialised, so scales built during static initialisation can use it.
    constexpr Names() = default;
    const char* getName(int note, int octave);
    int getWhite(int note) const;

private:
    char names[12][3] = {"C ", "C#", "D ", "D#", "E ", "F ", "F#", "G ", "G#", "A ", "A#", "B "};
    char result[8] = {};
};

// One semitone of the grid with its quarter-tone band and the bins of the last frame.
class Tone {
public:
    Tone() = default;
    ~Tone();
    Tone(const Tone&) = delete;
    Tone& operator=(const Tone&) = delete;

    void clear();
    float getSum();

    SDO::CPointerList records;
    int index = -1;
    int note = -1;
    int octave = -2;
    int pitchClass = -1;
    int white = -1;
    float lower = 0.0f;
    float centre = 0.0f;
    float upper = 0.0f;
    char name[12] = {};
};

// 140 semitones from 6.875 Hz upward (tone index = MIDI note + 3) with per-note sums over frames.
class Scala {
public:
    static constexpr int kTones = 140;
    // Highest `to` for the per-note ranges: note 136 is the last tone.
    static constexpr int kNoteEnd = kTones - 3;

    Scala();
    Scala(const Scala&) = delete;
    Scala& operator=(const Scala&) = delete;

    void clear();
    void chromaticScaleSums(int from, int to);
    // Averaged (and optionally normalised) per-note sums since the last restart. Reading does not
    // consume them: a second read gives the same values; the next accumulation starts afresh.
    float* getChromatic(int from, int to, bool normalize);

    static Names names;

    Tone tones[kTones];
    float sums[kTones] = {};
    bool readMark = false;
    int frameCount = 0;

private:
    float accumulated[kTones] = {};
};
