#pragma once
// What the web area's sources share: GObject references, URLs as WebKit writes them, and errors in the
// domains our callers know.

#include "plat/error.h"
#include "plat/url.h"

#include <glib-object.h>

#include <optional>
#include <utility>

namespace plat::webkit {

inline constexpr long kUnknown = -1, kCancelled = -999, kTimedOut = -1001, kUnsupportedURL = -1002,
                      kCannotFindHost = -1003, kCannotConnect = -1004, kFileDoesNotExist = -1100;

// Holds one reference to a GObject; copies hold their own.
template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* object) : p_(object) {
        if (p_) g_object_ref(p_);
    }
    // Takes over the caller's reference to a new object (a floating one is sunk).
    static Ref adopt(T* object) {
        Ref r;
        r.p_ = object;
        if (r.p_ && g_object_is_floating(r.p_)) g_object_ref_sink(r.p_);
        return r;
    }
    Ref(const Ref& o) : Ref(o.p_) {}
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref() {
        if (p_) g_object_unref(p_);
    }
    T* get() const { return p_; }

private:
    T* p_ = nullptr;
};

// WebKit's URIs follow the web's URL rules, which let through a few characters our parser wants
// escaped; those are escaped first. Nothing when there is no URI or it still cannot be read.
std::optional<URL> readURL(const char* uri);

Error error(const GError* error);

} // namespace plat::webkit
