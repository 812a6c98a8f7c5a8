#include "BufferedAudioBus.h"

void BufferedAudioBus::init(const plat::AVAudioFormat& format, std::uint32_t maxChannels) {
    pcmBuffer.reset();
    maxFrames = 0;
    readOnlyBufferList = nullptr;
    mutableBufferList = nullptr;
    bus = plat::AUAudioUnitBus::make(format);
    if (bus) bus->setMaximumChannelCount(maxChannels);
}

bool BufferedAudioBus::allocateRenderResources(plat::AUAudioFrameCount frameCapacity) {
    deallocateRenderResources();
    if (!bus) return false;
    pcmBuffer = plat::AVAudioPCMBuffer::make(bus->format(), frameCapacity);
    if (!pcmBuffer) return false;
    maxFrames = frameCapacity;
    readOnlyBufferList = pcmBuffer->audioBufferList();
    mutableBufferList = pcmBuffer->mutableAudioBufferList();
    return true;
}

void BufferedAudioBus::deallocateRenderResources() {
    pcmBuffer.reset();
    maxFrames = 0;
    readOnlyBufferList = nullptr;
    mutableBufferList = nullptr;
}

void BufferedInputBus::prepareInputBufferList() {
    const std::uint32_t n = readOnlyBufferList->mNumberBuffers;
    mutableBufferList->mNumberBuffers = n;
    for (std::uint32_t i = 0; i < n; ++i) {
        mutableBufferList->mBuffers[i].mNumberChannels = readOnlyBufferList->mBuffers[i].mNumberChannels;
        mutableBufferList->mBuffers[i].mData = readOnlyBufferList->mBuffers[i].mData;
        mutableBufferList->mBuffers[i].mDataByteSize = maxFrames * sizeof(float);
    }
}

plat::AUAudioUnitStatus BufferedInputBus::pullInput(plat::AudioUnitRenderActionFlags* actionFlags,
                                                    const plat::AudioTimeStamp* timestamp,
                                                    plat::AUAudioFrameCount frameCount,
                                                    plat::NSInteger inputBusNumber,
                                                    const plat::AURenderPullInputBlock* pullInputBlock) {
    if (!pullInputBlock || !*pullInputBlock) return plat::kAudioUnitErr_NoConnection;
    prepareInputBufferList();
    return (*pullInputBlock)(actionFlags, timestamp, frameCount, inputBusNumber, mutableBufferList);
}
