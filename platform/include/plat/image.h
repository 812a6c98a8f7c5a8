// Image surfaces (32-bit ARGB, premultiplied inside) with pixel access and PNG output.
#pragma once

#include "plat/graphics.h"

#include <cstdint>
#include <memory>
#include <string>

typedef struct _cairo_surface cairo_surface_t;

namespace plat {

struct Pixel {
    std::uint8_t r = 0, g = 0, b = 0, a = 0; // not premultiplied
    friend bool operator==(const Pixel&, const Pixel&) = default;
};

class ImageSurface {
public:
    // A transparent image; sizes below 1 become 1. An image too large to make draws nothing, reads
    // as transparent and fails to write, with a message.
    ImageSurface(int width, int height);
    ~ImageSurface();
    ImageSurface(const ImageSurface&) = delete;
    ImageSurface& operator=(const ImageSurface&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }

    // The context drawing into this image, created on first use.
    CGContext& context();
    void fill(const UIColor& color);

    // The pixels for compositing; owned by the image.
    cairo_surface_t* cairoSurface() const { return surface_; }

    // Out-of-range coordinates read as transparent.
    Pixel pixel(int x, int y) const;

    // Written atomically (temporary file in the same folder, then renamed). On failure returns false
    // and, when `error` is given, a message.
    bool writePNG(const std::string& path, std::string* error = nullptr) const;

private:
    int width_;
    int height_;
    cairo_surface_t* surface_;
    std::unique_ptr<CGContext> context_;
};

} // namespace plat
