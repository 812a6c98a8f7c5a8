// The plug-in's view controller, which is also its audio-unit factory.
//
// It makes the audio unit for the host, joins the panel to the unit's parameter tree both ways,
// feeds the meter underlay from a 25-per-second timer, and lets the user move, scale, dim and freeze
// the panel. Everything but the factory call and the parameter observer runs on the main thread;
// those two hand their work to the main queue. The unit is published to the controller on the main
// thread, and the connection to it is made once per unit, by whichever comes last: the view loading
// or the unit arriving. When the controller goes, its timer stops and its observer is removed.
#pragma once

#include "PluginFrameEx.h"
#include "SorvaneUnderlay.h"
#include "SorvaneView.h"
#include "YUX_Sorvane_Extension_AudioUnit.h"

#include "Animator.h"

#include "plat/aufactory.h"
#include "plat/uigesture.h"
#include "plat/uiviewcontroller.h"

#include <any>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class AudioUnitViewController : public plat::AUViewController,
                                public plat::AUAudioUnitFactory,
                                public plat::UIDocumentPickerDelegate,
                                public SorvaneViewDelegate {
public:
    using CGFloat = plat::CGFloat;
    using CGRect = plat::CGRect;

    AudioUnitViewController();
    ~AudioUnitViewController() override;

    // ---- factory (any thread) ----------------------------------------------------------------
    plat::Result<std::shared_ptr<plat::AUAudioUnit>>
    createAudioUnit(const plat::AudioComponentDescription& description) override;
    std::shared_ptr<plat::UIViewController> viewController() override { return shared_from_this(); }

    // The unit the factory made last, once its hand-over has run on the main thread.
    std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> audioUnit() const { return audioUnit_; }

    // ---- panel delegate ----------------------------------------------------------------------
    void onSorvaneViewParameter(std::int64_t address, float value) override;
    void onSorvaneViewOption(std::int64_t address, float value) override;

    // ---- view --------------------------------------------------------------------------------
    void viewDidLoad() override;
    void viewDidLayoutSubviews() override;
    void prepare(plat::UIStoryboardSegue& segue, const std::any& sender) override;

    // ---- outlets (connected by the interface built in loadView) ------------------------------
    std::shared_ptr<PluginFrameEx> pluginFrame;
    std::shared_ptr<plat::UIView> pluginView;
    std::shared_ptr<SorvaneView> mainView;
    std::shared_ptr<SorvaneUnderlay> underlay;
    std::shared_ptr<plat::UIView> infoView;
    std::shared_ptr<plat::UILabel> infoMessage;
    std::shared_ptr<plat::UIButton> contrastButton;
    std::shared_ptr<plat::UISlider> brightnessSlider;
    std::shared_ptr<plat::UIButton> freezeButton;
    std::shared_ptr<plat::UIPanGestureRecognizer> panGesture;
    std::shared_ptr<plat::UIPinchGestureRecognizer> pinchGesture;
    std::shared_ptr<plat::UITapGestureRecognizer> doubleTapGesture;
    std::shared_ptr<plat::UITapGestureRecognizer> tapGesture;
    std::shared_ptr<plat::UILongPressGestureRecognizer> longPressGesture;

    // ---- actions -----------------------------------------------------------------------------
    void onContrastButton(plat::UIButton& sender);
    void onBrightnessSlider(plat::UISlider& sender);
    void onFreezeButton(plat::UIButton& sender);
    void onPanGesture(plat::UIPanGestureRecognizer& sender);
    void onPinchGesture(plat::UIPinchGestureRecognizer& sender);
    void onDoubleTapGesture(plat::UITapGestureRecognizer& sender);
    void onTapGesture(plat::UITapGestureRecognizer& sender);
    void onlongPressGesture(plat::UILongPressGestureRecognizer& sender);

    // ---- state -------------------------------------------------------------------------------
    bool useObservers = true;
    bool touchesLocked = false;
    bool isSizeable = true;
    CGFloat ratio = 1.0;
    bool fitToHeight = true;
    std::int64_t counter = 0;
    std::string reasonForQuestion;
    std::string reasonForImport;

    // ---- placement ---------------------------------------------------------------------------
    void centerpluginView();
    void doTranslationTransform(plat::UIView& view, CGRect origin, plat::CGPoint position);
    void doScalingTransform(plat::UIView& view, CGRect origin, CGFloat scaling);
    bool lockAutoLayout() const { return lockAutoLayout_; }

    // ---- meters ------------------------------------------------------------------------------
    virtual bool isViewVisible(const plat::UIView& view) const;
    void onTimer(plat::Timer& instance);

    // ---- banner, dialogs, parameters by address ----------------------------------------------
    void showInfo(const std::string& string);
    void hideInfo();
    void openFilePicker();
    void documentPicker(plat::UIDocumentPickerViewController& picker, const plat::URL& url);
    void documentPicker(plat::UIDocumentPickerViewController& picker,
                        const std::vector<plat::URL>& urls) override;
    void documentPickerWasCancelled(plat::UIDocumentPickerViewController& picker) override;
    void alertFileName(const std::string& forWhat, const std::string& defaultName);
    void alertFileName2(const std::string& forWhat, const std::string& defaultName);
    void alert(const std::string& caption, const std::string& message, std::function<void()> completion = {});
    void alertQuestion(const std::string& caption, const std::string& question,
                       std::function<void()> completion = {});
    void setParameter(std::int64_t address, float value);
    float getParameter(std::int64_t address);

    // ---- diagnostics of the connection -------------------------------------------------------
    void printParameter(const plat::AUParameter& parameter, int level);
    void verboseFlags(plat::AudioUnitParameterOptions flags, int level);
    static std::string verboseParameterKind(plat::AudioUnitParameterUnit kind);

protected:
    // The extension's stored interface, built in code: the view tree, its outlets and actions.
    void loadView() override;

private:
    void adopt(std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> unit);
    void connectIfReady();
    void setPaths();
    void connectParameters();
    void extractParameters(const std::string& name, const plat::AUParameterGroup* tree, int level);
    void updateView();
    void disconnect();
    void resetpluginView(CGFloat w, CGFloat h, CGFloat inset = 0);
    void askFileName(const std::string& message, const std::string& forWhat, const std::string& defaultName);
    void confirmFileName(const std::string& forWhat, const std::string& typed,
                         const std::string& defaultName);
    void runBanner(float destination, std::int64_t frames, EnumEasing easing, std::function<void()> finished);

    std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> audioUnit_;
    std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> connectedUnit_;
    std::string startFolderForSegue_ = "YUX Sorvane/";
    std::shared_ptr<plat::Timer> timer_;
    bool lockAutoLayout_ = false;
    CGRect controlFrame_;
    plat::AUParameterObserverToken parameterObserverToken_ = 0;
    std::shared_ptr<plat::AUParameterTree> parameterTree_;
    std::vector<std::shared_ptr<plat::AUParameter>> parameters_;
    std::shared_ptr<plat::UIView> currentView_;
    // Whether the running pan or pinch was let through at its start.
    bool panning_ = false;
    bool pinching_ = false;
    // The banner tweens still running; their timers own them.
    std::vector<std::weak_ptr<Animator>> bannerTweens_;
};
