#include "plat/uiresponder.h"

namespace plat {

bool UIResponder::canPerformAction(const Selector& action, const std::any& sender) const {
    if (implementsAction(action)) return true;
    // The next responder's own answer, so an override further up counts.
    const UIResponder* next = nextResponder();
    return next != nullptr && next->canPerformAction(action, sender);
}

} // namespace plat
