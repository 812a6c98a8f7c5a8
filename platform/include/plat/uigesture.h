#pragma once
// Gesture recognisers: each watches the touches of the view it is attached to (and of that view's
// subviews) and reports a gesture through its state and its actions. Every recogniser on the touched
// view and its ancestors sees the same touches; none of them takes the touches from the view.

#include "plat/dispatch.h"
#include "plat/ui.h"

#include <functional>
#include <memory>
#include <vector>

namespace plat {

class UIGestureRecognizer : public std::enable_shared_from_this<UIGestureRecognizer> {
public:
    // A discrete gesture (tap) goes possible -> ended (recognised) or failed; a continuous one
    // goes possible -> began -> changed... -> ended or cancelled. After an end it is possible again.
    enum class State { possible, began, changed, ended, cancelled, failed };
    using Action = std::function<void(UIGestureRecognizer&)>;

    UIGestureRecognizer() = default;
    virtual ~UIGestureRecognizer();
    UIGestureRecognizer(const UIGestureRecognizer&) = delete;
    UIGestureRecognizer& operator=(const UIGestureRecognizer&) = delete;

    void addTarget(Action action) { actions_.push_back(std::move(action)); }
    State state() const { return state_; }
    std::shared_ptr<UIView> view() const { return view_.lock(); }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    // Where the gesture is, in the given view's coordinates (the window's when null).
    CGPoint location(const UIView* view) const;

    // Fed by the window.
    virtual void touchesBegan(const UITouchSet& touches, const UIEvent* event);
    virtual void touchesMoved(const UITouchSet& touches, const UIEvent* event);
    virtual void touchesEnded(const UITouchSet& touches, const UIEvent* event);
    virtual void touchesCancelled(const UITouchSet& touches, const UIEvent* event);

protected:
    // Sets the state and, for began, changed, ended and cancelled, runs the actions.
    void setState(State state);
    void reset();
    virtual void didReset() {}
    CGPoint windowPoint_;

private:
    friend class UIView;
    std::weak_ptr<UIView> view_;
    std::vector<Action> actions_;
    State state_ = State::possible;
    bool enabled_ = true;
};

// Begins once the touch has moved 10 points from where it went down.
class UIPanGestureRecognizer : public UIGestureRecognizer {
public:
    static constexpr CGFloat kHysteresis = 10;
    // Since the gesture began (or since setTranslation), in the view's coordinates.
    CGPoint translation(const UIView* view) const;
    void setTranslation(CGPoint translation, const UIView* view);

    void touchesBegan(const UITouchSet& touches, const UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, const UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, const UIEvent* event) override;

private:
    CGPoint start_;
    bool down_ = false;
};

// Two-finger scaling; here fed by the window from a touchpad pinch or Ctrl + wheel.
class UIPinchGestureRecognizer : public UIGestureRecognizer {
public:
    // Cumulative since the gesture began.
    CGFloat scale() const { return scale_; }
    void setScale(CGFloat scale) { scale_ = scale; }
    // One step of a pinch at `windowPoint`: began, changed, ended or cancelled.
    void pinch(State phase, CGPoint windowPoint, CGFloat scale);

private:
    CGFloat scale_ = 1;
};

// Recognised when a touch lifts with the required tap count, having moved less than 10 points.
class UITapGestureRecognizer : public UIGestureRecognizer {
public:
    int numberOfTapsRequired = 1;
    void touchesBegan(const UITouchSet& touches, const UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, const UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, const UIEvent* event) override;

private:
    CGPoint start_;
    bool moved_ = false;
};

// Begins when a touch has stayed down for the minimum duration without moving further than the
// allowable movement; follows the touch as changed; ends when it lifts. The wait is a timer on the
// main loop, so a stepped clock drives it in tests.
class UILongPressGestureRecognizer : public UIGestureRecognizer {
public:
    double minimumPressDuration = 0.5;
    CGFloat allowableMovement = 10;
    ~UILongPressGestureRecognizer() override;
    void touchesBegan(const UITouchSet& touches, const UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, const UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, const UIEvent* event) override;

protected:
    void didReset() override;

private:
    std::shared_ptr<Timer> timer_;
    CGPoint start_;
};

} // namespace plat
