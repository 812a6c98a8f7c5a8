#pragma once
// The effect as hosts see it: buses, render block, the 100-parameter tree, meters, full state
// and factory presets.

#include "YUXPreset.h"
#include "YUX_Sorvane_ExtensionDSPKernelAdapter.h"
#include "YUX_Sorvane_Extension_Parameters.h"

#include "plat/audiounit.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class YUX_Sorvane_Extension_AudioUnit final : public plat::AUAudioUnit, public YUXPresetDelegate {
public:
    static constexpr plat::OSType kComponentType = plat::fourCC("aumf");
    static constexpr plat::OSType kComponentSubType = plat::fourCC("yuSV");
    static constexpr plat::OSType kComponentManufacturer = plat::fourCC("KWOB");
    static constexpr const char* kComponentName = "KWOB: YUX Sorvane Extension";
    static constexpr const char* kMIDIOutputName = "YUX Sorvane MIDI Out";
    // Relative to the plug-in's resource folder.
    static constexpr const char* kFactoryFolder = "YUX Sorvane Folder/Library/Factory Presets/";

    static plat::AudioComponentDescription componentDescriptionOfEffect();

    // The instantiation options are not used. Fails with the base class's error.
    static plat::Result<std::shared_ptr<YUX_Sorvane_Extension_AudioUnit>>
    make(const plat::AudioComponentDescription& description,
         plat::AudioComponentInstantiationOptions options = 0);

    // The plug-in's resource folder: the Resources folder of the bundle of the binary that holds
    // this code, unless tests point it elsewhere.
    static std::optional<std::filesystem::path> resourceDirectory();
    static void setResourceDirectoryForTesting(std::optional<std::filesystem::path> directory);

    // ---- own operations ----------------------------------------------------------------------
    void onFoundParameter(long group, const std::string& identifier, plat::AUParameterAddress address,
                          plat::AUValue value) override;
    void setParameter(std::int32_t address, plat::AUValue value);
    plat::AUValue getParameter(std::int32_t address);
    double getSamplerate();
    const float* getLevels() { return kernelAdapter_->getLevels(); }
    const float* getFactors() { return kernelAdapter_->getFactors(); }
    const float* getFrequencies() { return kernelAdapter_->getFrequencies(); }
    void dumpParameters(const std::string& name, const plat::AUParameterGroup* tree, int level);

    // ---- the platform's members --------------------------------------------------------------
    std::vector<std::size_t>
    supportedViewConfigurations(const std::vector<plat::AUAudioUnitViewConfiguration>& available) override;
    plat::Result<void> allocateRenderResources() override;
    void deallocateRenderResources() override;
    void reset() override;
    plat::AUAudioUnitBusArray& inputBusses() override;
    plat::AUAudioUnitBusArray& outputBusses() override;
    void setMaximumFramesToRender(plat::AUAudioFrameCount frames) override;
    void setShouldBypassEffect(bool bypass) override;
    std::shared_ptr<plat::AUParameterTree> parameterTree() const override {
        return parameters_->parameterTree();
    }
    void setParameterTree(std::shared_ptr<plat::AUParameterTree> tree) override;
    std::vector<plat::AUParameterAddress> parametersForOverview(plat::NSInteger count) override;
    bool isMusicDeviceOrEffect() const override;
    plat::NSInteger virtualMIDICableCount() const override;
    std::vector<std::string> MIDIOutputNames() const override;
    plat::AUMIDIOutputEventBlock MIDIOutputEventBlock() const override;
    void setMIDIOutputEventBlock(plat::AUMIDIOutputEventBlock block) override;
    std::optional<plat::plist::Dictionary> fullState() override;
    plat::Result<void> setFullState(std::optional<plat::plist::Dictionary> state) override;
    bool supportsUserPresets() const override;
    std::vector<plat::AUAudioUnitPreset> factoryPresets() override;
    std::optional<plat::AUAudioUnitPreset> currentPreset() const override { return currentPreset_; }
    plat::Result<void> setCurrentPreset(std::optional<plat::AUAudioUnitPreset> preset) override;
    plat::Result<plat::plist::Dictionary> presetState(const plat::AUAudioUnitPreset& preset) override;
    bool canPerformInput() const override;
    bool canPerformOutput() const override;
    bool canProcessInPlace() const override;
    std::vector<plat::NSInteger> channelCapabilities() const override;
    std::optional<std::vector<plat::NSInteger>> channelMap() const override { return std::nullopt; }
    void setChannelMap(std::optional<std::vector<plat::NSInteger>>) override {}
    plat::AUInternalRenderBlock internalRenderBlock() override;

    YUX_Sorvane_ExtensionDSPKernelAdapter& kernelAdapter() { return *kernelAdapter_; }

private:
    YUX_Sorvane_Extension_AudioUnit();

    struct ListedPreset {
        plat::AUAudioUnitPreset preset;
        std::filesystem::path file;
    };
    // The factory folder's preset files in name order, numbered from 0; nothing else is numbered.
    static std::vector<ListedPreset> listFactoryPresets(bool logFailure);
    // The factory file of the preset of that name, whatever its number; nothing when none is there.
    static std::optional<std::filesystem::path> factoryFile(const std::string& name);
    static bool isAcceptableName(const std::string& name);

    void debugprint(const std::string& text) const;
    void setSamplerate();

    std::shared_ptr<YUX_Sorvane_ExtensionDSPKernelAdapter> kernelAdapter_;
    std::unique_ptr<YUX_Sorvane_Extension_Parameters> parameters_;
    std::unique_ptr<plat::AUAudioUnitBusArray> inputBusArray_;
    std::unique_ptr<plat::AUAudioUnitBusArray> outputBusArray_;
    plat::AUMIDIOutputEventBlock midiOutputEventBlock_;
    std::optional<plat::plist::Dictionary> fullState_;
    std::vector<plat::AUAudioUnitPreset> presets_;
    std::optional<plat::AUAudioUnitPreset> currentPreset_;
};
