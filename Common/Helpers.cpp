#include "Helpers.h"

#include "plat/core.h"
#include "plat/dispatch.h"
#include "plat/files.h"

#include <algorithm>
#include <cstring>

namespace {
void printOnMainQueue(std::string_view text) {
    if (plat::isRealtimeThread()) {
        // No allocation here: the line is assembled on the stack, cut to what a ring slot holds.
        char line[232];
        const std::size_t n = std::min(text.size(), sizeof line - 1);
        std::memcpy(line, text.data(), n);
        line[n] = '\n';
        plat::Console::shared().postText(std::string_view(line, n + 1));
        return;
    }
    plat::MainQueue::async([line = std::string(text)] { plat::Console::shared().writeLine(line); });
}
} // namespace

void safeprint(std::string_view text) {
    printOnMainQueue(text);
}

void debugprint(std::string_view text) {
    printOnMainQueue(text);
}

std::string stringValue(std::uint32_t code) {
    // Every byte has a Mac OS Roman character, so decoding cannot fail and "FAIL" never comes up.
    return plat::fourCCString(code);
}

void pinToSuperviewEdges(plat::UIView& view) {
    const auto superview = view.superview();
    if (!superview) return;
    view.setTranslatesAutoresizingMaskIntoConstraints(false);
    plat::NSLayoutConstraint::activate({
        view.topAnchor().constraint(superview->topAnchor()),
        view.leadingAnchor().constraint(superview->leadingAnchor()),
        view.bottomAnchor().constraint(superview->bottomAnchor()),
        view.trailingAnchor().constraint(superview->trailingAnchor()),
    });
}

std::string uniqueName(std::optional<std::string_view> withPrefix) {
    std::string unique = plat::globallyUniqueString();
    if (!withPrefix) return unique;
    return std::string(*withPrefix) + "-" + unique;
}

plat::CGFloat redValue(const plat::UIColor& color) {
    return color.red;
}
plat::CGFloat greenValue(const plat::UIColor& color) {
    return color.green;
}
plat::CGFloat blueValue(const plat::UIColor& color) {
    return color.blue;
}
plat::CGFloat alphaValue(const plat::UIColor& color) {
    return color.alpha;
}
