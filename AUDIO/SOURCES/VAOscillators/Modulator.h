#pragma once
// Wavetable oscillator and the class-wide tables it fills on first set-up: the MIDI
// note-frequency table that the band filters take their centres from, the computed
// shapes and the 64 single-cycle waveforms.

#include <cstdint>

class NoiseOscillator {
public:
    NoiseOscillator();
    void init();
    void setSamplerate(float rate);
    void setFrequency(float f);

    std::int32_t seed;
    float frequency;
    float level;
    std::uint64_t counter;
    float sampleRate;
    float rate;
    std::uint32_t state[4];
};

class Modulator {
public:
    static constexpr int kTableSize = 4096;
    // table_sine, table_tri, table_saw, table_sqr, then table_03 ... table_64.
    static constexpr int kStoredTables = 66;

    Modulator();
    ~Modulator();
    Modulator(const Modulator&) = delete;
    Modulator& operator=(const Modulator&) = delete;

    void init();
    void setSamplerate(float rate);
    void setMode(int m) { mode = m; }
    int getMode() const { return mode; }
    void setNumCycles(int n) { numCycles = n; }
    int getNumCycles() const { return numCycles; }
    void setPhase(double p);
    double getPhase() const;
    void setFrequency(float f);
    float getFrequency() const { return frequency; }
    void setGain(float g);
    float getGain() const { return gain; }
    void setShape(float s);
    float getShape() const { return shape; }
    void retrigger();
    void setTable(int k);
    void setTables(const float* a, const float* b, std::uint32_t size);

    // Class-wide data, filled once by the first set-up.
    static std::uint64_t count;
    static float freqTable[128];
    static float freqFactors[128];
    static float maxFrequency;
    static float waveSine[kTableSize], waveSaw[kTableSize], waveSineSquar[kTableSize],
        waveSineQuad[kTableSize], waveRampLinUp[kTableSize], waveRampLinDown[kTableSize],
        waveRampExponUp[kTableSize], waveRampExponDown[kTableSize], wave100[kTableSize],
        waveRampLogUp[kTableSize], waveRampLogDown[kTableSize];
    static float storedTables[kStoredTables][kTableSize];
    static const float* storedTable(int position) { return storedTables[position]; }

    const float* unusedA = nullptr;
    const float* unusedB = nullptr;
    const float* unusedC = nullptr;
    NoiseOscillator noise;
    bool unusedFlag = false;
    std::int32_t mode = 9;
    float sampleRate = 48000.0f;
    float frequency = 1.0f;
    float gain = 1.0f;
    float shape = 1.0f;
    float value = 0.0f;
    float phaseScale = 16777216.0f / 48000.0f;
    std::uint64_t shift = 12;
    std::int64_t phase = 0;
    std::uint64_t counter64 = 0;
    std::uint32_t counter32 = 0;
    std::int32_t numCycles = 0;
    const float* table1 = nullptr;
    const float* table2 = nullptr;

private:
    static void fillTables();
};
