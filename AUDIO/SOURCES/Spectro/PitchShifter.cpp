#include "PitchShifter.h"

#include <cmath>
#include <cstring>

namespace SPECTRO {

PitchShifter::PitchShifter(int size, int overlap, float samplerate) : FFTBase(size, overlap, samplerate) {
    maxFrequency = this->samplerate * 0.5f;
    ensureSpectra();
}

void PitchShifter::ensureSpectra() {
    shiftedFrequencies.ensure(halfSize + 1);
    shiftedMagnitudes.ensure(halfSize + 1);
    sumPhase.ensure(halfSize + 1);
}

void PitchShifter::init() {
    FFTBase::init();
    ensureSpectra();
    sumPhase.clear();
}

void PitchShifter::setShift(float s) {
    if (!std::isfinite(s)) return;
    shift = s;
    glide.setDestinationValue(s, 12);
}

void PitchShifter::process(float* samples, int n) {
    if (shift == 1.0f) return;
    feed(samples, samples, n);
}

void PitchShifter::onBufferReady() {
    buffer2complex(nullptr, nullptr);
    if (shift != 1.0f) complex2frequencies(nullptr);
}

void PitchShifter::onAnalysis(float*, float*) {
    if (shift != 1.0f) shiftPitch();
    complex2buffer(nullptr, nullptr);
}

void PitchShifter::shiftPitch() {
    float* mag = magnitudes.getBuffer();
    float* freq = frequencies.getBuffer();
    float* smag = shiftedMagnitudes.getBuffer();
    float* sfreq = shiftedFrequencies.getBuffer();
    float* c = complexBuffer.getBuffer();
    if (!buffersReady() || !smag || !sfreq || !sumPhase.getBuffer() ||
        shiftedMagnitudes.getSize() <= halfSize || shiftedFrequencies.getSize() <= halfSize ||
        sumPhase.getSize() <= halfSize)
        return;
    mag[0] = 0.0f;
    freq[0] = 0.0f;
    shiftedMagnitudes.clear();
    shiftedFrequencies.clear();
    const float s = glide.getValue();
    if (!(s > 0.0f)) return;
    for (int k = 0; k <= halfSize; ++k) {
        const int i = round1(static_cast<float>(k) / s);
        if (i < 0) break;
        if (i > halfSize) continue;
        smag[k] = mag[i];
        sfreq[k] = freq[i] * s;
        if (sfreq[k] > maxFrequency) smag[k] = sfreq[k] = 0.0f;
    }
    frequencies2complex(smag, sfreq, sumPhase.getBuffer(), c);
    std::memset(c + fftSize + 2, 0, static_cast<std::size_t>(complexLength - fftSize - 2) * sizeof(float));
}

} // namespace SPECTRO
