#include "menu/dpi_sizes.h"

#include <algorithm>
#include <cmath>

#include "support/conversions.h"
#include "tray/taskbar_layout.h"

namespace kesk {

std::int32_t dpiOfTwipsPerPixel(double twipsPerPixel) noexcept {
    if (!std::isfinite(twipsPerPixel) || twipsPerPixel <= 0.0) {
        return 0;
    }
    const double dpi = conv::roundHalfEven(1440.0 / twipsPerPixel);
    // Beyond any screen either way; usableDpi then holds it.
    return dpi > 1e6 ? 1000000 : static_cast<std::int32_t>(dpi);
}

double twipsPerPixelAt(std::int32_t dpi) noexcept {
    return 1440.0 / static_cast<double>(usableDpi(dpi));
}

std::int32_t picturePixelsAt(std::int32_t designPixels, std::int32_t dpi) noexcept {
    const double scaled = conv::roundHalfEven(static_cast<double>(designPixels) *
                                              static_cast<double>(usableDpi(dpi)) / kDefaultDpi);
    return static_cast<std::int32_t>(std::clamp(scaled, 1.0, double{kMaxPictureSize}));
}

std::size_t bestImageFor(const std::vector<ImageChoice>& images, std::int32_t want) noexcept {
    // The side that decides: the smaller one, so that a picture drawn into a square covers it.
    const auto side = [](const ImageChoice& c) { return std::min(c.width, c.height); };
    // Ranks of fit: 0 exact, 1 larger (by how much), 2 smaller (by how much).
    const auto fit = [&](const ImageChoice& c) {
        const std::int64_t s = side(c);
        if (s == want) {
            return std::pair<int, std::int64_t>{0, 0};
        }
        return s > want ? std::pair<int, std::int64_t>{1, s - want}
                        : std::pair<int, std::int64_t>{2, want - s};
    };
    std::size_t best = static_cast<std::size_t>(-1);
    for (std::size_t i = 0; i < images.size(); ++i) {
        const ImageChoice& c = images[i];
        if (c.width <= 0 || c.height <= 0) {
            continue;
        }
        if (best == static_cast<std::size_t>(-1)) {
            best = i;
            continue;
        }
        const ImageChoice& b = images[best];
        const auto fc = fit(c);
        const auto fb = fit(b);
        if (fc != fb) {
            if (fc < fb) {
                best = i;
            }
            continue;
        }
        const bool squareC = c.width == c.height;
        const bool squareB = b.width == b.height;
        if (squareC != squareB) {
            if (squareC) {
                best = i;
            }
            continue;
        }
        if (c.bits > b.bits) {
            best = i;
        }
    }
    return best;
}

std::vector<ImageChoice> iconDirectoryImages(const std::uint8_t* data, std::size_t size,
                                             IconDirectoryKind kind) {
    constexpr std::size_t kHead = 6;
    const std::size_t entry = kind == IconDirectoryKind::File ? 16 : 14;
    if (data == nullptr || size < kHead) {
        return {};
    }
    const auto word = [data](std::size_t at) {
        return static_cast<std::uint32_t>(data[at] | (data[at + 1] << 8));
    };
    // Reserved 0, then type 1 (icons; cursors have no place among item pictures).
    const std::uint32_t count = word(4);
    if (word(0) != 0 || word(2) != 1 || count == 0 || count > (size - kHead) / entry) {
        return {};
    }
    std::vector<ImageChoice> images;
    images.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = data + kHead + i * entry;
        ImageChoice c;
        c.width = e[0] == 0 ? 256 : e[0];
        c.height = e[1] == 0 ? 256 : e[1];
        c.bits = static_cast<std::int32_t>(e[6] | (e[7] << 8));
        images.push_back(c);
    }
    return images;
}

} // namespace kesk
