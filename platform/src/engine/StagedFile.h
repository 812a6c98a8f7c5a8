#pragma once
// A file written under a temporary name in its target's folder and renamed over the target only
// when it is complete, so readers see the old file or the whole new one, never a part.

#include "plat/error.h"

#include <filesystem>
#include <string>

namespace plat::engine_detail {

class StagedFile {
public:
    static Result<StagedFile> create(const std::filesystem::path& target);
    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&&) = delete;
    StagedFile(const StagedFile&) = delete;
    // Removes the temporary file unless it was committed.
    ~StagedFile();

    int descriptor() const { return fd_; }
    const std::string& temporaryPath() const { return temporary_; }
    // Syncs the data, renames it over the target and syncs the folder.
    Result<void> commit();

private:
    StagedFile(std::filesystem::path target, std::string temporary, int fd)
        : target_(std::move(target)), temporary_(std::move(temporary)), fd_(fd) {}
    std::filesystem::path target_;
    std::string temporary_;
    int fd_ = -1;
};

} // namespace plat::engine_detail
