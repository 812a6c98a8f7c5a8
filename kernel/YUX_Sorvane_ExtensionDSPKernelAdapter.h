#pragma once
// The audio unit's only way into the signal engine: buses, render resources, the render
// road and the kernel's parameters and meters.

#include "BufferedAudioBus.h"
#include "YUX_Sorvane_Extension_DSPKernel.h"

#include "plat/audio.h"

#include <atomic>
#include <memory>
#include <vector>

class YUX_Sorvane_ExtensionDSPKernelAdapter {
public:
    YUX_Sorvane_ExtensionDSPKernelAdapter();
    YUX_Sorvane_ExtensionDSPKernelAdapter(const YUX_Sorvane_ExtensionDSPKernelAdapter&) = delete;
    YUX_Sorvane_ExtensionDSPKernelAdapter& operator=(const YUX_Sorvane_ExtensionDSPKernelAdapter&) = delete;

    void setParameter(plat::AUParameterAddress address, plat::AUValue value);
    plat::AUValue valueForParameter(plat::AUParameterAddress address);
    void setParameterEx(std::int32_t address, float value);
    float getParameterEx(std::int32_t address);

    // False when the input buffer cannot be made; nothing is allocated then.
    bool allocateRenderResources();
    void deallocateRenderResources();
    bool renderResourcesAllocated() const { return allocated_.load(std::memory_order_acquire); }
    // While resources are allocated the reset is carried out by the render thread at the
    // start of its next cycle, so it never races a cycle in flight.
    void reset();

    void setBypass(bool bypass) { kernel_.setBypassed(bypass); }
    bool shouldBypassEffect() const { return kernel_.getBypassed(); }
    void setShouldBypassEffect(bool bypass) { kernel_.setBypassed(bypass); }
    plat::AUAudioFrameCount maximumFramesToRender() const { return kernel_.getMaximumFramesToRender(); }
    // Takes effect for buffers at the next allocation; until then renders are held to what
    // the buffers hold.
    void setMaximumFramesToRender(plat::AUAudioFrameCount frames) {
        kernel_.setMaximumFramesToRender(frames);
    }
    void setSamplerate(float rate) { kernel_.setSamplerate(rate); }
    float getSamplerate() const { return kernel_.getSamplerate(); }

    const float* getLevels() { return kernel_.getLevels(); }
    const float* getFactors() { return kernel_.getFactors(); }
    const float* getFrequencies() { return kernel_.getFrequencies(); }

    const std::shared_ptr<plat::AUAudioUnitBus>& inputBus() const { return inputBus_.bus; }
    const std::shared_ptr<plat::AUAudioUnitBus>& outputBus() const { return outputBus_; }

    // Host blocks; call outside rendering (the host hands them over when it allocates).
    void setAUMIDIOutputEventBlock(plat::AUMIDIOutputEventBlock block);
    void setAUHostMusicalContextBlock(plat::AUHostMusicalContextBlock block) {
        musicalContext_ = std::move(block);
    }
    void setAUScheduleMIDIEventBlock(plat::AUScheduleMIDIEventBlock block) {
        scheduleMIDIEventBlock_ = std::move(block);
    }
    void setAUHostTransportStateBlock(plat::AUHostTransportStateBlock block) {
        transportStateBlock_ = std::move(block);
    }

    // The render road. Real-time safe: no lock, no allocation, no system call.
    plat::AUAudioUnitStatus render(plat::AudioUnitRenderActionFlags* actionFlags,
                                   const plat::AudioTimeStamp* timestamp, plat::AUAudioFrameCount frameCount,
                                   plat::NSInteger outputBusNumber, plat::AudioBufferList* outputData,
                                   const plat::AURenderEvent* realtimeEventListHead,
                                   const plat::AURenderPullInputBlock* pullInputBlock);
    // A block that renders like `render`, but always pulls input, renders bus 0 and uses the
    // output-event block current when it was made.
    plat::AUInternalRenderBlock internalRenderBlock();
    // Sets up the kernel's buffers but renders nothing.
    int render2(std::uint32_t frameCount, plat::AudioBufferList* outputData);

    YUX_Sorvane_Extension_DSPKernel& kernel() { return kernel_; }

private:
    plat::AUAudioUnitStatus renderCycle(const plat::AudioTimeStamp* timestamp,
                                        plat::AUAudioFrameCount frameCount, plat::NSInteger outputBusNumber,
                                        plat::AudioBufferList* outputData, const plat::AURenderEvent* events,
                                        const plat::AURenderPullInputBlock* pull, bool pullRequired,
                                        const plat::AUMIDIOutputEventBlock* midiOut);

    YUX_Sorvane_Extension_DSPKernel kernel_;
    BufferedInputBus inputBus_;
    plat::AUHostMusicalContextBlock musicalContext_;
    std::atomic<const plat::AUMIDIOutputEventBlock*> outputEventBlock_{nullptr};
    plat::AUHostTransportStateBlock transportStateBlock_;
    plat::AUScheduleMIDIEventBlock scheduleMIDIEventBlock_;
    std::shared_ptr<plat::AUAudioUnitBus> outputBus_;
    std::atomic<bool> allocated_{false};
    // Every output-event block handed over stays alive here until resources are released, so
    // a cycle (or render block) still holding one never sees it freed.
    std::vector<std::shared_ptr<const plat::AUMIDIOutputEventBlock>> outputEventBlocks_;
};
