#pragma once
// The application's diagnostics: one whole line on standard output, written at once from the
// calling thread, after whatever the render thread raised before it.

#include "plat/console.h"

#include <string>
#include <string_view>

inline void print(std::string_view line) {
    plat::Console::shared().writeLine(line);
}

// A path or a setting as a line shows it: escaped and, when very long, shortened in its middle.
inline std::string shown(std::string_view text) {
    return plat::shownText(text);
}

// An error's text as a line shows it: escaped, and whole, as the names in it were shortened where
// they entered it.
inline std::string shownMessage(std::string_view text) {
    return plat::shownMessage(text);
}
