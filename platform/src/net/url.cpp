#include "plat/url.h"

#include <curl/curl.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <system_error>

namespace plat {

namespace {

struct CurlFree {
    void operator()(char* p) const { curl_free(p); }
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using CurlText = std::unique_ptr<char, CurlFree>;

// libcurl reads URLs leniently; ours are strict: no blank, control, non-ASCII or excluded
// character, and every '%' starts a complete escape.
bool strictlyWritten(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c)) return false;
        if (c == '%' && (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
                         !std::isxdigit(static_cast<unsigned char>(text[i + 2]))))
            return false;
    }
    return true;
}

// A part of a parsed URL as written (escapes kept); nothing when the URL has no such part.
std::optional<std::string> part(CURLU* url, CURLUPart which) {
    char* text = nullptr;
    if (curl_url_get(url, which, &text, 0) != CURLUE_OK || !text) return std::nullopt;
    const CurlText owner(text);
    return std::string(text);
}

} // namespace

std::string percentEncodePath(std::string_view path) {
    std::string out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string_view segment = path.substr(start, slash - start);
        if (!segment.empty()) {
            const CurlText escaped(curl_easy_escape(nullptr, segment.data(), int(segment.size())));
            if (escaped) out += escaped.get();
        }
        if (slash == std::string_view::npos) return out;
        out.push_back('/');
        start = slash + 1;
    }
}

std::string percentDecode(std::string_view text) {
    int length = 0;
    const CurlText decoded(curl_easy_unescape(nullptr, text.data(), int(text.size()), &length));
    return decoded ? std::string(decoded.get(), std::size_t(length)) : std::string(text);
}

std::optional<URL> URL::string(std::string_view text) {
    if (text.empty() || text.size() > kMaxLength || !strictlyWritten(text)) return std::nullopt;
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    URL url;
    url.text_ = std::string(text);
    for (char c : text.substr(0, colon))
        url.scheme_.push_back(char(std::tolower(static_cast<unsigned char>(c))));
    const std::string_view rest = text.substr(colon + 1);

    const bool special = url.scheme_ == "http" || url.scheme_ == "https" || url.scheme_ == "file";
    if (!rest.starts_with("//") && !(url.scheme_ == "file" && rest.starts_with('/'))) {
        // An opaque URL ("mailto:", "about:"): a path with an optional query and fragment.
        if (special) return std::nullopt;
        std::string_view opaque = rest;
        if (const auto hash = opaque.find('#'); hash != std::string_view::npos) {
            url.fragment_ = std::string(opaque.substr(hash + 1));
            url.hasFragment_ = true;
            opaque = opaque.substr(0, hash);
        }
        if (const auto q = opaque.find('?'); q != std::string_view::npos) {
            url.query_ = std::string(opaque.substr(q + 1));
            url.hasQuery_ = true;
            opaque = opaque.substr(0, q);
        }
        url.rawPath_ = std::string(opaque);
        return url;
    }

    const std::unique_ptr<CURLU, CurlFree> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.text_.c_str(),
                                CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS) != CURLUE_OK)
        return std::nullopt;
    if (rest.starts_with("//")) {
        url.authority_ = std::string(rest.substr(2, rest.find_first_of("/?#", 2) - 2));
        if (url.authority_.ends_with(':')) return std::nullopt; // a port sign without a port
    }
    url.host_ = percentDecode(part(parsed.get(), CURLUPART_HOST).value_or(""));
    if (url.host_.size() > 1 && url.host_.front() == '[' && url.host_.back() == ']')
        url.host_ = url.host_.substr(1, url.host_.size() - 2);
    if (const auto port = part(parsed.get(), CURLUPART_PORT)) url.port_ = std::stoi(*port);
    url.rawPath_ = part(parsed.get(), CURLUPART_PATH).value_or("");
    if (auto query = part(parsed.get(), CURLUPART_QUERY)) {
        url.query_ = std::move(*query);
        url.hasQuery_ = true;
    }
    if (auto fragment = part(parsed.get(), CURLUPART_FRAGMENT)) {
        url.fragment_ = std::move(*fragment);
        url.hasFragment_ = true;
    }
    return url;
}

URL URL::build(std::string scheme, std::string authority, std::string rawPath, std::string query,
               std::string fragment) {
    std::string text = scheme + "://" + authority + rawPath;
    if (!query.empty()) text += "?" + query;
    if (!fragment.empty()) text += "#" + fragment;
    if (auto url = URL::string(text)) return *url;
    // The parts came from a valid URL; keep them as they are rather than fail.
    URL u;
    u.text_ = text;
    u.scheme_ = std::move(scheme);
    u.authority_ = std::move(authority);
    u.rawPath_ = std::move(rawPath);
    return u;
}

URL URL::fileURL(const std::filesystem::path& path, bool isDirectory) {
    std::error_code ec;
    std::filesystem::path abs = path.is_absolute() ? path : std::filesystem::absolute(path, ec);
    std::string p = abs.lexically_normal().string();
    if (isDirectory && (p.empty() || p.back() != '/')) p.push_back('/');
    return build("file", "", percentEncodePath(p), "", "");
}

std::string URL::path() const {
    std::string p = percentDecode(rawPath_);
    if (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

std::string URL::lastPathComponent() const {
    const std::string p = path();
    if (p == "/") return p;
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string URL::pathExtension() const {
    const std::string last = lastPathComponent();
    const auto dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) return {};
    return last.substr(dot + 1);
}

URL URL::appendingPathComponent(std::string_view component, bool isDirectory) const {
    std::string raw = rawPath_;
    if (raw.empty() || raw.back() != '/') raw.push_back('/');
    std::string_view c = component;
    while (c.starts_with('/')) c.remove_prefix(1);
    raw += percentEncodePath(c);
    if (isDirectory && raw.back() != '/') raw.push_back('/');
    return build(scheme_, authority_, raw, hasQuery_ ? query_ : "", hasFragment_ ? fragment_ : "");
}

URL URL::appendingPathExtension(std::string_view extension) const {
    std::string raw = rawPath_;
    const bool dir = !raw.empty() && raw.back() == '/' && raw.size() > 1;
    if (dir) raw.pop_back();
    raw.push_back('.');
    raw += percentEncodePath(extension);
    if (dir) raw.push_back('/');
    return build(scheme_, authority_, raw, hasQuery_ ? query_ : "", hasFragment_ ? fragment_ : "");
}

URL URL::deletingLastPathComponent() const {
    std::string raw = rawPath_;
    if (raw.size() > 1 && raw.back() == '/') raw.pop_back();
    const auto slash = raw.rfind('/');
    raw = slash == std::string::npos ? "/" : raw.substr(0, slash + 1);
    return build(scheme_, authority_, raw, "", "");
}

} // namespace plat
