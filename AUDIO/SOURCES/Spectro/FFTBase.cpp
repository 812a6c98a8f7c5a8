#include "FFTBase.h"

#include "plat/denormals.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

namespace SPECTRO {

namespace {
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
constexpr int kDefaultSize = 4096;
constexpr int kDefaultOverlap = 2;
constexpr float kDefaultRate = 48000.0f;
// Keeps every buffer length, (size + 1) x 2 included, inside an int.
constexpr int kMaxSize = 1 << 24;

bool isPowerOfTwo(int n) {
    return n >= 2 && n <= kMaxSize && (n & (n - 1)) == 0;
}

} // namespace

int round1(float x) {
    const double r = std::floor(static_cast<double>(x) + 0.5);
    // Saturate instead of overflowing the conversion (a tiny shift factor gives huge quotients).
    if (!(r > INT_MIN)) return INT_MIN;
    if (r >= INT_MAX) return INT_MAX;
    return static_cast<int>(r);
}

float wrapPhase(float phase) {
    if (!std::isfinite(phase)) return 0.0f;
    if (phase >= -kPi && phase <= kPi) return phase;
    return static_cast<float>(std::remainder(static_cast<double>(phase), 2.0 * std::numbers::pi));
}

bool FFTBase::validSize(int n, int withOverlap) {
    return isPowerOfTwo(n) && withOverlap >= 1 && withOverlap <= n;
}

bool FFTBase::validRate(float rate) {
    return std::isfinite(rate) && rate > 0.0f;
}

FFTBase::FFTBase(int size_, int overlap_, float samplerate_) {
    if (!validSize(size_, overlap_)) {
        size_ = validSize(size_, kDefaultOverlap) ? size_ : kDefaultSize;
        overlap_ = validSize(size_, overlap_) ? overlap_ : kDefaultOverlap;
    }
    size = size_;
    overlap = overlap_;
    samplerate = validRate(samplerate_) ? samplerate_ : kDefaultRate;
    baseInit();
}

void FFTBase::setSamplerate(float rate) {
    if (!validRate(rate)) return;
    samplerate = rate;
    binWidth = samplerate / static_cast<float>(fftSize);
}

void FFTBase::setSize(int n) {
    if (!validSize(n, overlap)) return;
    size = n;
    init();
}

void FFTBase::setOverlap(int n) {
    if (!validSize(size, n)) return;
    overlap = n;
    init();
}

void FFTBase::init() {
    baseInit();
    clear();
}

void FFTBase::baseInit() {
    osamp = overlap;
    fftSize = size;
    halfSize = fftSize / 2;
    complexLength = 2 * fftSize;

    window.ensure(fftSize);
    complexBuffer.ensure((fftSize + 1) * 2);
    inputBuffer.ensure(fftSize);
    outputBuffer.ensure(fftSize);
    frequencies.ensure(halfSize + 1);
    magnitudes.ensure(halfSize + 1);
    magnitudesNormalized.ensure(halfSize + 1);
    magnitudesPeaks.ensure(halfSize + 1);
    phases.ensure(halfSize + 1);
    resynthesis.ensure(complexLength);

    if (float* w = window.getBuffer())
        for (int i = 0; i < fftSize; ++i)
            w[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / fftSize));

    binWidth = samplerate / static_cast<float>(fftSize);
    hop = osamp > 0 ? fftSize / osamp : 0;
    expectedPhase = kTwoPi * static_cast<float>(hop) / static_cast<float>(fftSize);
    keepLength = fftSize - hop;
    writeIndex = keepLength;
    normMax = 1.0f;
}

bool FFTBase::buffersReady() const {
    return window.getSize() >= fftSize && complexBuffer.getSize() >= (fftSize + 1) * 2 &&
           inputBuffer.getSize() >= fftSize && outputBuffer.getSize() >= fftSize &&
           frequencies.getSize() > halfSize && magnitudes.getSize() > halfSize &&
           magnitudesNormalized.getSize() > halfSize && magnitudesPeaks.getSize() > halfSize &&
           phases.getSize() > halfSize && resynthesis.getSize() >= complexLength;
}

void FFTBase::clear() {
    complexBuffer.clear();
    inputBuffer.clear();
    outputBuffer.clear();
    frequencies.clear();
    magnitudesNormalized.clear();
    magnitudesPeaks.clear();
    phases.clear();
    resynthesis.clear();
    writeIndex = keepLength;
}

void FFTBase::feed(const float* in, float* out, int n) {
    if (!in || n <= 0 || !buffersReady()) return;
    feedFrames(
        n, out, [in](float* input, int i, int slot) { input[slot] = in[i]; }, [] {});
}

void FFTBase::clearUpperHalf() {
    float* c = complexBuffer.getBuffer();
    if (!c || complexBuffer.getSize() < complexLength) return;
    std::memset(c + fftSize + 2, 0, static_cast<std::size_t>(complexLength - fftSize - 2) * sizeof(float));
}

void FFTBase::shiftInput(float* buf) {
    if (!buf) buf = inputBuffer.getBuffer();
    if (!buf || inputBuffer.getSize() < fftSize) return;
    std::memmove(buf, buf + hop, static_cast<std::size_t>(keepLength) * sizeof(float));
}

void FFTBase::buffer2complex(float* in, float* out) {
    if (!in) in = inputBuffer.getBuffer();
    if (!out) out = complexBuffer.getBuffer();
    const float* w = window.getBuffer();
    if (!w || !in || !out) return;
    for (int i = 0; i < fftSize; ++i) {
        out[2 * i] = in[i] * w[i];
        out[2 * i + 1] = 0.0f;
    }
    fft(-1, out);
}

void FFTBase::fft(int sign, float* data) {
    if (!data || fftSize < 2) return;
    const int n = complexLength;

    for (int i = 2; i < n - 2; i += 2) {
        int j = 0;
        for (int m = 2; m < n; m <<= 1) {
            if (i & m) ++j;
            j <<= 1;
        }
        if (i < j) {
            std::swap(data[i], data[j]);
            std::swap(data[i + 1], data[j + 1]);
        }
    }

    for (int le = 4; le <= n; le <<= 1) {
        const int le2 = le / 2;
        const double angle = std::numbers::pi / (le / 4);
        const double wr = std::cos(angle);
        const double wi = sign * std::sin(angle);
        double ur = 1.0;
        double ui = 0.0;
        for (int j = 0; j < le2; j += 2) {
            for (int i = j; i < n; i += le) {
                float* a = data + i;
                float* b = data + i + le2;
                const double tr = b[0] * ur - b[1] * ui;
                const double ti = b[0] * ui + b[1] * ur;
                b[0] = static_cast<float>(a[0] - tr);
                b[1] = static_cast<float>(a[1] - ti);
                a[0] = static_cast<float>(a[0] + tr);
                a[1] = static_cast<float>(a[1] + ti);
            }
            const double t = ur * wr - ui * wi;
            ui = ur * wi + ui * wr;
            ur = t;
        }
    }
}

void FFTBase::complex2frequencies(float* c) {
    if (!c) c = complexBuffer.getBuffer();
    float* mag = magnitudes.getBuffer();
    float* freq = frequencies.getBuffer();
    float* ph = phases.getBuffer();
    if (!c || !mag || !freq || !ph) return;
    for (int k = 0; k <= halfSize; ++k) {
        const float re = c[2 * k];
        const float im = c[2 * k + 1];
        const float magnitude = 2.0f * std::sqrt(re * re + im * im);
        const float phase = std::atan2(im, re);
        float d = phase - ph[k];
        ph[k] = phase;
        d -= static_cast<float>(k) * expectedPhase;
        if (!std::isfinite(d)) d = 0.0f;
        // Map the phase deviation into -pi .. pi by an even multiple of pi.
        int q = static_cast<int>(d / kPi);
        if (q >= 0)
            q += q & 1;
        else
            q -= q & 1;
        d -= kPi * static_cast<float>(q);
        freq[k] = static_cast<float>(k) * binWidth + static_cast<float>(osamp) * d / kTwoPi * binWidth;
        mag[k] = magnitude;
    }
    onAnalysis(freq, mag);
}

void FFTBase::onAnalysis(float* freq, float* mag) {
    float* norm = magnitudesNormalized.getBuffer();
    float* peaks = magnitudesPeaks.getBuffer();
    if (!freq || !mag || !norm || !peaks) return;
    float m = 1.0f;
    for (int k = 0; k <= halfSize; ++k)
        if (mag[k] >= 0.0f && mag[k] > 1.0f && mag[k] > m) m = mag[k];
    if (m > normMax) normMax = m;
    if (normMax >= 1.0f) {
        for (int k = 0; k <= halfSize; ++k) norm[k] = mag[k] / normMax;
    } else {
        normMax = 1.0f;
    }
    for (int k = 0; k <= halfSize; ++k) {
        if (norm[k] >= peaks[k])
            peaks[k] = norm[k];
        else
            peaks[k] = plat::flushDenormal(peaks[k] * 0.93f);
    }
    normMax -= 0.01f;
}

void FFTBase::frequencies2complex(float* mag, float* freq, float* phaseSum, float* out) {
    if (!mag) mag = magnitudes.getBuffer();
    if (!freq) freq = frequencies.getBuffer();
    if (!phaseSum) phaseSum = phases.getBuffer();
    if (!out) out = complexBuffer.getBuffer();
    if (!mag || !freq || !phaseSum || !out || binWidth <= 0.0f) return;
    for (int k = 0; k <= halfSize; ++k) {
        const float dev = (freq[k] - static_cast<float>(k) * binWidth) / binWidth;
        const float inc = kTwoPi * dev / static_cast<float>(osamp) + static_cast<float>(k) * expectedPhase;
        phaseSum[k] = wrapPhase(phaseSum[k] + inc);
        out[2 * k] = mag[k] * std::cos(phaseSum[k]);
        out[2 * k + 1] = mag[k] * std::sin(phaseSum[k]);
    }
}

bool FFTBase::overlapAdd(float* c) {
    if (!c) c = complexBuffer.getBuffer();
    const float* w = window.getBuffer();
    float* acc = resynthesis.getBuffer();
    if (!c || !w || !acc) return false;
    onComplex(c);
    fft(+1, c);
    // The window is applied on analysis and again here; with an overlap of 3 or more the squared
    // Hann windows sum to 3/8 x overlap, so an unchanged spectrum comes back at 1.5 times its level.
    const float scale = static_cast<float>(halfSize * osamp);
    for (int i = 0; i < fftSize; ++i) acc[i] += 2.0f * w[i] * c[2 * i] / scale;
    return true;
}

void FFTBase::complex2buffer(float* c, float* out) {
    if (!overlapAdd(c)) return;
    doOutput(out);
    shiftResyn();
}

void FFTBase::doOutput(float* out) {
    if (!out) out = outputBuffer.getBuffer();
    const float* acc = resynthesis.getBuffer();
    if (!out || !acc) return;
    std::memcpy(out, acc, static_cast<std::size_t>(hop) * sizeof(float));
}

void FFTBase::shiftResyn() {
    float* acc = resynthesis.getBuffer();
    if (!acc || resynthesis.getSize() < complexLength) return;
    std::memmove(acc, acc + hop, static_cast<std::size_t>(fftSize) * sizeof(float));
}

} // namespace SPECTRO
