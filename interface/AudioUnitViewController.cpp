#include "AudioUnitViewController.h"

#include "plat/console.h"
#include "plat/dispatch.h"
#include "plat/files.h"

#include <climits>
#include <cmath>

using plat::CGAffineTransform;
using plat::Console;
using plat::UIGestureRecognizer;

namespace {
void say(const std::string& line) {
    Console::shared().writeLine(line);
}
} // namespace

AudioUnitViewController::AudioUnitViewController() = default;

AudioUnitViewController::~AudioUnitViewController() {
    if (timer_) timer_->invalidate();
    for (const auto& tween : bannerTweens_) // a banner does not outlive its controller
        if (const auto running = tween.lock()) running->stop();
    disconnect();
}

// ---- factory -------------------------------------------------------------------------------------

plat::Result<std::shared_ptr<plat::AUAudioUnit>>
AudioUnitViewController::createAudioUnit(const plat::AudioComponentDescription& description) {
    auto made = YUX_Sorvane_Extension_AudioUnit::make(description, 0);
    if (!made) return made.error();
    std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> unit = std::move(made).value();
    // The controller's state belongs to the main thread: the unit is handed over there.
    auto self = std::static_pointer_cast<AudioUnitViewController>(shared_from_this());
    plat::MainQueue::async([self, unit] { self->adopt(unit); });
    return std::shared_ptr<plat::AUAudioUnit>(unit);
}

void AudioUnitViewController::adopt(std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> unit) {
    say("AU Diagnostics: AUAudioUnit::didSet()");
    audioUnit_ = std::move(unit);
    if (!isViewLoaded()) {
        say("AU Diagnostics: WARNING: Plugin view is not loaded.");
        return;
    }
    connectIfReady();
}

void AudioUnitViewController::connectIfReady() {
    if (!audioUnit_ || connectedUnit_ == audioUnit_) return;
    connectedUnit_ = audioUnit_;
    say("AU Diagnostics: We are about to connect the audio unit to its view controller.");
    mainView->setViewController(std::static_pointer_cast<AudioUnitViewController>(shared_from_this()));
    setPaths();
    connectParameters();
    updateView();
    mainView->setFrequencies(audioUnit_->getFrequencies());
}

void AudioUnitViewController::setPaths() {
    if (!audioUnit_) {
        say("Error: could not set paths, audio unit is nil.");
        return;
    }
    const auto documents =
        plat::FileManager::defaultManager().urls(plat::FileManager::SearchPathDirectory::documents);
    // A folder's name may hold anything, escape codes included.
    if (!documents.empty())
        say("Audio Unit's documents path is: " + plat::shownText(documents.front().path()));
    if (const auto resources = YUX_Sorvane_Extension_AudioUnit::resourceDirectory())
        say("Audio Unit's resources path is: " + plat::shownText(resources->string()));
}

// ---- parameter connection ------------------------------------------------------------------------

void AudioUnitViewController::disconnect() {
    if (parameterTree_ && parameterObserverToken_ != 0)
        parameterTree_->removeParameterObserver(parameterObserverToken_);
    parameterObserverToken_ = 0;
}

void AudioUnitViewController::connectParameters() {
    if (!audioUnit_) {
        say("AU Diagnostics: WARNING: The audio unit is nil.");
        return;
    }
    say("AU Diagnostics: Retriving parameters from the audio unit: ");
    disconnect(); // an earlier unit's tree must stop feeding the panel
    parameterTree_ = audioUnit_->parameterTree();
    if (!parameterTree_) {
        say("AU Diagnostics: Retriving the parameter tree from the audio unit failed.");
        return;
    }
    say("ExtensionViewController: Extracting at the parameter tree: ");
    extractParameters("parameterTree", parameterTree_.get(), 0);
    parameters_ = parameterTree_->allParameters();

    std::weak_ptr<AudioUnitViewController> weak =
        std::static_pointer_cast<AudioUnitViewController>(shared_from_this());
    std::weak_ptr<plat::AUParameterTree> from = parameterTree_;
    parameterObserverToken_ = parameterTree_->tokenByAddingParameterObserver(
        [weak, from](plat::AUParameterAddress address, plat::AUValue value) {
            auto self = weak.lock();
            if (!self) {
                Console::shared().print("AU Diagnostics: The strong self shit is nil.\n");
                return;
            }
            plat::MainQueue::async([self, from, address, value] {
                if (self->parameterTree_ != from.lock()) return; // a tree we no longer show
                self->mainView->setParameter(std::int64_t(address), value);
            });
        });
    if (parameterObserverToken_ == 0)
        say("ERROR: Could not initialize parameter observer.");
    else
        say("AU Diagnostics: Connected parameters to the plugins interface.");
}

void AudioUnitViewController::extractParameters(const std::string&, const plat::AUParameterGroup* tree,
                                                int level) {
    if (tree == nullptr) {
        say("ExtensionViewController: The parameter group has no children.");
        return;
    }
    for (const auto& child : tree->children()) {
        const auto group = std::dynamic_pointer_cast<plat::AUParameterGroup>(child);
        if (!group) continue;
        for (const auto& parameter : group->allParameters()) {
            parameters_.push_back(parameter);
            printParameter(*parameter, level + 1);
        }
        extractParameters(group->displayName(), group.get(), level + 1);
    }
}

void AudioUnitViewController::updateView() {
    if (!audioUnit_) return;
    for (const auto& parameter : parameters_)
        mainView->setParameter(std::int64_t(parameter->address()), parameter->value());
}

void AudioUnitViewController::onSorvaneViewParameter(std::int64_t address, float value) {
    if (!audioUnit_) return;
    if (address < 0 || address > INT32_MAX || !std::isfinite(value)) return;
    audioUnit_->setParameter(std::int32_t(address), value);
}

void AudioUnitViewController::onSorvaneViewOption(std::int64_t, float) {}

void AudioUnitViewController::setParameter(std::int64_t address, float value) {
    if (!parameterTree_ || !std::isfinite(value)) return;
    const auto parameter =
        address < 0 ? nullptr : parameterTree_->parameterWithAddress(plat::AUParameterAddress(address));
    if (!parameter) {
        say("AudioUnitViewController: ERROR: The parameter address " + std::to_string(address) +
            " is not available.");
        return;
    }
    parameter->setValue(value);
}

float AudioUnitViewController::getParameter(std::int64_t address) {
    if (!parameterTree_) return 0;
    const auto parameter =
        address < 0 ? nullptr : parameterTree_->parameterWithAddress(plat::AUParameterAddress(address));
    if (!parameter) {
        say("AudioUnitViewController: ERROR: The parameter address " + std::to_string(address) +
            " is not available.");
        return 0;
    }
    return parameter->value();
}

void AudioUnitViewController::prepare(plat::UIStoryboardSegue& segue, const std::any&) {
    if (segue.identifier()) say(*segue.identifier());
}

// ---- view ----------------------------------------------------------------------------------------

void AudioUnitViewController::viewDidLoad() {
    AUViewController::viewDidLoad();
    const auto self = std::static_pointer_cast<AudioUnitViewController>(shared_from_this());
    mainView->delegate = self;
    mainView->setViewController(self);
    underlay->setViewController(self);
    currentView_ = pluginView;
    currentView_->setHidden(false);
    std::weak_ptr<AudioUnitViewController> weak = self;
    timer_ = plat::Timer::scheduled(0.04, true, [weak](plat::Timer& t) {
        if (auto s = weak.lock())
            s->onTimer(t);
        else
            t.invalidate();
    });
    const float brightness = brightnessSlider->value();
    // The plate keeps its own contrast until the slider first moves.
    mainView->setContrast(brightness);
    underlay->setContrast(brightness);
    if (!audioUnit_)
        say("AudioUnitViewController: WARNING: The audio unit plugin is nil (yet?).");
    else
        connectIfReady();
}

// ---- meters --------------------------------------------------------------------------------------

bool AudioUnitViewController::isViewVisible(const plat::UIView& view) const {
    if (!view.window()) return false;
    for (const plat::UIView* current = &view;;) {
        const auto parent = current->superview();
        if (!parent) return true;
        if (!plat::CGRectIntersectsRect(parent->bounds(), current->frame())) return false;
        if (current->isHidden()) return false;
        current = parent.get();
    }
}

void AudioUnitViewController::onTimer(plat::Timer&) {
    if (!audioUnit_) {
        say("WARNING: The Audio unit is not initialized."); // every tick until the factory call
        return;
    }
    if (audioUnit_->shouldBypassEffect()) return;
    if (!isViewVisible(*mainView) || !isViewVisible(*underlay)) return;
    counter += 1;
    constexpr std::int64_t kRefreshDivisor = 1;
    if (counter % kRefreshDivisor != 0) return;
    if (audioUnit_->getLevels()) underlay->setLevels(audioUnit_->getLevels());
    if (audioUnit_->getFactors()) underlay->setFactors(audioUnit_->getFactors());
}

// ---- placement and gestures ----------------------------------------------------------------------

void AudioUnitViewController::viewDidLayoutSubviews() {
    AUViewController::viewDidLayoutSubviews();
    if (!lockAutoLayout_) centerpluginView();
}

void AudioUnitViewController::centerpluginView() {
    const CGRect b = view()->bounds();
    resetpluginView(b.width(), b.height());
}

void AudioUnitViewController::resetpluginView(CGFloat w, CGFloat h, CGFloat inset) {
    if (!currentView_) return;
    const CGFloat W = w - 2 * inset, H = h - 2 * inset;
    const CGRect b = view()->bounds();
    CGRect frame;
    if (H < W && fitToHeight) {
        const CGFloat pw = H / ratio;
        frame = {b.width() / 2 - pw / 2 + inset, inset, pw, H};
    } else {
        const CGFloat ph = W * ratio;
        frame = {inset, b.height() / 2 - ph / 2, W, ph};
    }
    currentView_->setFrame(frame);
}

void AudioUnitViewController::onPanGesture(plat::UIPanGestureRecognizer& sender) {
    using State = UIGestureRecognizer::State;
    switch (sender.state()) {
    case State::began:
        // Decided once per gesture: a pan that starts locked stays ignored to its end.
        panning_ = isSizeable && !touchesLocked;
        if (!panning_) return;
        lockAutoLayout_ = true;
        controlFrame_ = currentView_->frame();
        break;
    case State::changed:
        if (panning_) {
            const auto t = sender.translation(view().get());
            currentView_->setFrame(controlFrame_.applying(CGAffineTransform::translation(t.x, t.y)));
        }
        break;
    case State::ended:
    case State::cancelled:
        if (panning_) {
            controlFrame_ = currentView_->frame();
            touchesLocked = false;
        }
        panning_ = false;
        lockAutoLayout_ = pinching_;
        break;
    default:
        break;
    }
}

void AudioUnitViewController::onPinchGesture(plat::UIPinchGestureRecognizer& sender) {
    using State = UIGestureRecognizer::State;
    const State state = sender.state();
    if (state == State::began) pinching_ = isSizeable;
    if (!pinching_) {
        if (state == State::ended || state == State::cancelled) lockAutoLayout_ = panning_;
        return;
    }
    touchesLocked = false;
    switch (state) {
    case State::began:
        lockAutoLayout_ = true;
        controlFrame_ = currentView_->frame();
        break;
    case State::changed: {
        const CGFloat s = sender.scale();
        const CGRect c = controlFrame_;
        const CGFloat cx = c.minX() + c.width() / 2, cy = c.minY() + c.height() / 2;
        const CGRect r = c.applying(CGAffineTransform::translation(-cx, -cy)
                                        .concatenating(CGAffineTransform::scale(s, s))
                                        .concatenating(CGAffineTransform::translation(cx, cy)));
        if (r.width() >= 128 && r.width() <= 2048) currentView_->setFrame(r);
        break;
    }
    case State::ended:
        controlFrame_ = currentView_->frame();
        pinching_ = false;
        lockAutoLayout_ = panning_;
        break;
    case State::cancelled:
        pinching_ = false;
        lockAutoLayout_ = panning_;
        break;
    default:
        break;
    }
}

void AudioUnitViewController::onDoubleTapGesture(plat::UITapGestureRecognizer&) {
    touchesLocked = false;
    const CGRect b = view()->bounds();
    resetpluginView(b.width(), b.height(), 0);
}

void AudioUnitViewController::onTapGesture(plat::UITapGestureRecognizer&) {
    touchesLocked = false;
    controlFrame_ = currentView_->frame();
}

void AudioUnitViewController::onlongPressGesture(plat::UILongPressGestureRecognizer& sender) {
    using State = UIGestureRecognizer::State;
    if (sender.state() == State::began) {
        contrastButton->setHidden(!contrastButton->isHidden());
        freezeButton->setHidden(contrastButton->isHidden());
        if (!contrastButton->isHidden()) {
            touchesLocked = true;
        } else {
            brightnessSlider->setHidden(true);
            touchesLocked = false;
        }
    } else if (sender.state() == State::ended) {
        contrastButton->setAlpha(1.0);
        touchesLocked = false;
    }
}

void AudioUnitViewController::onContrastButton(plat::UIButton& sender) {
    brightnessSlider->setHidden(!brightnessSlider->isHidden());
    const bool shown = !brightnessSlider->isHidden();
    sender.setAlpha(shown ? 1.0 : 0.5);
    touchesLocked = shown;
}

void AudioUnitViewController::onBrightnessSlider(plat::UISlider& sender) {
    touchesLocked = true;
    pluginFrame->contrast = sender.value();
    pluginFrame->setNeedsDisplay();
    mainView->setContrast(sender.value());
    underlay->setContrast(sender.value());
}

void AudioUnitViewController::onFreezeButton(plat::UIButton& sender) {
    isSizeable = !isSizeable;
    sender.setAlpha(isSizeable ? 0.5 : 1.0);
}

void AudioUnitViewController::doTranslationTransform(plat::UIView& view, CGRect origin,
                                                     plat::CGPoint position) {
    view.setFrame(origin.applying(CGAffineTransform::translation(position.x, position.y)));
    view.setNeedsDisplay();
}

void AudioUnitViewController::doScalingTransform(plat::UIView& view, CGRect origin, CGFloat scaling) {
    const CGFloat cx = origin.minX() + origin.width() / 2, cy = origin.minY() + origin.height() / 2;
    const CGRect r = origin.applying(CGAffineTransform::translation(-cx, -cy)
                                         .concatenating(CGAffineTransform::scale(scaling, scaling))
                                         .concatenating(CGAffineTransform::translation(cx, cy)));
    if (r.width() < 256 || r.width() > 2048) return;
    view.setFrame(r);
    view.setNeedsDisplay();
}
