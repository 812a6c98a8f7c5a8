// The application's main storyboard, built in code: the main screen as the initial view controller,
// its view tree, outlets and actions, and the two segues to the help screen.
//
// A bar along the top holds the title and the buttons (unit, info, help, and play and stop in one
// place, one of them shown); the plug-in container fills the rest. Actions reach the controller
// through weak references: the views never keep it alive.
#include "HelpViewController.h"
#include "ViewController.h"

#include "plat/uiapplication.h"

namespace {

constexpr plat::CGFloat kBarHeight = 56;
constexpr plat::CGSize kButton{96, 36};
constexpr plat::CGFloat kMargin = 16, kGap = 10, kTitleWidth = 150;

class MainRootView : public plat::UIView {
public:
    using UIView::UIView;
    // Right to left from the bar's end; play and stop share the last place.
    std::vector<std::vector<std::weak_ptr<plat::UIView>>> barPlaces;

protected:
    void layoutSubviews() override {
        UIView::layoutSubviews();
        plat::CGFloat x = bounds().width() - kMargin;
        for (const auto& place : barPlaces) {
            x -= kButton.width;
            for (const auto& weak : place)
                if (const auto view = weak.lock())
                    view->setFrame({x, (kBarHeight - kButton.height) / 2, kButton.width, kButton.height});
            x -= kGap;
        }
    }
};

std::shared_ptr<plat::UIButton> button(const std::string& title) {
    auto made = std::make_shared<plat::UIButton>(plat::CGRect{0, 0, kButton.width, kButton.height});
    made->setTitle(title);
    return made;
}

template <class Action>
void connect(const std::shared_ptr<plat::UIButton>& control, const std::weak_ptr<ViewController>& controller,
             Action action) {
    control->addTarget(
        [controller, action](plat::UIControl& sender) {
            if (const auto c = controller.lock()) action(*c, static_cast<plat::UIButton&>(sender));
        },
        plat::UIControlEvents::touchUpInside);
}

const bool declared = plat::UIStoryboard::declare("Main", [] { return std::make_shared<ViewController>(); });

} // namespace

// The title and the four button places side by side, and a panel below the bar.
plat::CGSize ViewController::minimumSize() {
    return {kMargin + kTitleWidth + kMargin + 4 * kButton.width + 3 * kGap + kMargin, kBarHeight + 344};
}

void ViewController::loadView() {
    const std::weak_ptr<ViewController> self = std::static_pointer_cast<ViewController>(shared_from_this());

    auto root = std::make_shared<MainRootView>(plat::CGRect{0, 0, 1024, 768});
    root->setBackgroundColor(plat::UIColor{0.16, 0.16, 0.17, 1});

    auto title = std::make_shared<plat::UILabel>(plat::CGRect{kMargin, 10, kTitleWidth, 36});
    title->setText("YUX Sorvane");
    title->setTextColor(plat::UIColor::white());
    title->setFont(plat::UIFont::systemFont(20));
    root->addSubview(title);

    pluginView = std::make_shared<plat::UIView>(plat::CGRect{0, kBarHeight, 1024, 768 - kBarHeight});
    pluginView->setBackgroundColor(plat::UIColor{0.08, 0.08, 0.08, 1});
    pluginView->setClipsToBounds(true); // a panel moved or scaled past it leaves the bar alone
    root->addSubview(pluginView);
    plat::NSLayoutConstraint::activate({
        pluginView->topAnchor().constraint(root->topAnchor(), kBarHeight),
        pluginView->leadingAnchor().constraint(root->leadingAnchor()),
        pluginView->bottomAnchor().constraint(root->bottomAnchor()),
        pluginView->trailingAnchor().constraint(root->trailingAnchor()),
    });

    buttonUnit = button("Unit");
    buttonInfo = button("Info");
    buttonHelp = button("Help");
    playButton = button("Play");
    stopButton = button("Stop");
    root->barPlaces = {{buttonHelp}, {buttonInfo}, {buttonUnit}, {playButton, stopButton}};
    for (const auto& b : {buttonUnit, buttonInfo, buttonHelp, playButton, stopButton}) root->addSubview(b);

    connect(buttonUnit, self, [](ViewController& c, plat::UIButton& sender) { c.onButtonUnit(&sender); });
    connect(playButton, self, [](ViewController& c, plat::UIButton& sender) { c.onPlayButton(sender); });
    connect(stopButton, self, [](ViewController& c, plat::UIButton& sender) { c.onStopButton(sender); });
    connect(buttonHelp, self, [](ViewController& c, plat::UIButton& sender) { c.showHelp(&sender); });
    connect(buttonInfo, self,
            [](ViewController& c, plat::UIButton& sender) { c.performSegue("ShowInfo", std::any(&sender)); });

    const auto helpScreen = [] { return std::make_shared<HelpViewController>(); };
    registerSegue("ShowHelp", helpScreen);
    registerSegue("ShowInfo", helpScreen);

    setView(root);
}
