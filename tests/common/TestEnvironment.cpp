// Every test process gets its own configuration and documents folders, so settings written by the
// tests never touch the user's.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class TemporaryHome : public ::testing::Environment {
public:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "sorvane-common-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        root_ = tmpl;
        std::filesystem::create_directories(root_ / "config");
        std::filesystem::create_directories(root_ / "Documents");
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        ::setenv("XDG_DOCUMENTS_DIR", (root_ / "Documents").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

private:
    std::filesystem::path root_;
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new TemporaryHome);

} // namespace
