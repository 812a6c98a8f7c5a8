#include "plat/files.h"
#include "plat/console.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <link.h>
#include <mutex>
#include <pwd.h>
#include <random>
#include <sys/auxv.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace plat {

namespace fs = std::filesystem;

namespace {

Error fileError(const std::error_code& ec, const fs::path& path, long code = 512) {
    return Error{kCocoaErrorDomain, code, "\u201c" + cutInMiddle(path.string()) + "\u201d: " + ec.message()};
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

// The file of the running program, whatever name it was started by; empty when it cannot be told.
// Started through the loader (ld.so <program>), the process's file is the loader's, which the kernel
// then started without an interpreter (AT_BASE 0); the loader gives the program's path as it was given
// in AT_EXECFN, relative to the folder current then. Taken once, so never read against another
// folder; never destroyed, as what is found from it.
const fs::path& runningProgram() {
    static const auto* program = new fs::path([] {
        std::error_code ec;
        const auto* given = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
        if (getauxval(AT_BASE) == 0 && given && *given) return fs::absolute(given, ec);
        const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
        return ec ? fs::path() : exe;
    }());
    return *program;
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
    // Never destroyed: threads that find the bundle's folders may still run while the process exits.
    static const auto* bundle = new Bundle([] {
        const fs::path& exe = runningProgram();
        return forBinary(exe.empty() ? fs::current_path() / "unknown" : exe);
    }());
    return *bundle;
}

std::optional<Bundle> Bundle::containing(const void* address) {
    Dl_info info{};
    link_map* module = nullptr;
    if (dladdr1(address, &info, reinterpret_cast<void**>(&module), RTLD_DL_LINKMAP) == 0 || !module)
        return std::nullopt;
    // The loader knows a library by its file, but the main program by no name at all: dladdr then
    // gives the name it was started by (argv[0]), which may be a link's or anything its starter chose.
    if (module->l_name && module->l_name[0] != '\0') return forBinary(module->l_name);
    const fs::path& exe = runningProgram();
    if (exe.empty()) return std::nullopt;
    return forBinary(exe);
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

namespace {

// "<what> <file><after>: <the system's reason>", the file's name cut as every name in an error is.
Error posixError(std::string_view what, const fs::path& file, int err, std::string_view after = {}) {
    return Error{kPOSIXErrorDomain, err,
                 std::string(what) + " " + cutInMiddle(file.string()) + std::string(after) + ": " +
                     std::strerror(err)};
}

// Temporaries are ".<target>.unfinished-save-XXXXXX", locked by the writer for as long as it writes
// and marked by an extended attribute that only a save sets and its commit takes off again: a name
// can always be a user's own, so the cleanup removes nothing that lacks the mark. Where a file
// system keeps no such attributes (ramfs, FAT) a temporary goes unmarked and a dead writer's stays.
// So do those older builds left as ".<target>.partial-XXXXXX", which no mark tells from a user's.
constexpr std::string_view kTemporaryMark = ".unfinished-save-";
constexpr const char* kTemporaryAttribute = "user.unfinished-save";
constexpr std::size_t kTemporaryRandom = 6; // mkstemp's XXXXXX
constexpr auto kStaleAfter = std::chrono::minutes(2);
constexpr std::size_t kNameMax = NAME_MAX;

bool isTemporaryName(std::string_view name) {
    if (name.size() < 2 + kTemporaryMark.size() + kTemporaryRandom || name[0] != '.' ||
        name.substr(name.size() - kTemporaryRandom - kTemporaryMark.size(), kTemporaryMark.size()) !=
            kTemporaryMark)
        return false;
    return std::all_of(name.end() - kTemporaryRandom, name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// A save killed mid-write leaves its temporary behind; the next save into the folder removes such
// leftovers. Only names of our pattern that carry our mark, only this user's regular files, only
// those no writer holds locked (the lock dies with its process) and untouched for a while (a writer
// locks its file just after making it).
void removeStaleTemporaries(const fs::path& folder) {
    std::error_code ec;
    const auto now = std::chrono::system_clock::now();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!isTemporaryName(it->path().filename().string())) continue;
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::fgetxattr(fd, kTemporaryAttribute, nullptr, 0) >= 0 &&
            now - std::chrono::system_clock::from_time_t(st.st_mtime) > kStaleAfter &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(it->path().c_str());
        ::close(fd);
    }
}

// A rename becomes durable only once the folder holding the name is synced.
void syncFolderOf(const fs::path& path) {
    const fs::path folder = path.has_parent_path() ? path.parent_path() : ".";
    if (const int dirfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirfd >= 0) {
        ::fsync(dirfd);
        ::close(dirfd);
    }
}

// A save never leaves a file under a name the cleanup of stale temporaries removes.
Error temporaryNameRefused(std::string_view what, const fs::path& file) {
    return Error{kPOSIXErrorDomain, EPERM,
                 std::string(what) + " " + cutInMiddle(file.string()) + ": " + kTemporaryNameRefusal};
}

Result<fs::path> unlessTemporaryName(fs::path target) {
    if (!isTemporaryName(target.filename().string())) return target;
    return temporaryNameRefused("Cannot save", target);
}

} // namespace

Result<fs::path> replaceableFile(const fs::path& path) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!fs::exists(status)) {
        // A link to a file not made yet is written through too: the file it names is made, and
        // where that cannot be (a missing folder, a loop of links) the save fails.
        fs::path named = path;
        for (int hops = 0; fs::is_symlink(fs::symlink_status(named, ec)); ++hops) {
            if (hops == 40) return posixError("Cannot follow", path, ELOOP);
            const fs::path next = fs::read_symlink(named, ec);
            if (ec) return posixError("Cannot follow", path, ec.value());
            named = next.is_absolute() ? next : named.parent_path() / next;
        }
        return unlessTemporaryName(named);
    }
    if (!fs::is_regular_file(status))
        return Error{kPOSIXErrorDomain, fs::is_directory(status) ? EISDIR : EINVAL,
                     "Cannot replace " + cutInMiddle(path.string()) +
                         (fs::is_directory(status) ? ": it is a folder" : ": it is not a regular file")};
    if (!fs::is_symlink(fs::symlink_status(path, ec))) return unlessTemporaryName(path);
    auto target = fs::canonical(path, ec);
    if (ec) return posixError("Cannot follow", path, ec.value());
    return unlessTemporaryName(target);
}

bool sameReplaceableFile(const fs::path& a, const fs::path& b) {
    const auto first = replaceableFile(a), second = replaceableFile(b);
    if (!first.ok() || !second.ok() || first->filename() != second->filename()) return false;
    // A save replaces a name in a folder, so the folders are compared as files, the names as text.
    const auto folder = [](const fs::path& p) {
        return p.has_parent_path() ? p.parent_path() : fs::path(".");
    };
    std::error_code ec;
    return fs::equivalent(folder(*first), folder(*second), ec);
}

Result<AtomicFile> AtomicFile::create(const fs::path& path) {
    auto target = replaceableFile(path);
    if (!target.ok()) return target.error();
    const fs::path folder = target->has_parent_path() ? target->parent_path() : ".";
    // A name near the limit leaves no room for the mark: the temporary takes a shorter one.
    std::string name = target->filename().string();
    name.resize(std::min(name.size(), kNameMax - 1 - kTemporaryMark.size() - kTemporaryRandom));
    std::string temporary = (folder / ("." + name + std::string(kTemporaryMark) + "XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return posixError("Cannot create a temporary file beside", path, errno);
    ::flock(fd, LOCK_EX);
    ::fsetxattr(fd, kTemporaryAttribute, "", 0, 0);
    removeStaleTemporaries(folder);
    return AtomicFile(std::move(target.value()), std::move(temporary), fd);
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : target_(std::move(other.target_)), temporary_(std::move(other.temporary_)), fd_(other.fd_) {
    other.fd_ = -1;
    other.temporary_.clear();
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

Result<void> AtomicFile::write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) return posixError("Cannot write", temporary_, EBADF);
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    while (n > 0) {
        const ssize_t w = ::write(fd_, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) return posixError("Cannot write", temporary_, errno);
        p += w;
        n -= std::size_t(w);
    }
    return {};
}

Result<void> AtomicFile::commit() {
    if (fd_ < 0) return posixError("Cannot write", temporary_, EBADF);
    // Whatever took the target's place since it was created, a folder or a device stays.
    if (auto still = replaceableFile(target_); !still.ok()) return still.error();
    // The replaced file's permissions, never its set-id or sticky bits; and what is saved can always
    // be read back and saved again by its owner.
    struct stat existing {};
    const mode_t mode = ::stat(target_.c_str(), &existing) == 0 ? (existing.st_mode & 0777) | 0600 : 0644;
    if (::fchmod(fd_, mode) != 0) return posixError("Cannot set the mode of", temporary_, errno);
    if (::fsync(fd_) != 0) return posixError("Cannot sync", temporary_, errno);
    struct stat written {};
    ::fstat(fd_, &written);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) return posixError("Cannot close", temporary_, errno);
    // Only the file written is put in place: its name may have been removed meanwhile and another
    // file made under it, which is neither put in place nor ours to remove.
    struct stat named {};
    if (::lstat(temporary_.c_str(), &named) != 0 || named.st_dev != written.st_dev ||
        named.st_ino != written.st_ino) {
        const std::string gone = std::exchange(temporary_, {});
        return Error{kPOSIXErrorDomain, ENOENT,
                     "Cannot replace " + cutInMiddle(target_.string()) + ": the file written is no longer " +
                         cutInMiddle(gone)};
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        return posixError("Cannot replace", target_, errno);
    // What is saved is no unfinished save. Taken off only once the file has its own name, which the
    // clean-up never matches: a save ended before that leaves a temporary the clean-up still knows.
    ::removexattr(target_.c_str(), kTemporaryAttribute);
    temporary_.clear();
    syncFolderOf(target_);
    return {};
}

Result<void> AtomicFile::moveTemporaryTo(const fs::path& visible) {
    if (fd_ < 0) return posixError("Cannot move", temporary_, EBADF);
    if (struct stat written{}; ::fstat(fd_, &written) != 0 || written.st_size != 0)
        return posixError("Cannot move", temporary_, EINVAL, " once it is written");
    if (isTemporaryName(visible.filename().string())) return temporaryNameRefused("Cannot make", visible);
    // Made anew while still empty rather than renamed: some network and FUSE file systems refuse
    // a rename that never replaces, none an exclusive create. It never follows a link there.
    const int fd = ::open(visible.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return posixError("Cannot make", visible, errno);
    ::flock(fd, LOCK_EX);
    ::close(fd_);
    ::unlink(temporary_.c_str());
    fd_ = fd;
    temporary_ = visible.string();
    syncFolderOf(visible);
    return {};
}

void AtomicFile::keep() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    temporary_.clear();
}

Result<void> writeFileAtomically(const fs::path& path, std::span<const std::uint8_t> bytes) {
    auto file = AtomicFile::create(path);
    if (!file.ok()) return file.error();
    if (auto written = file->write(bytes); !written.ok()) return written;
    return file->commit();
}

Result<void> writeFileAtomically(const fs::path& path, std::string_view text) {
    return writeFileAtomically(path,
                               std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

Result<std::vector<std::uint8_t>> readFileContents(const fs::path& path, std::size_t maxBytes) {
    const auto failure = [&](long code, const std::string& what) {
        return Error{kCocoaErrorDomain, code,
                     "The file \u201c" + cutInMiddle(path.string()) + "\u201d " + what};
    };
    const auto systemFailure = [&](long code, const char* what) {
        const int error = errno;
        return failure(code, std::string(what) + ": " + std::strerror(error) + ".");
    };
    // Opened without waiting, and only a regular file is read: a pipe or a device named where a
    // document belongs would otherwise keep the reader waiting, or reading, for good.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // What no one opens (a socket) is told by what it is, not by the open's error.
        const int error = errno;
        if (struct stat st{}; ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            return failure(256, "is not a regular file.");
        errno = error;
        return systemFailure(260, "couldn\u2019t be opened");
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return systemFailure(256, "couldn\u2019t be read");
    if (!S_ISREG(st.st_mode)) return failure(256, "is not a regular file.");
    if (std::uint64_t(st.st_size) > maxBytes) return failure(kFileTooLargeError, "is too large.");
    // The size told is only where reading starts: files the kernel makes tell none, and only a read
    // past it says whether more is there, or why nothing can be read.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t done = 0;
    for (;;) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return systemFailure(256, "couldn\u2019t be read");
        if (n == 0) break;
        done += std::size_t(n);
        if (done > maxBytes) return failure(kFileTooLargeError, "is too large.");
        if (done == bytes.size()) bytes.resize(std::min(maxBytes, 2 * done) + 1);
    }
    if (done < std::uint64_t(st.st_size))
        return failure(256, "couldn\u2019t be read."); // cut short meanwhile
    bytes.resize(done);
    return bytes;
}

} // namespace plat
