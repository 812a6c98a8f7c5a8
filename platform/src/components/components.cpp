#include "plat/components.h"

#include "plat/console.h"
#include "plat/dispatch.h"
#include "plat/files.h"
#include "plat/plist.h"

#include "../plist/PlistFormats.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <thread>

extern char** environ;

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

constexpr std::uintmax_t kIconMaxBytes = 4 * 1024 * 1024;
// A small file may declare a huge picture, all of which decoding would hold for the whole run.
constexpr std::uint32_t kIconMaxSide = 1024;

// Record texts quoted in errors, long ones cut.
using plist::detail::shown;

// A path in a line: a folder's name may hold anything, escape codes included.
std::string shownPath(const fs::path& path) {
    return shownText(path.string());
}

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
        return recordError(std::string("the record has no \u201c") + key + "\u201d");
    }
    static Error wrong(const char* key, const std::string& what) {
        return recordError(std::string("the record's \u201c") + key + "\u201d " + what);
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

// Where a file the record names really is, links resolved: a symbolic link on the way (a "lib"
// folder that is a link, say) must not lead the host to read a file from elsewhere.
struct RealPlace {
    fs::path real;         // empty when the file or the bundle is not there, or cannot be followed
    bool inside = false;   // within the bundle's real folder
    std::error_code error; // why it cannot be followed (a loop of links); none when it is not there
};

RealPlace realPlace(const fs::path& bundle, const fs::path& path) {
    std::error_code ec;
    const fs::path realBundle = fs::canonical(bundle, ec);
    const fs::path real = ec ? fs::path() : fs::canonical(path, ec);
    if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory) return {};
    if (ec) return {{}, false, ec};
    const auto [outside, inside] =
        std::mismatch(realBundle.begin(), realBundle.end(), real.begin(), real.end());
    return {real, outside == realBundle.end() && inside != real.end(), {}};
}

// The library's real path, when it lies inside the bundle's real folder.
Result<fs::path> realLibraryInside(const fs::path& bundle, const fs::path& library) {
    const RealPlace place = realPlace(bundle, library);
    if (place.error)
        return recordError("the library " + cutInMiddle(library.string()) +
                           " cannot be read: " + place.error.message());
    if (place.real.empty())
        return recordError("the record names a library that is not there: " + cutInMiddle(library.string()));
    if (!place.inside)
        return recordError("the library " + cutInMiddle(library.string()) + " lies outside the bundle, in " +
                           cutInMiddle(place.real.string()));
    return place.real;
}

// The loader maps every loadable segment from the file: one that ends past the file's end (a copy
// cut short) faults in the host when touched. Such a file is refused before it is opened.
Result<void> holdsItsSegments(const fs::path& library) {
    const auto broken = [&](const std::string& why) {
        return recordError("the library " + cutInMiddle(library.string()) + " " + why);
    };
    std::ifstream in(library, std::ios::binary);
    if (!in.is_open()) return broken(std::string("cannot be read: ") + std::strerror(errno));
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

// ---- icons ------------------------------------------------------------------------------------

// Reads the icon a record names into the component, or says why it cannot be used.
void readIcon(const fs::path& bundle, const plist::Value& entry, std::shared_ptr<UIImage>& icon,
              std::string& problem) {
    const std::string* name = entry.asString();
    if (!name) {
        problem = "the record's \u201cicon\u201d is not a string";
        return;
    }
    if (!staysInside(*name)) {
        problem =
            "the record's \u201cicon\u201d must be a relative path inside the bundle, not " + shown(*name);
        return;
    }
    const fs::path path = bundle / *name;
    const std::string named = cutInMiddle(path.string());
    const RealPlace place = realPlace(bundle, path);
    const fs::path& real = place.real;
    std::error_code ec;
    if (place.error) {
        problem = "its icon " + named + " cannot be read: " + place.error.message();
        return;
    }
    if (real.empty() || !fs::is_regular_file(real, ec)) {
        problem = "its icon " + named + " is not there";
        return;
    }
    if (!place.inside) {
        problem = "its icon " + named + " lies outside the bundle, in " + cutInMiddle(real.string());
        return;
    }
    const auto read = readFileContents(real, kIconMaxBytes);
    if (!read) {
        problem = "its icon " + named +
                  (read.error().code == kFileTooLargeError
                       ? " is larger than " + std::to_string(kIconMaxBytes) + " bytes"
                       : " cannot be read: " + read.error().description);
        return;
    }
    const std::vector<std::uint8_t>& bytes = read.value();
    const auto declared = UIImage::declaredPNGSize(bytes);
    if (!declared) {
        problem = "its icon " + named + " is not a PNG image";
        return;
    }
    if (const auto [width, height] = *declared; width > kIconMaxSide || height > kIconMaxSide) {
        problem = "its icon " + named + " is " + std::to_string(width) + " x " + std::to_string(height) +
                  " pixels, larger than " + std::to_string(kIconMaxSide) + " x " +
                  std::to_string(kIconMaxSide);
        return;
    }
    std::string why;
    icon = UIImage::fromData(bytes, &why);
    if (!icon) problem = "its icon " + named + " cannot be decoded: " + why;
}

// ---- first loads in a process of their own ---------------------------------------------------

// The helper beside the platform library: <bundle>/lib/libplat.so -> <bundle>/libexec/plat-probe.
// Never destroyed, as the environment below: the registry's thread may still start test processes
// while the process exits.
const fs::path& probeHelper() {
    static const auto* helper = new fs::path([] {
        Dl_info info{};
        if (!dladdr(reinterpret_cast<void*>(&probeHelper), &info) || !info.dli_fname) return fs::path();
        std::error_code ec;
        const fs::path library = fs::canonical(info.dli_fname, ec);
        if (ec) return fs::path();
        return library.parent_path().parent_path() / "libexec" / "plat-probe";
    }());
    return *helper;
}

// The environment of a test process: ours, with any sanitizer told to leave crashes to the
// kernel, so a crash shows as the signal it is.
std::vector<std::string> probeEnvironment() {
    std::vector<std::string> entries;
    bool asan = false, tsan = false;
    const std::string quiet = "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:"
                              "detect_leaks=0";
    for (char** e = environ; e && *e; ++e) {
        std::string entry = *e;
        if (entry.starts_with("ASAN_OPTIONS=")) asan = true, entry += ":" + quiet;
        if (entry.starts_with("TSAN_OPTIONS=")) tsan = true, entry += ":" + quiet;
        entries.push_back(std::move(entry));
    }
    if (!asan) entries.push_back("ASAN_OPTIONS=" + quiet);
    if (!tsan) entries.push_back("TSAN_OPTIONS=" + quiet);
    return entries;
}

// One library loaded in a test process.
struct Probe {
    Probe(fs::path l, std::string s) : library(std::move(l)), symbol(std::move(s)) {}
    fs::path library;
    std::string symbol;
    pid_t pid = -1;
    int verdict = -1;    // the read end of the pipe the test process answers on
    std::string failure; // empty while it went well or runs
    bool done = false;
};

std::string signalText(int sig) {
    const char* abbreviation = sigabbrev_np(sig);
    const char* description = sigdescr_np(sig);
    std::string text = abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(sig);
    if (description) text += std::string(" (") + description + ")";
    return text;
}

// The test processes still running. They end when this process ends: killed and reaped at exit,
// and (for an end that runs no exit handler) by the signal each asks for when its parent dies.
class RunningProbes {
public:
    static RunningProbes& shared() {
        static auto* probes = new RunningProbes; // used at exit
        return *probes;
    }

    // Starts one under the lock, so that the end of this process never misses it.
    int spawn(pid_t& pid, const char* helper, const posix_spawn_file_actions_t* actions,
              const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!atExit_) atExit_ = std::atexit([] { shared().endAll(); }) == 0;
        const int error = posix_spawn(&pid, helper, actions, attributes, argv, envp);
        if (error == 0) pids_.insert(pid);
        return error;
    }

    // waitpid() under the lock: a pid reaped here is never killed at exit, when it may be another's.
    pid_t reap(pid_t pid, int& status, int options) {
        std::lock_guard<std::mutex> lock(mutex_);
        const pid_t ended = waitpid(pid, &status, options);
        if (ended != 0) pids_.erase(pid);
        return ended;
    }

    void end(pid_t pid) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!pids_.erase(pid)) return;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

private:
    // The lock stays taken: a thread still waiting for a test process stops here instead of going
    // on into what exit tears down.
    void endAll() {
        mutex_.lock();
        if (getpid() != owner_) return; // a forked copy of this process owns none of them
        for (const pid_t pid : pids_) kill(pid, SIGKILL);
        for (const pid_t pid : pids_) waitpid(pid, nullptr, 0);
        pids_.clear();
    }

    std::mutex mutex_;
    std::set<pid_t> pids_;
    bool atExit_ = false;
    const pid_t owner_ = getpid();
};

// How many test processes run at once: loading is mostly waiting on the disk, and a slot a hung
// library holds until the end of the wait should not stall the others on a small machine.
unsigned probesAtOnce(unsigned asked) {
    return asked ? asked : std::max(4u, std::thread::hardware_concurrency());
}

// Starts one test process, its standard input the host's own: an initialiser that waits on it
// waits there as it would in the host, and is killed when its time is up.
void startProbe(Probe& probe, const std::vector<char*>& envp, const std::string& host) {
    const fs::path& helper = probeHelper();
    const auto fail = [&](int error) {
        probe.done = true;
        probe.failure = "could not be loaded in a test process first: the helper " +
                        cutInMiddle(helper.string()) + " cannot be started (" + std::strerror(error) + ")";
    };
    int pipe[2];
    if (pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0) return fail(errno);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 1; fd <= 2; ++fd) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::string library = probe.library.string();
    char* argv[] = {const_cast<char*>(helper.c_str()), const_cast<char*>(library.c_str()),
                    const_cast<char*>(probe.symbol.c_str()), const_cast<char*>(host.c_str()), nullptr};
    const int error =
        RunningProbes::shared().spawn(probe.pid, helper.c_str(), &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipe[1]);
    if (error != 0) {
        close(pipe[0]);
        return fail(error);
    }
    probe.verdict = pipe[0];
}

// What an ended test process says of its library: nothing when it was opened and the entry
// looked up, so that the host's own load tells what is wrong with one the loader refused.
std::string outcome(int verdictPipe, int status) {
    char answer = 0;
    const bool answered =
        read(verdictPipe, &answer, 1) == 1 && (answer == '0' || answer == '3' || answer == '4');
    if (WIFSIGNALED(status)) return "loading it killed a test process with " + signalText(WTERMSIG(status));
    if (!answered || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "loading it ended a test process with exit status " + std::to_string(WEXITSTATUS(status)) +
               " before the library was open";
    return {};
}

// Runs the probes, at most `atOnce` at a time, and waits for them, at most `seconds` in all: one
// still running then is killed, one not started by then is not tested and fails.
void runProbes(std::vector<Probe>& probes, double seconds, unsigned atOnce = 1) {
    static const auto* environment = new std::vector<std::string>(probeEnvironment());
    std::vector<char*> envp;
    for (const auto& e : *environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const std::string host = std::to_string(getpid());

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    const auto finish = [](Probe& probe, std::string failure) {
        close(probe.verdict);
        probe.done = true;
        probe.failure = std::move(failure);
    };
    std::size_t next = 0;
    unsigned running = 0;
    auto pause = std::chrono::microseconds(200);
    for (;;) {
        while (running < atOnce && next < probes.size() && std::chrono::steady_clock::now() < deadline) {
            startProbe(probes[next], envp, host);
            if (!probes[next++].done) ++running;
        }
        for (auto& probe : probes) {
            if (probe.done || probe.pid < 0) continue;
            int status = 0;
            const pid_t ended = RunningProbes::shared().reap(probe.pid, status, WNOHANG);
            if (ended == 0) continue;
            --running;
            pause = std::chrono::microseconds(200);
            finish(probe, ended < 0 ? std::string("its test process was lost (") + std::strerror(errno) + ")"
                                    : outcome(probe.verdict, status));
        }
        if (running == 0 && next == probes.size()) return;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
    char limit[64];
    std::snprintf(limit, sizeof limit, "%g s given to all test loads", seconds);
    for (auto& probe : probes) {
        if (probe.done) continue;
        if (probe.pid < 0) {
            probe.done = true;
            probe.failure = std::string("was not loaded in a test process first: the ") + limit +
                            " ran out before its turn";
            continue;
        }
        RunningProbes::shared().end(probe.pid);
        finish(probe, std::string("loading it kept a test process busy past the ") + limit +
                          " (hung); the process was killed");
    }
}

// Whether the loader holds this library already: opening it again maps nothing and runs nothing.
bool loadedInThisProcess(const fs::path& library) {
    void* handle = dlopen(library.c_str(), RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
    if (!handle) return false;
    dlclose(handle);
    return true;
}

// The file's size and time, to see whether a library changed since it was probed.
bool sameFile(const fs::path& library, std::uintmax_t size, fs::file_time_type time) {
    std::error_code ec;
    const auto nowSize = fs::file_size(library, ec);
    if (ec) return false;
    const auto nowTime = fs::last_write_time(library, ec);
    return !ec && nowSize == size && nowTime == time;
}

} // namespace

// ---- records -------------------------------------------------------------------------------

Result<AVAudioUnitComponent> AVAudioUnitComponent::fromBundle(const fs::path& folder) {
    const fs::path recordPath = folder / kRecordName;
    std::error_code ec;
    // One that cannot be looked at (a link to itself) is read, and says why it fails.
    if (const auto status = fs::status(recordPath, ec);
        status.type() == fs::file_type::not_found || (!ec && !fs::is_regular_file(status)))
        return Error{kCocoaErrorDomain, 260,
                     std::string("it has no registration record (") + kRecordName + ")"};
    auto parsed = plist::readFile(recordPath, {kRecordMaxBytes, 8, kRecordMaxExpandedBytes});
    if (!parsed)
        return recordError(std::string(kRecordName) +
                           (parsed.error().code == plist::kPropertyListReadCorruptError
                                ? " is not a property list: "
                                : " cannot be read: ") +
                           parsed.error().description);
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
        return recordError("the record names a library that is not there: " +
                           cutInMiddle(c.library_.string()));
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

    if (const plist::Value* icon = dictionary->find("icon")) readIcon(folder, *icon, c.icon_, c.iconProblem_);
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
    // Never destroyed: a queue's thread may still be scanning, or instantiating through it, while the
    // process exits.
    static auto* manager = new AVAudioUnitComponentManager(defaultSearchFolders());
    return *manager;
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

AVAudioUnitComponentManager::AVAudioUnitComponentManager(const std::vector<fs::path>& folders,
                                                         ComponentLoadChecks checks)
    : checks_(checks), queue_(std::make_unique<SerialQueue>("plat.components.instantiate")) {
    auto& console = Console::shared();
    std::set<fs::path> scanned;
    std::vector<AVAudioUnitComponent> candidates;
    for (const auto& folder : folders) {
        std::error_code ec;
        const fs::path canonical = fs::weakly_canonical(folder, ec);
        if (!scanned.insert(ec ? folder : canonical).second) continue;
        for (auto& c : scan(folder)) candidates.push_back(std::move(c));
    }

    // Every library is loaded first in a test process of its own, all at once.
    std::vector<std::string> failures(candidates.size());
    if (checks_.probeLibraries && !candidates.empty()) {
        std::error_code ec;
        if (probeHelper().empty() || !fs::is_regular_file(probeHelper(), ec)) {
            console.writeLine(std::string(kLinePrefix) +
                              "cannot load plug-in libraries in a test process first: " + "the helper " +
                              shownPath(probeHelper()) + " is missing; they are loaded directly");
        } else {
            // A library this process has loaded already is what a load gives again: it needs no test.
            std::vector<Probe> probes;
            std::vector<std::size_t> probed;
            for (std::size_t i = 0; i < candidates.size(); ++i) {
                if (loadedInThisProcess(candidates[i].libraryPath())) continue;
                probes.push_back(Probe{candidates[i].libraryPath(), candidates[i].entrySymbol()});
                probed.push_back(i);
            }
            runProbes(probes, checks_.probeSeconds, probesAtOnce(checks_.probesAtOnce));
            for (std::size_t k = 0; k < probed.size(); ++k) {
                failures[probed[k]] = probes[k].failure;
                auto& c = candidates[probed[k]];
                c.probedSize_ = fs::file_size(c.libraryPath(), ec);
                if (!ec) c.probedTime_ = fs::last_write_time(c.libraryPath(), ec);
                c.probed_ = !ec;
            }
        }
    }

    for (std::size_t i = 0; i < candidates.size(); ++i) {
        auto& component = candidates[i];
        const fs::path& bundle = component.bundlePath();
        if (!failures[i].empty()) {
            console.writeLine(std::string(kLinePrefix) + "skipped " + shownPath(bundle) + ": its library " +
                              shownPath(component.libraryPath()) + " " + shownMessage(failures[i]));
            continue;
        }
        const auto& wanted = component.audioComponentDescription();
        const auto earlier = std::find_if(components_.begin(), components_.end(), [&](const auto& c) {
            const auto& d = c.audioComponentDescription();
            return d.componentType == wanted.componentType && d.componentSubType == wanted.componentSubType &&
                   d.componentManufacturer == wanted.componentManufacturer;
        });
        if (earlier != components_.end()) {
            console.writeLine(std::string(kLinePrefix) + "skipped " + shownPath(bundle) + ": it registers " +
                              codes(wanted) + ", already registered by " + shownPath(earlier->bundlePath()));
            continue;
        }
        if (!component.iconProblem().empty())
            console.writeLine(std::string(kLinePrefix) + shownPath(bundle) + ": " +
                              shownMessage(component.iconProblem()) + "; it is listed without an icon");
        components_.push_back(std::move(component));
    }
}

AVAudioUnitComponentManager::~AVAudioUnitComponentManager() = default;

std::vector<AVAudioUnitComponent> AVAudioUnitComponentManager::scan(const fs::path& folder) {
    auto& console = Console::shared();
    std::vector<AVAudioUnitComponent> found;
    const auto names = FileManager::defaultManager().contentsOfDirectory(folder);
    if (!names) {
        console.writeLine(std::string(kLinePrefix) +
                          "cannot read a plug-in folder: " + shownMessage(names.error().description));
        return found;
    }
    for (const auto& name : *names) {
        std::error_code ec;
        const fs::path bundle = folder / name;
        if (!name.ends_with(kBundleExtension) || !fs::is_directory(bundle, ec)) continue;
        auto component = AVAudioUnitComponent::fromBundle(bundle);
        if (!component) {
            console.writeLine(std::string(kLinePrefix) + "skipped " + shownPath(bundle) + ": " +
                              shownMessage(component.error().description));
            continue;
        }
        found.push_back(std::move(component).value());
    }
    return found;
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
    queue_->async([component, checks = checks_, completion = std::move(completion)] {
        auto unit = load(component, checks);
        if (!unit)
            Console::shared().writeLine(std::string(kLinePrefix) + "cannot instantiate " +
                                        shownPath(component.bundlePath()) + ": " +
                                        shownMessage(unit.error().description));
        if (completion) completion(std::move(unit));
    });
}

void AVAudioUnitComponentManager::instantiate(const AudioComponentDescription& pattern,
                                              AUAudioUnit::InstantiationCompletion completion) {
    const auto found = componentsMatching(pattern);
    if (!found.empty()) return instantiate(found.front(), std::move(completion));
    queue_->async([pattern, completion = std::move(completion)] {
        Error none = loadError("no installed audio-unit component matches " + codes(pattern));
        Console::shared().writeLine(std::string(kLinePrefix) +
                                    "cannot instantiate: " + shownMessage(none.description));
        if (completion) completion(std::move(none));
    });
}

Result<std::shared_ptr<AUAudioUnit>> AVAudioUnitComponentManager::load(const AVAudioUnitComponent& component,
                                                                       const ComponentLoadChecks& checks) {
    const std::string library = component.libraryPath().string(), named = cutInMiddle(library);
    const std::string& symbol = component.entrySymbol();
    // The file may have changed since the scan.
    if (auto real = realLibraryInside(component.bundlePath(), library); !real || real.value() != library)
        return loadError(real ? "the library " + named + " is now a link" : real.error().description);
    if (auto whole = holdsItsSegments(library); !whole) return loadError(whole.error().description);
    // A library replaced since its first load in a test process is loaded there again first.
    if (checks.probeLibraries && component.probed_ && !loadedInThisProcess(library) &&
        !sameFile(library, component.probedSize_, component.probedTime_)) {
        std::vector<Probe> probe{Probe{library, symbol}};
        runProbes(probe, checks.probeSeconds);
        if (!probe[0].failure.empty())
            return loadError("the library " + named + " changed since the scan; " + probe[0].failure);
    }
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        return loadError("cannot load " + named + ": " + (why ? cutInMiddle(why) : "unknown reason"));
    }
    const auto entry = reinterpret_cast<AudioComponentPlugInEntry>(dlsym(handle, symbol.c_str()));
    if (!entry) {
        dlclose(handle); // none of its code has run but its initialisers
        return loadError(named + " has no entry symbol " + shown(symbol));
    }
    try {
        const AudioComponentPlugInInterface* plugIn = entry();
        if (!plugIn)
            return loadError("the entry symbol " + shown(symbol) + " of " + named + " returned nothing");
        if (plugIn->abiVersion != kAudioComponentPlugInABIVersion)
            return loadError(named + " was built for plug-in ABI version " +
                             std::to_string(plugIn->abiVersion) + "; this host loads version " +
                             std::to_string(kAudioComponentPlugInABIVersion));
        std::shared_ptr<AUAudioUnitFactory> factory =
            plugIn->createFactory ? plugIn->createFactory() : nullptr;
        if (!factory) return loadError(named + " made no audio-unit factory");
        auto made = factory->createAudioUnit(component.audioComponentDescription());
        if (!made) return made.error();
        std::shared_ptr<AUAudioUnit> unit = std::move(made).value();
        if (!unit) return loadError("the audio-unit factory of " + named + " made no audio unit");
        unit->factory_ = factory;
        AUAudioUnit* raw = unit.get();
        return std::shared_ptr<AUAudioUnit>(
            std::make_shared<Instance>(Instance{std::move(unit), std::move(factory)}), raw);
    } catch (const std::exception& e) {
        return loadError("the plug-in " + named + " failed: " + cutInMiddle(e.what()));
    } catch (...) {
        return loadError("the plug-in " + named + " failed");
    }
}

void AUAudioUnit::instantiate(const AudioComponentDescription& description,
                              AudioComponentInstantiationOptions, InstantiationCompletion completion) {
    AVAudioUnitComponentManager::sharedAudioUnitComponentManager().instantiate(description,
                                                                               std::move(completion));
}

// ---- icons ------------------------------------------------------------------------------------

std::shared_ptr<UIImage> AudioComponentCopyIcon(const AVAudioUnitComponent& component) {
    return component.icon();
}

std::shared_ptr<UIImage> AudioComponentGetIcon(const AVAudioUnitComponent& component, double points) {
    const auto& icon = component.icon();
    if (!icon || !(points >= 1) || points > 4096) return nullptr;
    const int side = int(std::lround(points));
    return icon->fitted(side, side);
}

std::string iconDescription(const std::shared_ptr<UIImage>& image) {
    if (!image) return "nil";
    return "Optional(<UIImage: " + std::to_string(image->width()) + " x " + std::to_string(image->height()) +
           ">)";
}

} // namespace plat
