#include "plat/console.h"
#include "plat/image.h"

#include "plat/files.h"

#include <cairo.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace plat {
namespace {

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::vector<unsigned char>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

bool fail(std::string* error, const std::string& message) {
    if (error != nullptr) *error = message;
    return false;
}

} // namespace

ImageSurface::ImageSurface(int width, int height)
    : width_(std::max(width, 1)), height_(std::max(height, 1)),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_)) {}

ImageSurface::~ImageSurface() {
    context_.reset();
    cairo_surface_destroy(surface_);
}

CGContext& ImageSurface::context() {
    if (!context_) {
        cairo_t* cr = cairo_create(surface_);
        context_ = std::make_unique<CGContext>(cr);
        cairo_destroy(cr);
    }
    return *context_;
}

void ImageSurface::fill(const UIColor& color) {
    cairo_t* cr = cairo_create(surface_);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
    cairo_paint(cr);
    cairo_destroy(cr);
}

Pixel ImageSurface::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    if (data == nullptr) return {}; // the image could not be made (too large, out of memory)
    const unsigned char* row =
        data + static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface_);
    std::uint32_t v;
    std::memcpy(&v, row + 4 * x, 4);
    const unsigned a = v >> 24, r = (v >> 16) & 0xff, g = (v >> 8) & 0xff, b = v & 0xff;
    if (a == 0) return {};
    auto un = [a](unsigned c) { return static_cast<std::uint8_t>(std::min(255u, (c * 255 + a / 2) / a)); };
    return {un(r), un(g), un(b), static_cast<std::uint8_t>(a)};
}

bool ImageSurface::writePNG(const std::string& path, std::string* error) const {
    if (const cairo_status_t status = cairo_surface_status(surface_); status != CAIRO_STATUS_SUCCESS)
        return fail(error, "cannot make a " + std::to_string(width_) + " x " + std::to_string(height_) +
                               " image for " + cutInMiddle(path) + ": " + cairo_status_to_string(status));
    cairo_surface_flush(surface_);
    std::vector<unsigned char> bytes;
    if (cairo_surface_write_to_png_stream(surface_, appendBytes, &bytes) != CAIRO_STATUS_SUCCESS)
        return fail(error, "cannot encode PNG for " + cutInMiddle(path));

    if (auto written = writeFileAtomically(path, std::span<const std::uint8_t>(bytes)); !written.ok())
        return fail(error, written.error().description);
    return true;
}

} // namespace plat
