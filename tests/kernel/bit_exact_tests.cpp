// The optimised engine against the plain scalar reading, bit for bit, through the adapter.
#include "Cores.h"
#include "RenderHost.h"
#include "ScalarCompander.h"
#include "YUX_Sorvane_ExtensionDSPKernelAdapter.h"

#include "plat/denormals.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

constexpr std::uint32_t kCycle = 512;

struct Signal {
    std::vector<float> left, right;
};

Signal noise(std::size_t frames, float amplitude, unsigned seed) {
    Signal s{std::vector<float>(frames), std::vector<float>(frames)};
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    for (std::size_t i = 0; i < frames; ++i) {
        s.left[i] = dist(rng);
        s.right[i] = dist(rng);
    }
    return s;
}

// Renders `in` through the adapter in 512-frame cycles and through the scalar reading with
// the same parameter changes at the same frames; returns the number of differing samples.
std::size_t compare(const Signal& in, const std::vector<std::vector<ParameterChange>>& changesPerCycle,
                    CompanderCoreFn core, const std::vector<ParameterChange>& initial = {}) {
    const std::size_t frames = in.left.size();
    YUX_Sorvane_ExtensionDSPKernelAdapter adapter;
    adapter.kernel().spectralCompander.setCore(core);
    for (const auto& c : initial) adapter.setParameter(c.address, c.value);
    EXPECT_TRUE(adapter.allocateRenderResources());
    RenderHost host(adapter.internalRenderBlock());
    Signal out{std::vector<float>(frames), std::vector<float>(frames)};

    scalar::Engine ref;
    Signal expected = in;
    const plat::DenormalsFlushScope flush;
    for (const auto& c : initial) ref.setParameter(c.address, c.value);

    std::size_t cycleIndex = 0;
    for (std::size_t pos = 0; pos < frames; pos += kCycle, ++cycleIndex) {
        const auto n = std::uint32_t(std::min<std::size_t>(kCycle, frames - pos));
        static const std::vector<ParameterChange> none;
        const auto& changes = cycleIndex < changesPerCycle.size() ? changesPerCycle[cycleIndex] : none;
        EXPECT_EQ(
            host.cycle(in.left.data(), in.right.data(), out.left.data(), out.right.data(), pos, n, changes),
            plat::noErr);
        std::size_t done = 0;
        for (const auto& c : changes) {
            const auto at = std::size_t(c.offset);
            ref.process(&expected.left[pos + done], &expected.right[pos + done], int(at - done));
            done = at;
            ref.setParameter(c.address, c.value);
        }
        ref.process(&expected.left[pos + done], &expected.right[pos + done], int(n - done));
    }
    std::size_t differing = 0;
    for (std::size_t i = 0; i < frames; ++i)
        differing += (std::memcmp(&out.left[i], &expected.left[i], 4) != 0) +
                     (std::memcmp(&out.right[i], &expected.right[i], 4) != 0);
    // The meters run their own pass in the optimised loop: their followers and the gain factors
    // must end where the plain reading's do.
    const auto& companders = adapter.kernel().spectralCompander.compander;
    for (int c = 0; c < 2; ++c) {
        const VEC32 peaks = companders[c].getPeakOut(), factors = companders[c].getFactor();
        for (int i = 0; i < scalar::N; ++i) {
            differing += std::memcmp(&peaks[i], &ref.comp[c].meter.peak[i], sizeof(float)) != 0;
            differing += std::memcmp(&factors[i], &ref.comp[c].factor[i], sizeof(float)) != 0;
        }
    }
    return differing;
}

// The values the audio unit pushes at start-up, plus a hot threshold so that bands also
// cross full scale (the limiting branch).
std::vector<ParameterChange> unitDefaults(float threshold) {
    std::vector<ParameterChange> v{{0, 0, 0.0f}, {0, 1, threshold}, {0, 2, 0.1f}, {0, 3, 0.4f}};
    for (int i = 0; i < 32; ++i) {
        v.push_back({0, plat::AUParameterAddress(1000 + i), 0.5f});
        v.push_back({0, plat::AUParameterAddress(2000 + i), 0.5f});
        v.push_back({0, plat::AUParameterAddress(3000 + i), 0.5f});
    }
    return v;
}

class BitExact : public ::testing::TestWithParam<CompanderCoreFn> {};

TEST_P(BitExact, TenSecondsOfStereoNoise) {
    EXPECT_EQ(compare(noise(480000, 0.5f, 1), {}, GetParam(), unitDefaults(0.7f)), 0u);
}

TEST_P(BitExact, NoiseWithTheEnginesOwnDefaults) {
    EXPECT_EQ(compare(noise(48000, 1.0f, 2), {}, GetParam()), 0u);
}

// The first value of a band's level, resonance or compansion takes the stored values of every
// other band with it.
TEST_P(BitExact, OneBandValueHandsOverTheWholeStoredVector) {
    const std::vector<ParameterChange> some{{0, 1005, 0.25f}, {0, 2010, 0.9f}, {0, 3007, 0.75f}};
    EXPECT_EQ(compare(noise(48000, 0.5f, 7), {}, GetParam(), some), 0u);
}

// Loud, up to the input bound, at full resonance: rendered as it always was, never restarted.
TEST_P(BitExact, NoiseUpToTheInputBoundAtFullResonance) {
    auto loud = unitDefaults(0.7f);
    for (int i = 0; i < 32; ++i) loud.push_back({0, plat::AUParameterAddress(2000 + i), 1.0f});
    EXPECT_EQ(compare(noise(48000, SpectralCompander_NEON2::kInputBound, 6), {}, GetParam(), loud), 0u);
}

TEST_P(BitExact, ImpulsesAndOddCycleLengths) {
    Signal s{std::vector<float>(96000 + 37), std::vector<float>(96000 + 37)};
    for (std::size_t i = 0; i < s.left.size(); i += 4801) s.left[i] = 1.0f;
    for (std::size_t i = 100; i < s.right.size(); i += 3001) s.right[i] = -0.8f;
    EXPECT_EQ(compare(s, {}, GetParam(), unitDefaults(0.9f)), 0u);
}

TEST_P(BitExact, BurstThenSilence) {
    Signal s = noise(240000, 0.9f, 3);
    std::fill(s.left.begin() + 24000, s.left.end(), 0.0f);
    std::fill(s.right.begin() + 24000, s.right.end(), 0.0f);
    EXPECT_EQ(compare(s, {}, GetParam(), unitDefaults(0.6f)), 0u);
}

// Segments of 72 frames: a chunk of the loop and the bank's lead end on the same row.
TEST_P(BitExact, AParameterEventOfEveryKindEvery72Frames) {
    const std::size_t frames = 96000;
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> band(0, 31);
    std::vector<std::vector<ParameterChange>> changes(frames / kCycle + 1);
    int k = 0;
    for (auto& cycle : changes) {
        for (std::int64_t offset = 0; offset < kCycle; offset += 72, ++k) {
            // Process, attack, release, a band's level, resonance or compansion, and now and
            // then the bypass.
            const plat::AUParameterAddress kinds[] = {1, 2, 3, 1000, 2000, 3000, 0};
            plat::AUParameterAddress address = kinds[k % 7];
            if (address >= 1000) address += plat::AUParameterAddress(band(rng));
            const float value = address == 0 ? (k % 21 == 6 ? 1.0f : 0.0f) : unit(rng);
            cycle.push_back({offset, address, value});
        }
    }
    EXPECT_EQ(compare(noise(frames, 0.7f, 5), changes, GetParam(), unitDefaults(0.5f)), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cores, BitExact, ::testing::ValuesIn(cores()), coreName);

} // namespace
