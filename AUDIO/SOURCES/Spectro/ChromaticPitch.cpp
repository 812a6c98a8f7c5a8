#include "ChromaticPitch.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace SPECTRO {

namespace {
float pitchFactor(float v, float scale) {
    if (v > 0.0f) return 1.0f + (v * scale - 1.0f);
    if (v < 0.0f) return 1.0f + (v + 1.0f / scale);
    return 1.0f;
}

bool validScale(float scale) {
    return std::isfinite(scale) && scale != 0.0f;
}
} // namespace

ChromaticPitch::ChromaticPitch(int size, int overlap, float samplerate)
    : ChromaticFilter(size, overlap, samplerate) {
    std::fill(std::begin(pitchFactors), std::end(pitchFactors), 1.0f);
    shiftedFrequencies.ensure(halfSize + 1);
    shiftedMagnitudes.ensure(halfSize + 1);
    sumPhase.ensure(halfSize + 1);
}

void ChromaticPitch::init() {
    ChromaticFilter::init();
    shiftedFrequencies.ensure(halfSize + 1);
    shiftedMagnitudes.ensure(halfSize + 1);
    sumPhase.ensure(halfSize + 1);
    sumPhase.clear();
}

void ChromaticPitch::onBufferReady() {
    if (!throttled && mode != kUnchanged) {
        buffer2complex(nullptr, nullptr);
        complex2frequencies(nullptr);
        complex2buffer(nullptr, nullptr);
        return;
    }
    ChromaticFilter::onBufferReady();
}

void ChromaticPitch::onComplex(float*) {
    switch (mode) {
    case kShiftPitches:
        shiftPitches();
        break;
    case kShiftMagnitudes:
        shiftMagnitudes();
        break;
    case kFilterPhases:
        filter2();
        break;
    case kFilter:
        filter(nullptr);
        break;
    default:
        break;
    }
}

void ChromaticPitch::setChromaticFilterRange(int low, int high, float outside) {
    ChromaticFilter::setChromaticFilterRange(low, high, outside);
    for (int t = kFirstNoteTone; t <= kLastNoteTone; ++t)
        if (outsideRange(t, low, high)) pitchFactors[t] = 0.0f;
    setOutsideRange(outside);
}

void ChromaticPitch::setOutsideRange(float v) {
    ChromaticFilter::setOutsideRange(v);
    for (int t = 0; t < kFirstNoteTone; ++t) pitchFactors[t] = v;
    for (int t = kLastNoteTone + 1; t < Scala::kTones; ++t) pitchFactors[t] = v;
}

void ChromaticPitch::setChromaticPitch(int note, float v, float scale) {
    if (!validNote(note) || !validScale(scale)) return;
    pitchFactors[note + 3] = pitchFactor(v, scale);
}

void ChromaticPitch::setChromaticPitches(float* p, float scale) {
    if (!p || !validScale(scale)) return;
    for (int t = kFirstNoteTone; t <= kLastNoteTone; ++t) pitchFactors[t] = pitchFactor(p[t], scale);
}

bool ChromaticPitch::spectraReady() const {
    return binToTone && buffersReady() && shiftedFrequencies.getSize() > halfSize &&
           shiftedMagnitudes.getSize() > halfSize && sumPhase.getSize() > halfSize;
}

void ChromaticPitch::shiftBins(bool pitch) {
    const auto factor = [this](int k) {
        const int t = toneOf(k);
        return t < 0 ? 0.0f : pitchFactors[t];
    };
    // A pitch factor of 0.01 or less silences its bins.
    shiftAndResynthesise(factor, pitch ? 0.01f : 0.0f, !pitch, samplerate * 0.5f, shiftedMagnitudes,
                         shiftedFrequencies, sumPhase);
}

void ChromaticPitch::shiftPitches() {
    if (spectraReady()) shiftBins(true);
}

void ChromaticPitch::shiftMagnitudes() {
    if (spectraReady()) shiftBins(false);
}

void ChromaticPitch::filter2() {
    if (!spectraReady()) return;
    float* mag = magnitudes.getBuffer();
    float* freq = frequencies.getBuffer();
    const float* ph = phases.getBuffer();
    float* c = complexBuffer.getBuffer();
    mag[0] = 0.0f;
    freq[0] = 0.0f;
    for (int k = 0; k <= halfSize; ++k) {
        const int t = toneOf(k);
        const float m = t < 0 ? mag[k] : mag[k] * filterGains[t];
        c[2 * k] = m * std::cos(ph[k]);
        c[2 * k + 1] = m * std::sin(ph[k]);
    }
    clearUpperHalf();
}

} // namespace SPECTRO
