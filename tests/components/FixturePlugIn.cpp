// A tiny plug-in for the registry's tests. Its factory keeps the unit it made, as a plug-in's view
// controller does, and refuses subtype 'fail' with an error of its own. Besides the good entry it
// exports entries that are wrong in one way each.

#include "plat/components.h"
#include "plat/console.h"
#include "plat/dispatch.h"

namespace {

class FixtureUnit final : public plat::AUAudioUnit {
public:
    static plat::Result<std::shared_ptr<plat::AUAudioUnit>> make(const plat::AudioComponentDescription& d) {
        std::shared_ptr<FixtureUnit> unit(new FixtureUnit);
        if (auto ok = unit->initWithComponentDescription(d, 0); !ok) return ok.error();
        return std::shared_ptr<plat::AUAudioUnit>(unit);
    }
    plat::AUInternalRenderBlock internalRenderBlock() override {
        return [](auto...) -> plat::AUAudioUnitStatus { return plat::noErr; };
    }
};

class FixtureFactory final : public plat::AUAudioUnitFactory {
public:
    plat::Result<std::shared_ptr<plat::AUAudioUnit>>
    createAudioUnit(const plat::AudioComponentDescription& description) override {
        if (description.componentSubType == plat::fourCC("fail"))
            return plat::Error{"FixtureDomain", 42, "the fixture refuses"};
        auto made = FixtureUnit::make(description);
        if (made) unit_ = made.value();
        return made;
    }
    std::shared_ptr<plat::UIViewController> viewController() override {
        plat::Console::shared().writeLine(plat::isMainThread()
                                              ? "fixture: view controller asked on the main thread"
                                              : "fixture: view controller asked off the main thread");
        return nullptr;
    }

private:
    std::shared_ptr<plat::AUAudioUnit> unit_;
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

PLAT_PLUGIN_ENTRY const plat::AudioComponentPlugInInterface* FixtureEntryNothing() {
    return nullptr;
}
