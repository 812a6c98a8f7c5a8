#include "plat/net.h"

#include "plat/dispatch.h"
#include "plat/files.h"
#include "plat/plist.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace plat {

namespace {

// Codes of the URL error domain that callers look at.
constexpr long kUnknown = -1, kTimedOut = -1001, kUnsupportedURL = -1002, kCannotFindHost = -1003,
               kCannotConnect = -1004, kTooLarge = -1103;

struct Sink {
    std::vector<std::uint8_t>* data;
    std::size_t limit;
    bool overflow = false;
};

size_t writeBody(char* ptr, size_t size, size_t nmemb, void* userdata) {
    auto* sink = static_cast<Sink*>(userdata);
    const size_t n = size * nmemb;
    if (sink->data->size() + n > sink->limit) {
        sink->overflow = true;
        return 0; // aborts the transfer
    }
    sink->data->insert(sink->data->end(), ptr, ptr + n);
    return n;
}

Result<URLResponse> loadFile(const URLRequest& request) {
    auto bytes = readFileContents(request.url.filePath(), request.maximumBytes);
    if (!bytes) {
        if (bytes.error().code == kFileTooLargeError)
            return Error{kURLErrorDomain, kTooLarge, "The resource exceeds the maximum size."};
        return bytes.error();
    }
    return URLResponse{request.url, 0, {}, std::move(bytes.value())};
}

Result<URLResponse> loadHTTP(const URLRequest& request) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) return Error{kURLErrorDomain, kUnknown, "The network library could not be started."};
    URLResponse response{request.url, 0, {}, {}};
    Sink sink{&response.data, request.maximumBytes};
    char errorText[CURL_ERROR_SIZE] = {};
    const long timeoutMs = long(std::clamp(request.timeoutInterval, 0.001, 86400.0) * 1000);
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, request.url.absoluteString().c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
    const CURLcode rc = curl_easy_perform(c);
    if (rc != CURLE_OK) {
        long code = kUnknown;
        switch (rc) {
        case CURLE_OPERATION_TIMEDOUT:
            code = kTimedOut;
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
            code = kCannotFindHost;
            break;
        case CURLE_COULDNT_CONNECT:
            code = kCannotConnect;
            break;
        case CURLE_UNSUPPORTED_PROTOCOL:
            code = kUnsupportedURL;
            break;
        case CURLE_WRITE_ERROR:
            code = sink.overflow ? kTooLarge : kUnknown;
            break;
        default:
            break;
        }
        std::string text = errorText[0] ? errorText : curl_easy_strerror(rc);
        if (sink.overflow) text = "The resource exceeds the maximum size.";
        return Error{kURLErrorDomain, code, text};
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.statusCode);
    char* type = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) response.mimeType = type;
    return response;
}

} // namespace

Result<URLResponse> loadDataSynchronously(const URLRequest& request) {
    const auto& scheme = request.url.scheme();
    if (scheme == "file") return loadFile(request);
    if (scheme == "http" || scheme == "https") return loadHTTP(request);
    return Error{kURLErrorDomain, kUnsupportedURL, "unsupported URL"};
}

void loadData(URLRequest request, std::function<void(Result<URLResponse>)> completion) {
    GlobalQueue::async([request = std::move(request), completion = std::move(completion)]() mutable {
        auto result = loadDataSynchronously(request);
        MainQueue::async([result = std::move(result), completion = std::move(completion)]() mutable {
            if (completion) completion(std::move(result));
        });
    });
}

} // namespace plat
