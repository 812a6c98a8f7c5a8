// Text in a rectangle through pango. Sizes are canvas units and hinting is off, so a layout does not
// change with the scale it is drawn at. Fonts are looked up by name through fontconfig with our own
// configuration file, which maps the platform's face names to installed faces; a name that matches no
// installed face falls back to the nearest one and still draws.
#pragma once

#include "plat/graphics.h"

#include <string>
#include <string_view>

namespace plat {

class UIFont {
public:
    // Never fails: an unknown name resolves to the nearest installed face.
    static UIFont withName(std::string_view name, CGFloat size);
    static UIFont systemFont(CGFloat size);

    const std::string& name() const { return name_; }
    CGFloat pointSize() const { return size_; }
    // "Family Style" of the installed face that is drawn for this font.
    std::string resolvedFaceName() const;

    friend bool operator==(const UIFont&, const UIFont&) = default;

private:
    UIFont(std::string name, CGFloat size) : name_(std::move(name)), size_(size) {}
    std::string name_;
    CGFloat size_;
};

enum class NSTextAlignment { left, center, right };

struct TextAttributes {
    UIFont font;
    UIColor color;
    NSTextAlignment alignment = NSTextAlignment::left;
};

// Height of `text` wrapped (at word, else character, boundaries) to `width`.
CGFloat textHeight(std::string_view text, CGFloat width, const TextAttributes& attributes);

// Draws `text` wrapped to the rectangle's width from its top edge. Text is not clipped to the
// rectangle; callers clip when they need to.
void drawText(CGContext& ctx, std::string_view text, const CGRect& rect, const TextAttributes& attributes);

// The fontconfig file in use, or empty when none was found (system configuration only).
std::string fontConfigurationFile();

} // namespace plat
