#pragma once
// Views: a tree of rectangles with edge constraints and layout passes, drawn through a cached
// picture per view that is redrawn only when marked dirty; touches and hit testing; an image view.
// All view work happens on the main thread.

#include "plat/geometry.h"
#include "plat/graphics.h"
#include "plat/uiimage.h"
#include "plat/uiresponder.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace plat {

class UIView;
class UIWindow;
class UIViewController;
class UIGestureRecognizer;
class ImageSurface;
class NSLayoutConstraint;

// One finger (here: the pointer with its left button down) from touch-down to lift-off.
class UITouch {
public:
    enum class Phase { began, moved, stationary, ended, cancelled };

    Phase phase() const { return phase_; }
    // Presses in quick succession at about the same place: 2 for the second click of a double click.
    int tapCount() const { return tapCount_; }
    std::chrono::nanoseconds timestamp() const { return timestamp_; }
    std::shared_ptr<UIView> view() const { return view_.lock(); }
    std::shared_ptr<UIWindow> window() const;
    // In the given view's coordinates (the window's when `view` is null).
    CGPoint location(const UIView* view) const;
    CGPoint previousLocation(const UIView* view) const;

private:
    friend class UIWindow;
    Phase phase_ = Phase::began;
    int tapCount_ = 1;
    std::chrono::nanoseconds timestamp_{0};
    CGPoint windowPoint_;
    CGPoint previousWindowPoint_;
    std::weak_ptr<UIView> view_;
    std::weak_ptr<UIWindow> window_;
};

// The touches of one event; the first is the one single-touch handlers use.
using UITouchSet = std::vector<std::shared_ptr<UITouch>>;

struct UIEvent {
    std::chrono::nanoseconds timestamp{0};
};

enum class NSLayoutAttribute { top, leading, bottom, trailing };

// One edge of a view, for building constraints.
class NSLayoutAnchor {
public:
    NSLayoutAnchor(std::weak_ptr<UIView> view, NSLayoutAttribute attribute)
        : view_(std::move(view)), attribute_(attribute) {}
    // this edge == other edge + constant. Both edges must run the same way (top/bottom or
    // leading/trailing). The constraint starts inactive.
    std::shared_ptr<NSLayoutConstraint> constraint(const NSLayoutAnchor& other, CGFloat constant = 0) const;

    std::shared_ptr<UIView> view() const { return view_.lock(); }
    NSLayoutAttribute attribute() const { return attribute_; }

private:
    std::weak_ptr<UIView> view_;
    NSLayoutAttribute attribute_;
};

class NSLayoutConstraint : public std::enable_shared_from_this<NSLayoutConstraint> {
public:
    NSLayoutConstraint(NSLayoutAnchor first, NSLayoutAnchor second, CGFloat constant)
        : first_(std::move(first)), second_(std::move(second)), constant_(constant) {}

    static void activate(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);
    static void deactivate(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);

    const NSLayoutAnchor& firstAnchor() const { return first_; }
    const NSLayoutAnchor& secondAnchor() const { return second_; }
    CGFloat constant() const { return constant_; }
    void setConstant(CGFloat c);
    bool isActive() const { return active_; }
    void setActive(bool active);

private:
    friend class UIView;
    NSLayoutAnchor first_;
    NSLayoutAnchor second_;
    CGFloat constant_;
    bool active_ = false;
    bool reversed_ = false; // written superview-first: the second anchor's view is the one placed
    std::shared_ptr<UIView> placedView() const;
};

class UIView : public UIResponder, public std::enable_shared_from_this<UIView> {
public:
    explicit UIView(CGRect frame = {});
    virtual ~UIView();
    UIView(const UIView&) = delete;
    UIView& operator=(const UIView&) = delete;

    // The frame before the transform: the transform acts about the frame's centre.
    CGRect frame() const { return frame_; }
    // A new size marks the view for layout and, when it draws, for display.
    void setFrame(CGRect frame);
    // The view's own coordinate space: origin zero, the frame's size.
    CGRect bounds() const { return {0, 0, frame_.width(), frame_.height()}; }

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    // Applies to the view and everything inside it, as one layer; clamped to 0...1.
    CGFloat alpha() const { return alpha_; }
    void setAlpha(CGFloat alpha);
    CGAffineTransform transform() const { return transform_; }
    void setTransform(const CGAffineTransform& t);
    std::optional<UIColor> backgroundColor() const { return background_; }
    void setBackgroundColor(std::optional<UIColor> color);
    bool isUserInteractionEnabled() const { return interactive_; }
    void setUserInteractionEnabled(bool enabled) { interactive_ = enabled; }
    // Whether subviews show only inside this view's bounds (they are hit only there in any case).
    bool clipsToBounds() const { return clips_; }
    void setClipsToBounds(bool clips);

    // ---- drawing -----------------------------------------------------------------------------
    // Marks the view's picture stale; it is redrawn (draw() is called) at the next render.
    void setNeedsDisplay();
    // Marks only `rect` (view points) stale: the next render redraws that part of the picture alone,
    // draw() running clipped to it. For views whose drawing follows from their state alone, so a
    // part redrawn is the same as that part of a whole redraw.
    void setNeedsDisplay(const CGRect& rect);
    bool needsDisplay() const { return needsDisplay_ || !staleRects_.empty(); }
    // How often the picture was redrawn so far.
    std::uint64_t displayCount() const { return displayCount_; }
    // Draws the view's content into the current graphics context, in its own coordinates. Views
    // with content call setDrawsContent(true) once, usually in their constructor.
    virtual void draw(const CGRect& rect);
    // Draws the view and its visible subviews into `ctx`, whose user space is the superview's
    // coordinate space (the view's own for the root of the walk when `asRoot`). Redraws the stale
    // pictures first. `pixelScale` is device pixels per point.
    void render(CGContext& ctx, CGFloat pixelScale = 1, bool asRoot = false);

    // ---- geometry ----------------------------------------------------------------------------
    // Maps a point of this view to the superview's space, through frame and transform.
    CGAffineTransform transformToSuperview() const;
    // To and from another view of the same window or tree; null means the tree's root.
    CGPoint convert(CGPoint point, const UIView* to) const;
    CGPoint convertFrom(CGPoint point, const UIView* from) const;
    CGRect convert(const CGRect& rect, const UIView* to) const;
    virtual bool pointInside(CGPoint point, const UIEvent* event) const;
    // The deepest visible, interactive view that holds the point (in this view's coordinates).
    virtual std::shared_ptr<UIView> hitTest(CGPoint point, const UIEvent* event);

    // The window at the top of the tree, when there is one.
    std::shared_ptr<UIWindow> window() const;

    // Its view controller when this is one's root view, else its superview.
    UIResponder* nextResponder() const override;

    // ---- touches and gestures ----------------------------------------------------------------
    virtual void touchesBegan(const UITouchSet& touches, const UIEvent* event);
    virtual void touchesMoved(const UITouchSet& touches, const UIEvent* event);
    virtual void touchesEnded(const UITouchSet& touches, const UIEvent* event);
    virtual void touchesCancelled(const UITouchSet& touches, const UIEvent* event);
    void addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer);
    void removeGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer);
    const std::vector<std::shared_ptr<UIGestureRecognizer>>& gestureRecognizers() const {
        return recognizers_;
    }

    std::shared_ptr<UIView> superview() const { return superview_.lock(); }
    const std::vector<std::shared_ptr<UIView>>& subviews() const { return subviews_; }
    // Moves the view here from any earlier superview; it goes on top of its new siblings.
    void addSubview(const std::shared_ptr<UIView>& view);
    void removeFromSuperview();
    bool isDescendant(const UIView& ancestor) const;

    bool translatesAutoresizingMaskIntoConstraints() const { return translatesMask_; }
    void setTranslatesAutoresizingMaskIntoConstraints(bool v) { translatesMask_ = v; }

    NSLayoutAnchor topAnchor() { return {weak_from_this(), NSLayoutAttribute::top}; }
    NSLayoutAnchor leadingAnchor() { return {weak_from_this(), NSLayoutAttribute::leading}; }
    NSLayoutAnchor bottomAnchor() { return {weak_from_this(), NSLayoutAttribute::bottom}; }
    NSLayoutAnchor trailingAnchor() { return {weak_from_this(), NSLayoutAttribute::trailing}; }
    // Active constraints that place this view.
    const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints() const { return constraints_; }

    void setNeedsLayout();
    bool needsLayout() const { return needsLayout_; }
    // Lays out this view's subviews, then theirs, where a pass is due.
    void layoutIfNeeded();

protected:
    // Places the subviews by their constraints. Subclasses that override it call the base first.
    // The root view of a view controller tells the controller before and after.
    virtual void layoutSubviews();
    void setDrawsContent(bool draws) { drawsContent_ = draws; }
    // Asks the window (when there is one) for a layout and display pass on the main loop, the whole
    // window redrawn.
    void requestUpdate() const;

private:
    friend class NSLayoutConstraint;
    friend class UIViewController;
    CGRect frame_;
    bool hidden_ = false;
    CGFloat alpha_ = 1;
    CGAffineTransform transform_;
    std::optional<UIColor> background_;
    bool interactive_ = true;
    bool clips_ = false;
    bool translatesMask_ = true;
    bool needsLayout_ = true;
    bool drawsContent_ = false;
    bool needsDisplay_ = true;
    std::vector<CGRect> staleRects_; // parts stale while the picture as a whole is not
    std::uint64_t displayCount_ = 0;
    std::unique_ptr<ImageSurface> picture_;
    CGFloat pictureScale_ = 0;
    std::weak_ptr<UIView> superview_;
    std::vector<std::shared_ptr<UIView>> subviews_;
    std::vector<std::shared_ptr<NSLayoutConstraint>> constraints_;
    std::vector<std::shared_ptr<UIGestureRecognizer>> recognizers_;
    std::weak_ptr<UIViewController> owner_; // set on a controller's root view

    void display(CGFloat pixelScale);
};

class UIImageView : public UIView {
public:
    explicit UIImageView(CGRect frame = {}) : UIView(frame) {}
    explicit UIImageView(std::shared_ptr<UIImage> image) : image_(std::move(image)) {
        setDrawsContent(image_ != nullptr);
    }

    const std::shared_ptr<UIImage>& image() const { return image_; }
    void setImage(std::shared_ptr<UIImage> image) {
        image_ = std::move(image);
        setDrawsContent(image_ != nullptr);
        setNeedsDisplay();
    }
    // Scaled to fill the bounds.
    void draw(const CGRect& rect) override;

private:
    std::shared_ptr<UIImage> image_;
};

} // namespace plat
