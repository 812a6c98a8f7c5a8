// Fitting a drawing's fixed canvas into the rectangle a view offers.
#pragma once

#include "plat/geometry.h"

#include <optional>

enum class ResizingBehavior : int { aspectFit = 0, aspectFill = 1, stretch = 2, center = 3 };

// The behaviour for a raw value 0 to 3; nothing for any other value.
std::optional<ResizingBehavior> resizingBehaviorFromRaw(long long raw);
constexpr int rawValue(ResizingBehavior b) {
    return static_cast<int>(b);
}

struct CanvasFit {
    plat::CGRect rect;   // the canvas placed in the target
    plat::CGSize scale;  // view points per canvas unit
    bool scaled = false; // false when the canvas was returned unchanged
};

// Returns the canvas unchanged when it equals the target, when the target is the zero rectangle, and
// when either rectangle cannot be fitted (an empty canvas, a target that is not finite).
CanvasFit fitCanvas(ResizingBehavior behavior, const plat::CGRect& rect, const plat::CGRect& target);

// The pure fit.
inline plat::CGRect apply(ResizingBehavior behavior, const plat::CGRect& rect, const plat::CGRect& target) {
    return fitCanvas(behavior, rect, target).rect;
}

// The recording fit: on the scaling path it also stores the factors and the fitted origin in the
// drawing object, so touches can be mapped back into canvas units as (p - viewOrigin) / viewScale.
template <class Instance>
plat::CGRect apply(ResizingBehavior behavior, const plat::CGRect& rect, const plat::CGRect& target,
                   Instance& instance) {
    const CanvasFit fit = fitCanvas(behavior, rect, target);
    if (fit.scaled) {
        instance.viewScale = fit.scale;
        instance.viewOrigin = fit.rect.origin;
    }
    return fit.rect;
}
