#include "plat/uiviewcontroller.h"

#include "plat/console.h"
#include "plat/dispatch.h"
#include "plat/uiwindow.h"

#include "WindowBackend.h"

#include <algorithm>
#include <mutex>

namespace plat {

// ---- the live controllers, for memory warnings ---------------------------------------------------
// A controller may be made and dropped off the main thread (the plug-in's, by the thread that
// instantiates it), so the list has a lock of its own; nothing else in the view layer does.

namespace {
std::mutex& liveMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}
std::vector<UIViewController*>& live() {
    static auto* controllers = new std::vector<UIViewController*>;
    return *controllers;
}
} // namespace

UIViewController::UIViewController() {
    std::lock_guard<std::mutex> lock(liveMutex());
    live().push_back(this);
}

UIViewController::~UIViewController() {
    std::lock_guard<std::mutex> lock(liveMutex());
    std::erase(live(), this);
}

void deliverMemoryWarning() {
    std::vector<std::shared_ptr<UIViewController>> targets;
    {
        // One on its way out is still listed until its destructor reaches the lock, but can no
        // longer be locked: it is skipped.
        std::lock_guard<std::mutex> lock(liveMutex());
        for (UIViewController* controller : live())
            if (auto alive = controller->weak_from_this().lock()) targets.push_back(std::move(alive));
    }
    for (const auto& controller : targets) controller->didReceiveMemoryWarning();
}

UIResponder* UIViewController::nextResponder() const {
    if (const auto presenter = presenting_.lock()) return presenter.get();
    if (view_)
        if (const auto superview = view_->superview()) return superview.get();
    return parent_.lock().get();
}

std::shared_ptr<UIView> UIViewController::view() {
    if (view_ || loading_) return view_;
    if (!isMainThread()) {
        Console::shared().print("UIViewController: WARNING: a view is loaded on the main thread only.\n");
        return nullptr;
    }
    loading_ = true;
    loadView();
    if (!view_) setView(std::make_shared<UIView>());
    loading_ = false;
    viewDidLoad();
    return view_;
}

void UIViewController::setView(std::shared_ptr<UIView> view) {
    if (view_) view_->owner_.reset();
    view_ = std::move(view);
    if (view_) {
        view_->owner_ = weak_from_this();
        view_->setNeedsLayout();
    }
}

void UIViewController::loadView() {
    setView(std::make_shared<UIView>());
}

void UIViewController::addChild(const std::shared_ptr<UIViewController>& child) {
    if (!child || child.get() == this) return;
    if (child->parent().get() == this) return;
    child->willMove(shared_from_this());
    if (auto old = child->parent()) std::erase(old->children_, child);
    child->parent_ = weak_from_this();
    children_.push_back(child);
}

void UIViewController::removeFromParent() {
    auto parent = parent_.lock();
    if (!parent) return;
    const auto keep = shared_from_this();
    std::erase(parent->children_, keep);
    parent_.reset();
    didMove(nullptr);
}

void UIViewController::present(const std::shared_ptr<UIViewController>& controller, bool animated,
                               std::function<void()> completion) {
    if (!controller) return;
    if (presented_) {
        Console::shared().writeLine("UIViewController: WARNING: already presenting a view controller.");
        return;
    }
    const auto v = view();
    const auto window = v ? v->window() : nullptr;
    if (!window) {
        Console::shared().writeLine(
            "UIViewController: WARNING: cannot present from a view that is not in a window.");
        return;
    }
    presented_ = controller;
    controller->presenting_ = weak_from_this();
    controller->presentedIn_ = window;
    controller->view();
    controller->viewWillAppear(animated);
    window->presentModal(controller);
    controller->viewDidAppear(animated);
    if (completion) MainQueue::async(std::move(completion));
}

void UIViewController::dismiss(bool animated, std::function<void()> completion) {
    if (!presented_) {
        if (auto presenter = presenting_.lock()) presenter->dismiss(animated, std::move(completion));
        return;
    }
    const auto gone = std::move(presented_);
    presented_.reset();
    gone->presenting_.reset();
    gone->viewWillDisappear(animated);
    if (auto window = gone->presentedIn_.lock()) window->dismissModal(gone);
    gone->presentedIn_.reset();
    gone->viewDidDisappear(animated);
    if (completion) MainQueue::async(std::move(completion));
}

void UIViewController::registerSegue(const std::string& identifier, SegueDestination destination) {
    segues_[identifier] = std::move(destination);
}

void UIViewController::performSegue(const std::string& identifier, std::any sender) {
    const auto it = segues_.find(identifier);
    auto destination = it == segues_.end() || !it->second ? nullptr : it->second();
    if (!destination) {
        Console::shared().writeLine("UIViewController: ERROR: no segue with the identifier '" + identifier +
                                    "'.");
        return;
    }
    UIStoryboardSegue segue(identifier, shared_from_this(), destination);
    prepare(segue, sender);
    present(destination, true);
}

void UIViewController::prepare(UIStoryboardSegue&, const std::any&) {}

// ---- alerts ------------------------------------------------------------------------------------

void UIAlertController::addTextField(const std::function<void(UITextField&)>& configure) {
    auto field = std::make_shared<UITextField>();
    if (configure) configure(*field);
    fields_.push_back(std::move(field));
}

void UIAlertController::performAction(std::size_t index) {
    if (index >= actions_.size()) return;
    const auto keep = std::static_pointer_cast<UIAlertController>(shared_from_this());
    const auto action = actions_[index];
    dismiss(true);
    if (action->handler_) action->handler_(*action);
}

// ---- document picker ---------------------------------------------------------------------------

void UIDocumentPickerViewController::pick(const std::vector<URL>& urls) {
    const auto keep = shared_from_this();
    dismiss(true);
    if (auto d = delegate.lock()) d->documentPicker(*this, urls);
}

void UIDocumentPickerViewController::cancel() {
    const auto keep = shared_from_this();
    dismiss(true);
    if (auto d = delegate.lock()) d->documentPickerWasCancelled(*this);
}

} // namespace plat
