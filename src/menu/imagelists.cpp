#include "menu/imagelists.h"

#include <algorithm>

#include "support/errors.h"

namespace kesk {

std::int16_t addImagePair(ImageList& large, ImageList& small, const std::string& key,
                          Bitmap largeImage, Bitmap smallImage) {
    const std::int32_t n = large.count() + 1;
    if (n > 32767 || small.count() + 1 != n) {
        raiseError(errnum::Overflow);
    }
    // Reserve first so that no push below can throw after the other one happened.
    large.keys.reserve(large.keys.size() + 1);
    large.images.reserve(large.images.size() + 1);
    small.keys.reserve(small.keys.size() + 1);
    small.images.reserve(small.images.size() + 1);
    std::string smallKey = key;
    large.keys.push_back(key);
    large.images.push_back(std::move(largeImage));
    small.keys.push_back(std::move(smallKey));
    small.images.push_back(std::move(smallImage));
    return static_cast<std::int16_t>(n);
}

std::string iconImageKey(std::int32_t n) {
    std::string key = "S";
    if (n >= 0) {
        key += ' ';
    }
    key += std::to_string(n);
    return key;
}

Bitmap clearedSurface(std::int32_t width, std::int32_t height, Colour back) {
    return Bitmap(std::max(width, 0), std::max(height, 0), toArgb(back));
}

namespace {

std::uint32_t blendChannel(std::uint32_t src, std::uint32_t dst, std::uint32_t alpha) noexcept {
    return (src * alpha + dst * (255u - alpha) + 127u) / 255u;
}

} // namespace

void paintAtOrigin(Bitmap& surface, const Bitmap& picture) noexcept {
    const std::int32_t w = std::min(surface.width, picture.width);
    const std::int32_t h = std::min(surface.height, picture.height);
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            const Pixel src = picture.at(x, y);
            const std::uint32_t a = src >> 24;
            if (a == 0) {
                continue;
            }
            Pixel& dst = surface.at(x, y);
            if (a == 255) {
                dst = src;
                continue;
            }
            const std::uint32_t r = blendChannel((src >> 16) & 0xFFu, (dst >> 16) & 0xFFu, a);
            const std::uint32_t g = blendChannel((src >> 8) & 0xFFu, (dst >> 8) & 0xFFu, a);
            const std::uint32_t b = blendChannel(src & 0xFFu, dst & 0xFFu, a);
            dst = kOpaque | (r << 16) | (g << 8) | b;
        }
    }
}

void shrinkIcon(const Bitmap& large, Bitmap& small) noexcept {
    const std::int32_t W = small.width;
    const std::int32_t H = small.height;
    const std::int64_t SW = large.width;
    const std::int64_t SH = large.height;
    if (W <= 0 || H <= 0 || SW <= 0 || SH <= 0) {
        return;
    }
    for (std::int32_t i = 0; i < W; ++i) {
        const auto x = static_cast<std::int32_t>(SW * i / W);
        for (std::int32_t j = 0; j < H; ++j) {
            const auto y = static_cast<std::int32_t>(SH * j / H);
            small.at(i, j) = large.at(x, y);
        }
    }
}

} // namespace kesk
