// Responders: the chain from a view up to the application and canPerformAction along it; memory
// warnings raised through the platform's monitor reaching the live view controllers.
#include "plat/dispatch.h"
#include "plat/uiapplication.h"
#include "plat/uiwindow.h"

#include <gtest/gtest.h>

#include <thread>

using plat::UIResponder;
using plat::UIView;
using plat::UIViewController;

namespace {

class Screen : public UIViewController {
public:
    explicit Screen(std::initializer_list<const char*> actions, std::string refused = {})
        : refused_(std::move(refused)) {
        for (const char* action : actions) registerAction(action);
    }
    // An override up the chain is asked as such: one action is refused here.
    bool canPerformAction(const plat::Selector& action, const std::any& sender) const override {
        return action != refused_ && UIViewController::canPerformAction(action, sender);
    }

private:
    std::string refused_;
};

std::shared_ptr<UIView> viewWith(std::initializer_list<const char*> actions) {
    auto view = std::make_shared<UIView>(plat::CGRect{0, 0, 50, 50});
    for (const char* action : actions) view->registerAction(action);
    return view;
}

} // namespace

TEST(Responders, AnActionIsAnsweredByTheFirstResponderUpTheChainThatImplementsIt) {
    plat::UIApplication::shared().registerAction("terminate:");
    auto window = plat::UIWindow::makeHeadless({200, 200});
    auto screen = std::make_shared<Screen>(std::initializer_list<const char*>{"showHelp:", "find:"});
    window->setRootViewController(screen);
    auto container = viewWith({"paste:"});
    screen->view()->addSubview(container);
    // A child controller whose root view sits in the container, refusing "find:".
    auto child = std::make_shared<Screen>(std::initializer_list<const char*>{"copy:"}, "find:");
    screen->addChild(child);
    container->addSubview(child->view());
    auto leaf = viewWith({"selectAll:"});
    child->view()->addSubview(leaf);
    // A child whose view is in no tree answers through its parent.
    auto unplaced = std::make_shared<Screen>(std::initializer_list<const char*>{});
    screen->addChild(unplaced);
    unplaced->view();
    // A presented screen: its view fills the window, and its chain goes to the one presenting it.
    auto presented = std::make_shared<Screen>(std::initializer_list<const char*>{"dismiss:"});
    screen->present(presented, false);
    ASSERT_EQ(screen->presentedViewController(), presented);
    auto presentedLeaf = viewWith({});
    presented->view()->addSubview(presentedLeaf);
    auto alert = std::make_shared<plat::UIAlertController>("t", "m");
    presented->present(alert, false);
    ASSERT_EQ(presented->presentedViewController(), alert);
    auto orphan = viewWith({});

    struct Row {
        const char* fault;
        const UIResponder* responder;
        const char* action;
        bool answer;
    };
    const Row rows[] = {
        {"its own action refused", leaf.get(), "selectAll:", true},
        {"a root view skipping its controller", leaf.get(), "copy:", true},
        {"a controller skipping its view's superview", leaf.get(), "paste:", true},
        {"the chain stopping at a child controller", leaf.get(), "showHelp:", true},
        {"an override up the chain not asked", leaf.get(), "find:", false},
        {"the window not reaching the application", leaf.get(), "terminate:", true},
        {"an action nobody implements granted", leaf.get(), "print:", false},
        {"a controller asking its children", screen.get(), "copy:", false},
        {"an unplaced child not reaching its parent", unplaced.get(), "showHelp:", true},
        {"a presented screen going to the window past its presenter", presentedLeaf.get(), "showHelp:", true},
        {"a presented screen's own action refused", presentedLeaf.get(), "dismiss:", true},
        {"an alert not reaching its presenter", alert.get(), "dismiss:", true},
        {"an alert not reaching the presenter's presenter", alert.get(), "find:", true},
        {"a view in no window reaching the application", orphan.get(), "terminate:", false},
        {"the window's answer", window.get(), "terminate:", true},
        {"the application answering past the chain's end", &plat::UIApplication::shared(), "copy:", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.responder->canPerformAction(row.action, std::any(1)), row.answer) << row.fault;

    // The next responders themselves.
    EXPECT_EQ(leaf->nextResponder(), child->view().get());
    EXPECT_EQ(child->view()->nextResponder(), child.get());
    EXPECT_EQ(child->nextResponder(), container.get());
    EXPECT_EQ(screen->view()->nextResponder(), screen.get());
    EXPECT_EQ(screen->nextResponder(), window.get());
    EXPECT_EQ(presented->nextResponder(), screen.get());
    EXPECT_EQ(window->nextResponder(), &plat::UIApplication::shared());
    EXPECT_EQ(plat::UIApplication::shared().nextResponder(), nullptr);
    EXPECT_EQ(orphan->nextResponder(), nullptr);
    alert->performAction(0);
    screen->dismiss(false);
}

namespace {

// Records each warning it gets and whether it came on the main thread.
class Listener : public UIViewController {
public:
    explicit Listener(std::shared_ptr<std::vector<std::string>> log, std::string name)
        : log_(std::move(log)), name_(std::move(name)) {}
    void didReceiveMemoryWarning() override {
        UIViewController::didReceiveMemoryWarning();
        log_->push_back(name_ + (plat::isMainThread() ? "" : " off the main thread"));
    }

private:
    std::shared_ptr<std::vector<std::string>> log_;
    std::string name_;
};

bool waitFor(const std::function<bool()>& done) {
    return plat::RunLoop::main().runUntil(done, std::chrono::seconds(30));
}

} // namespace

TEST(MemoryWarnings, ReachTheLiveViewControllersOnTheMainThread) {
    auto& application = plat::UIApplication::shared();
    application.watchMemoryPressure();
    auto log = std::make_shared<std::vector<std::string>>();
    auto first = std::make_shared<Listener>(log, "first");
    auto gone = std::make_shared<Listener>(log, "gone");
    auto late = std::make_shared<Listener>(log, "late");
    auto plain = std::make_shared<UIViewController>(); // the base counts what it gets
    gone.reset();
    // Raised on another thread, as the system's monitor may.
    std::thread([&] { application.simulateMemoryWarning(); }).join();
    EXPECT_TRUE(log->empty()) << "handed to the main queue, not run where it was raised";
    late.reset(); // gone before the main loop served the warning
    auto second = std::make_shared<Listener>(log, "second");
    ASSERT_TRUE(waitFor([&] { return log->size() >= 2; }));
    plat::RunLoop::main().drain();
    EXPECT_EQ(*log, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(plain->memoryWarningsReceived(), 1u);
    EXPECT_EQ(first->memoryWarningsReceived(), 1u);

    application.simulateMemoryWarning(); // from the main thread as well, through the queue
    ASSERT_TRUE(waitFor([&] { return log->size() >= 4; }));
    EXPECT_EQ(*log, (std::vector<std::string>{"first", "second", "first", "second"}));
    EXPECT_EQ(plain->memoryWarningsReceived(), 2u);
}
