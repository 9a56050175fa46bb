#include "menu/imagelists.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "support/errors.h"

namespace kesk {

std::size_t ImageList::pixelsPerImage() const noexcept {
    return static_cast<std::size_t>(std::max(imageWidth, 0)) *
           static_cast<std::size_t>(std::max(imageHeight, 0));
}

Bitmap ImageList::image(std::size_t index) const {
    Bitmap b(std::max(imageWidth, 0), std::max(imageHeight, 0));
    if (index < keys.size()) {
        std::copy_n(imageData(index), b.pixels.size(), b.pixels.begin());
    }
    return b;
}

void ImageList::truncate(std::size_t n) noexcept {
    if (n >= keys.size()) {
        return;
    }
    keys.resize(n);
    strip.resize(n * pixelsPerImage());
    digests.resize(std::min(n, digests.size()));
}

std::uint64_t pixelDigest(const Pixel* pixels, std::size_t count) noexcept {
    // FNV-1a over whole pixels: a 32 by 32 image takes about a microsecond.
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t i = 0; i < count; ++i) {
        h = (h ^ pixels[i]) * 1099511628211ull;
    }
    return h ^ count;
}

namespace {

// Appends `image` to `list`'s strip at the list's size, and its digest. Capacity must
// already be there.
void appendFitted(ImageList& list, const Bitmap& image) noexcept {
    const std::size_t w = static_cast<std::size_t>(std::max(list.imageWidth, 0));
    const std::size_t h = static_cast<std::size_t>(std::max(list.imageHeight, 0));
    const std::size_t at = list.strip.size();
    struct Digest {
        ImageList& list;
        std::size_t at;
        ~Digest() {
            list.digests.push_back(pixelDigest(list.strip.data() + at, list.strip.size() - at));
        }
    } digest{list, at};
    if (image.width == list.imageWidth && image.height == list.imageHeight &&
        image.pixels.size() == w * h) {
        list.strip.insert(list.strip.end(), image.pixels.begin(), image.pixels.end());
        return;
    }
    list.strip.resize(at + w * h, 0u);
    const std::size_t cw = std::min(w, static_cast<std::size_t>(std::max(image.width, 0)));
    const std::size_t ch = std::min(h, static_cast<std::size_t>(std::max(image.height, 0)));
    for (std::size_t y = 0; y < ch; ++y) {
        std::copy_n(image.pixels.begin() + static_cast<std::ptrdiff_t>(y * image.width), cw,
                    list.strip.begin() + static_cast<std::ptrdiff_t>(at + y * w));
    }
}

} // namespace

bool ImageList::holds(std::size_t index, const Bitmap& image) const {
    if (index >= keys.size()) {
        return false;
    }
    if (image.width == imageWidth && image.height == imageHeight &&
        image.pixels.size() == pixelsPerImage()) {
        return std::equal(image.pixels.begin(), image.pixels.end(), imageData(index));
    }
    ImageList one;
    one.imageWidth = imageWidth;
    one.imageHeight = imageHeight;
    one.strip.reserve(pixelsPerImage());
    one.digests.reserve(1);
    appendFitted(one, image);
    return std::equal(one.strip.begin(), one.strip.end(), imageData(index));
}

namespace {

// Room for one more image in both lists, so that nothing after it can throw with one list
// grown; the new image's number.
std::int32_t makeRoomForPair(ImageList& large, ImageList& small) {
    const std::int32_t n = large.count() + 1;
    if (n > 32767 || small.count() + 1 != n) {
        raiseError(errnum::Overflow);
    }
    // Reserve first so that nothing below can throw after one list grew.
    // Room for one more, grown by doubling: reserving exactly one more would move every
    // earlier element at each add.
    const auto roomForOne = [](auto& v) {
        if (v.size() == v.capacity()) {
            v.reserve(std::max<std::size_t>(16, 2 * v.capacity()));
        }
    };
    roomForOne(large.keys);
    roomForOne(small.keys);
    roomForOne(large.digests);
    roomForOne(small.digests);
    for (ImageList* list : {&large, &small}) {
        const std::size_t need = list->strip.size() + list->pixelsPerImage();
        if (need > list->strip.capacity()) {
            list->strip.reserve(std::max(need, 2 * list->strip.capacity()));
        }
    }
    return n;
}

} // namespace

std::int16_t addImagePairFrom(ImageList& large, ImageList& small, const std::string& key,
                              const ImageList& fromLarge, const ImageList& fromSmall,
                              std::size_t index) {
    if (fromLarge.imageWidth != large.imageWidth || fromLarge.imageHeight != large.imageHeight ||
        fromSmall.imageWidth != small.imageWidth || fromSmall.imageHeight != small.imageHeight ||
        index >= fromLarge.keys.size() || index >= fromSmall.keys.size() ||
        index >= fromLarge.digests.size() || index >= fromSmall.digests.size()) {
        raiseError(errnum::SubscriptOutOfRange);
    }
    const std::int32_t n = makeRoomForPair(large, small);
    std::string smallKey = key;
    large.keys.push_back(key);
    small.keys.push_back(std::move(smallKey));
    // Same sizes: the pixels and their digest carry over as they are.
    large.strip.insert(large.strip.end(), fromLarge.imageData(index),
                       fromLarge.imageData(index) + large.pixelsPerImage());
    small.strip.insert(small.strip.end(), fromSmall.imageData(index),
                       fromSmall.imageData(index) + small.pixelsPerImage());
    large.digests.push_back(fromLarge.digests[index]);
    small.digests.push_back(fromSmall.digests[index]);
    return static_cast<std::int16_t>(n);
}

std::int16_t addImagePair(ImageList& large, ImageList& small, const std::string& key,
                          const Bitmap& largeImage, const Bitmap& smallImage) {
    const std::int32_t n = makeRoomForPair(large, small);
    std::string smallKey = key;
    large.keys.push_back(key);
    small.keys.push_back(std::move(smallKey));
    appendFitted(large, largeImage);
    appendFitted(small, smallImage);
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

void clearSurface(Bitmap& surface, std::int32_t width, std::int32_t height, Colour back) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    surface.width = width;
    surface.height = height;
    surface.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                          toArgb(back));
}

namespace {

std::uint32_t blendChannel(std::uint32_t src, std::uint32_t dst, std::uint32_t alpha) noexcept {
    return (src * alpha + dst * (255u - alpha) + 127u) / 255u;
}

} // namespace

namespace {

// True when every point of the row is opaque.
bool opaqueRow(const Pixel* row, std::int32_t n) noexcept {
    // Two points per 64-bit word, four words per step.
    std::uint64_t a = ~std::uint64_t{0};
    std::uint64_t b = a;
    std::uint64_t c = a;
    std::uint64_t d = a;
    std::int32_t x = 0;
    for (; x + 8 <= n; x += 8) {
        std::uint64_t w[4];
        std::memcpy(w, row + x, sizeof w);
        a &= w[0];
        b &= w[1];
        c &= w[2];
        d &= w[3];
    }
    const std::uint64_t all = a & b & c & d;
    Pixel rest = static_cast<Pixel>(all) & static_cast<Pixel>(all >> 32);
    for (; x < n; ++x) {
        rest &= row[x];
    }
    return (rest >> 24) == 255u;
}

const Pixel* rowOf(const Bitmap& b, std::int32_t y) noexcept {
    return b.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(b.width);
}

} // namespace

void paintAtOrigin(Bitmap& surface, const Bitmap& picture) noexcept {
    const std::int32_t w = std::min(surface.width, picture.width);
    const std::int32_t h = std::min(surface.height, picture.height);
    for (std::int32_t y = 0; y < h; ++y) {
        const Pixel* src = rowOf(picture, y);
        Pixel* dst = &surface.at(0, y);
        // Most pictures are opaque through and through: such rows are copied whole.
        if (opaqueRow(src, w)) {
            std::memcpy(dst, src, static_cast<std::size_t>(w) * sizeof(Pixel));
            continue;
        }
        for (std::int32_t x = 0; x < w; ++x) {
            const Pixel s = src[x];
            const std::uint32_t a = s >> 24;
            if (a == 0) {
                continue;
            }
            if (a == 255) {
                dst[x] = s;
                continue;
            }
            const Pixel d = dst[x];
            const std::uint32_t r = blendChannel((s >> 16) & 0xFFu, (d >> 16) & 0xFFu, a);
            const std::uint32_t g = blendChannel((s >> 8) & 0xFFu, (d >> 8) & 0xFFu, a);
            const std::uint32_t b = blendChannel(s & 0xFFu, d & 0xFFu, a);
            dst[x] = kOpaque | (r << 16) | (g << 8) | b;
        }
    }
}

void paintOnClearedSurface(Bitmap& surface, std::int32_t width, std::int32_t height, Colour back,
                           const Bitmap& picture) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    bool covered = picture.width >= width && picture.height >= height;
    // A picture as wide as the surface is one block of rows: checked and
    // copied in one go.
    const bool block = picture.width == width;
    if (covered && block) {
        covered = opaqueRow(picture.pixels.data(), width * height);
    }
    for (std::int32_t y = 0; covered && !block && y < height; ++y) {
        covered = opaqueRow(rowOf(picture, y), width);
    }
    if (!covered) {
        clearSurface(surface, width, height, back);
        paintAtOrigin(surface, picture);
        return;
    }
    // Nothing of the cleared surface would show through.
    surface.width = width;
    surface.height = height;
    surface.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    if (block) {
        std::memcpy(surface.pixels.data(), picture.pixels.data(),
                    surface.pixels.size() * sizeof(Pixel));
        return;
    }
    for (std::int32_t y = 0; y < height; ++y) {
        std::memcpy(&surface.at(0, y), rowOf(picture, y),
                    static_cast<std::size_t>(width) * sizeof(Pixel));
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
    const auto row = [&](std::int32_t j) {
        return large.pixels.data() +
               static_cast<std::size_t>(SH * j / H) * static_cast<std::size_t>(SW);
    };
    if (SW % W == 0) {
        // The usual case, 32 points to 16 or 32: every step-th point of a row.
        const auto step = static_cast<std::size_t>(SW / W);
        for (std::int32_t j = 0; j < H; ++j) {
            const Pixel* from = row(j);
            Pixel* to = &small.at(0, j);
            for (std::size_t i = 0; i < static_cast<std::size_t>(W); ++i) {
                to[i] = from[i * step];
            }
        }
        return;
    }
    // Otherwise the column each point samples, worked out once for all rows
    // where the row is short enough to keep them at hand.
    constexpr std::int32_t kKept = 256;
    if (W <= kKept) {
        std::array<std::int32_t, kKept> column{};
        for (std::int32_t i = 0; i < W; ++i) {
            column[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(SW * i / W);
        }
        for (std::int32_t j = 0; j < H; ++j) {
            const Pixel* from = row(j);
            Pixel* to = &small.at(0, j);
            for (std::int32_t i = 0; i < W; ++i) {
                to[i] = from[column[static_cast<std::size_t>(i)]];
            }
        }
        return;
    }
    for (std::int32_t j = 0; j < H; ++j) {
        const Pixel* from = row(j);
        Pixel* to = &small.at(0, j);
        for (std::int32_t i = 0; i < W; ++i) {
            to[i] = from[SW * i / W];
        }
    }
}

Bitmap shrinkSmooth(const Bitmap& src, std::int32_t width, std::int32_t height) {
    if (src.empty() || width <= 0 || height <= 0 ||
        src.pixels.size() !=
            static_cast<std::size_t>(src.width) * static_cast<std::size_t>(src.height)) {
        return {};
    }
    if (src.width <= width && src.height <= height) {
        return src;
    }
    // Each new point covers [x * SW / W, (x + 1) * SW / W) of the source: in units of 1/W of a
    // source point, every boundary is whole, so the weights are exact integers.
    const std::int64_t sw = src.width;
    const std::int64_t sh = src.height;
    const std::int64_t w = std::min<std::int64_t>(width, sw);
    const std::int64_t h = std::min<std::int64_t>(height, sh);
    Bitmap out(static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), 0);
    // The part [a, b) of source cell c (both in units of 1/n): its overlap with [c*n, c*n+n).
    const auto overlap = [](std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t n) {
        return std::max<std::int64_t>(0, std::min(b, (c + 1) * n) - std::max(a, c * n));
    };
    for (std::int64_t y = 0; y < h; ++y) {
        const std::int64_t y0 = y * sh;
        const std::int64_t y1 = (y + 1) * sh;
        for (std::int64_t x = 0; x < w; ++x) {
            const std::int64_t x0 = x * sw;
            const std::int64_t x1 = (x + 1) * sw;
            std::uint64_t a = 0;
            std::uint64_t r = 0;
            std::uint64_t g = 0;
            std::uint64_t b = 0;
            std::uint64_t total = 0;
            for (std::int64_t sy = y0 / h; sy < sh && sy * h < y1; ++sy) {
                const auto wy = static_cast<std::uint64_t>(overlap(y0, y1, sy, h));
                for (std::int64_t sx = x0 / w; sx < sw && sx * w < x1; ++sx) {
                    const std::uint64_t weight =
                        wy * static_cast<std::uint64_t>(overlap(x0, x1, sx, w));
                    const Pixel p =
                        src.at(static_cast<std::int32_t>(sx), static_cast<std::int32_t>(sy));
                    const std::uint64_t pa = p >> 24;
                    total += weight;
                    a += weight * pa;
                    r += weight * pa * ((p >> 16) & 0xFFu);
                    g += weight * pa * ((p >> 8) & 0xFFu);
                    b += weight * pa * (p & 0xFFu);
                }
            }
            Pixel& o = out.at(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
            if (a == 0 || total == 0) {
                o = 0;
                continue;
            }
            const auto channel = [a](std::uint64_t v) {
                return static_cast<Pixel>(std::min<std::uint64_t>(255, (v + a / 2) / a));
            };
            const auto alpha = static_cast<Pixel>((a + total / 2) / total);
            o = (alpha << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
        }
    }
    return out;
}

} // namespace kesk
