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
// The registry reads records only. A plug-in's library is opened when one of its units is first
// asked for and is never closed: work its units or views queued (on the main queue, in timers) may
// still run after the host let go of them, and it runs the library's code.

#include "plat/audiounit.h"
#include "plat/aufactory.h"
#include "plat/error.h"

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

private:
    AVAudioUnitComponent() = default;
    AudioComponentDescription description_;
    std::string name_, manufacturerName_, versionString_, entry_;
    std::uint32_t version_ = 0;
    std::filesystem::path bundle_, library_;
};

class AVAudioUnitComponentManager {
public:
    // Scans defaultSearchFolders() once, on first use.
    static AVAudioUnitComponentManager& sharedAudioUnitComponentManager();
    // The main bundle's PlugIns folder (when it has one), then the folders of kPlugInPathVariable.
    static std::vector<std::filesystem::path> defaultSearchFolders();

    // Scans the folders in order, each one's bundles in name order. A bundle whose record is
    // malformed, whose library is cut short of the segments its headers name, or which registers
    // the codes of a bundle found before it, is skipped with a line on the console, as is a folder
    // that cannot be read.
    explicit AVAudioUnitComponentManager(const std::vector<std::filesystem::path>& folders);
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
    static Result<std::shared_ptr<AUAudioUnit>> load(const AVAudioUnitComponent& component);
    void scan(const std::filesystem::path& folder);

    std::vector<AVAudioUnitComponent> components_;
    std::unique_ptr<SerialQueue> queue_; // last: finishes queued work before the rest goes
};

} // namespace plat
