#pragma once
// What a plug-in hands to its host: an object that makes the plug-in's audio units and that
// also serves as the view controller of the units it made.

#include "plat/audiounit.h"
#include "plat/error.h"

#include <memory>

namespace plat {

class UIViewController;

class AUAudioUnitFactory {
public:
    virtual ~AUAudioUnitFactory() = default;

    // Called on whatever thread the host instantiates on. A failure carries the unit's own error.
    virtual Result<std::shared_ptr<AUAudioUnit>> createAudioUnit(const AudioComponentDescription& description) = 0;

    // The controller of the plug-in's interface (the factory itself in our plug-in). Main thread.
    virtual std::shared_ptr<UIViewController> viewController() = 0;
};

} // namespace plat
