#include "plat/audiounit.h"

#include "plat/aufactory.h"
#include "plat/console.h"
#include "plat/dispatch.h"

#include <algorithm>

namespace plat {

AUAudioUnit::AUAudioUnit() : render_(std::make_shared<RenderState>()) {}

AUAudioUnit::~AUAudioUnit() = default;

void AUAudioUnit::requestViewController(std::function<void(std::shared_ptr<UIViewController>)> completion) {
    if (!completion) return;
    // The factory is held from the request on, so a controller asked for is delivered.
    MainQueue::async([factory = factory_.lock(), completion = std::move(completion)] {
        completion(factory ? factory->viewController() : nullptr);
    });
}

Result<void> AUAudioUnit::initWithComponentDescription(const AudioComponentDescription& description,
                                                       AudioComponentInstantiationOptions) {
    if (description.componentType == 0 || description.componentSubType == 0 ||
        description.componentManufacturer == 0)
        return Error{kOSStatusErrorDomain, kAudioUnitErr_InvalidPropertyValue,
                     "The component description does not name a component (type " +
                         fourCCString(description.componentType) + ", subtype " +
                         fourCCString(description.componentSubType) + ", manufacturer " +
                         fourCCString(description.componentManufacturer) + ")."};
    description_ = description;
    return {};
}

Result<void> AUAudioUnit::allocateRenderResources() {
    auto& inputs = inputBusses();
    auto& outputs = outputBusses();
    if (maximumFramesToRender() == 0)
        return Error{kOSStatusErrorDomain, kAudioUnitErr_TooManyFramesToProcess,
                     "The maximum number of frames to render is 0."};
    // An effect renders its input into its output: the two sides must agree on channels.
    if (inputs.count() > 0 && outputs.count() > 0) {
        const auto in = inputs[0], out = outputs[0];
        if (in && out && in->format().channelCount() != out->format().channelCount())
            return Error{kOSStatusErrorDomain, kAudioUnitErr_FormatNotSupported,
                         "The input bus has " + std::to_string(in->format().channelCount()) +
                             " channels and the output bus " + std::to_string(out->format().channelCount()) +
                             "; they must be equal."};
    }
    // Buffers for the buses that want them are made here, never on the render road.
    std::vector<std::unique_ptr<AVAudioPCMBuffer>> buffers(outputs.count());
    for (std::size_t i = 0; i < outputs.count(); ++i) {
        const auto bus = outputs[i];
        if (!bus || !bus->shouldAllocateBuffer()) continue;
        buffers[i] = AVAudioPCMBuffer::make(bus->format(), maximumFramesToRender());
        if (!buffers[i])
            return Error{kOSStatusErrorDomain, kAudioUnitErr_FailedInitialization,
                         "No buffer of " + std::to_string(maximumFramesToRender()) +
                             " frames for output bus " + std::to_string(i) + "."};
    }
    render_->outputBuffers = std::move(buffers);
    inputs.setOwnerAllocated(true);
    outputs.setOwnerAllocated(true);
    render_->allocated.store(true, std::memory_order_release);
    return {};
}

void AUAudioUnit::deallocateRenderResources() {
    render_->allocated.store(false, std::memory_order_release);
    render_->outputBuffers.clear();
    inputBusses().setOwnerAllocated(false);
    outputBusses().setOwnerAllocated(false);
}

void AUAudioUnit::setMaximumFramesToRender(AUAudioFrameCount frames) {
    if (renderResourcesAllocated()) return;
    render_->maximumFrames.store(frames, std::memory_order_relaxed);
}

AURenderBlock AUAudioUnit::renderBlock() {
    AUInternalRenderBlock internal = internalRenderBlock();
    const NSInteger outputBusCount = NSInteger(outputBusses().count());
    return [state = render_, internal = std::move(internal),
            outputBusCount](AudioUnitRenderActionFlags* actionFlags, const AudioTimeStamp* timestamp,
                            AUAudioFrameCount frameCount, NSInteger outputBusNumber,
                            AudioBufferList* outputData, const AURenderEvent* events,
                            const AURenderPullInputBlock* pullInputBlock) -> AUAudioUnitStatus {
        if (!state->allocated.load(std::memory_order_acquire)) return kAudioUnitErr_Uninitialized;
        if (outputBusNumber < 0 || outputBusNumber >= outputBusCount) return kAudioUnitErr_InvalidElement;
        if (frameCount > state->maximumFrames.load(std::memory_order_relaxed))
            return kAudioUnitErr_TooManyFramesToProcess;
        if (!internal) return kAudioUnitErr_Uninitialized;
        if (outputData) {
            // Buffers the host left out are the bus's own, when it has them.
            const auto bus = std::size_t(outputBusNumber);
            const AVAudioPCMBuffer* own =
                bus < state->outputBuffers.size() ? state->outputBuffers[bus].get() : nullptr;
            const std::uint32_t count = std::min(outputData->mNumberBuffers, AudioBufferList::kCapacity);
            const std::uint32_t ownChannels = own ? own->format().channelCount() : 0;
            for (std::uint32_t i = 0; i < count; ++i) // refused before the list is touched
                if (!outputData->mBuffers[i].mData && i >= ownChannels) return kAudio_ParamError;
            for (std::uint32_t i = 0; i < count; ++i)
                if (!outputData->mBuffers[i].mData)
                    outputData->mBuffers[i] =
                        AudioBuffer{1, std::uint32_t(frameCount * sizeof(float)), own->channel(i)};
        }
        return internal(actionFlags, timestamp, frameCount, outputBusNumber, outputData, events,
                        pullInputBlock);
    };
}

std::vector<std::size_t>
AUAudioUnit::supportedViewConfigurations(const std::vector<AUAudioUnitViewConfiguration>& available) {
    std::vector<std::size_t> all(available.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    return all;
}

Result<void> AUAudioUnit::setFullState(std::optional<plist::Dictionary> state) {
    fullState_ = std::move(state);
    return {};
}

Result<void> AUAudioUnit::setCurrentPreset(std::optional<AUAudioUnitPreset> preset) {
    currentPreset_ = std::move(preset);
    return {};
}

Result<plist::Dictionary> AUAudioUnit::presetState(const AUAudioUnitPreset& preset) {
    return Error{kOSStatusErrorDomain, kAudioUnitErr_MissingPreset,
                 "The audio unit has no preset named '" + cutInMiddle(preset.name) + "'."};
}

} // namespace plat
