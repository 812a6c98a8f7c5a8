#include "plat/files.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <mutex>
#include <pwd.h>
#include <random>
#include <unistd.h>

namespace plat {

namespace fs = std::filesystem;

namespace {

Error fileError(const std::error_code& ec, const fs::path& path, long code = 512) {
    return Error{kCocoaErrorDomain, code, "\u201c" + path.string() + "\u201d: " + ec.message()};
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

// XDG_DOCUMENTS_DIR="$HOME/Documents" in user-dirs.dirs.
std::string documentsFromUserDirs(const std::string& configHome, const std::string& home) {
    std::ifstream in(fs::path(configHome) / "user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DOCUMENTS_DIR=\"";
        if (!line.starts_with(key) || line.size() < key.size() + 1 || line.back() != '"') continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.starts_with("$HOME")) value = home + value.substr(5);
        if (!value.empty() && value[0] == '/') return value;
    }
    return {};
}

} // namespace

FileManager& FileManager::defaultManager() {
    static FileManager manager;
    return manager;
}

bool FileManager::fileExists(const fs::path& path) const {
    std::error_code ec;
    return fs::exists(path, ec);
}

bool FileManager::fileExists(const fs::path& path, bool& isDirectory) const {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    isDirectory = fs::is_directory(status);
    return fs::exists(status);
}

Result<void> FileManager::createDirectory(const fs::path& path, bool withIntermediateDirectories) const {
    std::error_code ec;
    if (withIntermediateDirectories) {
        fs::create_directories(path, ec);
        if (!ec && fs::is_directory(path, ec)) return {};
        if (!ec) ec = std::make_error_code(std::errc::file_exists);
    } else if (fs::create_directory(path, ec) || ec) {
        if (!ec) return {};
    } else {
        ec = std::make_error_code(std::errc::file_exists); // already there
    }
    return fileError(ec, path);
}

Result<std::vector<std::string>> FileManager::contentsOfDirectory(const fs::path& path) const {
    std::error_code ec;
    std::vector<std::string> names;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (!name.starts_with('.')) names.push_back(std::move(name));
    }
    if (ec) return fileError(ec, path, 260);
    std::sort(names.begin(), names.end());
    return names;
}

Result<void> FileManager::removeItem(const fs::path& path) const {
    std::error_code ec;
    if (fs::remove_all(path, ec) == static_cast<std::uintmax_t>(-1) || ec) return fileError(ec, path);
    return {};
}

std::vector<URL> FileManager::urls(SearchPathDirectory directory) const {
    const std::string home = homeFolder();
    std::string configHome;
    if (const char* c = std::getenv("XDG_CONFIG_HOME"); c && c[0] == '/')
        configHome = c;
    else if (!home.empty())
        configHome = home + "/.config";

    std::string folder;
    switch (directory) {
    case SearchPathDirectory::config:
        folder = configHome;
        break;
    case SearchPathDirectory::documents:
        if (const char* d = std::getenv("XDG_DOCUMENTS_DIR"); d && d[0] == '/')
            folder = d;
        else if (!configHome.empty())
            folder = documentsFromUserDirs(configHome, home);
        if (folder.empty() && !home.empty()) folder = home + "/Documents";
        break;
    }
    if (folder.empty()) return {};
    return {URL::fileURL(folder, true)};
}

Bundle Bundle::forBinary(const fs::path& binary) {
    std::error_code ec;
    fs::path bin = fs::weakly_canonical(binary, ec);
    if (ec) bin = binary;
    fs::path folder = bin.parent_path();
    if (folder.filename() == "bin" || folder.filename() == "lib") folder = folder.parent_path();
    Bundle bundle(URL::fileURL(folder, true), URL::fileURL(bin));
    if (auto info = plist::readFile(folder / "Info.plist"); info.ok()) {
        if (const auto* dict = info->asDictionary()) bundle.info_ = *dict;
    }
    return bundle;
}

const Bundle& Bundle::main() {
    static const Bundle bundle = [] {
        std::error_code ec;
        const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
        return forBinary(ec ? fs::current_path() / "unknown" : exe);
    }();
    return bundle;
}

std::optional<Bundle> Bundle::containing(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0) return std::nullopt;
    fs::path module = info.dli_fname ? info.dli_fname : "";
    if (module.empty() || !module.is_absolute()) {
        // The main executable may be reported by the name it was started with.
        std::error_code ec;
        const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
        if (!ec && (module.empty() || exe.filename() == module.filename())) module = exe;
    }
    if (module.empty()) return std::nullopt;
    return forBinary(module);
}

std::optional<URL> Bundle::resourceURL() const {
    const fs::path folder = bundleURL_.filePath() / "Resources";
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return std::nullopt;
    return URL::fileURL(folder, true);
}

std::string Bundle::bundleIdentifier() const {
    if (const auto* id = info_.find("CFBundleIdentifier"))
        if (const auto* s = id->asString(); s && !s->empty()) return *s;
    return executableURL_.filePath().filename().string();
}

std::string globallyUniqueString() {
    static std::mutex m;
    static std::mt19937_64 rng{std::random_device{}()};
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t a, b;
    {
        std::lock_guard<std::mutex> lock(m);
        a = rng();
        b = rng();
    }
    // Version 4 layout, with the process and a counter appended so two draws can never collide.
    a = (a & 0xFFFFFFFFFFFF0FFFull) | 0x0000000000004000ull;
    b = (b & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%08llX-%04llX-%04llX-%04llX-%012llX-%X-%llX",
                  (unsigned long long)(a >> 32), (unsigned long long)((a >> 16) & 0xFFFF),
                  (unsigned long long)(a & 0xFFFF), (unsigned long long)(b >> 48),
                  (unsigned long long)(b & 0xFFFFFFFFFFFFull), unsigned(getpid()),
                  (unsigned long long)counter.fetch_add(1));
    return buf;
}

} // namespace plat
