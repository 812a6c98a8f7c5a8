#pragma once
// Base of the signal kernels: turns one render cycle and its event list into
// sample-accurate segments, applying each event between them.

#include "plat/audio.h"

#include <cstdint>

class DSPKernel {
public:
    DSPKernel() = default;
    DSPKernel(const DSPKernel&) = delete;
    DSPKernel& operator=(const DSPKernel&) = delete;

    virtual void process2(std::uint32_t frameCount, std::uint32_t bufferOffset);
    virtual void process(std::uint32_t frameCount, std::uint32_t bufferOffset);
    virtual void setParameterAutomated(plat::AUParameterAddress address, plat::AUValue value,
                                       plat::AUEventSampleTime sampleTime);
    virtual void handleMIDIEvent(const plat::AUMIDIEvent& event);

    // `midiOut` may be null; it must stay valid for the cycle.
    void processWithEvents(const plat::AudioTimeStamp* timestamp, std::uint32_t frameCount,
                           const plat::AURenderEvent* events, const plat::AUMIDIOutputEventBlock* midiOut);

protected:
    ~DSPKernel() = default;

    // The host's MIDI output for the cycle being rendered, or null.
    const plat::AUMIDIOutputEventBlock* midiOut = nullptr;

private:
    void performAllSimultaneousEvents(std::int64_t now, const plat::AURenderEvent*& event);
    void handleOneEvent(const plat::AURenderEvent* event);
};
