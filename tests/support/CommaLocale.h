#pragma once
// Puts the whole process under a comma-decimal locale for one test, as a desktop session in
// Germany does (GTK adopts the user's locale). When the system has none generated, one is built
// into a scratch folder. Everything is restored on destruction.

#include "ChildProcess.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include <unistd.h>

class CommaLocale {
public:
    CommaLocale() : previous_(std::setlocale(LC_ALL, nullptr)) {
        if (std::setlocale(LC_ALL, kName)) {
            active_ = true;
            return;
        }
        std::string folder = (std::filesystem::temp_directory_path() / "comma-locale-XXXXXX").string();
        if (!::mkdtemp(folder.data())) return;
        folder_ = folder;
        const std::string build =
            "localedef -i de_DE -f UTF-8 '" + folder + "/" + kName + "' >/dev/null 2>&1";
        if (runCommand(build) != 0) return;
        if (const char* path = std::getenv("LOCPATH")) savedPath_ = path;
        ::setenv("LOCPATH", folder.c_str(), 1);
        active_ = std::setlocale(LC_ALL, kName) != nullptr;
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, previous_.c_str());
        if (savedPath_)
            ::setenv("LOCPATH", savedPath_->c_str(), 1);
        else if (!folder_.empty())
            ::unsetenv("LOCPATH");
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool active() const { return active_; }

private:
    static constexpr const char* kName = "de_DE.UTF-8";
    std::string previous_;
    std::string folder_;
    std::optional<std::string> savedPath_;
    bool active_ = false;
};
