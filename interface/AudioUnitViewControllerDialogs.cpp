// The controller's info banner, document picker and alerts.
#include "AudioUnitViewController.h"

#include "plat/console.h"
#include "plat/files.h"

namespace {
void say(const std::string& line) {
    plat::Console::shared().writeLine(line);
}

// An alert's texts may carry a caller's names; the dialog shows them as they are, the line escaped.
void sayAlert(const std::string& caption, const std::string& message) {
    say("Alert: " + plat::shownText(caption) + " : " + plat::shownMessage(message));
}

// A name typed into an alert must name a file in its folder, not a path out of it.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}
} // namespace

// ---- banner --------------------------------------------------------------------------------------

void AudioUnitViewController::runBanner(float destination, std::int64_t frames, EnumEasing easing,
                                        std::function<void()> finished) {
    // Every call has a tween of its own, which its timer keeps until its run ends: a second banner
    // while one is moving runs beside it, and each ends in its own fade-out.
    auto tween = std::make_shared<Animator>(float(infoView->alpha()), destination, frames, 0.009f, easing);
    std::erase_if(bannerTweens_, [](const auto& t) { return t.expired(); });
    bannerTweens_.push_back(tween);
    std::weak_ptr<AudioUnitViewController> weak =
        std::static_pointer_cast<AudioUnitViewController>(shared_from_this());
    tween->onAnimation = [weak](Animator&, float v) {
        if (auto self = weak.lock()) {
            self->infoView->setAlpha(v);
            self->infoView->setTransform(plat::CGAffineTransform::scale(v, v));
        }
    };
    tween->onFinished = [finished = std::move(finished)](Animator&, float) { finished(); };
    tween->start();
}

void AudioUnitViewController::showInfo(const std::string& string) {
    if (!infoView || !infoMessage) return;
    infoMessage->setText(string);
    infoView->setHidden(false);
    infoView->setAlpha(0);
    std::weak_ptr<AudioUnitViewController> weak =
        std::static_pointer_cast<AudioUnitViewController>(shared_from_this());
    runBanner(1.0f, 320, EnumEasing::EASING_easeOutExpo, [weak] {
        if (auto self = weak.lock()) self->hideInfo();
    });
}

void AudioUnitViewController::hideInfo() {
    if (!infoView || !infoMessage) return;
    std::weak_ptr<AudioUnitViewController> weak =
        std::static_pointer_cast<AudioUnitViewController>(shared_from_this());
    runBanner(0.0f, 120, EnumEasing::EASING_easeInExpo, [weak] {
        if (auto self = weak.lock()) {
            self->infoView->setHidden(true);
            self->infoMessage->setText("");
        }
    });
}

// ---- document picker -----------------------------------------------------------------------------

void AudioUnitViewController::openFilePicker() {
    auto picker = std::make_shared<plat::UIDocumentPickerViewController>(
        std::vector<std::string>{"public.data"}, plat::UIDocumentPickerViewController::Mode::import);
    picker->delegate = std::static_pointer_cast<AudioUnitViewController>(shared_from_this());
    picker->allowsMultipleSelection = true;
    present(picker, true, [] {});
}

void AudioUnitViewController::documentPicker(plat::UIDocumentPickerViewController& picker,
                                             const plat::URL& url) {
    say("documentPicker: " + url.absoluteString());
    documentPicker(picker, std::vector<plat::URL>{url});
}

void AudioUnitViewController::documentPicker(plat::UIDocumentPickerViewController&,
                                             const std::vector<plat::URL>& urls) {
    std::string list = "[";
    for (std::size_t i = 0; i < urls.size(); ++i) list += (i ? ", " : "") + urls[i].absoluteString();
    say("documentPicker: " + list + "]");
}

void AudioUnitViewController::documentPickerWasCancelled(plat::UIDocumentPickerViewController&) {
    say("The document picker was canceled.");
}

// ---- alerts --------------------------------------------------------------------------------------

void AudioUnitViewController::alertFileName(const std::string& forWhat, const std::string& defaultName) {
    askFileName("Please enter the file name for the current file: ", forWhat, defaultName);
}

void AudioUnitViewController::alertFileName2(const std::string& forWhat, const std::string& defaultName) {
    askFileName("The file already exists. Please type in another file name: ", forWhat, defaultName);
}

void AudioUnitViewController::askFileName(const std::string& message, const std::string& forWhat,
                                          const std::string& defaultName) {
    auto alert = std::make_shared<plat::UIAlertController>("File name", message);
    alert->addTextField([&](plat::UITextField& field) {
        field.placeholder = "file name";
        field.text = defaultName;
    });
    std::weak_ptr<AudioUnitViewController> weak =
        std::static_pointer_cast<AudioUnitViewController>(shared_from_this());
    std::weak_ptr<plat::UIAlertController> weakAlert = alert;
    alert->addAction(std::make_shared<plat::UIAlertAction>(
        "OK", plat::UIAlertAction::Style::defaultStyle,
        [weak, weakAlert, forWhat, defaultName](plat::UIAlertAction&) {
            auto self = weak.lock();
            auto alert = weakAlert.lock();
            if (!self || !alert || alert->textFields().empty()) return;
            self->confirmFileName(forWhat, alert->textFields().front()->text, defaultName);
        }));
    alert->addAction(std::make_shared<plat::UIAlertAction>(
        "Cancel", plat::UIAlertAction::Style::cancel,
        [](plat::UIAlertAction&) { say("Save action was canceled."); }));
    present(alert, true);
}

void AudioUnitViewController::confirmFileName(const std::string& forWhat, const std::string& typed,
                                              const std::string& defaultName) {
    const std::string name = typed.empty() ? defaultName : typed;
    if (!isPlainFileName(name)) {
        say("AudioUnitViewController: ERROR: The file name \"" + plat::shownText(name) +
            "\" is not allowed.");
        return;
    }
    const auto documents =
        plat::FileManager::defaultManager().urls(plat::FileManager::SearchPathDirectory::documents);
    if (documents.empty()) return;
    const plat::URL url = documents.front().appendingPathComponent(name);
    if (plat::FileManager::defaultManager().fileExists(url.filePath()))
        alertFileName2(forWhat, url.lastPathComponent());
}

void AudioUnitViewController::alert(const std::string& caption, const std::string& message,
                                    std::function<void()> completion) {
    sayAlert(caption, message);
    auto alert = std::make_shared<plat::UIAlertController>(caption, message);
    alert->addAction(
        std::make_shared<plat::UIAlertAction>("OK", plat::UIAlertAction::Style::defaultStyle,
                                              [](plat::UIAlertAction&) { say("Alert was accepted."); }));
    present(alert, true, std::move(completion));
}

void AudioUnitViewController::alertQuestion(const std::string& caption, const std::string& question,
                                            std::function<void()> completion) {
    sayAlert(caption, question);
    auto alert = std::make_shared<plat::UIAlertController>(caption, question);
    alert->addAction(
        std::make_shared<plat::UIAlertAction>("Yes", plat::UIAlertAction::Style::defaultStyle,
                                              [](plat::UIAlertAction&) { say("Answer was YES."); }));
    alert->addAction(std::make_shared<plat::UIAlertAction>(
        "No", plat::UIAlertAction::Style::cancel, [](plat::UIAlertAction&) { say("Answer was NO."); }));
    present(alert, true, std::move(completion));
}
