#include "plat/uigesture.h"

#include <cmath>

namespace plat {

namespace {
CGFloat distance(CGPoint a, CGPoint b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}
CGPoint firstPoint(const UITouchSet& touches, CGPoint otherwise) {
    return touches.empty() ? otherwise : touches.front()->location(nullptr);
}
bool inProgress(UIGestureRecognizer::State s) {
    return s == UIGestureRecognizer::State::began || s == UIGestureRecognizer::State::changed;
}
} // namespace

UIGestureRecognizer::~UIGestureRecognizer() = default;

void UIGestureRecognizer::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (!enabled) {
        if (inProgress(state_))
            setState(State::cancelled);
        else
            reset();
    }
}

CGPoint UIGestureRecognizer::location(const UIView* view) const {
    return view == nullptr ? windowPoint_ : view->convertFrom(windowPoint_, nullptr);
}

void UIGestureRecognizer::setState(State state) {
    state_ = state;
    if (state == State::possible || state == State::failed) return;
    const auto keep = shared_from_this(); // an action may drop the last other owner
    const auto actions = actions_;
    for (const auto& a : actions) a(*this);
    if (state == State::ended || state == State::cancelled) reset();
}

void UIGestureRecognizer::reset() {
    state_ = State::possible;
    didReset();
}

void UIGestureRecognizer::touchesBegan(const UITouchSet& touches, const UIEvent*) {
    windowPoint_ = firstPoint(touches, windowPoint_);
}
void UIGestureRecognizer::touchesMoved(const UITouchSet& touches, const UIEvent*) {
    windowPoint_ = firstPoint(touches, windowPoint_);
}
void UIGestureRecognizer::touchesEnded(const UITouchSet& touches, const UIEvent*) {
    windowPoint_ = firstPoint(touches, windowPoint_);
    reset();
}
void UIGestureRecognizer::touchesCancelled(const UITouchSet&, const UIEvent*) {
    if (inProgress(state_))
        setState(State::cancelled);
    else
        reset();
}

// ---- pan ---------------------------------------------------------------------------------------

CGPoint UIPanGestureRecognizer::translation(const UIView* view) const {
    const CGPoint now = location(view);
    const CGPoint from = view == nullptr ? start_ : view->convertFrom(start_, nullptr);
    return {now.x - from.x, now.y - from.y};
}

void UIPanGestureRecognizer::setTranslation(CGPoint t, const UIView* view) {
    const CGPoint now = location(view);
    const CGPoint from{now.x - t.x, now.y - t.y};
    start_ = view == nullptr ? from : view->convert(from, nullptr);
}

void UIPanGestureRecognizer::touchesBegan(const UITouchSet& touches, const UIEvent*) {
    if (touches.empty() || state() != State::possible) return;
    windowPoint_ = start_ = firstPoint(touches, windowPoint_);
    down_ = true;
}

void UIPanGestureRecognizer::touchesMoved(const UITouchSet& touches, const UIEvent*) {
    if (!down_) return;
    windowPoint_ = firstPoint(touches, windowPoint_);
    if (state() == State::possible) {
        if (distance(windowPoint_, start_) >= kHysteresis) setState(State::began);
    } else if (inProgress(state())) {
        setState(State::changed);
    }
}

void UIPanGestureRecognizer::touchesEnded(const UITouchSet& touches, const UIEvent*) {
    down_ = false;
    windowPoint_ = firstPoint(touches, windowPoint_);
    if (inProgress(state()))
        setState(State::ended);
    else
        reset();
}

void UIPanGestureRecognizer::touchesCancelled(const UITouchSet& touches, const UIEvent* event) {
    down_ = false;
    UIGestureRecognizer::touchesCancelled(touches, event);
}

// ---- pinch -------------------------------------------------------------------------------------

void UIPinchGestureRecognizer::pinch(State phase, CGPoint windowPoint, CGFloat scale) {
    if (!isEnabled()) return;
    windowPoint_ = windowPoint;
    if (std::isfinite(scale)) scale_ = scale;
    switch (phase) {
    case State::began:
        if (state() == State::possible) setState(State::began);
        break;
    case State::changed:
        if (inProgress(state())) setState(State::changed);
        break;
    case State::ended:
    case State::cancelled:
        if (inProgress(state())) setState(phase);
        break;
    default:
        break;
    }
}

// ---- tap ---------------------------------------------------------------------------------------

void UITapGestureRecognizer::touchesBegan(const UITouchSet& touches, const UIEvent*) {
    if (touches.empty()) return;
    windowPoint_ = start_ = firstPoint(touches, windowPoint_);
    moved_ = false;
}

void UITapGestureRecognizer::touchesMoved(const UITouchSet& touches, const UIEvent*) {
    windowPoint_ = firstPoint(touches, windowPoint_);
    if (distance(windowPoint_, start_) >= 10) {
        moved_ = true;
        if (state() == State::possible) setState(State::failed);
    }
}

void UITapGestureRecognizer::touchesEnded(const UITouchSet& touches, const UIEvent*) {
    if (touches.empty()) return;
    windowPoint_ = firstPoint(touches, windowPoint_);
    if (state() == State::possible && !moved_ && touches.front()->tapCount() == numberOfTapsRequired)
        setState(State::ended);
    else
        reset();
}

void UITapGestureRecognizer::touchesCancelled(const UITouchSet&, const UIEvent*) {
    reset();
}

// ---- long press --------------------------------------------------------------------------------

UILongPressGestureRecognizer::~UILongPressGestureRecognizer() {
    if (timer_) timer_->invalidate();
}

void UILongPressGestureRecognizer::didReset() {
    if (timer_) timer_->invalidate();
    timer_.reset();
}

void UILongPressGestureRecognizer::touchesBegan(const UITouchSet& touches, const UIEvent*) {
    if (touches.empty() || state() != State::possible) return;
    windowPoint_ = start_ = firstPoint(touches, windowPoint_);
    if (timer_) timer_->invalidate();
    std::weak_ptr<UIGestureRecognizer> weak = weak_from_this();
    timer_ = Timer::scheduled(minimumPressDuration, false, [weak](Timer&) {
        if (auto self = weak.lock())
            if (self->state() == State::possible && self->isEnabled())
                static_cast<UILongPressGestureRecognizer&>(*self).setState(State::began);
    });
}

void UILongPressGestureRecognizer::touchesMoved(const UITouchSet& touches, const UIEvent*) {
    windowPoint_ = firstPoint(touches, windowPoint_);
    if (state() == State::possible && timer_ && distance(windowPoint_, start_) > allowableMovement) {
        timer_->invalidate();
        timer_.reset();
        setState(State::failed);
    } else if (inProgress(state())) {
        setState(State::changed);
    }
}

void UILongPressGestureRecognizer::touchesEnded(const UITouchSet& touches, const UIEvent*) {
    windowPoint_ = firstPoint(touches, windowPoint_);
    if (inProgress(state()))
        setState(State::ended);
    else
        reset();
}

void UILongPressGestureRecognizer::touchesCancelled(const UITouchSet& touches, const UIEvent* event) {
    UIGestureRecognizer::touchesCancelled(touches, event);
}

} // namespace plat
