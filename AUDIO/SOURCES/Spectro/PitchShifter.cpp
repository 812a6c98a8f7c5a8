#include "PitchShifter.h"

#include <cmath>

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
    const float s = glide.getValue();
    // No factor to shift by: the analysed spectrum passes as it is.
    if (!(s > 0.0f)) return;
    shiftAndResynthesise([s](int) { return s; }, 0.0f, false, maxFrequency, shiftedMagnitudes,
                         shiftedFrequencies, sumPhase);
}

} // namespace SPECTRO
