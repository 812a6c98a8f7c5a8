#include "AUExtensionManager.h"

#include "AppConsole.h"
#include "Helpers.h"

#include "plat/dispatch.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

std::shared_ptr<AUExtensionManager>
AUExtensionManager::make(std::shared_ptr<AUExtensionManagerDelegate> delegate,
                         std::shared_ptr<AUEnginePlayer> player) {
    std::shared_ptr<AUExtensionManager> manager(
        new AUExtensionManager(std::move(delegate), std::move(player)));
    manager->loadForRelease();
    return manager;
}

AUExtensionManager::AUExtensionManager(std::shared_ptr<AUExtensionManagerDelegate> d,
                                       std::shared_ptr<AUEnginePlayer> player)
    : auEngine(std::move(player)), delegate(std::move(d)) {}

void AUExtensionManager::loadForRelease() {
    print("NOTE: WE ARE IN AUDIO UNIT RELEASE MODE. ENSURE THE STORYBOARD CONNECTIONS ARE VALID!");
    plat::GlobalQueue::async([self = shared_from_this()] {
        auto& registry = plat::AVAudioUnitComponentManager::sharedAudioUnitComponentManager();
        self->availableAudioUnits_ = registry.componentsMatching(self->componentDescription);
        if (self->availableAudioUnits_.size() < 1) {
            print("ERROR: There were no audio units found.");
            return;
        }
        self->selectfoundComponent(self->availableAudioUnits_.front(), [self] { self->onFoundComponent(); });
    });
}

void AUExtensionManager::selectfoundComponent(const std::optional<plat::AVAudioUnitComponent>& component,
                                              std::function<void()> completionHandler) {
    if (!component) {
        print("ERROR: Component is nil.");
        return;
    }
    print("AUExtensionManager: Loaded component has following properties.");
    log(component->audioComponentDescription());
    selectAudioUnitWithComponentDescription(component->audioComponentDescription(),
                                            std::move(completionHandler));
}

void AUExtensionManager::log(const plat::AudioComponentDescription& description) {
    // The name it was started by is its starter's choice: any bytes at all.
    print("\nProcess Name: " + shown(program_invocation_short_name) + " PID: " + std::to_string(::getpid()) +
          "\n");
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%08x", description.componentFlags);
    print("AUExtension (\ntype: " + stringValue(description.componentType) +
          "\nsubtype: " + stringValue(description.componentSubType) +
          "\nmanufacturer: " + stringValue(description.componentManufacturer) + "\nflags: " + flags + "\n)");
}

std::string AUExtensionManager::describe(const plat::AudioComponentDescription& d) {
    return "AudioComponentDescription(componentType: " + std::to_string(d.componentType) +
           ", componentSubType: " + std::to_string(d.componentSubType) +
           ", componentManufacturer: " + std::to_string(d.componentManufacturer) +
           ", componentFlags: " + std::to_string(d.componentFlags) +
           ", componentFlagsMask: " + std::to_string(d.componentFlagsMask) + ")";
}

void AUExtensionManager::selectAudioUnitWithComponentDescription(
    const std::optional<plat::AudioComponentDescription>& description,
    std::function<void()> completionHandler) {
    if (!description) {
        print("Error: Component description is nil.");
        return;
    }
    plat::AUAudioUnit::instantiate(
        *description, 0,
        [self = shared_from_this(), description = *description,
         completionHandler =
             std::move(completionHandler)](plat::Result<std::shared_ptr<plat::AUAudioUnit>> made) {
            if (!made) {
                print(describe(description));
                print("Error: Could not instantiate audio unit.");
                return;
            }
            auto unit = std::make_shared<plat::AVAudioUnit>(std::move(made).value());
            print("AUExtensionManager: Audio unit was found, making connections now ...");
            unit->auAudioUnit()->setContextName("running in distribution host");
            self->auEngine->connect(unit, [self, unit, completionHandler] {
                print("AUExtensionManager: Performed audio unit connection.");
                self->delegate->onFoundComponent(unit);
                completionHandler();
            });
        });
}

void AUExtensionManager::onFoundComponent() {
    connectParametersToControls();
    if (delegate) delegate->onEngineInitialized();
}

void AUExtensionManager::connectParametersToControls() {
    if (!audioUnit) print("WARNING: Audio unit is nil (yet?).");
}

bool AUExtensionManager::togglePlayback() {
    return auEngine->toggle();
}

void AUExtensionManager::listAvailableAudioUnits() {
    log(plat::AudioComponentDescription{});
    auto& registry = plat::AVAudioUnitComponentManager::sharedAudioUnitComponentManager();
    availableAudioUnits_ = registry.componentsMatching(plat::AudioComponentDescription{});
    for (const auto& component : availableAudioUnits_) {
        // A record's texts are the plug-in's: shown escaped.
        print(plat::shownText(component.name()));
        print(plat::shownText(component.typeName()));
        print(plat::shownText(component.localizedTypeName()));
        print(plat::shownText(component.manufacturerName()));
        print(describe(component.audioComponentDescription()));
        // The icon at 32 points, then the icon as copied from the bundle: "nil" when there is none.
        print(plat::iconDescription(plat::AudioComponentGetIcon(component, 32)));
        print(plat::iconDescription(plat::AudioComponentCopyIcon(component)));
    }
}

std::vector<Preset> AUExtensionManager::presets() const {
    std::vector<Preset> all;
    if (audioUnit)
        for (auto& preset : audioUnit->factoryPresets()) all.emplace_back(std::move(preset));
    return all;
}

std::optional<Preset> AUExtensionManager::currentPreset() const {
    if (!audioUnit) return std::nullopt;
    const auto preset = audioUnit->currentPreset();
    if (!preset) return std::nullopt;
    return Preset(*preset);
}

void AUExtensionManager::setCurrentPreset(const std::optional<Preset>& preset) {
    if (!audioUnit) return;
    const auto applied =
        audioUnit->setCurrentPreset(preset ? std::optional(preset->audioUnitPreset) : std::nullopt);
    if (!applied) print("AUExtensionManager::ERROR: " + shownMessage(applied.error().description));
}

void AUExtensionManager::cleanup() {
    auEngine->finalize();
}
