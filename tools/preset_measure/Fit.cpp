#include "Fit.h"

#include "PresetMeasure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace presetmeasure {

namespace {

constexpr int kBands = 31; // band 32 lies above 0.4 times the sample rate and is muted
constexpr double kNudge = 0.02;

using Matrix = std::vector<std::vector<double>>;

// Solves a x = b in place by Gaussian elimination with partial pivoting.
std::vector<double> solve(Matrix a, std::vector<double> b) {
    const std::size_t n = b.size();
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < n; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
        std::swap(a[c], a[pivot]);
        std::swap(b[c], b[pivot]);
        if (a[c][c] == 0) continue;
        for (std::size_t r = c + 1; r < n; ++r) {
            const double f = a[r][c] / a[c][c];
            for (std::size_t k = c; k < n; ++k) a[r][k] -= f * a[c][k];
            b[r] -= f * b[c];
        }
    }
    std::vector<double> x(n, 0.0);
    for (std::size_t c = n; c-- > 0;) {
        double sum = b[c];
        for (std::size_t k = c + 1; k < n; ++k) sum -= a[c][k] * x[k];
        x[c] = a[c][c] != 0 ? sum / a[c][c] : 0.0;
    }
    return x;
}

} // namespace

double targetAt(const std::vector<TargetPoint>& target, double hz) {
    if (target.empty()) return 0.0;
    if (hz <= target.front().hz) return target.front().dB;
    for (std::size_t i = 1; i < target.size(); ++i)
        if (hz <= target[i].hz) {
            const double t = std::log(hz / target[i - 1].hz) / std::log(target[i].hz / target[i - 1].hz);
            return target[i - 1].dB + t * (target[i].dB - target[i - 1].dB);
        }
    return target.back().dB;
}

void fitLevels(const std::filesystem::path& file, const std::vector<TargetPoint>& target, std::ostream& log) {
    YUXPreset preset;
    if (auto read = preset.load(file); !read.ok())
        throw std::runtime_error("cannot read " + file.string() + ": " + read.error().description);
    const auto state = preset.getDictionary();
    std::vector<double> levels(kBands);
    for (const auto& group : preset.patch().groups)
        for (const auto& param : group->params)
            if (param.address >= 1000 && param.address < 1000 + kBands)
                levels[param.address - 1000] = param.value;

    const auto unit = makeUnit();
    const std::size_t settle = std::size_t(kMeasureRate), frames = std::size_t(2.5 * kMeasureRate);
    const auto pink = pinkNoise(frames, kLevels[medium]);
    const auto inPowers = thirdOctavePowers(std::span<const float>(pink).subspan(settle), kMeasureRate);
    std::vector<double> wanted(kThirdOctaves), weight(kThirdOctaves);
    for (int b = 0; b < kThirdOctaves; ++b) {
        wanted[std::size_t(b)] = targetAt(target, thirdOctaveCentre(b));
        weight[std::size_t(b)] = thirdOctaveCentre(b) > 60.0 ? 1.0 : 0.3; // the measured span counts most
    }
    auto errors = [&](const std::vector<double>& at) {
        const auto out = render(
            *unit,
            [&](Unit& u) {
                if (!u.setFullState(state).ok()) throw std::runtime_error("the unit refused the preset");
                for (int i = 0; i < kBands; ++i) u.setParameter(1000 + i, float(at[std::size_t(i)]));
            },
            pink);
        const auto powers = thirdOctavePowers(std::span<const float>(out[0]).subspan(settle), kMeasureRate);
        std::vector<double> e(kThirdOctaves);
        for (std::size_t b = 0; b < kThirdOctaves; ++b) e[b] = decibels(powers[b] / inPowers[b]) - wanted[b];
        return e;
    };
    auto cost = [&](const std::vector<double>& e) {
        double sum = 0;
        for (std::size_t b = 0; b < e.size(); ++b) sum += weight[b] * e[b] * e[b];
        return sum;
    };

    auto e = errors(levels);
    double damping = 1e-2;
    for (int step = 0; step < 25; ++step) {
        Matrix jacobian(kThirdOctaves, std::vector<double>(kBands));
        for (int i = 0; i < kBands; ++i) {
            auto nudged = levels;
            const double d = levels[std::size_t(i)] + kNudge <= 1.0 ? kNudge : -kNudge;
            nudged[std::size_t(i)] += d;
            const auto en = errors(nudged);
            for (std::size_t b = 0; b < kThirdOctaves; ++b) jacobian[b][std::size_t(i)] = (en[b] - e[b]) / d;
        }
        Matrix normal(kBands, std::vector<double>(kBands, 0.0));
        std::vector<double> gradient(kBands, 0.0);
        for (std::size_t b = 0; b < kThirdOctaves; ++b)
            for (std::size_t i = 0; i < kBands; ++i) {
                gradient[i] -= weight[b] * jacobian[b][i] * e[b];
                for (std::size_t k = 0; k < kBands; ++k)
                    normal[i][k] += weight[b] * jacobian[b][i] * jacobian[b][k];
            }
        bool improved = false;
        while (!improved && damping < 1e6) {
            auto damped = normal;
            for (std::size_t i = 0; i < kBands; ++i) damped[i][i] += damping * (normal[i][i] + 1e-3);
            const auto delta = solve(damped, gradient);
            auto trial = levels;
            for (std::size_t i = 0; i < kBands; ++i) trial[i] = std::clamp(trial[i] + delta[i], 0.0, 1.0);
            const auto et = errors(trial);
            if (cost(et) < cost(e)) {
                levels = trial;
                e = et;
                damping = std::max(damping / 3.0, 1e-4);
                improved = true;
            } else {
                damping *= 4.0;
            }
        }
        double largest = 0;
        for (int b = 0; b < kThirdOctaves; ++b)
            if (thirdOctaveCentre(b) > 60.0) largest = std::max(largest, std::fabs(e[std::size_t(b)]));
        char line[128];
        std::snprintf(line, sizeof line, "step %2d: weighted rms error %.3f dB, largest from 63 Hz %.3f dB\n",
                      step + 1, std::sqrt(cost(e) / kThirdOctaves), largest);
        log << line;
        if (!improved || largest < 0.01) break;
    }

    for (auto& group : preset.patch().groups)
        for (auto& param : group->params)
            if (param.address >= 1000 && param.address < 1000 + kBands)
                param.value = float(levels[param.address - 1000]);
    if (auto saved = preset.save(file); !saved.ok())
        throw std::runtime_error("cannot write " + file.string() + ": " + saved.error().description);
}

} // namespace presetmeasure
