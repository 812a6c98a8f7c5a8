// The extension's stored interface, built in code: the controller's view tree, its outlets and the
// actions of its controls and gesture recognisers.
//
// Root view: the panel container (plate, meter underlay, panel, each filling it), the info banner
// centred over it, and the colour controls in the top-left corner, hidden until a long press. The
// five recognisers sit on the root view, so they see every touch of the plug-in's area. Actions
// reach the controller through weak references: the views never keep it alive.
#include "AudioUnitViewController.h"

#include "Helpers.h"

#include <algorithm>

using plat::CGRect;
using plat::UIColor;

namespace {

class ExtensionRootView : public plat::UIView {
public:
    std::weak_ptr<plat::UIView> banner;

protected:
    void layoutSubviews() override {
        UIView::layoutSubviews();
        if (auto b = banner.lock()) {
            const CGRect r = bounds();
            const plat::CGFloat w = std::min<plat::CGFloat>(320, std::max<plat::CGFloat>(r.width() - 20, 1));
            b->setFrame({(r.width() - w) / 2, r.height() / 2 - 30, w, 60});
        }
    }
};

template <class Sender, class Base>
auto connect(const std::weak_ptr<AudioUnitViewController>& controller,
             void (AudioUnitViewController::*action)(Sender&)) {
    return [controller, action](Base& sender) {
        if (auto c = controller.lock()) ((*c).*action)(static_cast<Sender&>(sender));
    };
}

template <class Sender>
auto control(const std::weak_ptr<AudioUnitViewController>& c,
             void (AudioUnitViewController::*action)(Sender&)) {
    return connect<Sender, plat::UIControl>(c, action);
}

template <class Sender>
auto gesture(const std::weak_ptr<AudioUnitViewController>& c,
             void (AudioUnitViewController::*action)(Sender&)) {
    return connect<Sender, plat::UIGestureRecognizer>(c, action);
}

} // namespace

void AudioUnitViewController::loadView() {
    const std::weak_ptr<AudioUnitViewController> self =
        std::static_pointer_cast<AudioUnitViewController>(shared_from_this());

    auto root = std::make_shared<ExtensionRootView>();
    root->setFrame({0, 0, 512, 512});
    root->setBackgroundColor(UIColor{0.08, 0.08, 0.08, 1});

    pluginView = std::make_shared<plat::UIView>(CGRect{0, 0, 512, 512});
    pluginView->setHidden(true); // shown by viewDidLoad
    root->addSubview(pluginView);
    pluginFrame = std::make_shared<PluginFrameEx>(CGRect{0, 0, 512, 512});
    underlay = std::make_shared<SorvaneUnderlay>(CGRect{0, 0, 512, 512});
    mainView = std::make_shared<SorvaneView>(CGRect{0, 0, 512, 512});
    for (const std::shared_ptr<plat::UIView>& layer :
         {std::shared_ptr<plat::UIView>(pluginFrame), std::shared_ptr<plat::UIView>(underlay),
          std::shared_ptr<plat::UIView>(mainView)}) {
        pluginView->addSubview(layer);
        pinToSuperviewEdges(*layer);
    }

    infoView = std::make_shared<plat::UIView>(CGRect{96, 226, 320, 60});
    infoView->setBackgroundColor(UIColor{0, 0, 0, 0.7});
    infoView->setHidden(true);
    infoView->setAlpha(0);
    infoView->setUserInteractionEnabled(false);
    root->addSubview(infoView);
    root->banner = infoView;
    infoMessage = std::make_shared<plat::UILabel>(CGRect{0, 0, 320, 60});
    infoMessage->setTextColor(UIColor::white());
    infoMessage->setTextAlignment(plat::NSTextAlignment::center);
    infoView->addSubview(infoMessage);
    pinToSuperviewEdges(*infoMessage);

    contrastButton = std::make_shared<plat::UIButton>(CGRect{12, 12, 110, 32});
    contrastButton->setTitle("Contrast");
    freezeButton = std::make_shared<plat::UIButton>(CGRect{12, 52, 110, 32});
    freezeButton->setTitle("Freeze");
    for (const auto& button : {contrastButton, freezeButton}) {
        button->setHidden(true);
        button->setAlpha(0.5);
        root->addSubview(button);
    }
    brightnessSlider = std::make_shared<plat::UISlider>(CGRect{130, 12, 220, 32});
    brightnessSlider->setRange(0, 1);
    brightnessSlider->setValue(0.2f);
    brightnessSlider->setHidden(true);
    root->addSubview(brightnessSlider);

    contrastButton->addTarget(control(self, &AudioUnitViewController::onContrastButton),
                              plat::UIControlEvents::touchUpInside);
    brightnessSlider->addTarget(control(self, &AudioUnitViewController::onBrightnessSlider),
                                plat::UIControlEvents::valueChanged);
    freezeButton->addTarget(control(self, &AudioUnitViewController::onFreezeButton),
                            plat::UIControlEvents::touchUpInside);

    panGesture = std::make_shared<plat::UIPanGestureRecognizer>();
    panGesture->addTarget(gesture(self, &AudioUnitViewController::onPanGesture));
    pinchGesture = std::make_shared<plat::UIPinchGestureRecognizer>();
    pinchGesture->addTarget(gesture(self, &AudioUnitViewController::onPinchGesture));
    doubleTapGesture = std::make_shared<plat::UITapGestureRecognizer>();
    doubleTapGesture->numberOfTapsRequired = 2;
    doubleTapGesture->addTarget(gesture(self, &AudioUnitViewController::onDoubleTapGesture));
    tapGesture = std::make_shared<plat::UITapGestureRecognizer>();
    tapGesture->addTarget(gesture(self, &AudioUnitViewController::onTapGesture));
    longPressGesture = std::make_shared<plat::UILongPressGestureRecognizer>();
    longPressGesture->minimumPressDuration = 0.5;
    longPressGesture->addTarget(gesture(self, &AudioUnitViewController::onlongPressGesture));
    for (const std::shared_ptr<plat::UIGestureRecognizer>& r :
         {std::shared_ptr<plat::UIGestureRecognizer>(panGesture),
          std::shared_ptr<plat::UIGestureRecognizer>(pinchGesture),
          std::shared_ptr<plat::UIGestureRecognizer>(doubleTapGesture),
          std::shared_ptr<plat::UIGestureRecognizer>(tapGesture),
          std::shared_ptr<plat::UIGestureRecognizer>(longPressGesture)})
        root->addGestureRecognizer(r);

    setView(root);
}
