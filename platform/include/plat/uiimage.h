#pragma once
// Decoded images (PNG), as image views show them.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

typedef struct _cairo_surface cairo_surface_t;

namespace plat {

class UIImage {
public:
    // Nothing when the bytes are not an image this platform can decode; then `why`, when given,
    // says what the decoder found wrong.
    static std::shared_ptr<UIImage> fromData(std::span<const std::uint8_t> data, std::string* why = nullptr);

    // The width and height a PNG image declares in its header, read before anything is decoded
    // (a small file may declare a huge picture); nothing when the bytes do not begin as one does.
    static std::optional<std::pair<std::uint32_t, std::uint32_t>>
    declaredPNGSize(std::span<const std::uint8_t> data);

    // The image drawn anew within width x height pixels (each at least 1) at its own proportions,
    // centred, the margins transparent; nothing when that fails.
    std::shared_ptr<UIImage> fitted(int width, int height) const;

    int width() const { return width_; }
    int height() const { return height_; }
    // The decoded pixels for drawing; owned by the image.
    cairo_surface_t* surface() const { return surface_; }

    ~UIImage();
    UIImage(const UIImage&) = delete;
    UIImage& operator=(const UIImage&) = delete;

private:
    struct Private {};

public:
    UIImage(Private, cairo_surface_t* surface);

private:
    cairo_surface_t* surface_;
    int width_ = 0;
    int height_ = 0;
};

} // namespace plat
