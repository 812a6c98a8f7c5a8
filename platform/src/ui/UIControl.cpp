#include "plat/uicontrol.h"

#include <algorithm>
#include <cmath>

namespace plat {

namespace {
// Wrapped to the rectangle's width and centred vertically in it.
void drawMiddle(CGContext& ctx, const std::string& text, const CGRect& rect,
                const TextAttributes& attributes) {
    const CGFloat h = textHeight(text, rect.width(), attributes);
    drawText(ctx, text, {0, (rect.height() - h) / 2, rect.width(), h}, attributes);
}
} // namespace

void UIControl::addTarget(Action action, UIControlEvents events) {
    if (action) targets_.push_back({std::move(action), events});
}

void UIControl::sendActions(UIControlEvents events) {
    // An action may add or remove targets: run over the list as it was.
    const auto targets = targets_;
    for (const auto& t : targets)
        if (intersects(t.events, events)) t.action(*this);
}

void UIControl::setEnabled(bool enabled) {
    enabled_ = enabled;
    setNeedsDisplay();
}

void UIControl::setHighlighted(bool highlighted) {
    if (highlighted == highlighted_) return;
    highlighted_ = highlighted;
    setNeedsDisplay();
}

std::shared_ptr<UIView> UIControl::hitTest(CGPoint point, const UIEvent* event) {
    if (!enabled_) return nullptr;
    return UIView::hitTest(point, event);
}

void UIControl::touchesBegan(const UITouchSet& touches, const UIEvent*) {
    if (touches.empty()) return;
    tracking_ = true;
    setHighlighted(true);
    beginTracking(touches.front()->location(this));
    sendActions(UIControlEvents::touchDown);
}

void UIControl::touchesMoved(const UITouchSet& touches, const UIEvent*) {
    if (touches.empty() || !tracking_) return;
    const CGPoint p = touches.front()->location(this);
    const bool inside = bounds().contains(p);
    setHighlighted(inside);
    continueTracking(p);
    sendActions(inside ? UIControlEvents::touchDragInside : UIControlEvents::touchDragOutside);
}

void UIControl::touchesEnded(const UITouchSet& touches, const UIEvent*) {
    if (touches.empty() || !tracking_) return;
    tracking_ = false;
    setHighlighted(false);
    const bool inside = bounds().contains(touches.front()->location(this));
    sendActions(inside ? UIControlEvents::touchUpInside : UIControlEvents::touchUpOutside);
}

void UIControl::touchesCancelled(const UITouchSet&, const UIEvent*) {
    if (!tracking_) return;
    tracking_ = false;
    setHighlighted(false);
    sendActions(UIControlEvents::touchCancel);
}

// ---- button ------------------------------------------------------------------------------------

UIButton::UIButton(CGRect frame) : UIControl(frame) {
    setDrawsContent(true);
}

void UIButton::setTitle(std::string title) {
    title_ = std::move(title);
    setNeedsDisplay();
}

void UIButton::setTitleColor(UIColor color) {
    titleColor_ = color;
    setNeedsDisplay();
}

void UIButton::draw(const CGRect& rect) {
    CGContext* ctx = UIGraphicsGetCurrentContext();
    if (ctx == nullptr) return;
    const UIColor plate = isHighlighted() ? UIColor{0.35, 0.35, 0.35, 0.9} : UIColor{0.2, 0.2, 0.2, 0.8};
    ctx->fill(UIBezierPath::withRoundedRect(rect.insetBy(1, 1), 6), plate);
    drawMiddle(*ctx, title_, rect, {UIFont::systemFont(13), titleColor_, NSTextAlignment::center});
}

// ---- slider ------------------------------------------------------------------------------------

UISlider::UISlider(CGRect frame) : UIControl(frame) {
    setDrawsContent(true);
}

void UISlider::setValue(float value) {
    if (std::isnan(value)) return;
    value_ = std::clamp(value, min_, max_);
    setNeedsDisplay();
}

void UISlider::setRange(float minimum, float maximum) {
    if (!(minimum < maximum) || !std::isfinite(minimum) || !std::isfinite(maximum)) return;
    min_ = minimum;
    max_ = maximum;
    setValue(value_);
}

void UISlider::follow(CGPoint p) {
    const CGFloat inset = 12, w = bounds().width() - 2 * inset;
    if (!(w > 0)) return;
    const CGFloat f = std::clamp<CGFloat>((p.x - inset) / w, 0, 1);
    const float v = float(min_ + f * (max_ - min_));
    if (v == value_) return;
    setValue(v);
    sendActions(UIControlEvents::valueChanged);
}

void UISlider::draw(const CGRect& rect) {
    CGContext* ctx = UIGraphicsGetCurrentContext();
    if (ctx == nullptr) return;
    const CGFloat inset = 12, mid = rect.height() / 2, w = rect.width() - 2 * inset;
    const CGFloat x = inset + w * (value_ - min_) / (max_ - min_);
    ctx->fill(UIBezierPath::withRoundedRect({inset, mid - 2, w, 4}, 2), {0.55, 0.55, 0.55, 1});
    ctx->fill(UIBezierPath::withRoundedRect({inset, mid - 2, x - inset, 4}, 2), {0.2, 0.5, 0.95, 1});
    ctx->fill(UIBezierPath::withOvalIn({x - 10, mid - 10, 20, 20}), UIColor::white());
    ctx->stroke(UIBezierPath::withOvalIn({x - 10, mid - 10, 20, 20}), {0.5, 0.5, 0.5, 1});
}

// ---- label -------------------------------------------------------------------------------------

UILabel::UILabel(CGRect frame) : UIView(frame) {
    setDrawsContent(true);
    setUserInteractionEnabled(false);
}

void UILabel::setText(std::string text) {
    text_ = std::move(text);
    setNeedsDisplay();
}

void UILabel::setFont(UIFont font) {
    font_ = std::move(font);
    setNeedsDisplay();
}

void UILabel::setTextColor(UIColor color) {
    color_ = color;
    setNeedsDisplay();
}

void UILabel::setTextAlignment(NSTextAlignment alignment) {
    alignment_ = alignment;
    setNeedsDisplay();
}

void UILabel::draw(const CGRect& rect) {
    CGContext* ctx = UIGraphicsGetCurrentContext();
    if (ctx == nullptr || text_.empty()) return;
    drawMiddle(*ctx, text_, rect, {font_, color_, alignment_});
}

} // namespace plat
