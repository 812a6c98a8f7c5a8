// A tiny plug-in for the registry's tests. Its factory keeps the unit it made, as a plug-in's view
// controller does, and refuses subtype 'fail'. A second entry claims another plug-in interface.

#include "plat/components.h"
#include "plat/console.h"
#include "plat/dispatch.h"

namespace {

class FixtureUnit final : public plat::AUAudioUnit {
public:
    plat::AUInternalRenderBlock internalRenderBlock() override {
        return [](auto...) { return plat::noErr; };
    }
    using AUAudioUnit::initWithComponentDescription;
};

class FixtureFactory final : public plat::AUAudioUnitFactory {
public:
    plat::Result<std::shared_ptr<plat::AUAudioUnit>>
    createAudioUnit(const plat::AudioComponentDescription& description) override {
        if (description.componentSubType == plat::fourCC("fail"))
            return plat::Error{"FixtureDomain", 42, "the fixture refuses"};
        unit_ = std::make_shared<FixtureUnit>();
        if (auto made = unit_->initWithComponentDescription(description, 0); !made) return made.error();
        return std::shared_ptr<plat::AUAudioUnit>(unit_);
    }
    std::shared_ptr<plat::UIViewController> viewController() override {
        if (plat::isMainThread())
            plat::Console::shared().writeLine("fixture: view controller asked on the main thread");
        return nullptr;
    }

private:
    std::shared_ptr<FixtureUnit> unit_;
};

std::shared_ptr<plat::AUAudioUnitFactory> createFactory() {
    return std::make_shared<FixtureFactory>();
}

} // namespace

PLAT_PLUGIN_ENTRY const plat::AudioComponentPlugInInterface* FixtureEntry() {
    static constexpr plat::AudioComponentPlugInInterface plugIn{plat::kAudioComponentPlugInABIVersion,
                                                                &createFactory};
    return &plugIn;
}

PLAT_PLUGIN_ENTRY const plat::AudioComponentPlugInInterface* FixtureEntryOtherABI() {
    static constexpr plat::AudioComponentPlugInInterface plugIn{plat::kAudioComponentPlugInABIVersion + 1,
                                                                &createFactory};
    return &plugIn;
}
