#pragma once
// The application's main screen. When its view has loaded it creates the component finder, which
// finds, instantiates and wires in the effect; it embeds the effect's view in its plug-in container,
// toggles playback from its play and stop buttons, shows and hides the container from the unit
// button, and shows the help screen. Its view tree, outlets, actions and segues are built in
// MainStoryboard.cpp.
//
// View work runs on the main thread only: what the finder reports from the thread that instantiated
// the effect is handed to the main queue first.

#include "AUExtensionManager.h"

#include "plat/uicontrol.h"
#include "plat/uiviewcontroller.h"

#include <any>
#include <memory>
#include <string>
#include <vector>

class ViewController : public plat::UIViewController,
                       public AUExtensionManagerDelegate,
                       public AUEnginePlayerDelegate,
                       public plat::UIDocumentPickerDelegate {
public:
    // Declares the storyboard's four actions as the screen's own.
    ViewController();

    // The smallest window in which the bar's title and buttons fit.
    static plat::CGSize minimumSize();

    // ---- platform ----------------------------------------------------------------------------
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void viewDidLayoutSubviews() override;
    bool canPerformAction(const plat::Selector& action, const std::any& sender) const override;
    void prepare(plat::UIStoryboardSegue& segue, const std::any& sender) override;

    // ---- delegates ---------------------------------------------------------------------------
    void onFoundComponent(std::shared_ptr<plat::AVAudioUnit> unit) override;
    void onEngineInitialized() override;
    void onPlayerStateChanged(bool playing) override;
    void onFileSelect(const std::string& file) override;
    void onLoop(long count) override;

    // ---- outlets -----------------------------------------------------------------------------
    std::shared_ptr<plat::UIView> pluginView;
    std::shared_ptr<plat::UIButton> buttonUnit;
    std::shared_ptr<plat::UIButton> buttonInfo;
    std::shared_ptr<plat::UIButton> buttonHelp;
    std::shared_ptr<plat::UIButton> playButton;
    std::shared_ptr<plat::UIButton> stopButton;

    // ---- actions -----------------------------------------------------------------------------
    void onButtonUnit(const std::any& sender);
    void onPlayButton(plat::UIButton& sender);
    void onStopButton(plat::UIButton& sender);
    void showHelp(const std::any& sender);

    // ---- members nothing calls ---------------------------------------------------------------
    void centerPluginView();
    void openFilePicker();
    void documentPicker(plat::UIDocumentPickerViewController& picker, const plat::URL& url);
    void documentPicker(plat::UIDocumentPickerViewController& picker,
                        const std::vector<plat::URL>& urls) override;
    void documentPickerWasCancelled(plat::UIDocumentPickerViewController& picker) override;
    void alertMessage(const std::string& title, const std::string& message);

protected:
    void loadView() override;

private:
    friend struct MainScreenProbe; // the tests reach the members nothing calls
    void embed(const std::shared_ptr<plat::UIViewController>& viewController);
    void embedPlugInView();
    void resetPluginView(plat::CGFloat w, plat::CGFloat h);
    void getDirectories();
    std::shared_ptr<plat::UIView> audioUnitView() const;

    std::shared_ptr<AUExtensionManager> audioUnitManager;
    std::string documentsPath;
    std::string sharedPath;
    std::string resourcesPath;
    std::shared_ptr<plat::UIViewController> audioUnitViewController;
    std::shared_ptr<plat::AVAudioUnit> avAudioUnit;
};
