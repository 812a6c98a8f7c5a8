#pragma once
// Logging on the main queue and small helpers on platform types.

#include "plat/console.h"
#include "plat/graphics.h"
#include "plat/ui.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Hands the text to the main queue, which writes it as one line; returns at once. Lines from one
// thread keep their order. On a real-time thread nothing is allocated: the text goes into the
// console's preallocated ring instead (cut to a ring slot's size), still printed in order.
void safeprint(std::string_view text);
// The same as safeprint, for the file and web helpers.
void debugprint(std::string_view text);

// A four-character code as text: its bytes from the most significant, as Mac OS Roman. A zero byte
// stays a NUL character.
std::string stringValue(std::uint32_t code);

// Ties the view's four edges to its superview's; without a superview nothing changes.
void pinToSuperviewEdges(plat::UIView& view);

// A new process-wide unique string, after "prefix-" when a prefix is given (also an empty one).
std::string uniqueName(std::optional<std::string_view> withPrefix);

plat::CGFloat redValue(const plat::UIColor& color);
plat::CGFloat greenValue(const plat::UIColor& color);
plat::CGFloat blueValue(const plat::UIColor& color);
plat::CGFloat alphaValue(const plat::UIColor& color);
