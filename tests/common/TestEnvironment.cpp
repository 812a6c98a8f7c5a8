// Every test process gets its own configuration and documents folders, so settings written by the
// tests never touch the user's. They go when the process exits (children leave through _Exit).
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

char root[] = "/tmp/sorvane-common-XXXXXX"; // a plain array: nothing destroys it before the clean-up

const bool madeHome = [] {
    if (::mkdtemp(root) == nullptr) std::abort();
    for (const char* sub : {"config", "Documents"})
        std::filesystem::create_directories(std::string(root) + "/" + sub);
    ::setenv("XDG_CONFIG_HOME", (std::string(root) + "/config").c_str(), 1);
    ::setenv("XDG_DOCUMENTS_DIR", (std::string(root) + "/Documents").c_str(), 1);
    return std::atexit([] {
               std::error_code ec;
               std::filesystem::remove_all(root, ec);
           }) == 0;
}();

} // namespace
