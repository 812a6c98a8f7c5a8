#include "plat/uiimage.h"

#include <cairo.h>

#include <algorithm>
#include <cstring>

namespace plat {

namespace {
struct Reader {
    std::span<const std::uint8_t> data;
    std::size_t pos = 0;
};

cairo_status_t readChunk(void* closure, unsigned char* out, unsigned int length) {
    auto* r = static_cast<Reader*>(closure);
    if (r->data.size() - r->pos < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, r->data.data() + r->pos, length);
    r->pos += length;
    return CAIRO_STATUS_SUCCESS;
}
// A PNG image's signature, then the length and name of its first chunk, the header.
constexpr std::uint8_t kPNGStart[16] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                        0,    0,   0,   13,  'I',  'H',  'D',  'R'};
constexpr std::size_t kPNGSignatureBytes = 8;

// cairo's PNG reader reports every fault the decoder finds (a bad checksum, a header of width 0) as
// no memory. Memory was what failed only if a picture of the size the file declares cannot be made.
std::string failureText(cairo_status_t status, std::span<const std::uint8_t> data) {
    if (status == CAIRO_STATUS_NO_MEMORY) {
        const auto declared = UIImage::declaredPNGSize(data);
        // A side past what an int holds wraps to a negative one: cairo refuses that as a size.
        cairo_surface_t* probe =
            declared
                ? cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(declared->first), int(declared->second))
                : nullptr;
        const bool memoryShort = probe && cairo_surface_status(probe) == CAIRO_STATUS_NO_MEMORY;
        cairo_surface_destroy(probe);
        if (!memoryShort) return "the file is damaged or not a PNG image";
    }
    return cairo_status_to_string(status);
}
} // namespace

std::optional<std::pair<std::uint32_t, std::uint32_t>>
UIImage::declaredPNGSize(std::span<const std::uint8_t> data) {
    if (data.size() < 24 || std::memcmp(data.data(), kPNGStart, sizeof kPNGStart) != 0) return std::nullopt;
    const auto word = [&](std::size_t at) {
        return std::uint32_t(data[at]) << 24 | std::uint32_t(data[at + 1]) << 16 |
               std::uint32_t(data[at + 2]) << 8 | data[at + 3];
    };
    return std::pair(word(16), word(20));
}

std::shared_ptr<UIImage> UIImage::fromData(std::span<const std::uint8_t> data, std::string* why) {
    if (data.size() < kPNGSignatureBytes || std::memcmp(data.data(), kPNGStart, kPNGSignatureBytes) != 0) {
        if (why) *why = "not a PNG image";
        return nullptr;
    }
    Reader reader{data};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readChunk, &reader);
    if (const cairo_status_t status = cairo_surface_status(s); status != CAIRO_STATUS_SUCCESS) {
        if (why) *why = failureText(status, data);
        cairo_surface_destroy(s);
        return nullptr;
    }
    return std::make_shared<UIImage>(Private{}, s);
}

std::shared_ptr<UIImage> UIImage::fitted(int width, int height) const {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (width < 1 || height < 1 || cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    cairo_t* cr = cairo_create(s);
    const double scale = std::min(double(width) / width_, double(height) / height_);
    cairo_translate(cr, (width - width_ * scale) / 2, (height - height_ * scale) / 2);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, surface_, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_destroy(cr);
    return std::make_shared<UIImage>(Private{}, s);
}

UIImage::UIImage(Private, cairo_surface_t* surface)
    : surface_(surface), width_(cairo_image_surface_get_width(surface)),
      height_(cairo_image_surface_get_height(surface)) {}

UIImage::~UIImage() {
    cairo_surface_destroy(surface_);
}

} // namespace plat
