#pragma once
// The effect's signal kernel: parameter store by address, the stereo 32-band compander,
// and the band meters.
//
// Threads: `process`, `setParameterAutomated` and `handleMIDIEvent` run on the render
// thread. `setParameter`, `getParameter` and the meter getters may run on any thread at
// the same time; values cross through atomics and are taken over by the render thread at
// the start of its next cycle (or at once, for events inside a cycle), so the compander's
// coefficients are only ever written on the thread that reads them. `init`, `reset`,
// `setSamplerate` and `applyPending` are for times when no cycle is running.

#include "Analyzer.h"
#include "Follower.h"
#include "Modulator.h"
#include "SpectralCompander_NEON2.h"
#include "VEC32.h"
#include "dsp/DSPKernel.h"

#include <array>
#include <atomic>
#include <cstdint>

class YUX_Sorvane_Extension_DSPKernel final : public DSPKernel {
public:
    static constexpr int kBands = 32;

    YUX_Sorvane_Extension_DSPKernel();
    ~YUX_Sorvane_Extension_DSPKernel();

    void init(int channelCount, double sampleRate);
    void setSamplerate(float rate);
    float getSamplerate() const { return sampleRate.load(std::memory_order_relaxed); }
    void reset();
    // Asks the render thread to reset at the start of its next cycle.
    void requestReset() { resetRequested.store(true, std::memory_order_release); }
    void setBuffers(plat::AudioBufferList* in, plat::AudioBufferList* out, int bus);

    void setParameter(plat::AUParameterAddress address, plat::AUValue value);
    plat::AUValue getParameter(plat::AUParameterAddress address);
    // Hands values set from other threads to the compander. Called at the start of every cycle.
    void applyPending();

    bool getBypassed() const { return bypassed.load(std::memory_order_relaxed); }
    void setBypassed(bool b) { bypassed.store(b, std::memory_order_relaxed); }
    std::uint32_t getMaximumFramesToRender() const {
        return maxFramesToRender.load(std::memory_order_relaxed);
    }
    void setMaximumFramesToRender(std::uint32_t n) { maxFramesToRender.store(n, std::memory_order_relaxed); }

    // Each call refreshes the array it returns; the pointer lives as long as the kernel.
    // Meant for one reader thread (the panel's timer).
    const float* getLevels();
    const float* getFactors();
    const float* getFrequencies();

    void process2(std::uint32_t frameCount, std::uint32_t bufferOffset) override;
    void process(std::uint32_t frameCount, std::uint32_t bufferOffset) override;
    void setParameterAutomated(plat::AUParameterAddress address, plat::AUValue value,
                               plat::AUEventSampleTime sampleTime) override;
    void handleMIDIEvent(const plat::AUMIDIEvent& event) override;

    // Render-thread entry for a whole cycle: takes over pending values and resets, then splits
    // the cycle at its events, then publishes the meters.
    void renderCycle(const plat::AudioTimeStamp* timestamp, std::uint32_t frameCount,
                     const plat::AURenderEvent* events, const plat::AUMIDIOutputEventBlock* midiOut);

    float levels[kBands] = {};
    float factors[kBands] = {};
    float frequencies[kBands] = {};
    int channelCount = 2;
    plat::AudioBufferList* inBufferList = nullptr;
    plat::AudioBufferList* outBufferList = nullptr;
    int outputBus = 0;
    std::atomic<float> sampleRate{48000.0f};
    // Parameter store: 0 bypass, 1 process amount, 2 attack, 3 release, then the band values.
    std::atomic<float> params[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::array<std::atomic<float>, kBands> gainStore, resonanceStore, multiplierStore;
    // The band vectors as last handed to the compander (render side).
    VEC32 gains = 1.0f;
    VEC32 resonances = 0.1f;
    VEC32 multipliers = 0.0f;
    Modulator modulator; // before the compander: it fills the note table the banks read
    // Follows the sample rate; nothing feeds it audio.
    SPECTRO::Analyzer analyzer{4096, 2, 48000.0f};
    Follower followers[2][2];
    SpectralCompander_NEON2 spectralCompander;
    std::atomic<bool> bypassed{false};
    bool midiThru = false;
    std::atomic<std::uint32_t> maxFramesToRender{4096};

private:
    enum Pending : std::uint32_t {
        kThreshold = 1u << 0,
        kAttack = 1u << 1,
        kRelease = 1u << 2,
        kGains = 1u << 3,
        kResonances = 1u << 4,
        kMultipliers = 1u << 5,
    };
    // Prints the parameter's line and stores the value; answers which vector or setting it
    // belongs to (0: none).
    std::uint32_t receive(plat::AUParameterAddress address, plat::AUValue value);
    void apply(std::uint32_t what);
    void publishMeters();
    void publishFrequencies();

    std::atomic<std::uint32_t> pending{0};
    std::atomic<bool> resetRequested{false};
    // Whether the level vector has reached the filter banks; a reset returns their gains
    // to unity, after which the stored levels are handed over again.
    bool gainsApplied = false;
    // Meter values as last published by the renderer: output peaks (left + right) and gain
    // factors (mean of left and right), per band; and the band centres.
    std::array<std::atomic<float>, kBands> publishedPeaks, publishedFactors, publishedFrequencies;
};
