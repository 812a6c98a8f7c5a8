#pragma once
// Controls: views that turn touches into events and call the actions registered for them.
// Main thread only.

#include "plat/text.h"
#include "plat/ui.h"

#include <cstdint>
#include <functional>
#include <string>

namespace plat {

enum class UIControlEvents : std::uint32_t {
    touchDown = 1u << 0,
    touchDownRepeat = 1u << 1,
    touchDragInside = 1u << 2,
    touchDragOutside = 1u << 3,
    touchUpInside = 1u << 6,
    touchUpOutside = 1u << 7,
    touchCancel = 1u << 8,
    valueChanged = 1u << 12,
    allEvents = 0xFFFFFFFFu,
};
constexpr UIControlEvents operator|(UIControlEvents a, UIControlEvents b) {
    return UIControlEvents(std::uint32_t(a) | std::uint32_t(b));
}
constexpr bool intersects(UIControlEvents a, UIControlEvents b) {
    return (std::uint32_t(a) & std::uint32_t(b)) != 0;
}

class UIControl : public UIView {
public:
    using Action = std::function<void(UIControl& sender)>;

    explicit UIControl(CGRect frame = {}) : UIView(frame) {}

    // Actions run in the order they were added, each time one of `events` is sent.
    void addTarget(Action action, UIControlEvents events);
    void removeAllTargets() { targets_.clear(); }
    void sendActions(UIControlEvents events);

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    bool isHighlighted() const { return highlighted_; }
    bool isTracking() const { return tracking_; }

    // Tracking: touch-down, drags, and touch-up inside or outside the bounds.
    void touchesBegan(const UITouchSet& touches, const UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, const UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, const UIEvent* event) override;
    std::shared_ptr<UIView> hitTest(CGPoint point, const UIEvent* event) override;

protected:
    void setHighlighted(bool highlighted);
    // Hooks for subclasses that follow the touch (a slider's thumb).
    virtual void beginTracking(CGPoint) {}
    virtual void continueTracking(CGPoint) {}

private:
    struct Target {
        Action action;
        UIControlEvents events;
    };
    std::vector<Target> targets_;
    bool enabled_ = true;
    bool highlighted_ = false;
    bool tracking_ = false;
};

// A rounded plate with a centred title; dimmed while pressed.
class UIButton : public UIControl {
public:
    explicit UIButton(CGRect frame = {});
    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    void setTitleColor(UIColor color);
    void draw(const CGRect& rect) override;

private:
    std::string title_;
    UIColor titleColor_{1, 1, 1, 1};
};

// A horizontal track with a thumb; sends valueChanged while dragged.
class UISlider : public UIControl {
public:
    explicit UISlider(CGRect frame = {});
    float value() const { return value_; }
    // Clamped to the range; a value that is not a number is ignored.
    void setValue(float value);
    float minimumValue() const { return min_; }
    float maximumValue() const { return max_; }
    // An empty or inverted range is refused.
    void setRange(float minimum, float maximum);
    void draw(const CGRect& rect) override;

protected:
    void beginTracking(CGPoint p) override { follow(p); }
    void continueTracking(CGPoint p) override { follow(p); }

private:
    void follow(CGPoint p);
    float value_ = 0.5f, min_ = 0, max_ = 1;
};

class UILabel : public UIView {
public:
    explicit UILabel(CGRect frame = {});
    const std::string& text() const { return text_; }
    void setText(std::string text);
    void setFont(UIFont font);
    void setTextColor(UIColor color);
    void setTextAlignment(NSTextAlignment alignment);
    // Wrapped to the width, centred vertically.
    void draw(const CGRect& rect) override;

private:
    std::string text_;
    UIFont font_ = UIFont::systemFont(15);
    UIColor color_ = UIColor::black();
    NSTextAlignment alignment_ = NSTextAlignment::left;
};

// A text entry; here only as the fields of an alert, where the dialog edits the text.
class UITextField : public UIView {
public:
    std::string text;
    std::string placeholder;
};

} // namespace plat
