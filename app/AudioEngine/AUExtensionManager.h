#pragma once
// The application's link to the effect: finds it among the installed components by its codes,
// instantiates it through the platform's registry (the application never links the plug-in), hands
// it to the engine player and tells its delegate. The search runs on a global queue; what follows
// the instantiation runs on the thread that delivered it.

#include "AUEnginePlayer.h"

#include "plat/components.h"
#include "plat/uiviewcontroller.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct Preset {
    explicit Preset(plat::AUAudioUnitPreset preset) : audioUnitPreset(std::move(preset)) {}
    plat::NSInteger number() const { return audioUnitPreset.number; }
    const std::string& name() const { return audioUnitPreset.name; }

    const plat::AUAudioUnitPreset audioUnitPreset;
};

class AUExtensionManagerDelegate {
public:
    virtual ~AUExtensionManagerDelegate() = default;
    // The effect, instantiated and wired into the engine player's graph.
    virtual void onFoundComponent(std::shared_ptr<plat::AVAudioUnit> unit) = 0;
    virtual void onEngineInitialized() = 0;
};

class AUExtensionManager : public std::enable_shared_from_this<AUExtensionManager> {
public:
    // Starts the search before it returns.
    static std::shared_ptr<AUExtensionManager>
    make(std::shared_ptr<AUExtensionManagerDelegate> delegate,
         std::shared_ptr<AUEnginePlayer> player = std::make_shared<AUEnginePlayer>());

    const std::shared_ptr<AUEnginePlayer> auEngine;
    std::shared_ptr<plat::AUViewController> viewController;

    void connectParametersToControls();
    // Whether the engine player plays afterwards.
    bool togglePlayback();
    void listAvailableAudioUnits();
    std::vector<Preset> presets() const;
    std::optional<Preset> currentPreset() const;
    void setCurrentPreset(const std::optional<Preset>& preset);
    void cleanup();
    // Nothing in the application assigns the unit the preset accessors read; tests do.
    void setAudioUnitForTesting(std::shared_ptr<plat::AUAudioUnit> unit) { audioUnit = std::move(unit); }

private:
    // The description record, each field by name in decimal.
    static std::string describe(const plat::AudioComponentDescription& description);
    AUExtensionManager(std::shared_ptr<AUExtensionManagerDelegate> delegate,
                       std::shared_ptr<AUEnginePlayer> player);
    void loadForRelease();
    void selectfoundComponent(const std::optional<plat::AVAudioUnitComponent>& component,
                              std::function<void()> completionHandler);
    void log(const plat::AudioComponentDescription& description);
    void
    selectAudioUnitWithComponentDescription(const std::optional<plat::AudioComponentDescription>& description,
                                            std::function<void()> completionHandler);
    void onFoundComponent();

    std::shared_ptr<AUExtensionManagerDelegate> delegate;
    std::shared_ptr<plat::AUAudioUnit> audioUnit;
    const std::string componentName = "KWOB: YUX Sorvane Extension";
    plat::AudioComponentDescription componentDescription{plat::fourCC("aumf"), plat::fourCC("yuSV"),
                                                         plat::fourCC("KWOB"), 2, 0};
    std::vector<plat::AVAudioUnitComponent> availableAudioUnits_;
};
