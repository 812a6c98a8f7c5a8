// View controllers: loading, layout callbacks, children, presentation, segues, alerts.
#include "ConsoleCapture.h"

#include "plat/uiwindow.h"

#include <gtest/gtest.h>

namespace {
class Probe : public plat::UIViewController {
public:
    void viewDidLoad() override { events.push_back("load"); }
    void viewDidLayoutSubviews() override { events.push_back("layout"); }
    void didMove(const std::shared_ptr<plat::UIViewController>& parent) override {
        events.push_back(parent ? "in" : "out");
    }
    void prepare(plat::UIStoryboardSegue& segue, const std::any&) override {
        events.push_back("prepare " + segue.identifier().value_or("") + (segue.destination() ? " to" : ""));
    }
    std::vector<std::string> events;
};
} // namespace

TEST(ViewController, LoadsOnceAndHearsLayout) {
    auto vc = std::make_shared<Probe>();
    EXPECT_FALSE(vc->isViewLoaded());
    const auto view = vc->view();
    EXPECT_EQ(vc->view(), view);
    auto window = plat::UIWindow::makeHeadless({300, 200});
    window->setRootViewController(vc);
    window->layoutIfNeeded();
    EXPECT_EQ(view->frame(), plat::CGRect(0, 0, 300, 200));
    window->setSize({400, 200});
    EXPECT_EQ(vc->events, (std::vector<std::string>{"load", "layout", "layout"}));
}

TEST(ViewController, ChildrenPresentationAndSegues) {
    auto window = plat::UIWindow::makeHeadless({300, 200});
    auto vc = std::make_shared<Probe>();
    window->setRootViewController(vc);
    auto child = std::make_shared<Probe>();
    vc->addChild(child);
    child->didMove(vc);
    EXPECT_EQ(child->parent(), vc);
    child->removeFromParent();
    EXPECT_TRUE(vc->children().empty());
    EXPECT_EQ(child->events, (std::vector<std::string>{"in", "out"}));

    vc->registerSegue("ShowHelp", [] { return std::make_shared<Probe>(); });
    vc->performSegue("ShowHelp");
    auto shown = vc->presentedViewController();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->view()->superview(), window);
    EXPECT_EQ(vc->events.back(), "prepare ShowHelp to");
    shown->dismiss(true);
    EXPECT_FALSE(vc->presentedViewController());
    EXPECT_EQ(shown->viewIfLoaded()->superview(), nullptr);

    ConsoleCapture console;
    vc->performSegue("Nowhere");
    auto loose = std::make_shared<Probe>();
    loose->present(std::make_shared<Probe>(), true);
    EXPECT_EQ(console.text(),
              "UIViewController: ERROR: no segue with the identifier 'Nowhere'.\n"
              "UIViewController: WARNING: cannot present from a view that is not in a window.\n");
}

TEST(ViewController, AnsweredAlertIsDismissedBeforeItsHandlerRuns) {
    auto window = plat::UIWindow::makeHeadless({300, 200});
    auto vc = std::make_shared<plat::UIViewController>();
    window->setRootViewController(vc);
    auto alert = std::make_shared<plat::UIAlertController>("T", "M");
    bool presentedDuringHandler = true;
    alert->addAction(std::make_shared<plat::UIAlertAction>(
        "OK", plat::UIAlertAction::Style::defaultStyle,
        [&](plat::UIAlertAction&) { presentedDuringHandler = vc->presentedViewController() != nullptr; }));
    vc->present(alert, true);
    EXPECT_EQ(vc->presentedViewController(), alert);
    alert->performAction(5); // no such button
    alert->performAction(0);
    EXPECT_FALSE(presentedDuringHandler);
}
