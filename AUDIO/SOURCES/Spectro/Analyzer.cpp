#include "Analyzer.h"

#include "plat/console.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <new>

namespace SPECTRO {

Analyzer::Analyzer(int size, int overlap, float samplerate) : FFTBase(size, overlap, samplerate) {
    setChromatic(false);
    setUpdateRate(128);
    char line[64];
    std::snprintf(line, sizeof line, "DIAGNOSTICS: FFT Analyzer loaded. [ %p ]\n", static_cast<void*>(this));
    plat::Console::shared().print(line);
}

void Analyzer::setSamplerate(float rate) {
    FFTBase::setSamplerate(rate);
    computeInterval();
}

void Analyzer::computeInterval() {
    if (updateRate == 0 || fftSize <= 0) {
        updateInterval = 1;
        return;
    }
    const double interval =
        std::ceil(static_cast<double>(samplerate) / fftSize * osamp / static_cast<double>(updateRate));
    updateInterval = interval < 1.0 ? 1 : interval > INT_MAX ? INT_MAX : static_cast<int>(interval);
}

void Analyzer::setUpdateRate(int rate) {
    updateRate = rate > 0 ? rate : 0;
    computeInterval();
    frameCounter = 0;
}

void Analyzer::setChromatic(bool on) {
    chromatic = on;
    binToTone.reset();
    binToToneSize = 0;
    if (on) {
        binToTone.reset(new (std::nothrow) int[static_cast<std::size_t>(halfSize) + 1]());
        if (binToTone) binToToneSize = halfSize + 1;
    }
}

void Analyzer::init() {
    FFTBase::init();
    // The bin map follows the size.
    if (chromatic && binToToneSize != halfSize + 1) setChromatic(true);
    computeInterval();
}

void Analyzer::clear() {
    FFTBase::clear();
    frameCounter = 0;
}

void Analyzer::process(float* samples, int n) {
    feed(samples, nullptr, n);
}

void Analyzer::process(float* a, float* b, int n) {
    if (!a || !b || n <= 0 || !buffersReady()) return;
    feedFrames(
        n, nullptr, [a, b](float* input, int i, int slot) { input[slot] = a[i] + b[i]; }, [] {});
}

void Analyzer::onBufferReady() {
    const int c = frameCounter;
    if (++frameCounter >= updateInterval) frameCounter = 0;
    if (c == 0) {
        buffer2complex(nullptr, nullptr);
        complex2frequencies(nullptr);
    }
}

void Analyzer::onAnalysis(float* freq, float* mag) {
    FFTBase::onAnalysis(freq, mag);
    if (chromatic) createSpectrum();
}

void Analyzer::createSpectrum() {
    if (!binToTone || binToToneSize < halfSize + 1) return;
    distributeBins(*this, scala, binToTone.get());
    scala.chromaticScaleSums(0, 127);
}

void distributeBins(FFTBase& f, Scala& scala, int* map) {
    const float* mag = f.magnitudes.getBuffer();
    const float* freq = f.frequencies.getBuffer();
    const float* ph = f.phases.getBuffer();
    if (!mag || !freq || !ph || !map) return;
    scala.clear();
    constexpr int kLast = Scala::kTones - 1;
    int t = 0;
    for (int k = 0; k <= f.halfSize; ++k) {
        int dest = kLast;
        while (true) {
            const Tone& tone = scala.tones[t];
            if (freq[k] <= tone.lower) {
                dest = t == 0 ? 0 : t - 1;
                break;
            }
            if (freq[k] <= tone.upper) {
                dest = t;
                if (t < kLast) ++t;
                break;
            }
            if (t == kLast) break;
            ++t;
        }
        map[k] = dest;
        if (auto* record = new (std::nothrow) BinRecord{mag[k], freq[k], ph[k]}) {
            scala.tones[dest].records.Push(record);
            // Without a node the list does not hold the record.
            if (scala.tones[dest].records.Last() != record) delete record;
        }
    }
}

} // namespace SPECTRO
