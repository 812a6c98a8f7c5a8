// Prints, through the code that prints them, the lines holding an outside text that no run of the
// application reaches: the settings store's and the settings classes' lines, the file helpers' lines,
// the help site's refused root, the URL opener's failure, the preset documents' and the unit's
// lines for a preset named by its host, a document's bad entries and a state it cannot restore, the
// help screen's site without pages (run from a bundle that ships none), and the lines of the
// screens' document pickers and alerts. Each text holds the
// hostile text given, or the one given for what a property list can hold. The application's tests scan what
// it writes with what the application writes.
//
//     printed_texts <folder of its own> <hostile text> <hostile text a property list holds>
#include "AudioUnitViewController.h"
#include "FileHelpers.h"
#include "HelpViewController.h"
#include "PersistentAppData.h"
#include "PresetPatch.h"
#include "ViewController.h"
#include "YUX_Sorvane_Extension_AudioUnit.h"

#include "plat/console.h"
#include "plat/dispatch.h"
#include "plat/ui.h"
#include "plat/web.h"

#include <glib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const fs::path root = argv[1];
    const std::string hostile = argv[2], storable = argv[3];
    const fs::path config = root / ("config" + hostile), inTheWay = root / ("in the way" + hostile);
    fs::create_directories(config);
    std::ofstream(config / (sharedContainer + ".plist")) << "no settings";
    std::ofstream(inTheWay) << "a file";
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::setenv("XDG_DOCUMENTS_DIR", (root / ("Documents" + hostile)).c_str(), 1);
    ::setenv("SORVANE_HELP_ROOT", hostile.c_str(), 1);
    ::setenv("SORVANE_URL_OPENER", (root / ("opener" + hostile)).c_str(), 1);

    std::mutex mutex;
    std::string printed;
    plat::Console::shared().setSink([&](std::string_view text) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::lock_guard lock(mutex);
        printed += text;
    });
    const auto shown = [&](std::string_view line) {
        std::lock_guard lock(mutex);
        return printed.find(line) != std::string::npos;
    };

    UserDefaultsExtension::shared()->object("key");
    UserDefaultsExtension::shared(hostile);
    PersistentAppData data;
    data.setString(hostile, hostile);
    data.setString(storable, storable);
    data.dumpout();
    ensureDirectoryExists(plat::URL::fileURL(inTheWay));
    getPaths();
    getImageFromURLString(std::make_shared<plat::UIImageView>(),
                          plat::URL::fileURL(root / ("missing" + hostile)).absoluteString());
    (void)plat::siteRoot("SORVANE_HELP_ROOT", "yux-help", root / "no pages");
    plat::openURLInBrowser(*plat::URL::string("https://example.org/"));
    PresetPatch patch;
    (void)patch.loadFromFile(root / ("preset" + hostile + ".plist"));
    (void)patch.saveToFile(root / ("no folder" + hostile) / "preset.plist");
    using Unit = YUX_Sorvane_Extension_AudioUnit;
    using plat::plist::Dictionary;
    if (const auto unit = Unit::make(Unit::componentDescriptionOfEffect(), 0); unit.ok()) {
        (void)unit.value()->setCurrentPreset(plat::AUAudioUnitPreset{-1, hostile});
        (void)unit.value()->setFullState(Dictionary{{"group" + hostile, 1L}});
    }
    (void)patch.fromDictionary(
        Dictionary{{"group", Dictionary{{"param" + hostile, Dictionary{{"address", 1L}}}}}});
    (void)HelpViewController::helpSiteRoot();
    // Each screen with a bare view of its own, so that neither loads (nor finds an effect for) its own.
    const auto screen = std::make_shared<ViewController>();
    const auto panel = std::make_shared<AudioUnitViewController>();
    screen->setView(std::make_shared<plat::UIView>());
    panel->setView(std::make_shared<plat::UIView>());
    plat::UIDocumentPickerViewController picker({"public.data"},
                                                plat::UIDocumentPickerViewController::Mode::open);
    const auto picked = plat::URL::fileURL(root / ("picked" + hostile));
    screen->documentPicker(picker, picked);
    screen->documentPicker(picker, std::vector{picked});
    panel->documentPicker(picker, picked);
    screen->alertMessage(hostile, hostile);
    panel->alert(hostile, hostile);
    panel->alertQuestion(hostile, hostile);
    const bool done = plat::RunLoop::main().runUntil(
        [&] {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            return shown("Error Domain=") && shown("could not open") && plat::RunLoop::main().drain() == 0;
        },
        std::chrono::seconds(60));
    plat::Console::shared().flush();
    std::fflush(stdout);
    return done ? 0 : 1;
}
