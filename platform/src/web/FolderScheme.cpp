// Pages that ship with the program, served to web views through a URL scheme of our own, so they
// show without a network and their URLs look like a site's ("<root>DYNAMICS/" rather than a file path).

#include "plat/web.h"

#include "WebKitSupport.h"
#include "plat/console.h"

#include <webkit2/webkit2.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>

namespace plat {

namespace fs = std::filesystem;

namespace {

// Main thread only, like every web view that reads them.
std::map<std::string, fs::path, std::less<>>& servedFolders() {
    static std::map<std::string, fs::path, std::less<>> folders;
    return folders;
}

// The file a URL names inside `root`: a folder gives its index.html. Nothing for a path that leaves
// the folder, by ".." or through a link.
std::optional<fs::path> resolve(const fs::path& root, const URL& url) {
    const std::string path = url.path();
    if (path.find('\0') != std::string::npos) return std::nullopt;
    const fs::path relative = fs::path(path).relative_path().lexically_normal();
    if (!relative.empty() && *relative.begin() == "..") return std::nullopt;
    std::error_code ec;
    const fs::path base = fs::canonical(root, ec);
    if (ec) return std::nullopt;
    fs::path file = base / relative;
    if (fs::is_directory(file, ec)) file /= "index.html";
    file = fs::weakly_canonical(file, ec);
    if (ec) return std::nullopt;
    const auto [b, f] = std::mismatch(base.begin(), base.end(), file.begin(), file.end());
    if (b != base.end() || !fs::is_regular_file(file, ec)) return std::nullopt;
    return file;
}

void serveRequest(WebKitURISchemeRequest* request, gpointer) {
    const char* uri = webkit_uri_scheme_request_get_uri(request);
    const auto& folders = servedFolders();
    const auto folder = folders.find(std::string_view(webkit_uri_scheme_request_get_scheme(request)));
    const auto url = webkit::readURL(uri);
    const auto file = folder != folders.end() && url ? resolve(folder->second, *url) : std::nullopt;
    std::error_code ec;
    const auto size = file ? fs::file_size(*file, ec) : 0;
    GError* error = nullptr;
    GFileInputStream* stream = nullptr;
    if (file && !ec) {
        const auto f = webkit::Ref<GFile>::adopt(g_file_new_for_path(file->c_str()));
        stream = g_file_read(f.get(), nullptr, &error);
    }
    if (!stream) {
        if (!error) error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "There is no page at %s.", uri);
        webkit_uri_scheme_request_finish_error(request, error);
        g_error_free(error);
        return;
    }
    gchar* type = g_content_type_guess(file->filename().c_str(), nullptr, 0, nullptr);
    gchar* mime = g_content_type_get_mime_type(type);
    webkit_uri_scheme_request_finish(request, G_INPUT_STREAM(stream), gint64(size),
                                     mime ? mime : "application/octet-stream");
    g_free(mime);
    g_free(type);
    g_object_unref(stream);
}

bool validScheme(std::string_view scheme) {
    static const std::set<std::string_view> builtIn = {
        "about", "blob",  "data",       "file",     "ftp",
        "http",  "https", "javascript", "resource", "webkit-pdfjs-viewer",
        "ws",    "wss"};
    if (scheme.empty() || scheme[0] < 'a' || scheme[0] > 'z' || builtIn.contains(scheme)) return false;
    return std::all_of(scheme.begin(), scheme.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    });
}

} // namespace

Result<URL> serveFolder(std::string_view scheme, const fs::path& folder) {
    if (!validScheme(scheme))
        return Error{kURLErrorDomain, webkit::kUnsupportedURL,
                     "\u201c" + std::string(scheme) + "\u201d cannot name a scheme of served pages."};
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return Error{kCocoaErrorDomain, 4,
                     "There is no folder of pages at " + cutInMiddle(folder.string()) + "."};
    auto& folders = servedFolders();
    const auto [entry, added] = folders.insert_or_assign(std::string(scheme), fs::absolute(folder, ec));
    if (added)
        webkit_web_context_register_uri_scheme(webkit_web_context_get_default(), entry->first.c_str(),
                                               serveRequest, nullptr, nullptr);
    return *URL::string(entry->first + "://bundle/");
}

std::optional<fs::path> servedFolder(const URL& root) {
    const auto& folders = servedFolders();
    const auto folder = folders.find(root.scheme());
    if (folder == folders.end() || root.host() != "bundle" || root.path() != "/") return std::nullopt;
    return folder->second;
}

Result<URL> siteRoot(const char* variable, std::string_view scheme, const fs::path& shippedFolder) {
    static std::string reported; // each use asks again; a bad setting is told once
    const char* value = std::getenv(variable);
    if (!value || !*value) return serveFolder(scheme, shippedFolder);
    const std::string_view text(value);
    // Each refusal names its own reason: a root that ends in "/" is never told it does not.
    std::string why;
    if (text.starts_with('/')) {
        if (auto root = serveFolder(scheme, text)) return root;
        why = text.size() >= PATH_MAX ? "is a path longer than " + std::to_string(PATH_MAX - 1) + " bytes"
                                      : "names no folder of pages";
    } else if (text.size() > URL::kMaxLength) {
        why = "is longer than a URL may be (" + std::to_string(text.size()) + " bytes, at most " +
              std::to_string(URL::kMaxLength) + ")";
    } else if (const auto url = URL::string(text)) {
        if (url->isFileURL()) {
            if (auto root = serveFolder(scheme, url->filePath())) return root;
            why = "names no folder of pages";
        } else if (url->host().empty()) {
            why = "is a URL without a host";
        } else if (!text.ends_with('/')) {
            why = "is a URL that does not end in \"/\"";
        } else {
            return *url;
        }
    } else {
        why = "is neither a URL nor a folder's path";
    }
    if (std::exchange(reported, std::string(text)) != text)
        Console::shared().writeLine("WKWebView: " + std::string(variable) + " " + why + " (" +
                                    shownText(text) + "); the shipped pages are used");
    return serveFolder(scheme, shippedFolder);
}

} // namespace plat
