#pragma once
// Installed audio-unit components: their registration records, the registry that finds them, and
// loading a component's plug-in to make its units.
//
// A plug-in is a bundle folder whose name ends in ".appex", holding its library and a registration
// record, Info.plist: an XML property list whose dictionary has
//   type, subtype, manufacturer   four printable ASCII characters each ("aumf", "yuSV", "KWOB")
//   name                          "Manufacturer: Product"
//   version                       "major[.minor[.bugfix]]", at most 65535.255.255
//   library                       the library's path inside the bundle ("lib/Plug-in.so"), which
//                                 must stay inside it once links are resolved
//   entry                         the C symbol that hands out the plug-in's factory
//   abiVersion                    kAudioComponentPlugInABIVersion, integer
//   flags                         the component flags, integer
//   icon (optional)               a PNG image's path inside the bundle ("icon.png"), which must
//                                 stay inside it once links are resolved, at most 1024 x 1024
// The registry reads records, and loads each library once in a short-lived process of its own
// (the plat-probe helper, in the application bundle's libexec/): a library that kills that process,
// ends it before the library is open, or keeps it hanging is skipped with a line, so a damaged
// library never takes the host down. The host opens a plug-in's library itself when one of its
// units is first asked for and never closes it: work its units or views queued (on the main queue,
// in timers) may still run after the host let go of them, and it runs the library's code.

#include "plat/audiounit.h"
#include "plat/aufactory.h"
#include "plat/error.h"
#include "plat/uiimage.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace plat {

class SerialQueue;

// Further folders of plug-in bundles, separated by ':', searched after the application's own
// PlugIns folder.
inline constexpr const char* kPlugInPathVariable = "SORVANE_PLUGIN_PATH";

// The shape of what an entry symbol returns, of AUAudioUnitFactory and of AUAudioUnit, as one
// number: a plug-in built for another shape is refused before any of its objects is touched.
inline constexpr std::uint32_t kAudioComponentPlugInABIVersion = 1;

struct AudioComponentPlugInInterface {
    std::uint32_t abiVersion; // read before anything else
    std::shared_ptr<AUAudioUnitFactory> (*createFactory)();
};
using AudioComponentPlugInEntry = const AudioComponentPlugInInterface* (*)();

// Declares a plug-in's entry symbol, the one name its library exports.
#define PLAT_PLUGIN_ENTRY extern "C" __attribute__((visibility("default")))

class AVAudioUnitComponent {
public:
    // Reads and checks the registration record of the bundle at `folder`; the error says what is
    // wrong with it.
    static Result<AVAudioUnitComponent> fromBundle(const std::filesystem::path& folder);

    // The record's name split at its first ": " (the whole name and the manufacturer code when it
    // has none).
    const std::string& name() const { return name_; }
    const std::string& manufacturerName() const { return manufacturerName_; }
    std::string typeName() const;
    std::string localizedTypeName() const { return typeName(); }
    // The registered codes and flags; the mask is 0.
    const AudioComponentDescription& audioComponentDescription() const { return description_; }
    // major << 16 | minor << 8 | bugfix
    std::uint32_t version() const { return version_; }
    const std::string& versionString() const { return versionString_; }

    const std::filesystem::path& bundlePath() const { return bundle_; }
    const std::filesystem::path& libraryPath() const { return library_; }
    const std::string& entrySymbol() const { return entry_; }

    // The image the record names under "icon", decoded; nothing when it names none or the image
    // cannot be used, and then iconProblem() says why.
    const std::shared_ptr<UIImage>& icon() const { return icon_; }
    const std::string& iconProblem() const { return iconProblem_; }

private:
    friend class AVAudioUnitComponentManager;
    AVAudioUnitComponent() = default;
    AudioComponentDescription description_;
    std::string name_, manufacturerName_, versionString_, entry_;
    std::uint32_t version_ = 0;
    std::filesystem::path bundle_, library_;
    std::shared_ptr<UIImage> icon_;
    std::string iconProblem_;
    // The library file as a test process loaded it without harm; load() probes again when the
    // file is no longer that one.
    bool probed_ = false;
    std::uintmax_t probedSize_ = 0;
    std::filesystem::file_time_type probedTime_{};
};

// The component's icon drawn at `points` x `points` (a pixel a point); nothing without an icon.
std::shared_ptr<UIImage> AudioComponentGetIcon(const AVAudioUnitComponent& component, double points);
// The component's icon as its bundle holds it; nothing without an icon.
std::shared_ptr<UIImage> AudioComponentCopyIcon(const AVAudioUnitComponent& component);
// How an icon is printed: "Optional(<UIImage: 32 x 32>)", or "nil" for none.
std::string iconDescription(const std::shared_ptr<UIImage>& image);

// How a registry checks a plug-in's library before the host loads it.
struct ComponentLoadChecks {
    // Load each library first in a process of its own; skip one that ends that process before the
    // library is open, or that keeps it busy past probeSeconds, the wait for all of them.
    bool probeLibraries = true;
    double probeSeconds = 10;
    // Test processes running at once; 0: as many as the machine has cores, and at least 4.
    unsigned probesAtOnce = 0;
};

class AVAudioUnitComponentManager {
public:
    // Scans defaultSearchFolders() once, on first use.
    static AVAudioUnitComponentManager& sharedAudioUnitComponentManager();
    // The main bundle's PlugIns folder (when it has one), then the folders of kPlugInPathVariable.
    static std::vector<std::filesystem::path> defaultSearchFolders();

    // Scans the folders in order, each one's bundles in name order. A bundle whose record is
    // malformed, whose library is cut short of the segments its headers name or takes down (or
    // hangs) the process that loads it first, or which registers the codes of a bundle found
    // before it, is skipped with a line on the console, as is a folder that cannot be read. An
    // icon that cannot be used is reported and the component listed without it.
    explicit AVAudioUnitComponentManager(const std::vector<std::filesystem::path>& folders,
                                         ComponentLoadChecks checks = {});
    ~AVAudioUnitComponentManager();
    AVAudioUnitComponentManager(const AVAudioUnitComponentManager&) = delete;
    AVAudioUnitComponentManager& operator=(const AVAudioUnitComponentManager&) = delete;

    // In scan order.
    std::vector<AVAudioUnitComponent> componentsMatching(const AudioComponentDescription& pattern) const;

    // Opens the component's library, checks its entry and asks its factory for a unit made with
    // the registered description. Runs on this registry's own thread, which also runs completion;
    // a failure is printed and delivered as the error (the factory's own error unchanged).
    void instantiate(const AVAudioUnitComponent& component, AUAudioUnit::InstantiationCompletion completion);
    // The same for the first component that matches `pattern`.
    void instantiate(const AudioComponentDescription& pattern,
                     AUAudioUnit::InstantiationCompletion completion);

private:
    static Result<std::shared_ptr<AUAudioUnit>> load(const AVAudioUnitComponent& component,
                                                      const ComponentLoadChecks& checks);
    std::vector<AVAudioUnitComponent> scan(const std::filesystem::path& folder);

    ComponentLoadChecks checks_;

    std::vector<AVAudioUnitComponent> components_;
    std::unique_ptr<SerialQueue> queue_; // last: finishes queued work before the rest goes
};

} // namespace plat
