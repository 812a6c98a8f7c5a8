#pragma once
// File manager, standard folders, bundles, whole-file reads and atomic writes.

#include "plat/error.h"
#include "plat/plist.h"
#include "plat/url.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

class FileManager {
public:
    static FileManager& defaultManager();

    bool fileExists(const std::filesystem::path& path) const;
    bool fileExists(const std::filesystem::path& path, bool& isDirectory) const;
    // Errors are in kCocoaErrorDomain with the system's reason.
    Result<void> createDirectory(const std::filesystem::path& path, bool withIntermediateDirectories) const;
    // Entry names, sorted; hidden entries (leading '.') are left out.
    Result<std::vector<std::string>> contentsOfDirectory(const std::filesystem::path& path) const;
    Result<void> removeItem(const std::filesystem::path& path) const;

    enum class SearchPathDirectory { documents, config };
    // The user's folder of that kind (XDG_DOCUMENTS_DIR, XDG_CONFIG_HOME, or their defaults under
    // $HOME). Empty when no home can be found.
    std::vector<URL> urls(SearchPathDirectory directory) const;
};

// A folder holding an executable or library (in bin/ or lib/), an optional Info.plist and Resources/.
class Bundle {
public:
    // The bundle of the running executable.
    static const Bundle& main();
    // The bundle of the module (executable or shared library) that contains `address`.
    static std::optional<Bundle> containing(const void* address);
    // The bundle whose executable or library is `binary`.
    static Bundle forBinary(const std::filesystem::path& binary);

    const URL& bundleURL() const { return bundleURL_; }
    const URL& executableURL() const { return executableURL_; }
    // Nothing when the bundle has no Resources folder.
    std::optional<URL> resourceURL() const;
    // CFBundleIdentifier from Info.plist, else the binary's name.
    std::string bundleIdentifier() const;
    const plist::Dictionary& infoDictionary() const { return info_; }

private:
    Bundle(URL bundle, URL executable)
        : bundleURL_(std::move(bundle)), executableURL_(std::move(executable)) {}
    URL bundleURL_;
    URL executableURL_;
    plist::Dictionary info_;
};

// A string unique across processes and time, e.g. for temporary names.
std::string globallyUniqueString();

// The file that a save to `path` replaces: `path` itself, or the regular file that a link there
// names (the link stays; a file it names that is not there yet is made). Refused when a folder (EISDIR), a
// device, a pipe or the like (EINVAL) is there: a save never turns one into a file; and when the file
// would bear a name the cleanup of stale temporaries removes (EPERM, kTemporaryNameRefusal). Errors
// are in kPOSIXErrorDomain.
inline constexpr const char* kTemporaryNameRefusal =
    "it is named as an unfinished save, which a later save into its folder removes";
Result<std::filesystem::path> replaceableFile(const std::filesystem::path& path);
// Whether saves to `a` and to `b` would replace one file: what replaceableFile names for each is
// one name in one folder, however either is spelled. False when either save is refused.
bool sameReplaceableFile(const std::filesystem::path& a, const std::filesystem::path& b);

// A file replaced whole: bytes go to a temporary file beside the target, which `commit` syncs and
// renames over it, then syncs the folder, so readers see the old content or the new, never a mix;
// a commit puts in place only the file written, never another made under its temporary's name.
// The target is what replaceableFile names. The new file keeps the permission bits of the one it
// replaces, without set-id and sticky bits, and is always readable and writable by its owner (0644
// when there was none). A file dropped before its commit leaves nothing behind; the temporary of a
// process that died while writing (".<name>.unfinished-save-XXXXXX", the name shortened when long,
// locked while written, marked by an extended attribute) is removed by the next save into its folder
// once it is two minutes old; nothing without the mark is. Errors are in kPOSIXErrorDomain.
class AtomicFile {
public:
    // Fails when no file can be made beside the target.
    static Result<AtomicFile> create(const std::filesystem::path& path);
    ~AtomicFile();
    AtomicFile(AtomicFile&& other) noexcept;
    AtomicFile& operator=(AtomicFile&&) = delete;

    Result<void> write(std::span<const std::uint8_t> bytes);
    Result<void> commit();
    // Gives the file, before anything is written to it, a visible name in the same folder, for
    // writers whose content is worth keeping if the process dies before the commit (a recording).
    // The name never replaces a file nor follows a link: taken, it fails with EEXIST; one the folder
    // cleanup of stale temporaries would match is refused (EPERM).
    Result<void> moveTemporaryTo(const std::filesystem::path& visible);
    // Leaves the file being written where it is, closed, and gives up the commit.
    void keep();
    // For writers that want the open file or its name (libraries writing through their own I/O).
    int descriptor() const { return fd_; }
    const std::string& temporaryPath() const { return temporary_; }
    // The file the commit replaces: the path given, or the file a link there names.
    const std::filesystem::path& target() const { return target_; }

private:
    AtomicFile(std::filesystem::path target, std::string temporary, int fd)
        : target_(std::move(target)), temporary_(std::move(temporary)), fd_(fd) {}
    std::filesystem::path target_;
    std::string temporary_;
    int fd_ = -1;
};

Result<void> writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
Result<void> writeFileAtomically(const std::filesystem::path& path, std::string_view text);

// The whole content of a file. Errors are in kCocoaErrorDomain: 260 cannot be opened, 256 cannot
// be read, kFileTooLargeError when it holds more than maxBytes.
inline constexpr long kFileTooLargeError = 263;
Result<std::vector<std::uint8_t>> readFileContents(const std::filesystem::path& path, std::size_t maxBytes);

} // namespace plat
