#include "plat/defaults.h"
#include "plat/core.h"

#include "plat/console.h"
#include "plat/files.h"

#include "../plist/PlistFormats.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

namespace fs = std::filesystem;

namespace {

struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    std::int64_t mtimeNs = 0;
    int error = 0; // why a file that may be there cannot be looked at (a loop of links, a closed folder)
    friend bool operator==(const FileId&, const FileId&) = default;
};

FileId identify(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return {.error = errno == ENOENT ? 0 : errno};
    return {st.st_dev, st.st_ino, st.st_size,
            std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

void report(const std::string& line) {
    Console::shared().writeLine(line);
}

// Leading number of a string, as the stores read numbers from text ("12abc" is 12, "abc" is 0).
double leadingNumber(const std::string& s) {
    const char* p = s.c_str();
    while (*p == ' ' || *p == '\t') ++p;
    char* end = nullptr;
    const double v = strtod_l(p, &end, cLocale());
    return end == p || !std::isfinite(v) ? 0.0 : v;
}

std::int64_t toInteger(double v) {
    if (!std::isfinite(v)) return 0;
    if (v >= 9.2233720368547758e18) return INT64_MAX;
    if (v <= -9.2233720368547758e18) return INT64_MIN;
    return std::int64_t(v);
}

std::string shortestText(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// A copy of a file the settings reader refused, kept beside it under the first free name of
// "<file>.unreadable", "<file>.unreadable-2", ...: a hard link where the folder allows one, so the
// file is kept whole even when it cannot be read. Nothing when no copy could be made.
std::optional<fs::path> keepUnreadable(const fs::path& target, std::string& why) {
    constexpr int kNames = 100;
    for (int n = 1; n <= kNames; ++n) {
        std::string copy = target.string() + ".unreadable";
        if (n > 1) copy.append(1, '-').append(std::to_string(n));
        if (::link(target.c_str(), copy.c_str()) == 0) return copy;
        if (errno == EEXIST) continue;
        std::error_code ec;
        if (fs::copy_file(target, copy, fs::copy_options::none, ec)) return copy;
        if (ec == std::errc::file_exists) continue;
        // Named, as it goes beside the file a link names, which may be far from the settings.
        why = "\u201c" + cutInMiddle(copy) + "\u201d: " + ec.message();
        return std::nullopt;
    }
    why = "all of its " + std::to_string(kNames) + " names for copies are taken";
    return std::nullopt;
}

} // namespace

struct UserDefaults::Domain {
    std::string name;
    fs::path file; // empty: kept in memory only
    std::mutex m;
    plist::Dictionary values;
    FileId loadedId;
    FileId reportedBadId;
    bool fileUnreadable = false; // the file's current version was refused by the reader

    // Re-reads the file when another writer replaced or changed it. Call with m held.
    void refreshLocked() {
        if (file.empty()) return;
        const FileId id = identify(file);
        if (id == loadedId) return;
        if (id.size < 0 && id.error == 0) { // removed
            values.clear();
            loadedId = id;
            fileUnreadable = false;
            return;
        }
        auto parsed = plist::readFile(file);
        const plist::Dictionary* dict = parsed.ok() ? parsed->asDictionary() : nullptr;
        loadedId = id;
        fileUnreadable = !dict;
        if (!dict) {
            // Keep what we had; say so once per broken file version.
            if (!(id == reportedBadId)) {
                reportedBadId = id;
                report("UserDefaults: ignoring unreadable settings file " + shownText(file.string()) + ": " +
                       (parsed.ok() ? std::string("the top level is not a dictionary")
                                    : shownMessage(parsed.error().description)));
            }
            return;
        }
        values = *dict;
    }

    std::optional<plist::Value> get(std::string_view key) {
        std::lock_guard<std::mutex> lock(m);
        refreshLocked();
        if (const auto* v = values.find(key)) return *v;
        return std::nullopt;
    }

    plist::Dictionary snapshot() {
        std::lock_guard<std::mutex> lock(m);
        refreshLocked();
        return values;
    }

    // `key` names the change in a refusal.
    void mutate(std::string_view key, const std::function<void(plist::Dictionary&)>& change) {
        std::lock_guard<std::mutex> lock(m);
        if (file.empty()) {
            change(values);
            return;
        }
        std::error_code ec;
        fs::create_directories(file.parent_path(), ec);
        // Another process may write the same domain: without a lock, two read-modify-writes that
        // overlap lose one change. The lock lives in a file of its own because the settings file is
        // replaced on every write; the kernel drops it when its holder exits, so none goes stale.
        const std::string lockPath = file.string() + ".lock";
        const int lockFd = ::open(lockPath.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
        if (lockFd >= 0)
            while (::flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
            }
        refreshLocked();
        plist::Dictionary changed = values;
        change(changed);
        if (save(changed, key)) values = std::move(changed);
        if (lockFd >= 0) {
            ::flock(lockFd, LOCK_UN);
            ::close(lockFd);
        }
    }

    // False when the change is refused: what cannot be written, or what the reader would refuse
    // once written (too large, too deeply nested), would make the whole domain unreadable to the
    // next process, so it is not kept. The document is read back with the reader's own limits, so
    // the two cannot drift apart. A save that fails for the file's sake keeps the change in
    // memory, as the file may take it later.
    bool save(const plist::Dictionary& changed, std::string_view key) {
        const std::string failed = "UserDefaults: could not save settings of domain " + name + ": ";
        auto xml = plist::detail::writeXML(plist::Value(changed));
        const auto readBack = xml.ok() ? plist::parse(xml.value()) : Result<plist::Value>(xml.error());
        if (!readBack.ok()) {
            report(failed + shownMessage(readBack.error().description) + " The change to \"" +
                   shownText(key) + "\" is not kept.");
            return false;
        }
        // What cannot be replaced at all (a folder, a pipe) the write below refuses by itself.
        if (const auto target = replaceableFile(file); fileUnreadable && target.ok()) {
            std::string why;
            const auto copy = keepUnreadable(target.value(), why);
            if (!copy) {
                report(failed + "the unreadable file " + shownText(file.string()) +
                       " is not replaced, as no copy of it could be kept: " + shownMessage(why));
                return true;
            }
            report("UserDefaults: the unreadable settings file " + shownText(file.string()) + " is kept as " +
                   shownText(copy->string()));
        }
        if (auto written = writeFileAtomically(file, xml.value()); !written.ok()) {
            report(failed + shownMessage(written.error().description));
            return true;
        }
        loadedId = identify(file);
        fileUnreadable = false;
        return true;
    }
};

namespace {

std::mutex gDomainsMutex;
std::map<std::string, std::shared_ptr<UserDefaults::Domain>, std::less<>>& domains() {
    static auto* map = new std::map<std::string, std::shared_ptr<UserDefaults::Domain>, std::less<>>;
    return *map;
}

std::shared_ptr<UserDefaults::Domain> openDomain(std::string_view name) {
    std::lock_guard<std::mutex> lock(gDomainsMutex);
    if (auto it = domains().find(name); it != domains().end()) return it->second;
    auto domain = std::make_shared<UserDefaults::Domain>();
    domain->name = std::string(name);
    const auto config = FileManager::defaultManager().urls(FileManager::SearchPathDirectory::config);
    if (config.empty())
        report("UserDefaults: no configuration folder (HOME is not set); settings of domain " + domain->name +
               " are kept in memory only");
    else
        domain->file = config.front().filePath() / (domain->name + ".plist");
    domains().emplace(domain->name, domain);
    return domain;
}

} // namespace

bool UserDefaults::isValidDomainName(std::string_view name) {
    if (name.empty() || name.size() > 200 || name[0] == '.') return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '.' || c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

UserDefaults::UserDefaults(std::string name, std::shared_ptr<Domain> domain)
    : domain_(std::move(name)), own_(std::move(domain)) {}

UserDefaults::~UserDefaults() = default;

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    static const std::shared_ptr<UserDefaults> store = [] {
        std::string id = Bundle::main().bundleIdentifier();
        for (char& c : id)
            if (!isValidDomainName(std::string_view(&c, 1)) && c != '.') c = '_';
        while (!id.empty() && id[0] == '.') id.erase(0, 1);
        if (id.empty()) id = "application";
        return std::make_shared<UserDefaults>(id, openDomain(id));
    }();
    return store;
}

std::shared_ptr<UserDefaults> UserDefaults::suite(std::string_view name) {
    if (!isValidDomainName(name)) return nullptr;
    return std::make_shared<UserDefaults>(std::string(name), openDomain(name));
}

std::shared_ptr<UserDefaults> UserDefaults::inMemory(std::string name) {
    auto domain = std::make_shared<Domain>();
    domain->name = name;
    return std::make_shared<UserDefaults>(std::move(name), std::move(domain));
}

void UserDefaults::addSuite(std::string_view name) {
    if (!isValidDomainName(name) || name == domain_) return;
    auto domain = openDomain(name);
    std::lock_guard<std::mutex> lock(searchMutex_);
    for (const auto& d : search_)
        if (d == domain) return;
    search_.push_back(std::move(domain));
}

void UserDefaults::addSuite(const UserDefaults& store) {
    if (store.own_ == own_) return;
    std::lock_guard<std::mutex> lock(searchMutex_);
    for (const auto& d : search_)
        if (d == store.own_) return;
    search_.push_back(store.own_);
}

std::vector<std::shared_ptr<UserDefaults::Domain>> UserDefaults::searchList() const {
    std::lock_guard<std::mutex> lock(searchMutex_);
    return search_;
}

std::optional<plist::Value> UserDefaults::object(std::string_view key) const {
    if (auto v = own_->get(key)) return v;
    for (const auto& d : searchList())
        if (auto v = d->get(key)) return v;
    return std::nullopt;
}

std::optional<std::string> UserDefaults::string(std::string_view key) const {
    const auto v = object(key);
    if (!v) return std::nullopt;
    if (const auto* s = v->asString()) return *s;
    if (auto i = v->asInteger()) return std::to_string(*i);
    if (auto r = v->asReal()) return shortestText(*r);
    if (auto b = v->asBool()) return std::string(*b ? "1" : "0");
    return std::nullopt;
}

double UserDefaults::doubleValue(std::string_view key) const {
    const auto v = object(key);
    if (!v) return 0;
    if (auto n = v->asNumber()) return *n;
    if (auto b = v->asBool()) return *b ? 1 : 0;
    if (const auto* s = v->asString()) return leadingNumber(*s);
    return 0;
}

std::int64_t UserDefaults::integer(std::string_view key) const {
    const auto v = object(key);
    if (!v) return 0;
    if (auto i = v->asInteger()) return *i;
    return toInteger(doubleValue(key));
}

bool UserDefaults::boolValue(std::string_view key) const {
    const auto v = object(key);
    if (!v) return false;
    if (auto b = v->asBool()) return *b;
    if (auto n = v->asNumber()) return *n != 0;
    if (const auto* s = v->asString()) {
        std::string lower;
        for (char c : *s) lower.push_back(char(std::tolower(static_cast<unsigned char>(c))));
        if (lower == "yes" || lower == "true") return true;
        return toInteger(leadingNumber(*s)) != 0;
    }
    return false;
}

std::optional<URL> UserDefaults::url(std::string_view key) const {
    const auto v = object(key);
    if (!v) return std::nullopt;
    const auto* s = v->asString();
    if (!s || s->empty()) return std::nullopt;
    if ((*s)[0] == '/') return URL::fileURL(*s);
    if ((*s)[0] == '~') {
        const char* home = std::getenv("HOME");
        if (!home || !*home) return std::nullopt;
        return URL::fileURL(std::string(home) + s->substr(1));
    }
    return URL::string(*s);
}

plist::Dictionary UserDefaults::dictionaryRepresentation() const {
    plist::Dictionary out = own_->snapshot();
    for (const auto& d : searchList())
        for (const auto& [k, v] : d->snapshot())
            if (!out.contains(k)) out.set(k, v);
    return out;
}

void UserDefaults::set(std::string_view key, plist::Value value) {
    own_->mutate(key, [&](plist::Dictionary& values) { values.set(std::string(key), std::move(value)); });
}

void UserDefaults::setURL(std::string_view key, const std::optional<URL>& url) {
    if (!url) {
        removeObject(key);
        return;
    }
    set(key, plist::Value(url->absoluteString()));
}

void UserDefaults::removeObject(std::string_view key) {
    own_->mutate(key, [&](plist::Dictionary& values) { values.erase(key); });
}

} // namespace plat
