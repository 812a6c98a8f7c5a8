// The plug-in's one exported symbol: hosts call it to get the factory of the effect's units,
// which is also the controller of the effect's interface.

#include "AudioUnitViewController.h"

#include "plat/components.h"

#include <memory>

namespace {

std::shared_ptr<plat::AUAudioUnitFactory> createFactory() {
    return std::make_shared<AudioUnitViewController>();
}

} // namespace

PLAT_PLUGIN_ENTRY const plat::AudioComponentPlugInInterface* SORVANE_EXTENSION_ENTRY() {
    static constexpr plat::AudioComponentPlugInInterface plugIn{plat::kAudioComponentPlugInABIVersion,
                                                                &createFactory};
    return &plugIn;
}
