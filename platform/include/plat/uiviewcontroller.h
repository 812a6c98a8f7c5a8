#pragma once
// View controllers: a lazily built root view with load and layout callbacks, child controllers,
// modal presentation, segues by identifier; alerts and the document picker as presented
// controllers. A window shows alerts and pickers as its toolkit's own dialogs; a headless window
// keeps them presented until a test answers them. Main thread only.

#include "plat/uicontrol.h"
#include "plat/url.h"

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace plat {

class UIStoryboardSegue;

class UIViewController : public UIResponder, public std::enable_shared_from_this<UIViewController> {
public:
    UIViewController();
    virtual ~UIViewController();
    UIViewController(const UIViewController&) = delete;
    UIViewController& operator=(const UIViewController&) = delete;

    // Loads the view on first use (loadView, then viewDidLoad). Main thread only: elsewhere it
    // prints a warning and gives null without loading.
    std::shared_ptr<UIView> view();
    std::shared_ptr<UIView> viewIfLoaded() const { return view_; }
    bool isViewLoaded() const { return view_ != nullptr; }
    void setView(std::shared_ptr<UIView> view);

    virtual void viewDidLoad() {}
    // Around the view entering and leaving a window: as a window's root view controller, or
    // presented and dismissed.
    virtual void viewWillAppear(bool animated) { (void)animated; }
    virtual void viewDidAppear(bool animated) { (void)animated; }
    virtual void viewWillDisappear(bool animated) { (void)animated; }
    virtual void viewDidDisappear(bool animated) { (void)animated; }
    virtual void viewWillLayoutSubviews() {}
    virtual void viewDidLayoutSubviews() {}

    std::string title;

    // The controller presenting this one, else the view's superview, else the parent.
    UIResponder* nextResponder() const override;
    // The platform reports memory pressure: release what can be made again. Delivered on the main
    // thread to every view controller alive then that a shared pointer owns. The base counts them;
    // an override calls it.
    virtual void didReceiveMemoryWarning() { ++memoryWarnings_; }
    std::uint64_t memoryWarningsReceived() const { return memoryWarnings_; }

    // ---- children ----------------------------------------------------------------------------
    // Adds a child (calling willMove(toParent:) on it); the caller places the child's view and
    // then calls didMove(toParent:) on the child.
    void addChild(const std::shared_ptr<UIViewController>& child);
    // Calls didMove(toParent: null) on the controller after it has left its parent; the caller
    // calls willMove(toParent: null) first and removes the view.
    void removeFromParent();
    const std::vector<std::shared_ptr<UIViewController>>& children() const { return children_; }
    std::shared_ptr<UIViewController> parent() const { return parent_.lock(); }
    virtual void willMove(const std::shared_ptr<UIViewController>& parent) { (void)parent; }
    virtual void didMove(const std::shared_ptr<UIViewController>& parent) { (void)parent; }

    // ---- modal presentation ------------------------------------------------------------------
    // Presents over this controller's window; `completion` runs on the main queue once it is up.
    // Fails with a printed line when this controller's view is in no window or already presents.
    void present(const std::shared_ptr<UIViewController>& controller, bool animated,
                 std::function<void()> completion = {});
    // Dismisses what this controller presents, or this controller when it is presented.
    void dismiss(bool animated, std::function<void()> completion = {});
    std::shared_ptr<UIViewController> presentedViewController() const { return presented_; }
    std::shared_ptr<UIViewController> presentingViewController() const { return presenting_.lock(); }

    // ---- segues ------------------------------------------------------------------------------
    using SegueDestination = std::function<std::shared_ptr<UIViewController>()>;
    // What the stored interface declares: the destination made for a segue of this identifier.
    void registerSegue(const std::string& identifier, SegueDestination destination);
    // Makes the destination, calls prepare(for:sender:), then presents it. An unknown identifier
    // prints a line and does nothing.
    void performSegue(const std::string& identifier, std::any sender = {});
    virtual void prepare(UIStoryboardSegue& segue, const std::any& sender);

protected:
    // Builds the root view; the default makes a plain one. The interface built in code lives here.
    virtual void loadView();

private:
    friend class UIWindow;
    std::shared_ptr<UIView> view_;
    std::weak_ptr<UIViewController> parent_;
    std::vector<std::shared_ptr<UIViewController>> children_;
    std::shared_ptr<UIViewController> presented_;
    std::weak_ptr<UIViewController> presenting_;
    std::weak_ptr<UIWindow> presentedIn_;
    std::map<std::string, SegueDestination> segues_;
    bool loading_ = false;
    std::uint64_t memoryWarnings_ = 0;
};

class UIStoryboardSegue {
public:
    UIStoryboardSegue(std::optional<std::string> identifier, std::shared_ptr<UIViewController> source,
                      std::shared_ptr<UIViewController> destination)
        : identifier_(std::move(identifier)), source_(std::move(source)),
          destination_(std::move(destination)) {}
    const std::optional<std::string>& identifier() const { return identifier_; }
    const std::shared_ptr<UIViewController>& source() const { return source_; }
    const std::shared_ptr<UIViewController>& destination() const { return destination_; }

private:
    std::optional<std::string> identifier_;
    std::shared_ptr<UIViewController> source_;
    std::shared_ptr<UIViewController> destination_;
};

// The plug-in's view controller base.
class AUViewController : public UIViewController {};

// ---- alerts ----------------------------------------------------------------------------------

class UIAlertAction {
public:
    enum class Style { defaultStyle, cancel, destructive };
    using Handler = std::function<void(UIAlertAction&)>;
    UIAlertAction(std::string title, Style style, Handler handler = {})
        : title_(std::move(title)), style_(style), handler_(std::move(handler)) {}
    const std::string& title() const { return title_; }
    Style style() const { return style_; }

private:
    friend class UIAlertController;
    std::string title_;
    Style style_;
    Handler handler_;
};

class UIAlertController : public UIViewController {
public:
    enum class Style { actionSheet, alert };
    UIAlertController(std::string title, std::string message, Style style = Style::alert)
        : title_(std::move(title)), message_(std::move(message)), style_(style) {}

    const std::string& alertTitle() const { return title_; }
    const std::string& message() const { return message_; }
    Style preferredStyle() const { return style_; }
    void addAction(std::shared_ptr<UIAlertAction> action) { actions_.push_back(std::move(action)); }
    const std::vector<std::shared_ptr<UIAlertAction>>& actions() const { return actions_; }
    void addTextField(const std::function<void(UITextField&)>& configure = {});
    const std::vector<std::shared_ptr<UITextField>>& textFields() const { return fields_; }

    // The user pressed the button at `index`: the alert is dismissed, then the action's handler runs.
    // An index out of range does nothing.
    void performAction(std::size_t index);

private:
    std::string title_, message_;
    Style style_;
    std::vector<std::shared_ptr<UIAlertAction>> actions_;
    std::vector<std::shared_ptr<UITextField>> fields_;
};

// ---- document picker -------------------------------------------------------------------------

class UIDocumentPickerViewController;

class UIDocumentPickerDelegate {
public:
    virtual ~UIDocumentPickerDelegate() = default;
    virtual void documentPicker(UIDocumentPickerViewController& picker, const std::vector<URL>& urls) = 0;
    virtual void documentPickerWasCancelled(UIDocumentPickerViewController& picker) { (void)picker; }
};

class UIDocumentPickerViewController : public UIViewController {
public:
    enum class Mode { import = 0, open = 1, exportToService = 2, moveToService = 3 };
    UIDocumentPickerViewController(std::vector<std::string> documentTypes, Mode mode)
        : types_(std::move(documentTypes)), mode_(mode) {}

    const std::vector<std::string>& documentTypes() const { return types_; }
    Mode mode() const { return mode_; }
    std::weak_ptr<UIDocumentPickerDelegate> delegate;
    bool allowsMultipleSelection = false;

    // The user chose these files (or cancelled): the picker is dismissed, then the delegate told.
    void pick(const std::vector<URL>& urls);
    void cancel();

private:
    std::vector<std::string> types_;
    Mode mode_;
};

} // namespace plat
