#include "StagedFile.h"

#include "plat/audiofile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat::engine_detail {

namespace {
Error writeError(const std::string& what, int err) {
    return Error{kCocoaErrorDomain, kFileWriteUnknownError, what + ": " + std::strerror(err)};
}
} // namespace

Result<StagedFile> StagedFile::create(const std::filesystem::path& target) {
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::string name = ".";
    name.append(target.filename().string()).append(".XXXXXX");
    std::string temporary = (folder / name).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return writeError("Cannot create a file beside '" + target.string() + "'", errno);
    ::fchmod(fd, 0644);
    return StagedFile(target, std::move(temporary), fd);
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : target_(std::move(other.target_)), temporary_(std::move(other.temporary_)), fd_(other.fd_) {
    other.fd_ = -1;
    other.temporary_.clear();
}

StagedFile::~StagedFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

Result<void> StagedFile::commit() {
    if (::fsync(fd_) != 0) return writeError("Cannot write '" + target_.string() + "'", errno);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) return writeError("Cannot write '" + target_.string() + "'", errno);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        return writeError("Cannot replace '" + target_.string() + "'", errno);
    temporary_.clear();
    const std::filesystem::path folder = target_.has_parent_path() ? target_.parent_path() : ".";
    // The rename itself lasts only once the folder is synced.
    const int dirfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd >= 0) {
        ::fsync(dirfd);
        ::close(dirfd);
    }
    return {};
}

} // namespace plat::engine_detail
