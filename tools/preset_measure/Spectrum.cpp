#include "Spectrum.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <stdexcept>

extern "C" {
#include <libavutil/tx.h>
}

namespace presetmeasure {

namespace {

constexpr std::size_t kSegment = 16384;
// Noise is made one period at a time and repeats seamlessly (the transform is circular); 1.4 s at
// 48 kHz, lines 0.73 Hz apart.
constexpr std::size_t kPeriod = 65536;

class Transform {
public:
    Transform(std::size_t length, bool inverse) {
        double scale = 1.0;
        if (av_tx_init(&context_, &function_, AV_TX_DOUBLE_FFT, inverse ? 1 : 0, int(length), &scale, 0) < 0)
            throw std::runtime_error("the Fourier transform of length " + std::to_string(length) +
                                     " could not be set up");
    }
    ~Transform() { av_tx_uninit(&context_); }
    Transform(const Transform&) = delete;
    Transform& operator=(const Transform&) = delete;

    void run(std::vector<AVComplexDouble>& out, std::vector<AVComplexDouble>& in) {
        function_(context_, out.data(), in.data(), sizeof(AVComplexDouble));
    }

private:
    AVTXContext* context_ = nullptr;
    av_tx_fn function_ = nullptr;
};

constexpr const char* kLabels[kThirdOctaves] = {
    "31.5", "40", "50",    "63",   "80", "100",  "125",   "160", "200", "250",  "315", "400", "500",   "630",
    "800",  "1k", "1.25k", "1.6k", "2k", "2.5k", "3.15k", "4k",  "5k",  "6.3k", "8k",  "10k", "12.5k", "16k"};

} // namespace

double thirdOctaveCentre(int band) {
    return 1000.0 * std::exp2((band - 15) / 3.0);
}

double meanOver(const ThirdOctaves& values, double low, double high) {
    double sum = 0;
    int count = 0;
    for (int b = 0; b < kThirdOctaves; ++b)
        if (thirdOctaveCentre(b) >= low * 0.99 && thirdOctaveCentre(b) <= high * 1.01) {
            sum += values[std::size_t(b)];
            ++count;
        }
    return count ? sum / count : 0.0;
}

const char* thirdOctaveLabel(int band) {
    return band >= 0 && band < kThirdOctaves ? kLabels[band] : "";
}

std::vector<double> shapedNoise(std::size_t frames, double sampleRate, unsigned seed,
                                const std::function<double(double)>& shape) {
    const std::size_t n = kPeriod;
    std::vector<AVComplexDouble> spectrum(n, AVComplexDouble{0, 0}), wave(n);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> phase(0.0, 2.0 * std::numbers::pi);
    for (std::size_t k = 1; k < n / 2; ++k) {
        const double a = shape(double(k) * sampleRate / double(n)), p = phase(random);
        spectrum[k] = {a * std::cos(p), a * std::sin(p)};
        spectrum[n - k] = {spectrum[k].re, -spectrum[k].im};
    }
    Transform(n, true).run(wave, spectrum);
    std::vector<double> signal(frames);
    for (std::size_t i = 0; i < frames; ++i) signal[i] = wave[i % n].re;
    return signal;
}

std::function<double(double)> pinkShape() {
    return [](double f) { return f < 5.0 ? 0.0 : 1.0 / std::sqrt(f); };
}

std::vector<float> scaled(const std::vector<double>& signal, double gain) {
    std::vector<float> out(signal.size());
    for (std::size_t i = 0; i < signal.size(); ++i) out[i] = float(signal[i] * gain);
    return out;
}

ThirdOctaves thirdOctavePowers(std::span<const float> signal, double sampleRate) {
    std::size_t length = kSegment;
    while (length > signal.size() && length > 2) length /= 2;
    std::vector<double> window(length);
    for (std::size_t i = 0; i < length; ++i)
        window[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(length));
    // Which band each bin falls into, by its centre frequency; -1 outside every band.
    std::vector<int> bandOfBin(length / 2, -1);
    for (std::size_t k = 1; k < length / 2; ++k) {
        const double f = double(k) * sampleRate / double(length);
        for (int b = 0; b < kThirdOctaves; ++b)
            if (f >= thirdOctaveCentre(b) * std::exp2(-1.0 / 6.0) &&
                f < thirdOctaveCentre(b) * std::exp2(1.0 / 6.0))
                bandOfBin[k] = b;
    }
    Transform transform(length, false);
    std::vector<AVComplexDouble> in(length), out(length);
    ThirdOctaves power{};
    int segments = 0;
    for (std::size_t start = 0; start + length <= signal.size(); start += length / 2, ++segments) {
        for (std::size_t i = 0; i < length; ++i) in[i] = {signal[start + i] * window[i], 0.0};
        transform.run(out, in);
        for (std::size_t k = 1; k < length / 2; ++k)
            if (bandOfBin[k] >= 0)
                power[std::size_t(bandOfBin[k])] += out[k].re * out[k].re + out[k].im * out[k].im;
    }
    for (double& p : power) p /= std::max(segments, 1);
    return power;
}

double harmonicDistortion(std::span<const float> signal, double hz, double sampleRate) {
    // Whole periods make every harmonic fall on a bin of its own: no window, no leakage.
    auto cycles = std::floor(double(signal.size()) * hz / sampleRate);
    for (; cycles > 0; --cycles) {
        const double frames = cycles * sampleRate / hz;
        if (std::fabs(frames - std::round(frames)) < 1e-6) break;
    }
    const auto frames = std::size_t(std::round(cycles * sampleRate / hz));
    double fundamental = 0, harmonics = 0;
    for (int h = 1; h <= 40; ++h) {
        // Goertzel's recursion: the power of one bin.
        const double c = 2.0 * std::cos(2.0 * std::numbers::pi * hz * h / sampleRate);
        double s1 = 0, s2 = 0;
        for (std::size_t i = 0; i < frames; ++i) {
            const double s0 = signal[i] + c * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        (h == 1 ? fundamental : harmonics) += s1 * s1 + s2 * s2 - c * s1 * s2;
    }
    return fundamental > 0 ? std::sqrt(harmonics / fundamental) : 0.0;
}

double decibels(double powerRatio) {
    return powerRatio > 0 ? 10.0 * std::log10(powerRatio) : -300.0;
}

} // namespace presetmeasure
