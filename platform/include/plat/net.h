#pragma once
// Data from URLs: files directly, http(s) through libcurl.

#include "plat/error.h"
#include "plat/url.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plat {

struct URLResponse {
    URL url;
    long statusCode = 0; // HTTP status; 0 for file URLs
    std::string mimeType;
    std::vector<std::uint8_t> data;
};

// How a request may use cached responses. Only one way is needed: as the protocol says (the
// responses' own cache headers).
enum class URLRequestCachePolicy { useProtocolCachePolicy };

struct URLRequest {
    URL url;
    double timeoutInterval = 60.0;               // seconds for the whole transfer
    std::size_t maximumBytes = 64 * 1024 * 1024; // a larger body fails instead of filling memory
    URLRequestCachePolicy cachePolicy = URLRequestCachePolicy::useProtocolCachePolicy;
};

// Blocks the calling thread for the whole transfer; not for the main thread. Errors are in
// kURLErrorDomain (transport failures) or kCocoaErrorDomain (files).
Result<URLResponse> loadDataSynchronously(const URLRequest& request);

// Transfers on a background queue and delivers the result on the main queue.
void loadData(URLRequest request, std::function<void(Result<URLResponse>)> completion);

} // namespace plat
