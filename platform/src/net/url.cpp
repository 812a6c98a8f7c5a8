#include "plat/url.h"

#include <cctype>
#include <system_error>

namespace plat {

namespace {

bool isUnreserved(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelim(unsigned char c) {
    return c == '!' || c == '$' || c == '&' || c == '\'' || c == '(' || c == ')' || c == '*' || c == '+' ||
           c == ',' || c == ';' || c == '=';
}
bool isHex(unsigned char c) {
    return std::isxdigit(c) != 0;
}

// Every character is allowed by `allowed`, or is part of a complete %XX escape.
template <class Pred>
bool validRun(std::string_view s, Pred allowed) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '%') {
            if (i + 2 >= s.size() || !isHex(static_cast<unsigned char>(s[i + 1])) ||
                !isHex(static_cast<unsigned char>(s[i + 2])))
                return false;
            i += 2;
        } else if (!allowed(c)) {
            return false;
        }
    }
    return true;
}

bool pathChar(unsigned char c) {
    return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@' || c == '/';
}
bool queryChar(unsigned char c) {
    return pathChar(c) || c == '?';
}

} // namespace

std::string percentEncodePath(std::string_view path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (isUnreserved(c) || c == '/' || c == '!' || c == '$' || c == '&' || c == '\'' || c == '(' ||
            c == ')' || c == '*' || c == '+' || c == ',' || c == ';' || c == '=' || c == ':' || c == '@') {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && isHex(static_cast<unsigned char>(text[i + 1])) &&
            isHex(static_cast<unsigned char>(text[i + 2]))) {
            out.push_back(char(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::optional<URL> URL::string(std::string_view text) {
    if (text.empty() || text.size() > 64 * 1024) return std::nullopt;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' ||
            c == '{' || c == '|' || c == '}')
            return std::nullopt;
    }
    URL url;
    url.text_ = std::string(text);

    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    const std::string_view scheme = text.substr(0, colon);
    if (!std::isalpha(static_cast<unsigned char>(scheme[0]))) return std::nullopt;
    for (char ch : scheme) {
        const auto c = static_cast<unsigned char>(ch);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
        url.scheme_.push_back(char(std::tolower(c)));
    }
    std::string_view rest = text.substr(colon + 1);

    if (const auto hash = rest.find('#'); hash != std::string_view::npos) {
        url.fragment_ = std::string(rest.substr(hash + 1));
        url.hasFragment_ = true;
        if (!validRun(url.fragment_, queryChar)) return std::nullopt;
        rest = rest.substr(0, hash);
    }
    if (const auto q = rest.find('?'); q != std::string_view::npos) {
        url.query_ = std::string(rest.substr(q + 1));
        url.hasQuery_ = true;
        if (!validRun(url.query_, queryChar)) return std::nullopt;
        rest = rest.substr(0, q);
    }
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const auto slash = rest.find('/');
        const std::string_view authority = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash);
        url.authority_ = std::string(authority);
        std::string_view hostport = authority;
        if (const auto at = hostport.rfind('@'); at != std::string_view::npos) {
            const auto userinfo = hostport.substr(0, at);
            if (!validRun(userinfo,
                          [](unsigned char c) { return isUnreserved(c) || isSubDelim(c) || c == ':'; }))
                return std::nullopt;
            hostport = hostport.substr(at + 1);
        }
        std::string_view portText;
        if (hostport.starts_with('[')) {
            const auto close = hostport.find(']');
            if (close == std::string_view::npos) return std::nullopt;
            const auto literal = hostport.substr(1, close - 1);
            if (literal.empty()) return std::nullopt;
            for (char ch : literal)
                if (!std::isxdigit(static_cast<unsigned char>(ch)) && ch != ':' && ch != '.')
                    return std::nullopt;
            url.host_ = std::string(literal);
            const auto after = hostport.substr(close + 1);
            if (!after.empty()) {
                if (after[0] != ':') return std::nullopt;
                portText = after.substr(1);
                if (portText.empty()) return std::nullopt;
            }
        } else {
            const auto pc = hostport.rfind(':');
            const auto host = hostport.substr(0, pc);
            if (pc != std::string_view::npos) {
                portText = hostport.substr(pc + 1);
                if (portText.empty()) return std::nullopt;
            }
            if (!validRun(host, [](unsigned char c) { return isUnreserved(c) || isSubDelim(c); }))
                return std::nullopt;
            url.host_ = percentDecode(host);
        }
        if (!portText.empty()) {
            if (portText.size() > 5) return std::nullopt;
            int port = 0;
            for (char ch : portText) {
                if (!std::isdigit(static_cast<unsigned char>(ch))) return std::nullopt;
                port = port * 10 + (ch - '0');
            }
            if (port > 65535) return std::nullopt;
            url.port_ = port;
        }
        if (url.host_.empty() && url.scheme_ != "file") return std::nullopt;
        if (!rest.empty() && rest[0] != '/') return std::nullopt;
    } else if (url.scheme_ == "http" || url.scheme_ == "https" || url.scheme_ == "file") {
        // These schemes always name an authority (possibly empty for file).
        if (url.scheme_ != "file" || !rest.starts_with('/')) return std::nullopt;
    }
    if (!validRun(rest, pathChar)) return std::nullopt;
    url.rawPath_ = std::string(rest);
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
