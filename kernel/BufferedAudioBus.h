#pragma once
// A bus with a buffer of its own, sized when render resources are allocated.

#include "plat/audio.h"

#include <memory>

class BufferedAudioBus {
public:
    void init(const plat::AVAudioFormat& format, std::uint32_t maxChannels);
    // False when the buffer cannot be made; the bus is then left unallocated.
    bool allocateRenderResources(plat::AUAudioFrameCount frameCapacity);
    void deallocateRenderResources();

    std::shared_ptr<plat::AUAudioUnitBus> bus;
    plat::AUAudioFrameCount maxFrames = 0;
    std::unique_ptr<plat::AVAudioPCMBuffer> pcmBuffer;
    const plat::AudioBufferList* readOnlyBufferList = nullptr;
    plat::AudioBufferList* mutableBufferList = nullptr;
};

class BufferedInputBus : public BufferedAudioBus {
public:
    // Points the mutable list back at the bus's own buffers, full capacity, before a pull
    // (a previous renderer may have repointed or shortened it).
    void prepareInputBufferList();
    plat::AUAudioUnitStatus pullInput(plat::AudioUnitRenderActionFlags* actionFlags,
                                      const plat::AudioTimeStamp* timestamp,
                                      plat::AUAudioFrameCount frameCount, plat::NSInteger inputBusNumber,
                                      const plat::AURenderPullInputBlock* pullInputBlock);
};
