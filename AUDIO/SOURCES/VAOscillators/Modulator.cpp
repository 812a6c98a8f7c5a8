#include "Modulator.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>

namespace {
// Guards the count and the first fill: kernels may be built on several threads at once.
std::mutex& tablesMutex() {
    static std::mutex m;
    return m;
}

// Doublings of `size` until bit 24 is set; 12 for 4096-entry tables.
std::uint64_t shiftFor(std::uint64_t size) {
    std::uint64_t s = 0;
    while (size != 0 && !(size & (1u << 24))) {
        size <<= 1;
        ++s;
    }
    return s;
}
} // namespace

std::uint64_t Modulator::count = 0;
float Modulator::freqTable[128];
float Modulator::freqFactors[128];
float Modulator::maxFrequency = 22050.0f;
float Modulator::waveSine[kTableSize], Modulator::waveSaw[kTableSize], Modulator::waveSineSquar[kTableSize],
    Modulator::waveSineQuad[kTableSize], Modulator::waveRampLinUp[kTableSize],
    Modulator::waveRampLinDown[kTableSize], Modulator::waveRampExponUp[kTableSize],
    Modulator::waveRampExponDown[kTableSize], Modulator::wave100[kTableSize],
    Modulator::waveRampLogUp[kTableSize], Modulator::waveRampLogDown[kTableSize];
float Modulator::storedTables[kStoredTables][kTableSize];

NoiseOscillator::NoiseOscillator()
    : seed(33333), frequency(1.0f), level(1.0f), counter(0), sampleRate(44100.0f) {
    init();
    setSamplerate(44100.0f);
    setFrequency(frequency);
}

void NoiseOscillator::init() {
    std::memset(state, 0, sizeof state);
}

void NoiseOscillator::setSamplerate(float r) {
    sampleRate = r;
    rate = frequency * sampleRate;
    if (rate < 1.0f) rate = 1.0f;
    if (rate > sampleRate) rate = sampleRate;
}

void NoiseOscillator::setFrequency(float f) {
    frequency = f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f);
    rate = frequency * sampleRate;
}

Modulator::Modulator() {
    setSamplerate(48000.0f);
    init();
}

Modulator::~Modulator() {
    std::lock_guard<std::mutex> lock(tablesMutex());
    if (count > 0) --count;
}

void Modulator::init() {
    {
        std::lock_guard<std::mutex> lock(tablesMutex());
        if (count++ == 0) fillTables();
    }
    shift = shiftFor(kTableSize);
    setMode(1);
    setPhase(0);
    setFrequency(1.0f);
    setGain(0.5f);
    retrigger();
    setTable(65);
}

void Modulator::fillTables() {
    double f = 6.875;
    const double r = 1.059463094359;
    f = f * r * r * r;
    for (int n = 0; n < 128; ++n) {
        freqTable[n] = float(f);
        f *= r;
    }
    for (int n = 0; n < 128; ++n) freqFactors[n] = freqTable[n] / freqTable[60];

    const float twoPi = 6.2831855f;
    for (int i = 0; i < kTableSize; ++i) {
        const float x = float(i) / float(kTableSize);
        const float s = std::sin(twoPi * x);
        waveSine[i] = (s + 1.0f) * 0.5f;
        waveSaw[i] = 1.0f - x;
        float root = std::sqrt(std::sqrt(std::sqrt(std::fabs(s))));
        if (i >= kTableSize / 2) root = -root;
        waveSineSquar[i] = (root + 1.0f) * 0.5f;
        waveSineQuad[i] = (s * s * s + 1.0f) * 0.5f;
        waveRampLinUp[i] = x;
        waveRampLinDown[i] = 1.0f - x;
        waveRampExponUp[i] = x * x * x;
    }
    for (int i = 0; i < kTableSize; ++i) waveRampExponDown[i] = waveRampExponUp[kTableSize - 1 - i];
    maxFrequency = 440.0f * 32.0f;
    for (int i = 0; i < kTableSize; ++i) {
        const float x = float(i) / float(kTableSize);
        wave100[i] = 440.0f * std::pow(2.0f, 10.0f * x - 5.0f);
        waveRampLogUp[i] = wave100[i] / maxFrequency * x;
    }
    for (int i = 0; i < kTableSize; ++i) waveRampLogDown[i] = waveRampLogUp[kTableSize - 1 - i];

    // The stored single cycles: sine, triangle, saw and square, then 62 harmonic blends whose
    // partial count, roll-off and odd/even balance move with the table number. Each is
    // normalised to a peak of 1. Partials are read from one sine cycle, so that every
    // table is exactly periodic.
    static float sine[kTableSize];
    for (int i = 0; i < kTableSize; ++i) sine[i] = float(std::sin(2.0 * M_PI * i / kTableSize));
    for (int i = 0; i < kTableSize; ++i) {
        const float x = float(i) / float(kTableSize);
        storedTables[0][i] = sine[i];
        storedTables[1][i] = x < 0.25f ? 4.0f * x : (x < 0.75f ? 2.0f - 4.0f * x : 4.0f * x - 4.0f);
        storedTables[2][i] = 1.0f - 2.0f * x;
        storedTables[3][i] = x < 0.5f ? 1.0f : -1.0f;
    }
    for (int t = 4; t < kStoredTables; ++t) {
        const int k = t - 1; // table_03 sits at index 4
        const int partials = 2 + k % 15;
        const float rolloff = 0.6f + 0.05f * float(k % 23);
        const float evenWeight = float((k * 7) % 10) / 9.0f;
        float peak = 0.0f;
        for (int i = 0; i < kTableSize; ++i) {
            float v = 0.0f;
            for (int h = 1; h <= partials; ++h) {
                const float weight = (h % 2 == 0 ? evenWeight : 1.0f) / std::pow(float(h), rolloff);
                v += weight * sine[(std::size_t(h) * std::size_t(i)) & (kTableSize - 1)];
            }
            storedTables[t][i] = v;
            peak = std::fmax(peak, std::fabs(v));
        }
        if (peak > 0.0f)
            for (int i = 0; i < kTableSize; ++i) storedTables[t][i] /= peak;
    }
}

void Modulator::setSamplerate(float rate) {
    if (rate == 0.0f) return;
    sampleRate = rate;
    phaseScale = 16777216.0f / rate;
}

void Modulator::setPhase(double p) {
    if (p < 0) {
        phase = 0;
        return;
    }
    phase = std::int64_t(std::int32_t(16777216.0 * p));
}

double Modulator::getPhase() const {
    return double(phase) / 16777216.0;
}

void Modulator::setFrequency(float f) {
    if (f < 0.0f) f = 0.0f;
    if (f >= sampleRate) f = sampleRate - 1.0f;
    frequency = f;
}

void Modulator::setGain(float g) {
    gain = g < -1.0f ? -1.0f : (g > 1.0f ? 1.0f : g);
}
void Modulator::setShape(float s) {
    shape = s < 0.0f ? 0.0f : (s > 1.0f ? 1.0f : s);
}

void Modulator::retrigger() {
    setPhase(0);
    counter64 = 0;
    counter32 = 0;
    value = 0.0f;
}

void Modulator::setTable(int k) {
    if (k >= 0 && k <= 64) {
        table1 = storedTables[0];
        // 0 pairs the sine with the triangle, 1 saw, 2 square, 3 .. 64 table_03 .. table_64.
        table2 = storedTables[k + 1];
    } else {
        table1 = waveSine;
        table2 = waveSine;
    }
}

void Modulator::setTables(const float* a, const float* b, std::uint32_t size) {
    table1 = a;
    table2 = b;
    shift = shiftFor(size);
}
