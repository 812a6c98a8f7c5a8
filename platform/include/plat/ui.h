#pragma once
// Views: a tree of rectangles with edge constraints and layout passes, and an image view.
// All view work happens on the main thread.

#include "plat/geometry.h"
#include "plat/uiimage.h"

#include <memory>
#include <vector>

namespace plat {

class UIView;
class NSLayoutConstraint;

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

class UIView : public std::enable_shared_from_this<UIView> {
public:
    explicit UIView(CGRect frame = {});
    virtual ~UIView();
    UIView(const UIView&) = delete;
    UIView& operator=(const UIView&) = delete;

    CGRect frame() const { return frame_; }
    void setFrame(CGRect frame);
    // The view's own coordinate space: origin zero, the frame's size.
    CGRect bounds() const { return {0, 0, frame_.width(), frame_.height()}; }

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }

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

    void setNeedsLayout() { needsLayout_ = true; }
    bool needsLayout() const { return needsLayout_; }
    // Lays out this view's subviews, then theirs, where a pass is due.
    void layoutIfNeeded();

protected:
    // Places the subviews by their constraints. Subclasses that override it call the base first.
    virtual void layoutSubviews();

private:
    friend class NSLayoutConstraint;
    CGRect frame_;
    bool hidden_ = false;
    bool translatesMask_ = true;
    bool needsLayout_ = true;
    std::weak_ptr<UIView> superview_;
    std::vector<std::shared_ptr<UIView>> subviews_;
    std::vector<std::shared_ptr<NSLayoutConstraint>> constraints_;
};

class UIImageView : public UIView {
public:
    explicit UIImageView(CGRect frame = {}) : UIView(frame) {}
    explicit UIImageView(std::shared_ptr<UIImage> image) : image_(std::move(image)) {}

    const std::shared_ptr<UIImage>& image() const { return image_; }
    void setImage(std::shared_ptr<UIImage> image) { image_ = std::move(image); }

private:
    std::shared_ptr<UIImage> image_;
};

} // namespace plat
