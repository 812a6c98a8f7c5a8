#include "WebKitSupport.h"

#include "plat/console.h"
#include "plat/web.h"

#include <webkit2/webkit2.h>

#include <cstdio>
#include <string>

namespace plat::webkit {

std::optional<URL> readURL(const char* uri) {
    if (!uri || !*uri) return std::nullopt;
    std::string text;
    for (const char* p = uri; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c <= 0x20 || c >= 0x7F ||
            std::string_view("\"<>\\^`{|}").find(char(c)) != std::string_view::npos) {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            text += escaped;
        } else {
            text += char(c);
        }
    }
    return URL::string(text);
}

Error error(const GError* e) {
    if (!e) return {kURLErrorDomain, kUnknown, "The load failed."};
    const std::string text = cutInMiddle(e->message ? e->message : "");
    if (e->domain == WEBKIT_POLICY_ERROR) return {kWKErrorDomain, e->code, text};
    long code = kUnknown;
    if (e->domain == WEBKIT_NETWORK_ERROR) {
        switch (e->code) {
        case WEBKIT_NETWORK_ERROR_CANCELLED:
            code = kCancelled;
            break;
        case WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL:
            code = kUnsupportedURL;
            break;
        case WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST:
            code = kFileDoesNotExist;
            break;
        default:
            break;
        }
    } else if (e->domain == G_IO_ERROR) {
        switch (e->code) {
        case G_IO_ERROR_TIMED_OUT:
            code = kTimedOut;
            break;
        case G_IO_ERROR_CONNECTION_REFUSED:
        case G_IO_ERROR_HOST_UNREACHABLE:
        case G_IO_ERROR_NETWORK_UNREACHABLE:
            code = kCannotConnect;
            break;
        case G_IO_ERROR_NOT_FOUND:
            code = kFileDoesNotExist;
            break;
        case G_IO_ERROR_CANCELLED:
            code = kCancelled;
            break;
        default:
            break;
        }
    } else if (e->domain == G_RESOLVER_ERROR) {
        code = kCannotFindHost;
    }
    return {kURLErrorDomain, code, text};
}

} // namespace plat::webkit
