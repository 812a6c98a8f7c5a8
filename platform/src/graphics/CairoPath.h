#pragma once
// A bezier path as cairo's current path: what is drawn and what is hit-tested are one path.

#include "plat/graphics.h"

#include <cairo.h>

namespace plat {

// Replaces the context's current path with `path`.
void setCairoPath(cairo_t* cr, const UIBezierPath& path);

} // namespace plat
