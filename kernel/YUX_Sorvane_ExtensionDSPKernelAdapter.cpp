#include "YUX_Sorvane_ExtensionDSPKernelAdapter.h"

#include "plat/console.h"
#include "plat/denormals.h"

#include <algorithm>

YUX_Sorvane_ExtensionDSPKernelAdapter::YUX_Sorvane_ExtensionDSPKernelAdapter() {
    const plat::AVAudioFormat format(48000.0, 2);
    kernel_.init(int(format.channelCount()), format.sampleRate());
    inputBus_.init(format, 2);
    outputBus_ = plat::AUAudioUnitBus::make(format);
    outputBus_->setMaximumChannelCount(2);
}

void YUX_Sorvane_ExtensionDSPKernelAdapter::setParameter(plat::AUParameterAddress address,
                                                         plat::AUValue value) {
    kernel_.setParameter(address, value);
}

plat::AUValue YUX_Sorvane_ExtensionDSPKernelAdapter::valueForParameter(plat::AUParameterAddress address) {
    return kernel_.getParameter(address);
}

void YUX_Sorvane_ExtensionDSPKernelAdapter::setParameterEx(std::int32_t address, float value) {
    kernel_.setParameter(plat::AUParameterAddress(std::int64_t(address)), value);
}

float YUX_Sorvane_ExtensionDSPKernelAdapter::getParameterEx(std::int32_t address) {
    return kernel_.getParameter(plat::AUParameterAddress(std::int64_t(address)));
}

bool YUX_Sorvane_ExtensionDSPKernelAdapter::allocateRenderResources() {
    allocated_.store(false, std::memory_order_release);
    if (!inputBus_.allocateRenderResources(kernel_.getMaximumFramesToRender())) return false;
    kernel_.init(int(outputBus_->format().channelCount()), outputBus_->format().sampleRate());
    kernel_.reset();
    inputBus_.bus->setOwnerAllocated(true);
    outputBus_->setOwnerAllocated(true);
    allocated_.store(true, std::memory_order_release);
    return true;
}

void YUX_Sorvane_ExtensionDSPKernelAdapter::deallocateRenderResources() {
    allocated_.store(false, std::memory_order_release);
    inputBus_.deallocateRenderResources();
    inputBus_.bus->setOwnerAllocated(false);
    outputBus_->setOwnerAllocated(false);
    // No cycle runs now: only the current output-event block needs to stay alive.
    const auto* current = outputEventBlock_.load(std::memory_order_acquire);
    std::erase_if(outputEventBlocks_, [current](const auto& b) { return b.get() != current; });
}

void YUX_Sorvane_ExtensionDSPKernelAdapter::reset() {
    if (renderResourcesAllocated()) {
        kernel_.requestReset();
    } else {
        kernel_.reset();
    }
}

void YUX_Sorvane_ExtensionDSPKernelAdapter::setAUMIDIOutputEventBlock(plat::AUMIDIOutputEventBlock block) {
    if (!block) {
        outputEventBlock_.store(nullptr, std::memory_order_release);
        return;
    }
    auto held = std::make_shared<const plat::AUMIDIOutputEventBlock>(std::move(block));
    outputEventBlocks_.push_back(held);
    outputEventBlock_.store(held.get(), std::memory_order_release);
}

plat::AUAudioUnitStatus YUX_Sorvane_ExtensionDSPKernelAdapter::renderCycle(
    const plat::AudioTimeStamp* timestamp, plat::AUAudioFrameCount frameCount,
    plat::NSInteger outputBusNumber, plat::AudioBufferList* outputData, const plat::AURenderEvent* events,
    const plat::AURenderPullInputBlock* pull, bool pullRequired,
    const plat::AUMIDIOutputEventBlock* midiOut) {
    const plat::RealtimeScope realtime;
    const plat::DenormalsFlushScope flushDenormals;

    if (!allocated_.load(std::memory_order_acquire) || !inputBus_.mutableBufferList)
        return plat::kAudioUnitErr_Uninitialized;
    if (frameCount > kernel_.getMaximumFramesToRender() || frameCount > inputBus_.maxFrames)
        return plat::kAudioUnitErr_TooManyFramesToProcess;
    if (!timestamp) return plat::kAudioUnitErr_InvalidPropertyValue;

    if (pullRequired || (pull && *pull)) {
        plat::AudioUnitRenderActionFlags pullFlags = 0;
        const auto status = inputBus_.pullInput(&pullFlags, timestamp, frameCount, 0, pull);
        if (status != plat::noErr) return status;
    }
    plat::AudioBufferList* inputData = inputBus_.mutableBufferList;
    if (!outputData) return plat::noErr;

    // Every channel the kernel renders needs a buffer on both sides, large enough for the
    // cycle; anything less, or a list claiming more buffers than a list holds, is refused before
    // the host's list is touched.
    const std::uint32_t channels = std::uint32_t(kernel_.channelCount);
    const std::uint32_t bytes = frameCount * sizeof(float);
    if (channels > outputData->mNumberBuffers || channels > inputData->mNumberBuffers ||
        outputData->mNumberBuffers > plat::AudioBufferList::kCapacity ||
        inputData->mNumberBuffers > plat::AudioBufferList::kCapacity)
        return plat::kAudioUnitErr_InvalidPropertyValue;
    const bool inPlace = outputData->mNumberBuffers > 0 && outputData->mBuffers[0].mData == nullptr;
    for (std::uint32_t c = 0; c < channels; ++c) {
        const plat::AudioBuffer& in = inputData->mBuffers[c];
        const plat::AudioBuffer& out = outputData->mBuffers[c];
        if (!in.mData || (!inPlace && !out.mData)) return plat::kAudioUnitErr_InvalidPropertyValue;
        if (in.mDataByteSize < bytes || (!inPlace && out.mDataByteSize < bytes))
            return plat::kAudioUnitErr_TooManyFramesToProcess;
    }
    if (inPlace) {
        // The output points at the input, as far as the input list reaches.
        const std::uint32_t n = std::min(outputData->mNumberBuffers, inputData->mNumberBuffers);
        for (std::uint32_t i = 0; i < n; ++i) {
            outputData->mBuffers[i].mData = inputData->mBuffers[i].mData;
            outputData->mBuffers[i].mDataByteSize = bytes;
        }
    }

    kernel_.setBuffers(inputData, outputData, int(outputBusNumber));
    kernel_.renderCycle(timestamp, frameCount, events, midiOut);
    return plat::noErr;
}

plat::AUAudioUnitStatus YUX_Sorvane_ExtensionDSPKernelAdapter::render(
    plat::AudioUnitRenderActionFlags*, const plat::AudioTimeStamp* timestamp,
    plat::AUAudioFrameCount frameCount, plat::NSInteger outputBusNumber, plat::AudioBufferList* outputData,
    const plat::AURenderEvent* realtimeEventListHead, const plat::AURenderPullInputBlock* pullInputBlock) {
    const plat::AUMIDIOutputEventBlock* midiOut = outputEventBlock_.load(std::memory_order_acquire);
    return renderCycle(timestamp, frameCount, outputBusNumber, outputData, realtimeEventListHead,
                       pullInputBlock, false, midiOut);
}

plat::AUInternalRenderBlock YUX_Sorvane_ExtensionDSPKernelAdapter::internalRenderBlock() {
    std::shared_ptr<const plat::AUMIDIOutputEventBlock> midiOut;
    if (const auto* current = outputEventBlock_.load(std::memory_order_acquire)) {
        for (const auto& held : outputEventBlocks_)
            if (held.get() == current) midiOut = held;
    }
    return [this, midiOut](plat::AudioUnitRenderActionFlags*, const plat::AudioTimeStamp* timestamp,
                           plat::AUAudioFrameCount frameCount, plat::NSInteger,
                           plat::AudioBufferList* outputData, const plat::AURenderEvent* events,
                           const plat::AURenderPullInputBlock* pull) {
        return renderCycle(timestamp, frameCount, 0, outputData, events, pull, true, midiOut.get());
    };
}

int YUX_Sorvane_ExtensionDSPKernelAdapter::render2(std::uint32_t frameCount,
                                                   plat::AudioBufferList* outputData) {
    kernel_.setBuffers(inputBus_.mutableBufferList, outputData, 0);
    kernel_.process2(frameCount, 0);
    return 0;
}
