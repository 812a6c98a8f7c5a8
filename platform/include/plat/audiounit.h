#pragma once
// The audio-unit base class, its bus arrays, presets and component identity.
//
// Hosts render through `renderBlock()`, which refuses a call the unit cannot serve (resources
// not allocated, an output bus it does not have, more frames than it was allocated for, an
// output list without buffers for a bus that has none of its own) before the subclass's internal
// render block sees it.

#include "plat/audio.h"
#include "plat/error.h"
#include "plat/parameters.h"
#include "plat/plist.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plat {

using OSType = std::uint32_t;

// Statuses of the audio-unit layer not in core.h.
inline constexpr OSStatus kAudioUnitErr_FailedInitialization = -10875;
// A render call whose output list carries no buffers for a bus that allocated none.
inline constexpr OSStatus kAudio_ParamError = -50;

struct AudioComponentDescription {
    OSType componentType = 0;
    OSType componentSubType = 0;
    OSType componentManufacturer = 0;
    std::uint32_t componentFlags = 0;
    std::uint32_t componentFlagsMask = 0;
    bool operator==(const AudioComponentDescription&) const = default;

    // This description as a search pattern: a zero type, subtype or manufacturer matches any,
    // and only the flags under this mask are compared.
    bool matches(const AudioComponentDescription& component) const {
        const auto field = [](OSType wanted, OSType given) { return wanted == 0 || wanted == given; };
        return field(componentType, component.componentType) &&
               field(componentSubType, component.componentSubType) &&
               field(componentManufacturer, component.componentManufacturer) &&
               (component.componentFlags & componentFlagsMask) == (componentFlags & componentFlagsMask);
    }
};

using AudioComponentInstantiationOptions = std::uint32_t;

// Numbers from 0 name factory presets, negative numbers user presets.
struct AUAudioUnitPreset {
    NSInteger number = 0;
    std::string name;
    bool operator==(const AUAudioUnitPreset&) const = default;
};

struct AUAudioUnitViewConfiguration {
    double width = 0;
    double height = 0;
    bool hostHasController = false;
};

enum class AUAudioUnitBusType { input = 1, output = 2 };

class AUAudioUnit;
class AUAudioUnitFactory;
class UIViewController;

class AUAudioUnitBusArray {
public:
    AUAudioUnitBusArray(AUAudioUnit* owner, AUAudioUnitBusType type,
                        std::vector<std::shared_ptr<AUAudioUnitBus>> buses)
        : owner_(owner), type_(type), buses_(std::move(buses)) {}

    std::size_t count() const { return buses_.size(); }
    // Null for an index out of range.
    std::shared_ptr<AUAudioUnitBus> operator[](std::size_t index) const {
        return index < buses_.size() ? buses_[index] : nullptr;
    }
    AUAudioUnit* ownerAudioUnit() const { return owner_; }
    AUAudioUnitBusType busType() const { return type_; }
    // Formats may not change while the owner is allocated.
    void setOwnerAllocated(bool allocated) {
        for (auto& bus : buses_)
            if (bus) bus->setOwnerAllocated(allocated);
    }

private:
    AUAudioUnit* owner_;
    AUAudioUnitBusType type_;
    std::vector<std::shared_ptr<AUAudioUnitBus>> buses_;
};

// The host-facing entry: same arguments as the internal render block.
using AURenderBlock = AUInternalRenderBlock;

class AUAudioUnit {
public:
    virtual ~AUAudioUnit();
    AUAudioUnit(const AUAudioUnit&) = delete;
    AUAudioUnit& operator=(const AUAudioUnit&) = delete;

    const AudioComponentDescription& componentDescription() const { return description_; }

    // Makes a unit of the first installed component that matches `description` (the registry of
    // components.h). The completion runs on the registry's own thread, never within this call, with
    // the unit or with the reason there is none. Plug-ins always load into this process, so the
    // options change nothing.
    using InstantiationCompletion = std::function<void(Result<std::shared_ptr<AUAudioUnit>>)>;
    static void instantiate(const AudioComponentDescription& description,
                            AudioComponentInstantiationOptions options, InstantiationCompletion completion);

    // Hands the view controller of the plug-in that made this unit to the completion, on the main
    // queue. None when the plug-in shows none or the unit was not made through the registry.
    void requestViewController(std::function<void(std::shared_ptr<UIViewController>)> completion);

    // ---- buses and render resources -------------------------------------------------------
    virtual AUAudioUnitBusArray& inputBusses() { return noInputBusses_; }
    virtual AUAudioUnitBusArray& outputBusses() { return noOutputBusses_; }

    // The base checks the bus formats (input and output channel counts must match), allocates a
    // buffer of maximumFramesToRender() frames for every output bus whose shouldAllocateBuffer is
    // set, and marks the unit and its buses allocated. A subclass calls it first and, when its own work
    // fails, calls the base deallocation before it returns the error.
    virtual Result<void> allocateRenderResources();
    virtual void deallocateRenderResources();
    bool renderResourcesAllocated() const { return render_->allocated.load(std::memory_order_acquire); }
    virtual void reset() {}

    virtual AUAudioFrameCount maximumFramesToRender() const {
        return render_->maximumFrames.load(std::memory_order_relaxed);
    }
    // Ignored while render resources are allocated: buffers were sized for the old value.
    virtual void setMaximumFramesToRender(AUAudioFrameCount frames);

    virtual bool shouldBypassEffect() const { return bypass_.load(std::memory_order_relaxed); }
    virtual void setShouldBypassEffect(bool bypass) { bypass_.store(bypass, std::memory_order_relaxed); }

    // Reads the subclass's internal render block once and wraps it in the host-facing checks.
    // The block keeps what it needs alive; it does not hold the unit.
    AURenderBlock renderBlock();
    virtual AUInternalRenderBlock internalRenderBlock() = 0;

    // ---- parameters --------------------------------------------------------------------------
    virtual std::shared_ptr<AUParameterTree> parameterTree() const { return tree_; }
    virtual void setParameterTree(std::shared_ptr<AUParameterTree> tree) { tree_ = std::move(tree); }
    virtual std::vector<AUParameterAddress> parametersForOverview(NSInteger count) {
        (void)count;
        return {};
    }

    // ---- capabilities ------------------------------------------------------------------------
    virtual bool isMusicDeviceOrEffect() const { return false; }
    virtual NSInteger virtualMIDICableCount() const { return 0; }
    virtual std::vector<std::string> MIDIOutputNames() const { return {}; }
    virtual bool canPerformInput() const { return false; }
    virtual bool canPerformOutput() const { return false; }
    virtual bool canProcessInPlace() const { return false; }
    virtual std::vector<NSInteger> channelCapabilities() const { return {}; }
    virtual std::optional<std::vector<NSInteger>> channelMap() const { return channelMap_; }
    virtual void setChannelMap(std::optional<std::vector<NSInteger>> map) { channelMap_ = std::move(map); }
    // Indexes of the configurations the unit's view supports.
    virtual std::vector<std::size_t>
    supportedViewConfigurations(const std::vector<AUAudioUnitViewConfiguration>& available);

    const std::string& contextName() const { return contextName_; }
    void setContextName(std::string name) { contextName_ = std::move(name); }

    // ---- host blocks -------------------------------------------------------------------------
    virtual AUMIDIOutputEventBlock MIDIOutputEventBlock() const { return midiOutputEventBlock_; }
    virtual void setMIDIOutputEventBlock(AUMIDIOutputEventBlock block) {
        midiOutputEventBlock_ = std::move(block);
    }
    const AUHostMusicalContextBlock& musicalContextBlock() const { return musicalContextBlock_; }
    void setMusicalContextBlock(AUHostMusicalContextBlock block) { musicalContextBlock_ = std::move(block); }
    const AUHostTransportStateBlock& transportStateBlock() const { return transportStateBlock_; }
    void setTransportStateBlock(AUHostTransportStateBlock block) { transportStateBlock_ = std::move(block); }
    const AUScheduleMIDIEventBlock& scheduleMIDIEventBlock() const { return scheduleMIDIEventBlock_; }
    void setScheduleMIDIEventBlock(AUScheduleMIDIEventBlock block) {
        scheduleMIDIEventBlock_ = std::move(block);
    }

    // ---- state and presets -------------------------------------------------------------------
    // A malformed document is refused whole: the error says why, nothing changes.
    virtual std::optional<plist::Dictionary> fullState() { return fullState_; }
    virtual Result<void> setFullState(std::optional<plist::Dictionary> state);
    virtual bool supportsUserPresets() const { return false; }
    virtual std::vector<AUAudioUnitPreset> factoryPresets() { return {}; }
    virtual std::optional<AUAudioUnitPreset> currentPreset() const { return currentPreset_; }
    virtual Result<void> setCurrentPreset(std::optional<AUAudioUnitPreset> preset);
    virtual Result<plist::Dictionary> presetState(const AUAudioUnitPreset& preset);

protected:
    AUAudioUnit();
    // Fails for a description that cannot name a component (a zero type, subtype or manufacturer).
    Result<void> initWithComponentDescription(const AudioComponentDescription& description,
                                              AudioComponentInstantiationOptions options);

private:
    friend class AVAudioUnitComponentManager;
    // Weak: the factory (the plug-in's view controller) may hold its unit; the host's handle
    // holds both.
    std::weak_ptr<AUAudioUnitFactory> factory_;

    // What the render block needs, shared with it so it never reaches into a unit that is gone.
    struct RenderState {
        std::atomic<bool> allocated{false};
        std::atomic<AUAudioFrameCount> maximumFrames{4096};
        // By output bus index: the buffer allocated for a bus that asked for one, else null.
        // Written only while the unit is not allocated.
        std::vector<std::unique_ptr<AVAudioPCMBuffer>> outputBuffers;
    };
    std::shared_ptr<RenderState> render_;
    AudioComponentDescription description_;
    AUAudioUnitBusArray noInputBusses_{this, AUAudioUnitBusType::input, {}};
    AUAudioUnitBusArray noOutputBusses_{this, AUAudioUnitBusType::output, {}};
    std::atomic<bool> bypass_{false};
    std::shared_ptr<AUParameterTree> tree_;
    std::optional<std::vector<NSInteger>> channelMap_;
    std::string contextName_;
    AUMIDIOutputEventBlock midiOutputEventBlock_;
    AUHostMusicalContextBlock musicalContextBlock_;
    AUHostTransportStateBlock transportStateBlock_;
    AUScheduleMIDIEventBlock scheduleMIDIEventBlock_;
    std::optional<plist::Dictionary> fullState_;
    std::optional<AUAudioUnitPreset> currentPreset_;
};

} // namespace plat
