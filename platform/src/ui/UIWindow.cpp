#include "plat/uiwindow.h"

#include "WindowBackend.h"
#include "plat/console.h"
#include "plat/dispatch.h"
#include "plat/uiapplication.h"

#include <algorithm>
#include <cmath>

namespace plat {

UIWindow::UIWindow(CGSize size)
    : UIView({0, 0, size.width, size.height}), backend_(std::make_unique<Backend>()) {
    setBackgroundColor(UIColor{0.1, 0.1, 0.1, 1});
}

UIResponder* UIWindow::nextResponder() const {
    return &UIApplication::shared();
}

UIWindow::~UIWindow() {
    backend_.reset();
}

std::shared_ptr<UIWindow> UIWindow::makeHeadless(CGSize size) {
    return std::shared_ptr<UIWindow>(new UIWindow(size));
}

Result<std::shared_ptr<UIWindow>> UIWindow::makeOnScreen(CGSize size, const std::string& title) {
    if (!isMainThread()) return Error{"UIWindow", 1, "A window is opened on the main thread only."};
    std::shared_ptr<UIWindow> window(new UIWindow(size));
    std::string why;
    auto backend = makeGtkBackend(*window, size, title, why);
    if (!backend) return Error{"UIWindow", 2, why};
    window->backend_ = std::move(backend);
    return window;
}

bool UIWindow::isOnScreen() const {
    return backend_->onScreen();
}

void UIWindow::setRootViewController(std::shared_ptr<UIViewController> controller) {
    if (root_ && root_->isViewLoaded()) root_->viewIfLoaded()->removeFromSuperview();
    root_ = std::move(controller);
    rootAppeared_ = false;
    if (!root_) return;
    if (auto v = root_->view()) {
        v->setFrame(bounds());
        filling_.push_back(v);
        addSubview(v);
    }
}

void UIWindow::makeKeyAndVisible() {
    const auto root = root_;
    const bool appearing = root && !rootAppeared_;
    if (appearing) root->viewWillAppear(false);
    layoutIfNeeded();
    backend_->show();
    if (appearing) {
        rootAppeared_ = true;
        root->viewDidAppear(false);
    }
}

void UIWindow::setSize(CGSize size) {
    size = {std::max(size.width, minimumSize_.width), std::max(size.height, minimumSize_.height)};
    setFrame({0, 0, size.width, size.height});
    backend_->resize(size);
    layoutIfNeeded();
}

void UIWindow::setMinimumSize(CGSize size) {
    if (!std::isfinite(size.width) || !std::isfinite(size.height)) return;
    minimumSize_ = {std::max<CGFloat>(size.width, 0), std::max<CGFloat>(size.height, 0)};
    backend_->setMinimumSize(minimumSize_);
    if (frame().width() < minimumSize_.width || frame().height() < minimumSize_.height) setSize(frame().size);
}

void UIWindow::close() {
    backend_->close();
}

void UIWindow::layoutSubviews() {
    UIView::layoutSubviews();
    std::erase_if(filling_, [this](const auto& weak) {
        const auto v = weak.lock();
        if (!v || v->superview().get() != this) return true;
        v->setFrame(bounds());
        return false;
    });
    backend_->layoutNative();
}

void UIWindow::scheduleUpdate(std::optional<CGRect> damage) {
    if (!damage || damage_.size() >= 256)
        damagedAll_ = true;
    else if (!damage->isEmpty())
        damage_.push_back(*damage);
    if (updateScheduled_) return;
    updateScheduled_ = true;
    std::weak_ptr<UIView> weak = weak_from_this();
    MainQueue::async([weak] {
        auto self = std::static_pointer_cast<UIWindow>(weak.lock());
        if (!self) return;
        self->layoutIfNeeded(); // what the layout changes joins this pass
        self->updateScheduled_ = false;
        if (self->damagedAll_) {
            // A view hidden, shown or moved takes the native widgets laid over it along.
            self->backend_->layoutNative();
            self->backend_->setNeedsDraw(std::nullopt);
        } else if (!self->damage_.empty()) {
            coalesceRects(self->damage_, 1024);
            self->backend_->setNeedsDraw(self->damage_);
        }
        self->damagedAll_ = false;
        self->damage_.clear();
    });
}

void UIWindow::renderInto(CGContext& ctx, CGFloat pixelScale, std::span<const CGRect> parts) {
    layoutIfNeeded();
    if (parts.empty()) render(ctx, pixelScale, true);
    // Under a clip of one rectangle each: a clip of many costs every view's composite a pass per
    // rectangle, and cuts overlapping parts into many more.
    for (const CGRect& part : parts) {
        ctx.saveGState();
        ctx.clip(part);
        ctx.clear();
        render(ctx, pixelScale, true);
        ctx.restoreGState();
    }
    ++renders_;
}

std::unique_ptr<ImageSurface> UIWindow::snapshot() {
    auto image =
        std::make_unique<ImageSurface>(int(std::ceil(bounds().width())), int(std::ceil(bounds().height())));
    renderInto(image->context());
    return image;
}

bool UIWindow::writePNG(const std::string& path, std::string* error) {
    return snapshot()->writePNG(path, error);
}

bool UIWindow::writeScreenshot(const std::string& path, std::string* error) {
    if (bounds().width() * bounds().height() > kLargestScreenshot) {
        if (error)
            *error = "The window is too large to be written (" + std::to_string(int(bounds().width())) +
                     " x " + std::to_string(int(bounds().height())) + " points; at most " +
                     std::to_string(long(kLargestScreenshot)) + " in all).";
        return false;
    }
    if (backend_->onScreen()) return backend_->screenshot(path, error);
    return writePNG(path, error);
}

void UIWindow::presentModal(const std::shared_ptr<UIViewController>& controller) {
    const bool dialog = dynamic_cast<UIAlertController*>(controller.get()) != nullptr ||
                        dynamic_cast<UIDocumentPickerViewController*>(controller.get()) != nullptr;
    if (dialog) {
        backend_->presentDialog(controller); // headless: stays presented until answered
        return;
    }
    if (auto v = controller->view()) {
        v->setFrame(bounds());
        filling_.push_back(v);
        addSubview(v);
    }
}

void UIWindow::dismissModal(const std::shared_ptr<UIViewController>& controller) {
    backend_->dismissDialog(controller.get());
    if (auto v = controller->viewIfLoaded(); v && v->superview().get() == this) v->removeFromSuperview();
}

bool UIWindow::placeNativeWidget(void* widget, const std::shared_ptr<UIView>& host) {
    return widget != nullptr && host && backend_->placeNativeWidget(widget, host);
}

void* UIWindow::nativeWindow() const {
    return backend_->nativeWindow();
}

unsigned long UIWindow::nativeWindowId() const {
    return backend_->nativeWindowId();
}

// ---- input -------------------------------------------------------------------------------------

namespace {
// Views and recognisers take touches through the same four callbacks.
template <class Receiver>
void hand(Receiver& r, UITouch::Phase phase, const UITouchSet& touches, const UIEvent& event) {
    switch (phase) {
    case UITouch::Phase::began:
        r.touchesBegan(touches, &event);
        break;
    case UITouch::Phase::moved:
    case UITouch::Phase::stationary:
        r.touchesMoved(touches, &event);
        break;
    case UITouch::Phase::ended:
        r.touchesEnded(touches, &event);
        break;
    case UITouch::Phase::cancelled:
        r.touchesCancelled(touches, &event);
        break;
    }
}
} // namespace

void UIWindow::deliver(UITouch::Phase phase, const UITouchSet& touches, const UIEvent& event) {
    for (const auto& weak : std::vector(touchRecognizers_))
        if (auto r = weak.lock(); r && r->isEnabled()) hand(*r, phase, touches, event);
    if (auto view = touches.front()->view()) hand(*view, phase, touches, event);
}

void UIWindow::sendTouch(UITouch::Phase phase, CGPoint point) {
    if (!std::isfinite(point.x) || !std::isfinite(point.y)) return;
    layoutIfNeeded();
    const auto keep = shared_from_this();
    const UIEvent event{currentClock().now()};
    if (phase == UITouch::Phase::began) {
        if (touch_) sendTouch(UITouch::Phase::cancelled, touch_->windowPoint_);
        const auto hit = hitTest(point, &event);
        if (!hit) return;
        const bool repeat =
            event.timestamp - lastTapTime_ <= doubleClickTime &&
            std::hypot(point.x - lastTapPoint_.x, point.y - lastTapPoint_.y) <= doubleClickDistance;
        lastTapCount_ = repeat ? lastTapCount_ + 1 : 1;
        lastTapTime_ = event.timestamp;
        lastTapPoint_ = point;
        touch_ = std::make_shared<UITouch>();
        touch_->tapCount_ = lastTapCount_;
        touch_->windowPoint_ = touch_->previousWindowPoint_ = point;
        touch_->view_ = hit;
        touch_->window_ = std::static_pointer_cast<UIWindow>(keep);
        touchRecognizers_.clear();
        for (std::shared_ptr<UIView> v = hit; v; v = v->superview())
            for (const auto& r : v->gestureRecognizers()) touchRecognizers_.push_back(r);
    } else {
        if (!touch_) return;
        touch_->previousWindowPoint_ = touch_->windowPoint_;
        touch_->windowPoint_ = point;
    }
    touch_->phase_ = phase;
    touch_->timestamp_ = event.timestamp;
    const UITouchSet touches{touch_};
    if (phase == UITouch::Phase::ended || phase == UITouch::Phase::cancelled) {
        touch_.reset();
        deliver(phase, touches, event);
        touchRecognizers_.clear();
    } else {
        deliver(phase, touches, event);
    }
}

void UIWindow::sendPinch(UIGestureRecognizer::State phase, CGPoint point, CGFloat scale) {
    using State = UIGestureRecognizer::State;
    layoutIfNeeded();
    const auto keep = shared_from_this();
    if (phase == State::began) {
        pinchRecognizers_.clear();
        const auto hit = hitTest(point, nullptr);
        for (std::shared_ptr<UIView> v = hit; v; v = v->superview())
            for (const auto& r : v->gestureRecognizers())
                if (std::dynamic_pointer_cast<UIPinchGestureRecognizer>(r)) pinchRecognizers_.push_back(r);
    }
    for (const auto& weak : std::vector(pinchRecognizers_))
        if (auto r = std::static_pointer_cast<UIPinchGestureRecognizer>(weak.lock()))
            r->pinch(phase, point, scale);
    if (phase == State::ended || phase == State::cancelled) pinchRecognizers_.clear();
}

} // namespace plat
