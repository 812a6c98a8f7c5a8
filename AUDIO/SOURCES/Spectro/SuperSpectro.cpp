#include "SuperSpectro.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace SPECTRO {

float wavelet(float x, float scale, float q) {
    const double c = 2.0 * std::numbers::pi * q;
    const double d = 2.0 * std::numbers::pi * x * scale * q - c;
    return static_cast<float>(std::sqrt(static_cast<double>(scale) * q) * 1.8827925275534296 *
                              std::exp(-0.5 * d * d));
}

SuperSpectro::SuperSpectro(int size, int overlap, float samplerate) : FFTBase(size, overlap, samplerate) {
    waveletBand.ensure((fftSize + 1) * 2);
}

void SuperSpectro::init() {
    FFTBase::init();
    waveletBand.ensure((fftSize + 1) * 2);
    waveletBand.clear();
}

void SuperSpectro::clear() {
    FFTBase::clear();
    waveletBand.clear();
}

void SuperSpectro::process(float* samples, int n) {
    feed(samples, samples, n);
}

void SuperSpectro::doOutput(float* out) {
    if (!out) out = outputBuffer.getBuffer();
    const float* acc = resynthesis.getBuffer();
    if (!out || !acc) return;
    for (int i = 0; i < hop; ++i) out[i] += acc[i];
}

void SuperSpectro::complex2buffer2(float* c, float) {
    overlapAdd(c);
}

void SuperSpectro::onBufferReady() {
    float* band = waveletBand.getBuffer();
    const float* spectrum = complexBuffer.getBuffer();
    if (!buffersReady() || !band || waveletBand.getSize() < (fftSize + 1) * 2) return;

    const double hi = samplerate / 110.0;
    const double lo = std::max(samplerate / 880.0, 2.0);
    const double span = hi - lo;
    const double ratio = span > 0.0 ? std::pow(hi / lo, 1.0 / span) : 2.0;

    buffer2complex(nullptr, nullptr);
    outputBuffer.clear();

    const int bandSize = waveletBand.getSize();
    const long maxBand = static_cast<long>(span) + 1;
    double f = lo;
    for (long b = 0; f <= hi && b <= maxBand; ++b, f *= ratio) {
        waveletBand.clear();
        const double centre = fftSize / f;
        for (int j = static_cast<int>(0.9 * centre); j < static_cast<int>(1.1 * centre); ++j) {
            if (2 * j + 1 >= bandSize) break;
            const float g = wavelet(static_cast<float>(j), static_cast<float>(f / fftSize), 10.0f);
            band[2 * j] = g * spectrum[2 * j];
            band[2 * j + 1] = g * spectrum[2 * j + 1];
        }
        complex2buffer2(band, static_cast<float>(f));
    }
    // All bands of this frame are in the accumulator: emit and advance it once.
    doOutput(nullptr);
    shiftResyn();
}

} // namespace SPECTRO
