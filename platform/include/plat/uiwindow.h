#pragma once
// Windows: the root of a view tree, shown on screen through GTK 3 or kept headless.
//
// On screen, a drawing area inside an overlay shows the tree through cairo; native widgets can be
// laid over views (see placeNativeWidget). Mouse and touchpad stand in for touch: the left button is
// a touch, a double click a second tap, a held press a long press, a touchpad pinch or Ctrl + wheel
// a pinch. Opening the first on-screen window makes the GTK main loop the main thread's run loop,
// so timers, main-queue work and input interleave in one loop.
//
// Headless, the same tree renders to images and PNG files, and input is injected through the same
// calls the toolkit's events go through. Main thread only.

#include "plat/error.h"
#include "plat/image.h"
#include "plat/uigesture.h"
#include "plat/uiviewcontroller.h"

#include <functional>
#include <memory>
#include <string>

namespace plat {

class UIWindow : public UIView {
public:
    struct Backend;

    // A window that only renders to images.
    static std::shared_ptr<UIWindow> makeHeadless(CGSize size);
    // A GTK window of that size, or an error when there is no display to open it on.
    static Result<std::shared_ptr<UIWindow>> makeOnScreen(CGSize size, const std::string& title);

    ~UIWindow() override;

    bool isOnScreen() const;
    // The application.
    UIResponder* nextResponder() const override;
    std::shared_ptr<UIViewController> rootViewController() const { return root_; }
    // The controller's view fills the window from then on.
    void setRootViewController(std::shared_ptr<UIViewController> controller);
    // Shows the window (on screen) and lays it out.
    void makeKeyAndVisible();
    // Resizes the window and its tree (on screen the toolkit window follows), never below the
    // minimum size.
    void setSize(CGSize size);
    // The smallest size the window may take, by the user's hand too; none at first.
    CGSize minimumSize() const { return minimumSize_; }
    void setMinimumSize(CGSize size);
    // Called when the user closes an on-screen window.
    std::function<void()> onClose;
    // Hides and releases the on-screen window.
    void close();

    // ---- rendering ---------------------------------------------------------------------------
    // Lays out, redraws what is stale and composites the tree; with `parts` (the context's units),
    // only those, each cleared and composited on its own.
    void renderInto(CGContext& ctx, CGFloat pixelScale = 1, std::span<const CGRect> parts = {});
    std::unique_ptr<ImageSurface> snapshot();
    // The tree as rendered now, written atomically as PNG.
    bool writePNG(const std::string& path, std::string* error = nullptr);
    // On screen: the window's pixels as the display server shows them, written atomically as PNG.
    // Headless: the same as writePNG. A window of more than kLargestScreenshot points is refused
    // before any of its pixels are read: their copies would take gigabytes.
    static constexpr double kLargestScreenshot = 8192.0 * 8192.0;
    bool writeScreenshot(const std::string& path, std::string* error = nullptr);
    // Renders done so far (on screen: draws the toolkit asked for).
    std::uint64_t renderCount() const { return renders_; }

    // ---- input, in window points -------------------------------------------------------------
    // One road for toolkit events and injected input. A touch goes to the view under its
    // down-point and to every recogniser on that view and its ancestors. The tap count grows for a
    // press within the double-click time and distance of the previous one.
    void sendTouch(UITouch::Phase phase, CGPoint point);
    // A pinch step at `point`: to every pinch recogniser on the view there and its ancestors.
    void sendPinch(UIGestureRecognizer::State phase, CGPoint point, CGFloat scale);
    std::chrono::nanoseconds doubleClickTime{std::chrono::milliseconds(400)};
    CGFloat doubleClickDistance = 5;

    // ---- native widgets ----------------------------------------------------------------------
    // Keeps a native toolkit widget (a GtkWidget*) over `host`'s frame, following it on every
    // layout and hidden while the host is not visible. False on a headless window.
    bool placeNativeWidget(void* widget, const std::shared_ptr<UIView>& host);
    // The native toplevel (a GtkWindow*), or null.
    void* nativeWindow() const;
    // The X11 window id of an on-screen window, 0 otherwise (for tools that drive it).
    unsigned long nativeWindowId() const;

    // Called by views when they need layout or display: one pass on the main loop lays out and asks
    // the toolkit to draw again what changed, `damage` (window points) or, without it, everything.
    void scheduleUpdate(std::optional<CGRect> damage = std::nullopt);

protected:
    void layoutSubviews() override;

private:
    friend class UIViewController;
    UIWindow(CGSize size);
    void presentModal(const std::shared_ptr<UIViewController>& controller);
    void dismissModal(const std::shared_ptr<UIViewController>& controller);
    void deliver(UITouch::Phase phase, const UITouchSet& touches, const UIEvent& event);

    std::unique_ptr<Backend> backend_;
    std::shared_ptr<UIViewController> root_;
    bool rootAppeared_ = false;
    std::vector<std::weak_ptr<UIView>> filling_; // the root view and modal views fill the window
    std::shared_ptr<UITouch> touch_;
    std::vector<std::weak_ptr<UIGestureRecognizer>> touchRecognizers_;
    std::chrono::nanoseconds lastTapTime_{-1'000'000'000'000};
    CGPoint lastTapPoint_;
    int lastTapCount_ = 0;
    std::vector<std::weak_ptr<UIGestureRecognizer>> pinchRecognizers_;
    CGSize minimumSize_;
    bool updateScheduled_ = false;
    std::vector<CGRect> damage_;
    bool damagedAll_ = false;
    std::uint64_t renders_ = 0;
};

} // namespace plat
