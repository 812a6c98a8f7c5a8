#include "Effects.h"

namespace democlips {

namespace {
constexpr size_t kCombTuning[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr size_t kAllpassTuning[4] = {556, 441, 341, 225};
constexpr size_t kSideSpread = 23;

size_t scaled(size_t samples) {
    return samples * 48000 / 44100;
}
} // namespace

Reverb::Reverb(float size, float damping) : feedback_(0.7f + 0.28f * size), damping_(0.2f + 0.6f * damping) {
    for (size_t side = 0; side < 2; ++side) {
        for (size_t t : kCombTuning)
            combs_[side].push_back({std::vector<float>(scaled(t + side * kSideSpread))});
        for (size_t t : kAllpassTuning)
            allpasses_[side].push_back({std::vector<float>(scaled(t + side * kSideSpread))});
    }
}

void Reverb::process(const std::vector<float>& in, std::vector<float>& left, std::vector<float>& right) {
    std::vector<float>* outs[2] = {&left, &right};
    for (size_t side = 0; side < 2; ++side) {
        std::vector<float>& out = *outs[side];
        for (size_t i = 0; i < in.size(); ++i) {
            const float x = in[i] * 0.015f;
            float sum = 0;
            for (Comb& c : combs_[side]) {
                const float y = c.buf[c.at];
                c.store = y * (1.0f - damping_) + c.store * damping_;
                c.buf[c.at] = x + c.store * feedback_;
                c.at = c.at + 1 == c.buf.size() ? 0 : c.at + 1;
                sum += y;
            }
            for (Allpass& a : allpasses_[side]) {
                const float y = a.buf[a.at];
                a.buf[a.at] = sum + y * 0.5f;
                a.at = a.at + 1 == a.buf.size() ? 0 : a.at + 1;
                sum = y - sum;
            }
            out[i] += sum;
        }
    }
}

void pingPong(const std::vector<float>& in, float delaySeconds, float feedback, std::vector<float>& left,
              std::vector<float>& right) {
    const size_t delay = std::max<size_t>(1, size_t(delaySeconds * kRate));
    std::vector<float> a(delay), b(delay);
    OnePole toneA, toneB;
    toneA.setCutoff(4500.0f);
    toneB.setCutoff(4500.0f);
    size_t at = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        const float outA = a[at], outB = b[at];
        a[at] = toneA.lowpass(in[i] + outB * feedback);
        b[at] = toneB.lowpass(outA * feedback);
        at = at + 1 == delay ? 0 : at + 1;
        left[i] += outA;
        right[i] += outB;
    }
}

void chorus(std::vector<float>& left, std::vector<float>& right, float amount) {
    Delay dl(2048), dr(2048);
    for (size_t i = 0; i < left.size(); ++i) {
        const double t = double(i) / kRate;
        dl.write(left[i]);
        dr.write(right[i]);
        const float wl = dl.read(kRate * (0.012f + 0.004f * sine(0.31 * t)));
        const float wr = dr.read(kRate * (0.014f + 0.004f * sine(0.27 * t + 0.25)));
        left[i] += amount * (wr - 0.3f * wl);
        right[i] += amount * (wl - 0.3f * wr);
    }
}

} // namespace democlips
