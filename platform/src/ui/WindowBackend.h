// What a window needs from the toolkit that shows it (or from nothing, headless).
#pragma once

#include "plat/uiwindow.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plat {

struct UIWindow::Backend {
    virtual ~Backend() = default;
    virtual bool onScreen() const { return false; }
    virtual void show() {}
    virtual void resize(CGSize) {}
    virtual void setMinimumSize(CGSize) {}
    // The parts that changed, in window points; none: everything.
    virtual void setNeedsDraw(const std::optional<std::vector<CGRect>>&) {}
    virtual void close() {}
    // Alerts and document pickers; true when the toolkit shows them.
    virtual bool presentDialog(const std::shared_ptr<UIViewController>&) { return false; }
    virtual void dismissDialog(const UIViewController*) {}
    virtual bool placeNativeWidget(void*, const std::shared_ptr<UIView>&) { return false; }
    virtual void layoutNative() {}
    virtual bool screenshot(const std::string&, std::string*) { return false; }
    virtual void* nativeWindow() const { return nullptr; }
    virtual unsigned long nativeWindowId() const { return 0; }
};

// Makes GLib's main context the main run loop's host (once), so its sources (toolkit events, web
// views, child watches) are served with the loop's own work, with or without a window.
void serveGLibMainContext();

// Calls didReceiveMemoryWarning on every view controller alive now that a shared pointer owns.
// Main thread.
void deliverMemoryWarning();

// Null with a reason when no display can be opened.
std::unique_ptr<UIWindow::Backend> makeGtkBackend(UIWindow& window, CGSize size, const std::string& title,
                                                  std::string& error);

} // namespace plat
