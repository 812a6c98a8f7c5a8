// The plug-in's one exported symbol: hosts call it to get the factory of the effect's units.

#include "YUX_Sorvane_Extension_AudioUnit.h"

#include "plat/components.h"

#include <memory>

namespace {

// Makes the effect's units and shows no interface of its own.
class EffectFactory final : public plat::AUAudioUnitFactory {
public:
    plat::Result<std::shared_ptr<plat::AUAudioUnit>>
    createAudioUnit(const plat::AudioComponentDescription& description) override {
        auto made = YUX_Sorvane_Extension_AudioUnit::make(description);
        if (!made) return made.error();
        return std::shared_ptr<plat::AUAudioUnit>(std::move(made).value());
    }
    std::shared_ptr<plat::UIViewController> viewController() override { return nullptr; }
};

using ExtensionFactory = EffectFactory;

std::shared_ptr<plat::AUAudioUnitFactory> createFactory() {
    return std::make_shared<ExtensionFactory>();
}

} // namespace

PLAT_PLUGIN_ENTRY const plat::AudioComponentPlugInInterface* SORVANE_EXTENSION_ENTRY() {
    static constexpr plat::AudioComponentPlugInInterface plugIn{plat::kAudioComponentPlugInABIVersion,
                                                                &createFactory};
    return &plugIn;
}
