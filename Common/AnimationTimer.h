#pragma once
// The repeating timer the animation classes drive themselves with.

#include "plat/dispatch.h"

#include <memory>
#include <string_view>

namespace animation_detail {

// Says that an object that is not owned by a std::shared_ptr cannot run on a timer.
void reportUnowned(std::string_view who);

// Invalidates the timer in `slot` (if any) and clears it. The slot is emptied first, so the
// timer's release of its block can never reach back into a half-cleared slot.
inline void invalidate(std::shared_ptr<plat::Timer>& slot) {
    if (auto old = std::move(slot)) old->invalidate();
}

// Starts ticking `owner` every `interval` seconds on the calling thread's run loop; the timer holds
// the owner. An earlier timer in `slot` is invalidated first so it cannot keep ticking unreachably.
template <class T, class Tick>
bool startTimer(T& owner, std::shared_ptr<plat::Timer>& slot, float interval, Tick tick,
                std::string_view who) {
    invalidate(slot);
    auto self = owner.weak_from_this().lock();
    if (!self) {
        reportUnowned(who);
        return false;
    }
    slot = plat::Timer::scheduled(double(interval), true, [self, tick](plat::Timer&) { tick(*self); });
    return true;
}

} // namespace animation_detail
