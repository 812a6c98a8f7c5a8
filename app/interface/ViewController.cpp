#include "ViewController.h"

#include "AppConsole.h"
#include "HelpViewController.h"
#include "Helpers.h"

#include "plat/dispatch.h"
#include "plat/files.h"
#include "plat/uiapplication.h"

namespace {

std::string folderPath(const plat::URL& url) {
    std::string path = url.path();
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

} // namespace

ViewController::ViewController() {
    for (const char* action : {"onButtonUnit:", "onPlayButton:", "onStopButton:", "showHelp:"})
        registerAction(action);
}

// ---- platform ------------------------------------------------------------------------------------

void ViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    print("Info: Main view controller loaded.");
    playButton->setHidden(false);
    stopButton->setHidden(true);
    const auto self = std::static_pointer_cast<ViewController>(shared_from_this());
    audioUnitManager = AUExtensionManager::make(self);
    audioUnitManager->auEngine->delegate = self;
    pluginView->setHidden(true);
    getDirectories();
}

void ViewController::viewWillAppear(bool animated) {
    UIViewController::viewWillAppear(animated);
}

void ViewController::viewDidDisappear(bool animated) {
    UIViewController::viewDidDisappear(animated);
}

void ViewController::viewDidLayoutSubviews() {
    UIViewController::viewDidLayoutSubviews();
}

bool ViewController::canPerformAction(const plat::Selector& action, const std::any& sender) const {
    return UIViewController::canPerformAction(action, sender);
}

void ViewController::prepare(plat::UIStoryboardSegue& segue, const std::any&) {
    const auto& identifier = segue.identifier();
    if (!identifier) return;
    print(*identifier);
    if (*identifier != "ShowInfo" && *identifier != "ShowHelp") return;
    if (const auto help = std::dynamic_pointer_cast<HelpViewController>(segue.destination()))
        help->prepareInfo(*identifier);
}

// ---- the effect's view -------------------------------------------------------------------------

// Called on the thread that instantiated the effect. Asking for the view controller is safe from any
// thread; placing its view waits for the main thread.
void ViewController::onFoundComponent(std::shared_ptr<plat::AVAudioUnit> unit) {
    print("ViewController: Loading the audio unit's interface...");
    if (!unit) {
        print("ERROR: The audio unit is not initialized to load the user interface.");
        return;
    }
    std::weak_ptr<ViewController> weak = std::static_pointer_cast<ViewController>(shared_from_this());
    unit->auAudioUnit()->requestViewController(
        [weak](std::shared_ptr<plat::UIViewController> viewController) {
            auto arrived = [weak, viewController] {
                const auto self = weak.lock();
                if (!self) {
                    print("ERROR: Self is nil !?");
                    return;
                }
                self->embed(viewController);
            };
            if (plat::isMainThread())
                arrived();
            else
                plat::MainQueue::async(arrived);
        });
}

void ViewController::embed(const std::shared_ptr<plat::UIViewController>& viewController) {
    const auto view = viewController ? viewController->view() : nullptr;
    if (!view) {
        print("ERROR: Something is wrong with the view controller and view of the audio unit.");
        return;
    }
    addChild(viewController);
    view->setFrame(pluginView->bounds());
    pluginView->addSubview(view);
    pinToSuperviewEdges(*view);
    viewController->didMove(shared_from_this());
    view->setNeedsDisplay();
}

void ViewController::onEngineInitialized() {}

void ViewController::onPlayerStateChanged(bool playing) {
    if (playing) {
        playButton->setHidden(true);
        stopButton->setHidden(false);
    } else {
        playButton->setHidden(false);
        stopButton->setHidden(true);
    }
}

void ViewController::onFileSelect(const std::string&) {}

void ViewController::onLoop(long) {}

// ---- actions -----------------------------------------------------------------------------------

void ViewController::onButtonUnit(const std::any&) {
    pluginView->setHidden(!pluginView->isHidden());
}

void ViewController::onPlayButton(plat::UIButton&) {
    audioUnitManager->togglePlayback();
}

void ViewController::onStopButton(plat::UIButton&) {
    audioUnitManager->togglePlayback();
}

void ViewController::showHelp(const std::any&) {
    if (const auto site = HelpViewController::webSite()) plat::UIApplication::shared().open(*site, {}, {});
    performSegue("ShowHelp", shared_from_this());
}

void ViewController::getDirectories() {
    const auto documents =
        plat::FileManager::defaultManager().urls(plat::FileManager::SearchPathDirectory::documents);
    if (documents.empty()) {
        print("ViewController: Documents directory is nil.");
        return;
    }
    documentsPath = folderPath(documents.front());
    print("ViewController: The app's documents path is: " + shown(documentsPath));
    const auto resources = plat::Bundle::main().resourceURL();
    if (!resources) {
        print("ViewController: Resources folder is nil.");
        return;
    }
    resourcesPath = folderPath(*resources);
    print("ViewController: The app's resources path is: " + shown(resourcesPath));
}

// ---- members nothing calls ---------------------------------------------------------------------

std::shared_ptr<plat::UIView> ViewController::audioUnitView() const {
    return audioUnitViewController ? audioUnitViewController->view() : nullptr;
}

void ViewController::embedPlugInView() {
    const auto viewController = audioUnitManager ? audioUnitManager->viewController : nullptr;
    if (!viewController) {
        print("ERROR: Could not load audio unit's view controller.");
        return;
    }
    const auto view = viewController->view();
    if (!view) return;
    addChild(viewController);
    view->setFrame(pluginView->bounds());
    pluginView->addSubview(view);
    pinToSuperviewEdges(*view);
    viewController->didMove(shared_from_this());
}

void ViewController::centerPluginView() {
    const auto bounds = view()->bounds();
    resetPluginView(bounds.width(), bounds.height());
}

// Fits the container at 4:3 over the larger of the two sides, centred along the other.
void ViewController::resetPluginView(plat::CGFloat w, plat::CGFloat h) {
    if (!audioUnitViewController) {
        print("WARNING: Cannot reset the pluginview (yet).");
        return;
    }
    const auto bounds = view()->bounds();
    if (w < h) {
        const plat::CGFloat pw = h / 0.75;
        pluginView->setFrame({bounds.width() / 2 - pw / 2, 0, pw, h});
        audioUnitView()->setFrame({0, 0, pw, h});
    } else {
        const plat::CGFloat ph = w * 0.75;
        pluginView->setFrame({0, bounds.height() / 2 - ph / 2, w, ph});
        audioUnitView()->setFrame({0, 0, w, ph});
    }
    pluginView->setNeedsDisplay();
}

void ViewController::openFilePicker() {
    auto picker = std::make_shared<plat::UIDocumentPickerViewController>(
        std::vector<std::string>{"public.folder"}, plat::UIDocumentPickerViewController::Mode::open);
    picker->delegate = std::static_pointer_cast<ViewController>(shared_from_this());
    picker->allowsMultipleSelection = false;
    present(picker, true, [] {});
}

void ViewController::documentPicker(plat::UIDocumentPickerViewController&, const plat::URL& url) {
    print("documentPicker (didPickDocumentAt): " + shown(url.path()));
}

void ViewController::documentPicker(plat::UIDocumentPickerViewController&,
                                    const std::vector<plat::URL>& urls) {
    std::string list = "[";
    for (std::size_t i = 0; i < urls.size(); ++i) list += (i ? ", " : "") + urls[i].absoluteString();
    print("documentPicker: " + list + "]");
    if (!urls.empty()) print("documentPicker (didPickDocumentsAt): " + shown(urls.front().path()));
}

void ViewController::documentPickerWasCancelled(plat::UIDocumentPickerViewController&) {
    print("The document picker was canceled.");
}

void ViewController::alertMessage(const std::string& title, const std::string& message) {
    print(shown(title) + ": " + shownMessage(message)); // the dialog shows them unescaped
    auto alert =
        std::make_shared<plat::UIAlertController>(title, message, plat::UIAlertController::Style::alert);
    alert->addAction(
        std::make_shared<plat::UIAlertAction>("OK", plat::UIAlertAction::Style::defaultStyle,
                                              [](plat::UIAlertAction&) { print("Alert was confirmed."); }));
    alert->addAction(
        std::make_shared<plat::UIAlertAction>("Cancel", plat::UIAlertAction::Style::cancel,
                                              [](plat::UIAlertAction&) { print("Alert was canceled."); }));
    present(alert, true);
}
