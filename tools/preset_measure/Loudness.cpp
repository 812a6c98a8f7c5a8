#include "Loudness.h"

#include <algorithm>
#include <cmath>

namespace presetmeasure {

namespace {

struct Biquad {
    double b0, b1, b2, a1, a2;
};
// The shelf models the head, the high-pass the ear's loss of low bass.
constexpr Biquad kShelf{1.53512485958697, -2.69169618940638, 1.19839281085285, -1.69065929318241,
                        0.73248077421585};
constexpr Biquad kHighPass{1.0, -2.0, 1.0, -1.99004745483398, 0.99007225036621};

std::vector<double> kWeighted(const std::vector<float>& channel) {
    std::vector<double> out(channel.size());
    double s[2][4] = {}; // x1, x2, y1, y2 per section
    for (std::size_t i = 0; i < channel.size(); ++i) {
        double x = channel[i];
        int k = 0;
        for (const Biquad& f : {kShelf, kHighPass}) {
            double* z = s[k++];
            const double y = f.b0 * x + f.b1 * z[0] + f.b2 * z[1] - f.a1 * z[2] - f.a2 * z[3];
            z[1] = z[0];
            z[0] = x;
            z[3] = z[2];
            z[2] = y;
            x = y;
        }
        out[i] = x;
    }
    return out;
}

double lkfs(double power) {
    return power > 0 ? -0.691 + 10.0 * std::log10(power) : -300.0;
}

} // namespace

std::vector<double> kWeightedPowers(const Channels& channels, std::size_t start, std::size_t window,
                                    std::size_t step) {
    std::vector<double> powers;
    for (const auto& channel : channels) {
        const auto weighted = kWeighted(channel);
        std::size_t n = 0;
        for (std::size_t from = start; from + window <= weighted.size(); from += step, ++n) {
            double sum = 0;
            for (std::size_t i = from; i < from + window; ++i) sum += weighted[i] * weighted[i];
            if (n == powers.size()) powers.push_back(0.0);
            powers[n] += sum / double(window);
        }
    }
    return powers;
}

double integratedLoudness(const Channels& channels, std::size_t start) {
    const auto blocks =
        kWeightedPowers(channels, start, std::size_t(0.4 * kMeasureRate), std::size_t(0.1 * kMeasureRate));
    auto gatedMean = [&](double gate) {
        double sum = 0;
        std::size_t n = 0;
        for (double p : blocks)
            if (lkfs(p) > gate) {
                sum += p;
                ++n;
            }
        return n ? sum / double(n) : 0.0;
    };
    const double absolute = gatedMean(-70.0);
    return absolute > 0 ? lkfs(gatedMean(std::max(lkfs(absolute) - 10.0, -70.0))) : -300.0;
}

double gainSwing(const Channels& in, const Channels& out, std::size_t start) {
    const auto window = std::size_t(0.1 * kMeasureRate), step = std::size_t(0.025 * kMeasureRate);
    const auto before = kWeightedPowers(in, start, window, step),
               after = kWeightedPowers(out, start, window, step);
    double low = 1e300, high = -1e300;
    for (std::size_t i = 0; i < std::min(before.size(), after.size()); ++i) {
        if (!(before[i] > 0)) continue;
        const double gain = after[i] > 0 ? 10.0 * std::log10(after[i] / before[i]) : -300.0;
        low = std::min(low, gain);
        high = std::max(high, gain);
    }
    return high >= low ? high - low : 0.0;
}

} // namespace presetmeasure
