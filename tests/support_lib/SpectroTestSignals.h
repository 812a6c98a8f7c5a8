#pragma once

#include <cmath>
#include <numbers>
#include <vector>

namespace spectro_test {

inline std::vector<float> sine(double hz, double rate, int n, double amplitude = 1.0) {
    std::vector<float> s(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        s[static_cast<std::size_t>(i)] =
            static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate));
    return s;
}

inline void add(std::vector<float>& a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) a[i] += b[i];
}

// Amplitude of the `hz` component over samples [from, from + n), Hann-weighted.
inline double amplitudeAt(const std::vector<float>& x, double hz, double rate, int from, int n) {
    double re = 0.0, im = 0.0, wsum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / n);
        const double v = x[static_cast<std::size_t>(from + i)] * w;
        const double ph = 2.0 * std::numbers::pi * hz * (from + i) / rate;
        re += v * std::cos(ph);
        im -= v * std::sin(ph);
        wsum += w;
    }
    return 2.0 * std::sqrt(re * re + im * im) / wsum;
}

} // namespace spectro_test
