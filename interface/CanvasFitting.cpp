#include "CanvasFitting.h"

#include <algorithm>
#include <cmath>

using plat::CGFloat;
using plat::CGRect;

std::optional<ResizingBehavior> resizingBehaviorFromRaw(long long raw) {
    if (raw < 0 || raw > 3) return std::nullopt;
    return static_cast<ResizingBehavior>(raw);
}

namespace {
bool finiteRect(const CGRect& r) {
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
           std::isfinite(r.size.height);
}
} // namespace

CanvasFit fitCanvas(ResizingBehavior behavior, const CGRect& rect, const CGRect& target) {
    if (rect == target || target == CGRect::zero() || !finiteRect(rect) || !finiteRect(target) ||
        rect.width() == 0 || rect.height() == 0)
        return {rect, {1, 1}, false};

    CGFloat sx = std::abs(target.width() / rect.width());
    CGFloat sy = std::abs(target.height() / rect.height());
    switch (behavior) {
    case ResizingBehavior::aspectFit:
        sx = sy = std::min(sx, sy);
        break;
    case ResizingBehavior::aspectFill:
        sx = sy = std::max(sx, sy);
        break;
    case ResizingBehavior::stretch:
        break;
    case ResizingBehavior::center:
        sx = sy = 1;
        break;
    }
    const CGRect s = rect.standardized();
    const CGFloat w = s.size.width * sx, h = s.size.height * sy;
    return {{target.minX() + (target.width() - w) / 2, target.minY() + (target.height() - h) / 2, w, h},
            {sx, sy},
            true};
}
