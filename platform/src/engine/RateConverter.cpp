#include "RateConverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace plat::engine_detail {

namespace {

// Zeroth-order modified Bessel function of the first kind, for the Kaiser window.
double besselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 64 && term > sum * 1e-17; ++k) {
        const double half = x / (2.0 * k);
        term *= half * half;
        sum += term;
    }
    return sum;
}

} // namespace

bool RateConverter::convertible(double from, double to) {
    auto inRange = [](double rate) { return rate >= kMinimumRate && rate <= kMaximumRate; };
    return inRange(from) && inRange(to) && from / to <= kMaximumDownFactor;
}

const std::vector<float>& RateConverter::table() const {
    // sinc(u) under a Kaiser window (beta 9: side lobes near -90 dB), for u from 0 to the last zero
    // crossing, with one point past it for the interpolation. Never destroyed: a graph may be
    // connected or rendered on another thread while the process exits.
    static const auto* values = new std::vector<float>([] {
        constexpr double beta = 9.0;
        const int points = kZeroCrossings * kTableResolution;
        std::vector<float> t(std::size_t(points) + 2, 0.0f);
        for (int i = 0; i <= points; ++i) {
            const double u = double(i) / kTableResolution;
            const double x = u / kZeroCrossings;
            const double window = besselI0(beta * std::sqrt(std::max(0.0, 1 - x * x))) / besselI0(beta);
            const double sinc = i == 0 ? 1.0 : std::sin(M_PI * u) / (M_PI * u);
            t[std::size_t(i)] = float(sinc * window);
        }
        return t;
    }());
    return *values;
}

RateConverter::RateConverter(std::uint32_t channels)
    : channels_(std::min(channels, AudioBufferList::kCapacity)),
      input_(channels_, std::vector<float>(kCapacity, 0.0f)), weights_(2 * kMaximumHalfTaps + 2) {
    table();
    reset();
}

void RateConverter::reset(double offset) {
    for (auto& channel : input_) std::fill(channel.begin(), channel.end(), 0.0f);
    // Silence before the first source frame, as much as the widest kernel reaches back.
    filled_ = kMaximumHalfTaps;
    position_ = kMaximumHalfTaps + offset;
}

void RateConverter::render(double from, double to, const AudioBufferList& out, std::uint32_t channels,
                           AUAudioFrameCount frames, Source& source) {
    channels = std::min(channels, channels_);
    const double step = from / to;
    const double cutoff = kPassBand * std::min(1.0, to / from);
    const int half = std::min(int(std::ceil(kZeroCrossings / cutoff)), kMaximumHalfTaps - 1);
    const double tableStep = cutoff * kTableResolution;
    const int tableEnd = kZeroCrossings * kTableResolution;
    const float* t = table().data();
    float* w = weights_.data();

    for (AUAudioFrameCount done = 0; done < frames;) {
        // Keep as much history as the widest kernel needs; drop the rest.
        const auto keepFrom = std::int64_t(std::floor(position_)) - kMaximumHalfTaps;
        if (keepFrom > 0) {
            const auto kept = filled_ - AUAudioFrameCount(keepFrom);
            for (std::uint32_t c = 0; c < channels; ++c)
                std::memmove(input_[c].data(), input_[c].data() + keepFrom, kept * sizeof(float));
            filled_ = kept;
            position_ -= double(keepFrom);
        }
        // As many output frames as the frames read ahead can hold.
        const double room = double(kCapacity - AUAudioFrameCount(half) - 1) - position_;
        const auto fits = AUAudioFrameCount(std::max(1.0, std::floor(room / step)));
        const AUAudioFrameCount n = std::min(frames - done, fits);
        const auto needed =
            AUAudioFrameCount(std::int64_t(std::floor(position_ + double(n - 1) * step)) + half + 1);
        while (filled_ < needed) {
            const AUAudioFrameCount pull = std::min(needed - filled_, kMaximumPull);
            pullTarget_.mNumberBuffers = channels;
            for (std::uint32_t c = 0; c < channels; ++c)
                pullTarget_.mBuffers[c] = {1, pull * std::uint32_t(sizeof(float)),
                                           input_[c].data() + filled_};
            source.pull(pullTarget_, pull);
            filled_ += pull;
        }
        for (AUAudioFrameCount i = 0; i < n; ++i) {
            const double base = std::floor(position_);
            const double fraction = position_ - base;
            const auto first = std::size_t(base) - std::size_t(half - 1);
            // Taps at source frames base-half+1 .. base+half, at distance fraction-k from the point.
            for (int k = -half + 1, tap = 0; k <= half; ++k, ++tap) {
                const double at = std::fabs(fraction - k) * tableStep;
                const int index = int(at);
                if (index >= tableEnd) {
                    w[tap] = 0.0f;
                    continue;
                }
                const float f = float(at - index);
                w[tap] = float(cutoff) * (t[index] + f * (t[index + 1] - t[index]));
            }
            const int taps = 2 * half;
            for (std::uint32_t c = 0; c < channels; ++c) {
                const float* x = input_[c].data() + first;
                float sum = 0.0f;
                for (int tap = 0; tap < taps; ++tap) sum += w[tap] * x[tap];
                static_cast<float*>(out.mBuffers[c].mData)[done + i] = sum;
            }
            position_ += step;
        }
        done += n;
    }
}

} // namespace plat::engine_detail
