#include "plat/ui.h"

#include "plat/console.h"
#include "plat/image.h"
#include "plat/uigesture.h"
#include "plat/uiviewcontroller.h"
#include "plat/uiwindow.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace plat {

namespace {
bool vertical(NSLayoutAttribute a) {
    return a == NSLayoutAttribute::top || a == NSLayoutAttribute::bottom;
}

void detach(std::vector<std::shared_ptr<NSLayoutConstraint>>& list, const NSLayoutConstraint* c) {
    std::erase_if(list, [c](const auto& p) { return p.get() == c; });
}
} // namespace

std::shared_ptr<NSLayoutConstraint> NSLayoutAnchor::constraint(const NSLayoutAnchor& other,
                                                               CGFloat constant) const {
    return std::make_shared<NSLayoutConstraint>(*this, other, constant);
}

std::shared_ptr<UIView> NSLayoutConstraint::placedView() const {
    return reversed_ ? second_.view() : first_.view();
}

void NSLayoutConstraint::setConstant(CGFloat c) {
    constant_ = c;
    if (auto v = placedView())
        if (auto s = v->superview()) s->setNeedsLayout();
}

void NSLayoutConstraint::setActive(bool active) {
    if (active == active_) return;
    // The placed view holds its constraints by shared pointer: it may hold the only one, which
    // deactivating drops. Only a constraint owned that way can be active at all.
    const auto self = weak_from_this().lock();
    auto a = first_.view(), b = second_.view();
    if (!active) {
        if (auto v = placedView()) {
            detach(v->constraints_, this);
            if (auto s = v->superview()) s->setNeedsLayout();
        }
        active_ = false;
        return;
    }
    if (!self || !a || !b || a == b || vertical(first_.attribute()) != vertical(second_.attribute())) {
        Console::shared().writeLine("NSLayoutConstraint: cannot activate a constraint between these anchors");
        return;
    }
    const auto aSuper = a->superview(), bSuper = b->superview();
    if (aSuper && (aSuper == b || aSuper == bSuper)) {
        reversed_ = false;
    } else if (bSuper == a) {
        reversed_ = true;
    } else {
        Console::shared().writeLine(
            "NSLayoutConstraint: cannot activate a constraint between views that are not "
            "superview and subview or siblings");
        return;
    }
    auto placed = placedView();
    placed->constraints_.push_back(self);
    if (auto s = placed->superview()) s->setNeedsLayout();
    active_ = true;
}

void NSLayoutConstraint::activate(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
    for (const auto& c : constraints)
        if (c) c->setActive(true);
}

void NSLayoutConstraint::deactivate(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
    for (const auto& c : constraints)
        if (c) c->setActive(false);
}

UIView::UIView(CGRect frame) : frame_(frame.standardized()) {}

UIView::~UIView() = default;

void UIView::setFrame(CGRect frame) {
    frame = frame.standardized();
    if (frame == frame_) return;
    if (frame.size != frame_.size) {
        needsLayout_ = true;
        needsDisplay_ = true; // content is drawn for a size: a new size draws anew
        picture_.reset();     // and its picture goes now, hidden or not: a view shrunk gives it back
    }
    frame_ = frame;
    requestUpdate();
}

void UIView::setHidden(bool hidden) {
    if (hidden == hidden_) return;
    hidden_ = hidden;
    requestUpdate();
}

void UIView::setAlpha(CGFloat alpha) {
    if (!std::isfinite(alpha)) return;
    alpha_ = std::clamp<CGFloat>(alpha, 0, 1);
    requestUpdate();
}

void UIView::setTransform(const CGAffineTransform& t) {
    transform_ = t;
    requestUpdate();
}

void UIView::setClipsToBounds(bool clips) {
    if (clips == clips_) return;
    clips_ = clips;
    requestUpdate();
}

void UIView::setBackgroundColor(std::optional<UIColor> color) {
    background_ = color;
    setNeedsDisplay();
}

// Only this view's own picture changes: the window redraws only where it lies.
void UIView::setNeedsDisplay() {
    needsDisplay_ = true;
    staleRects_.clear();
    if (auto w = window()) w->scheduleUpdate(convert(bounds(), nullptr));
}

void UIView::setNeedsDisplay(const CGRect& rect) {
    const CGRect part = rect.intersection(bounds());
    if (part.isEmpty()) return;
    // Past a few dozen parts one whole redraw costs less than keeping count.
    if (staleRects_.size() >= 64) return setNeedsDisplay();
    if (!needsDisplay_) staleRects_.push_back(part);
    if (auto w = window()) w->scheduleUpdate(convert(part, nullptr));
}

void UIView::setNeedsLayout() {
    needsLayout_ = true;
    requestUpdate();
}

UIResponder* UIView::nextResponder() const {
    if (const auto owner = owner_.lock()) return owner.get();
    return superview_.lock().get();
}

std::shared_ptr<UIWindow> UIView::window() const {
    const UIView* top = this;
    for (auto s = superview_.lock(); s; s = s->superview_.lock()) top = s.get();
    auto* w = dynamic_cast<const UIWindow*>(top);
    if (w == nullptr) return nullptr;
    return std::static_pointer_cast<UIWindow>(const_cast<UIWindow*>(w)->weak_from_this().lock());
}

void UIView::requestUpdate() const {
    if (auto w = window()) w->scheduleUpdate();
}

void UIView::addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
    if (!recognizer) return;
    if (auto old = recognizer->view()) old->removeGestureRecognizer(recognizer);
    recognizer->view_ = weak_from_this();
    recognizers_.push_back(recognizer);
}

void UIView::removeGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
    if (!recognizer || recognizer->view().get() != this) return;
    recognizer->view_.reset();
    std::erase(recognizers_, recognizer);
}

void UIView::addSubview(const std::shared_ptr<UIView>& view) {
    if (!view || view.get() == this || isDescendant(*view)) return; // no cycles in the tree
    auto keep = view;
    view->removeFromSuperview();
    view->superview_ = weak_from_this();
    subviews_.push_back(std::move(keep));
    setNeedsLayout();
}

void UIView::removeFromSuperview() {
    auto parent = superview_.lock();
    if (!parent) return;
    // Constraints that tie this view to its old superview or siblings no longer apply.
    for (auto c : std::vector(constraints_)) c->setActive(false);
    for (auto& sibling : parent->subviews_)
        for (auto c : std::vector(sibling->constraints_)) {
            const auto other = c->reversed_ ? c->first_.view() : c->second_.view();
            if (other.get() == this) c->setActive(false);
        }
    superview_.reset();
    std::erase_if(parent->subviews_, [this](const auto& v) { return v.get() == this; });
    parent->setNeedsLayout();
}

bool UIView::isDescendant(const UIView& ancestor) const {
    for (auto v = superview_.lock(); v; v = v->superview_.lock())
        if (v.get() == &ancestor) return true;
    return &ancestor == this;
}

void UIView::layoutIfNeeded() {
    if (needsLayout_) {
        needsLayout_ = false;
        const auto owner = owner_.lock();
        if (owner) owner->viewWillLayoutSubviews();
        layoutSubviews();
        if (owner) owner->viewDidLayoutSubviews();
    }
    for (const auto& v : std::vector(subviews_)) v->layoutIfNeeded();
}

void UIView::layoutSubviews() {
    for (const auto& sub : subviews_) {
        std::optional<CGFloat> edge[4]; // top, leading, bottom, trailing
        for (const auto& c : sub->constraints_) {
            const NSLayoutAnchor& own = c->reversed_ ? c->second_ : c->first_;
            const NSLayoutAnchor& ref = c->reversed_ ? c->first_ : c->second_;
            const auto refView = ref.view();
            if (!refView) continue;
            CGRect r;
            if (refView.get() == this)
                r = bounds();
            else if (refView->superview().get() == this)
                r = refView->frame();
            else
                continue;
            CGFloat value = 0;
            switch (ref.attribute()) {
            case NSLayoutAttribute::top:
                value = r.minY();
                break;
            case NSLayoutAttribute::leading:
                value = r.minX();
                break;
            case NSLayoutAttribute::bottom:
                value = r.maxY();
                break;
            case NSLayoutAttribute::trailing:
                value = r.maxX();
                break;
            }
            edge[int(own.attribute())] = c->reversed_ ? value - c->constant() : value + c->constant();
        }
        CGRect f = sub->frame();
        auto place = [](std::optional<CGFloat> lo, std::optional<CGFloat> hi, CGFloat& origin,
                        CGFloat& size) {
            if (lo && hi) {
                origin = *lo;
                size = std::max<CGFloat>(0, *hi - *lo);
            } else if (lo) {
                origin = *lo;
            } else if (hi) {
                origin = *hi - size;
            }
        };
        place(edge[0], edge[2], f.origin.y, f.size.height);
        place(edge[1], edge[3], f.origin.x, f.size.width);
        sub->setFrame(f);
    }
}

} // namespace plat
