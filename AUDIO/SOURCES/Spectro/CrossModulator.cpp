#include "CrossModulator.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "Analyzer.h"

namespace SPECTRO {

CrossModulator::CrossModulator(int size, int overlap, float samplerate) : FFTBase(size, overlap, samplerate) {
    ensureBuffers();
}

CrossModulator::~CrossModulator() = default;

void CrossModulator::ensureBuffers() {
    secondInput.ensure(fftSize);
    secondComplex.ensure((fftSize + 1) * 2);
    if (binToToneSize != halfSize + 1) {
        binToTone.reset(new (std::nothrow) int[static_cast<std::size_t>(halfSize) + 1]());
        binToToneSize = binToTone ? halfSize + 1 : 0;
    }
}

void CrossModulator::init() {
    FFTBase::init();
    ensureBuffers();
    secondInput.clear();
    secondComplex.clear();
}

void CrossModulator::setRange(int low, int high) {
    rangeLow = std::clamp(low, 0, Scala::kNoteEnd);
    rangeHigh = std::clamp(high, 0, Scala::kNoteEnd);
}

void CrossModulator::process(float* a, float* b, int n) {
    if (!a || !b || n <= 0 || !buffersReady() || secondInput.getSize() < fftSize ||
        secondComplex.getSize() < (fftSize + 1) * 2)
        return;
    float* second = secondInput.getBuffer();
    feedFrames(
        n, b,
        [a, b, second](float* input, int i, int slot) {
            input[slot] = a[i];
            second[slot] = b[i];
        },
        [this, second] {
            std::memmove(second, second + hop, static_cast<std::size_t>(keepLength) * sizeof(float));
        });
}

void CrossModulator::onBufferReady() {
    buffer2complex(inputBuffer.getBuffer(), complexBuffer.getBuffer());
    complex2frequencies(complexBuffer.getBuffer());
    buffer2complex(secondInput.getBuffer(), secondComplex.getBuffer());
    complex2buffer(secondComplex.getBuffer(), outputBuffer.getBuffer());
}

void CrossModulator::onAnalysis(float*, float*) {
    const int c = frameCounter;
    frameCounter = (frameCounter + 1) % 8;
    if (c == 0) createChromaticBands();
}

void CrossModulator::createChromaticBands() {
    if (!binToTone) return;
    distributeBins(*this, scala, binToTone.get());
    scala.chromaticScaleSums(rangeLow, rangeHigh);
}

void CrossModulator::onComplex(float* c) {
    if (c && c == secondComplex.getBuffer()) crossmodulate();
}

void CrossModulator::crossmodulate() {
    float* mod = complexBuffer.getBuffer();
    float* out = secondComplex.getBuffer();
    if (!mod || !out || !binToTone) return;
    const float* chroma = scala.getChromatic(0, Scala::kNoteEnd, true);
    for (int k = 0; k <= halfSize; ++k) {
        // The chroma is per MIDI note: tone index minus 3. Tones below note 0 carry nothing.
        const int note = binToTone[static_cast<std::size_t>(k)] - 3;
        const float g = note >= 0 && note < Scala::kNoteEnd ? chroma[note] * amount : 0.0f;
        out[2 * k] *= mod[2 * k] * g;
        out[2 * k + 1] *= mod[2 * k + 1] * g;
        if (k > 0 && k < halfSize) {
            const int m = 2 * (fftSize - k);
            out[m] *= mod[m] * g;
            out[m + 1] *= mod[m + 1] * g;
        }
    }
}

} // namespace SPECTRO
