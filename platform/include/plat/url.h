#pragma once
// Absolute URLs (file, http and others), parsed strictly.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

class URL {
public:
    // Refuses empty text, text longer than kMaxLength, text without a scheme, characters that
    // must be escaped (blanks, controls, non-ASCII), broken percent escapes and bad ports.
    static constexpr std::size_t kMaxLength = 64 * 1024;
    static std::optional<URL> string(std::string_view text);
    // A file URL for an absolute path; a relative path is taken from the current folder.
    static URL fileURL(const std::filesystem::path& path, bool isDirectory = false);

    const std::string& absoluteString() const { return text_; }
    const std::string& scheme() const { return scheme_; } // lower case
    const std::string& host() const { return host_; }
    std::optional<int> port() const { return port_; }
    // Percent escapes decoded.
    std::string path() const;
    const std::string& query() const { return query_; }
    const std::string& fragment() const { return fragment_; }

    bool isFileURL() const { return scheme_ == "file"; }
    bool hasDirectoryPath() const { return !rawPath_.empty() && rawPath_.back() == '/'; }
    std::filesystem::path filePath() const { return std::filesystem::path(path()); }

    std::string lastPathComponent() const;
    std::string pathExtension() const;
    URL appendingPathComponent(std::string_view component, bool isDirectory = false) const;
    URL appendingPathExtension(std::string_view extension) const;
    URL deletingLastPathComponent() const;

    friend bool operator==(const URL& a, const URL& b) { return a.text_ == b.text_; }

private:
    URL() = default;
    static URL build(std::string scheme, std::string authority, std::string rawPath, std::string query,
                     std::string fragment);
    std::string text_, scheme_, authority_, host_, rawPath_, query_, fragment_;
    bool hasQuery_ = false, hasFragment_ = false;
    std::optional<int> port_;
};

// Percent-encodes everything outside the unreserved set and '/'.
std::string percentEncodePath(std::string_view path);
std::string percentDecode(std::string_view text);

} // namespace plat
