#include "plat/components.h"

#include "plat/console.h"
#include "plat/dispatch.h"
#include "plat/files.h"
#include "plat/plist.h"

#include "../plist/PlistFormats.h"

#include <dlfcn.h>
#include <elf.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <set>
#include <string_view>

namespace plat {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBundleExtension = ".appex";
constexpr const char* kRecordName = "Info.plist";
constexpr std::size_t kRecordMaxBytes = 64 * 1024;
// A record's few values take a few kilobytes; a document that would take more refers to its values
// over and over.
constexpr std::size_t kRecordMaxExpandedBytes = 1024 * 1024;
constexpr const char* kLinePrefix = "plat::components: ";

// Record texts go into one-line messages: control bytes are shown escaped, long texts cut.
using plist::detail::shown;

Error recordError(std::string reason) {
    return Error{kCocoaErrorDomain, 259, std::move(reason)};
}

Error loadError(std::string reason) {
    return Error{kOSStatusErrorDomain, kAudioUnitErr_FailedInitialization, std::move(reason)};
}

class Record {
public:
    explicit Record(const plist::Dictionary& dictionary) : d_(dictionary) {}

    Result<std::string> string(const char* key) const {
        const plist::Value* value = d_.find(key);
        if (!value) return missing(key);
        const std::string* text = value->asString();
        if (!text) return wrong(key, "is not a string");
        return *text;
    }

    Result<std::int64_t> integer(const char* key) const {
        const plist::Value* value = d_.find(key);
        if (!value) return missing(key);
        const auto number = value->asInteger();
        if (!number) return wrong(key, "is not an integer");
        return *number;
    }

    Result<OSType> code(const char* key) const {
        auto text = string(key);
        if (!text) return text.error();
        bool printable = text->size() == 4;
        for (const char c : *text) printable = printable && c >= 0x20 && c < 0x7f;
        if (!printable) return wrong(key, "must be four printable ASCII characters, not " + shown(*text));
        OSType code = 0;
        for (const char c : *text) code = (code << 8) | static_cast<unsigned char>(c);
        return code;
    }

    static Error missing(const char* key) {
        return recordError(std::string("the record has no \"") + key + "\"");
    }
    static Error wrong(const char* key, const std::string& what) {
        return recordError(std::string("the record's \"") + key + "\" " + what);
    }

private:
    const plist::Dictionary& d_;
};

// "major[.minor[.bugfix]]" packed as major << 16 | minor << 8 | bugfix.
std::optional<std::uint32_t> packedVersion(std::string_view text) {
    constexpr std::uint32_t limits[] = {0xFFFF, 0xFF, 0xFF};
    std::uint32_t packed = 0;
    std::size_t part = 0;
    for (;;) {
        std::uint32_t number = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (ec != std::errc() || end == text.data() || part == 3 || number > limits[part])
            return std::nullopt;
        packed |= number << (part == 0 ? 16 : part == 1 ? 8 : 0);
        ++part;
        text.remove_prefix(std::size_t(end - text.data()));
        if (text.empty()) return packed;
        if (text.front() != '.') return std::nullopt;
        text.remove_prefix(1);
    }
}

bool isCIdentifier(std::string_view text) {
    if (text.empty() || text.size() > 255 || (text[0] >= '0' && text[0] <= '9')) return false;
    for (const char c : text)
        if (!(c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    return true;
}

// A path inside the bundle: relative, never climbing out of it.
bool staysInside(const fs::path& path) {
    if (path.empty() || path.is_absolute()) return false;
    for (const auto& part : path)
        if (part == "..") return false;
    return true;
}

// The library's real path, when it lies inside the bundle's real folder: a symbolic link on the
// way (a "lib" folder that is a link, say) must not lead the host to load a library from elsewhere.
Result<fs::path> realLibraryInside(const fs::path& bundle, const fs::path& library) {
    std::error_code ec;
    const fs::path realBundle = fs::canonical(bundle, ec);
    const fs::path real = ec ? fs::path() : fs::canonical(library, ec);
    if (ec) return recordError("the record names a library that is not there: " + library.string());
    const auto [outside, inside] =
        std::mismatch(realBundle.begin(), realBundle.end(), real.begin(), real.end());
    if (outside != realBundle.end() || inside == real.end())
        return recordError("the library " + library.string() + " lies outside the bundle, in " +
                           real.string());
    return real;
}

// The loader maps every loadable segment from the file: one that ends past the file's end (a copy
// cut short) faults in the host when touched. Such a file is refused before it is opened.
Result<void> holdsItsSegments(const fs::path& library) {
    const auto broken = [&](const std::string& why) {
        return recordError("the library " + library.string() + " " + why);
    };
    std::ifstream in(library, std::ios::binary);
    Elf64_Ehdr header{};
    if (!in.read(reinterpret_cast<char*>(&header), sizeof header) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
        return broken("is not an ELF file");
    if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_type != ET_DYN || header.e_phentsize != sizeof(Elf64_Phdr))
        return broken("is not a 64-bit little-endian shared library");
    std::error_code ec;
    const std::uint64_t size = fs::file_size(library, ec);
    if (ec || header.e_phoff > size || header.e_phnum > (size - header.e_phoff) / sizeof(Elf64_Phdr))
        return broken("is cut short: its program headers lie past its end");
    in.seekg(std::streamoff(header.e_phoff));
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr segment{};
        if (!in.read(reinterpret_cast<char*>(&segment), sizeof segment)) return broken("cannot be read");
        if (segment.p_type == PT_LOAD &&
            (segment.p_offset > size || segment.p_filesz > size - segment.p_offset))
            return broken("is cut short: it holds " + std::to_string(size) + " bytes, its segments need " +
                          std::to_string(segment.p_offset + segment.p_filesz));
    }
    return {};
}

// What the host holds: the unit and the factory that made it, which may hold the unit in turn.
struct Instance {
    std::shared_ptr<AUAudioUnit> unit;
    std::shared_ptr<AUAudioUnitFactory> factory;
};

// "type 'aumf', subtype any, manufacturer 'KWOB'": a zero code in a pattern matches any.
std::string codes(const AudioComponentDescription& d) {
    std::string text;
    const char* names[] = {"type ", ", subtype ", ", manufacturer "};
    const OSType values[] = {d.componentType, d.componentSubType, d.componentManufacturer};
    for (int i = 0; i < 3; ++i) {
        text.append(names[i]);
        if (values[i])
            text.append(1, '\'').append(fourCCString(values[i])).append(1, '\'');
        else
            text.append("any");
    }
    return text;
}

} // namespace

// ---- records -------------------------------------------------------------------------------

Result<AVAudioUnitComponent> AVAudioUnitComponent::fromBundle(const fs::path& folder) {
    const fs::path recordPath = folder / kRecordName;
    std::error_code ec;
    if (!fs::is_regular_file(recordPath, ec))
        return Error{kCocoaErrorDomain, 260,
                     std::string("it has no registration record (") + kRecordName + ")"};
    auto parsed = plist::readFile(recordPath, {kRecordMaxBytes, 8, kRecordMaxExpandedBytes});
    if (!parsed)
        return recordError(std::string(kRecordName) +
                           " is not a property list: " + parsed.error().description);
    const plist::Dictionary* dictionary = parsed->asDictionary();
    if (!dictionary) return recordError(std::string(kRecordName) + " does not hold a dictionary");
    const Record record(*dictionary);

    AVAudioUnitComponent c;
    c.bundle_ = folder;
    auto type = record.code("type");
    if (!type) return type.error();
    auto subtype = record.code("subtype");
    if (!subtype) return subtype.error();
    auto manufacturer = record.code("manufacturer");
    if (!manufacturer) return manufacturer.error();
    c.description_ = {*type, *subtype, *manufacturer, 0, 0};

    auto name = record.string("name");
    if (!name) return name.error();
    if (name->empty()) return Record::wrong("name", "is empty");
    if (const auto colon = name->find(": "); colon != std::string::npos) {
        c.manufacturerName_ = name->substr(0, colon);
        c.name_ = name->substr(colon + 2);
    } else {
        c.manufacturerName_ = fourCCString(*manufacturer);
        c.name_ = *name;
    }

    auto version = record.string("version");
    if (!version) return version.error();
    const auto packed = packedVersion(*version);
    if (!packed)
        return Record::wrong("version",
                             "must be major[.minor[.bugfix]] up to 65535.255.255, not " + shown(*version));
    c.versionString_ = *version;
    c.version_ = *packed;

    auto library = record.string("library");
    if (!library) return library.error();
    if (!staysInside(*library))
        return Record::wrong("library", "must be a relative path inside the bundle, not " + shown(*library));
    auto real = realLibraryInside(folder, folder / *library);
    if (!real) return real.error();
    c.library_ = std::move(real).value();
    if (!fs::is_regular_file(c.library_, ec))
        return recordError("the record names a library that is not there: " + c.library_.string());
    if (auto whole = holdsItsSegments(c.library_); !whole) return whole.error();

    auto entry = record.string("entry");
    if (!entry) return entry.error();
    if (!isCIdentifier(*entry)) return Record::wrong("entry", "must be a C identifier, not " + shown(*entry));
    c.entry_ = *entry;

    auto abi = record.integer("abiVersion");
    if (!abi) return abi.error();
    if (*abi != kAudioComponentPlugInABIVersion)
        return recordError("the record is for plug-in ABI version " + std::to_string(*abi) +
                           "; this host loads version " + std::to_string(kAudioComponentPlugInABIVersion));

    auto flags = record.integer("flags");
    if (!flags) return flags.error();
    if (*flags < 0 || *flags > std::int64_t(UINT32_MAX))
        return Record::wrong("flags", "must be from 0 to 4294967295, not " + std::to_string(*flags));
    c.description_.componentFlags = std::uint32_t(*flags);
    return c;
}

std::string AVAudioUnitComponent::typeName() const {
    struct Named {
        const char code[5];
        const char* name;
    };
    static constexpr Named kTypes[] = {
        {"aufx", "Effect"},         {"aumf", "Music Effect"},
        {"aumu", "Music Device"},   {"augn", "Generator"},
        {"aumx", "Mixer"},          {"aupn", "Panner"},
        {"auou", "Output"},         {"aufc", "Format Converter"},
        {"auol", "Offline Effect"}, {"aumi", "MIDI Processor"},
    };
    for (const auto& t : kTypes)
        if (fourCC(t.code) == description_.componentType) return t.name;
    return fourCCString(description_.componentType);
}

// ---- the registry --------------------------------------------------------------------------

AVAudioUnitComponentManager& AVAudioUnitComponentManager::sharedAudioUnitComponentManager() {
    static AVAudioUnitComponentManager manager(defaultSearchFolders());
    return manager;
}

std::vector<fs::path> AVAudioUnitComponentManager::defaultSearchFolders() {
    std::vector<fs::path> folders;
    std::error_code ec;
    const fs::path own = Bundle::main().bundleURL().filePath() / "PlugIns";
    if (fs::is_directory(own, ec)) folders.push_back(own);
    if (const char* path = std::getenv(kPlugInPathVariable)) {
        std::string_view rest = path;
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            const std::string_view entry = rest.substr(0, colon);
            if (!entry.empty()) folders.push_back(fs::absolute(fs::path(entry), ec));
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    return folders;
}

AVAudioUnitComponentManager::AVAudioUnitComponentManager(const std::vector<fs::path>& folders)
    : queue_(std::make_unique<SerialQueue>("plat.components.instantiate")) {
    std::set<fs::path> scanned;
    for (const auto& folder : folders) {
        std::error_code ec;
        const fs::path canonical = fs::weakly_canonical(folder, ec);
        if (!scanned.insert(ec ? folder : canonical).second) continue;
        scan(folder);
    }
}

AVAudioUnitComponentManager::~AVAudioUnitComponentManager() = default;

void AVAudioUnitComponentManager::scan(const fs::path& folder) {
    auto& console = Console::shared();
    const auto names = FileManager::defaultManager().contentsOfDirectory(folder);
    if (!names) {
        console.writeLine(std::string(kLinePrefix) +
                          "cannot read a plug-in folder: " + names.error().description);
        return;
    }
    for (const auto& name : *names) {
        std::error_code ec;
        const fs::path bundle = folder / name;
        if (!name.ends_with(kBundleExtension) || !fs::is_directory(bundle, ec)) continue;
        auto component = AVAudioUnitComponent::fromBundle(bundle);
        if (!component) {
            console.writeLine(std::string(kLinePrefix) + "skipped " + bundle.string() + ": " +
                              component.error().description);
            continue;
        }
        const auto& wanted = component->audioComponentDescription();
        const auto earlier = std::find_if(components_.begin(), components_.end(), [&](const auto& c) {
            const auto& d = c.audioComponentDescription();
            return d.componentType == wanted.componentType && d.componentSubType == wanted.componentSubType &&
                   d.componentManufacturer == wanted.componentManufacturer;
        });
        if (earlier != components_.end()) {
            console.writeLine(std::string(kLinePrefix) + "skipped " + bundle.string() + ": it registers " +
                              codes(wanted) + ", already registered by " + earlier->bundlePath().string());
            continue;
        }
        components_.push_back(std::move(component).value());
    }
}

std::vector<AVAudioUnitComponent>
AVAudioUnitComponentManager::componentsMatching(const AudioComponentDescription& pattern) const {
    std::vector<AVAudioUnitComponent> found;
    for (const auto& c : components_)
        if (pattern.matches(c.audioComponentDescription())) found.push_back(c);
    return found;
}

void AVAudioUnitComponentManager::instantiate(const AVAudioUnitComponent& component,
                                              AUAudioUnit::InstantiationCompletion completion) {
    queue_->async([component, completion = std::move(completion)] {
        auto unit = load(component);
        if (!unit)
            Console::shared().writeLine(std::string(kLinePrefix) + "cannot instantiate " +
                                        component.bundlePath().string() + ": " + unit.error().description);
        if (completion) completion(std::move(unit));
    });
}

void AVAudioUnitComponentManager::instantiate(const AudioComponentDescription& pattern,
                                              AUAudioUnit::InstantiationCompletion completion) {
    const auto found = componentsMatching(pattern);
    if (!found.empty()) return instantiate(found.front(), std::move(completion));
    queue_->async([pattern, completion = std::move(completion)] {
        Error none = loadError("no installed audio-unit component matches " + codes(pattern));
        Console::shared().writeLine(std::string(kLinePrefix) + "cannot instantiate: " + none.description);
        if (completion) completion(std::move(none));
    });
}

Result<std::shared_ptr<AUAudioUnit>>
AVAudioUnitComponentManager::load(const AVAudioUnitComponent& component) {
    const std::string library = component.libraryPath().string();
    const std::string& symbol = component.entrySymbol();
    // The file may have changed since the scan.
    if (auto real = realLibraryInside(component.bundlePath(), library); !real || real.value() != library)
        return loadError(real ? "the library " + library + " is now a link" : real.error().description);
    if (auto whole = holdsItsSegments(library); !whole) return loadError(whole.error().description);
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        return loadError("cannot load " + library + ": " + (why ? why : "unknown reason"));
    }
    const auto entry = reinterpret_cast<AudioComponentPlugInEntry>(dlsym(handle, symbol.c_str()));
    if (!entry) {
        dlclose(handle); // none of its code has run but its initialisers
        return loadError(library + " has no entry symbol " + shown(symbol));
    }
    try {
        const AudioComponentPlugInInterface* plugIn = entry();
        if (!plugIn)
            return loadError("the entry symbol " + shown(symbol) + " of " + library + " returned nothing");
        if (plugIn->abiVersion != kAudioComponentPlugInABIVersion)
            return loadError(library + " was built for plug-in ABI version " +
                             std::to_string(plugIn->abiVersion) + "; this host loads version " +
                             std::to_string(kAudioComponentPlugInABIVersion));
        std::shared_ptr<AUAudioUnitFactory> factory =
            plugIn->createFactory ? plugIn->createFactory() : nullptr;
        if (!factory) return loadError(library + " made no audio-unit factory");
        auto made = factory->createAudioUnit(component.audioComponentDescription());
        if (!made) return made.error();
        std::shared_ptr<AUAudioUnit> unit = std::move(made).value();
        if (!unit) return loadError("the audio-unit factory of " + library + " made no audio unit");
        unit->factory_ = factory;
        AUAudioUnit* raw = unit.get();
        return std::shared_ptr<AUAudioUnit>(
            std::make_shared<Instance>(Instance{std::move(unit), std::move(factory)}), raw);
    } catch (const std::exception& e) {
        return loadError("the plug-in " + library + " failed: " + e.what());
    } catch (...) {
        return loadError("the plug-in " + library + " failed");
    }
}

void AUAudioUnit::instantiate(const AudioComponentDescription& description,
                              AudioComponentInstantiationOptions, InstantiationCompletion completion) {
    AVAudioUnitComponentManager::sharedAudioUnitComponentManager().instantiate(description,
                                                                               std::move(completion));
}

} // namespace plat
