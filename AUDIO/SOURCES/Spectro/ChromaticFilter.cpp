#include "ChromaticFilter.h"

#include <algorithm>
#include <iterator>

namespace SPECTRO {

ChromaticFilter::ChromaticFilter(int size, int overlap, float samplerate)
    : Analyzer(size, overlap, samplerate) {
    std::fill(std::begin(filterGains), std::end(filterGains), 1.0f);
    setChromatic(true);
}

ChromaticFilter::~ChromaticFilter() {
    setChromatic(false);
}

void ChromaticFilter::process(float* samples, int n) {
    feed(samples, samples, n);
}

void ChromaticFilter::onBufferReady() {
    buffer2complex(nullptr, nullptr);
    const int c = frameCounter;
    if (++frameCounter >= updateInterval) frameCounter = 0;
    if (c == 0) complex2frequencies(nullptr);
    complex2buffer(nullptr, nullptr);
}

void ChromaticFilter::onComplex(float*) {
    filter(nullptr);
}

int ChromaticFilter::toneOf(int k) const {
    if (!binToTone) return -1;
    const int t = binToTone[static_cast<std::size_t>(k)];
    return t >= 0 && t < Scala::kTones ? t : -1;
}

void ChromaticFilter::filter(float* c) {
    if (!c) c = complexBuffer.getBuffer();
    if (!c || !binToTone) return;
    for (int b = 0; b <= halfSize; ++b) {
        const int t = toneOf(b);
        if (t < 0) continue;
        const float g = filterGains[t];
        c[2 * b] *= g;
        c[2 * b + 1] *= g;
        // The negative-frequency twin of bin b is bin N - b; bins 0 and N/2 have none.
        if (b > 0 && b < halfSize) {
            c[2 * (fftSize - b)] *= g;
            c[2 * (fftSize - b) + 1] *= g;
        }
    }
}

void ChromaticFilter::setChromaticFilterBand(int note, float v) {
    if (!validNote(note)) return;
    float g = 2.0f * v;
    if (g > 1.0f) g *= g;
    filterGains[note + 3] = g;
}

void ChromaticFilter::setChromaticFilterBand2(int note, float v) {
    if (!validNote(note)) return;
    filterGains[note + 3] = v;
}

void ChromaticFilter::setChromaticFilterBands(float* gains, float outside) {
    if (!gains) return;
    for (int t = kFirstNoteTone; t <= kLastNoteTone; ++t) {
        float g = 2.0f * gains[t];
        if (g > 1.0f) g *= g;
        filterGains[t] = g;
    }
    setOutsideRange(outside);
}

bool ChromaticFilter::outsideRange(int tone, int low, int high) const {
    const long long t = tone;
    const bool inside = t >= low + 3LL && t <= high + 3LL;
    return inverted ? inside : !inside;
}

void ChromaticFilter::setChromaticFilterRange(int low, int high, float outside) {
    for (int t = kFirstNoteTone; t <= kLastNoteTone; ++t)
        if (outsideRange(t, low, high)) filterGains[t] = 0.0f;
    ChromaticFilter::setOutsideRange(outside);
}

void ChromaticFilter::setOutsideRange(float v) {
    for (int t = 0; t < kFirstNoteTone; ++t) filterGains[t] = v;
    for (int t = kLastNoteTone + 1; t < Scala::kTones; ++t) filterGains[t] = v;
}

} // namespace SPECTRO
