// Small drawing steps shared by the panel, underlay and frame drawings.
#pragma once

#include "plat/graphics.h"
#include "plat/text.h"

#include <functional>
#include <string>
#include <string_view>

namespace panel {

using plat::CGFloat;

inline constexpr CGFloat kPi = 3.14159265358979323846;
inline CGFloat radians(CGFloat degrees) {
    return degrees * kPi / 180;
}

// Text shown where a value cannot be written as a whole number.
inline constexpr const char* kNeutralValueText = "--";

// The whole number nearest to `x` (halves away from zero) in decimal, "-" only for negatives; the
// neutral text when `x` is not finite or does not fit a 64-bit integer.
std::string wholeNumberText(CGFloat x);

// A band's ring label: the frequency truncated toward zero, a line feed, then "hz". A frequency with
// no whole-number text (not finite, beyond 64 bits) shows the neutral text in its place.
std::string frequencyLabelText(float hertz);

// Save on construction, restore on destruction.
class GState {
public:
    explicit GState(plat::CGContext& ctx) : ctx_(ctx) { ctx_.saveGState(); }
    ~GState() { ctx_.restoreGState(); }
    GState(const GState&) = delete;
    GState& operator=(const GState&) = delete;

private:
    plat::CGContext& ctx_;
};

// Maps a canvas of the given size onto the fitted rectangle.
void enterCanvas(plat::CGContext& ctx, const plat::CGRect& fitted, CGFloat canvasWidth, CGFloat canvasHeight);

// Centred horizontally by the paragraph, vertically by the measured wrapped height, clipped to the box.
void drawCentredText(plat::CGContext& ctx, std::string_view text, const plat::CGRect& box,
                     const plat::UIFont& font, const plat::UIColor& color);

// Places a symbol whose canvas box is (-a, -b, W, H) at `at`, scaled by `s` and clipped to its box;
// `draw` then draws it with the box's corner as origin.
void placeSymbol(plat::CGContext& ctx, plat::CGPoint at, CGFloat s, const plat::CGRect& box,
                 const std::function<void()>& draw);

void strokeRound(plat::CGContext& ctx, plat::UIBezierPath path, const plat::UIColor& color,
                 CGFloat lineWidth);

// The knurled grip of both knob symbols, about the knob's pivot at (0, 0), pointer up.
const plat::UIBezierPath& gripPath();

} // namespace panel
