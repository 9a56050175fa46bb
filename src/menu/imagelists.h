#pragma once
// The pictures behind the menu's lists: two image lists that always hold the
// same number of images (image n of the small list is the small copy of image
// n of the large list), and the drawing surfaces the small copies are made on.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace kesk {

struct ImageList {
    // Every image is kept and presented at this size.
    std::int32_t imageWidth = 0;
    std::int32_t imageHeight = 0;
    // Image n (1-based) has key keys[n - 1].
    std::vector<std::string> keys;
    // The images one after another, each imageWidth by imageHeight pixels,
    // rows from the top. One block, the way a real image list keeps them: once
    // it has grown, a rebuild adds its images without allocating.
    std::vector<Pixel> strip;
    // A digest of each image's pixels, so that whoever shows the images can tell which
    // changed without keeping a copy of them.
    std::vector<std::uint64_t> digests;

    std::int32_t count() const noexcept { return static_cast<std::int32_t>(keys.size()); }
    std::size_t pixelsPerImage() const noexcept;
    // The first pixel of image `index` (0-based); its rows follow at imageWidth.
    const Pixel* imageData(std::size_t index) const noexcept {
        return strip.data() + index * pixelsPerImage();
    }
    // A copy of image `index` (0-based).
    Bitmap image(std::size_t index) const;
    void clear() noexcept {
        keys.clear();
        strip.clear();
        digests.clear();
    }
    // Keeps the first `n` images.
    void truncate(std::size_t n) noexcept;
    // Whether image `index` (0-based) is `image` as addImagePair would keep it.
    bool holds(std::size_t index, const Bitmap& image) const;
};

// The digest of `count` pixels.
std::uint64_t pixelDigest(const Pixel* pixels, std::size_t count) noexcept;

// Appends one image to each list under the same key and returns its number
// (1-based). An image of another size than its list's is kept at the list's
// size: its top-left part, transparent where it does not reach. Either both
// lists grow or neither does. More than 32,767 images throws
// RuntimeError(Overflow): picture numbers are signed 16-bit.
std::int16_t addImagePair(ImageList& large, ImageList& small, const std::string& key,
                          const Bitmap& largeImage, const Bitmap& smallImage);

// Appends image `index` of `fromLarge`/`fromSmall` (lists of the same sizes as `large`/
// `small`), as addImagePair does.
std::int16_t addImagePairFrom(ImageList& large, ImageList& small, const std::string& key,
                              const ImageList& fromLarge, const ImageList& fromSmall,
                              std::size_t index);

// The key of an icon taken from a file or from the shell: "S" followed by the
// image number with a leading blank ("S 4").
std::string iconImageKey(std::int32_t n);

// A drawing surface cleared to `back`.
Bitmap clearedSurface(std::int32_t width, std::int32_t height, Colour back);
// Makes `surface` that cleared surface, reusing its memory when it can.
void clearSurface(Bitmap& surface, std::int32_t width, std::int32_t height, Colour back);

// Paints `picture` at its own size at (0, 0) of `surface`, blending its alpha
// over what is there (the way an icon is drawn: transparent parts show the
// surface). Whatever lies outside the surface is clipped.
void paintAtOrigin(Bitmap& surface, const Bitmap& picture) noexcept;
// clearSurface, then paintAtOrigin: without clearing where the picture
// covers the whole surface with opaque points.
void paintOnClearedSurface(Bitmap& surface, std::int32_t width, std::int32_t height, Colour back,
                           const Bitmap& picture);

// Nearest-neighbour scaling of `large` onto `small` at small's own size: point
// (i, j) of `small` takes the colour of point (SW * i / W, SH * j / H) of
// `large`, each coordinate cut towards zero, where W, H is small's size and
// SW, SH large's. No smoothing, no mask.
void shrinkIcon(const Bitmap& large, Bitmap& small) noexcept;

// `src` made no larger than `width` by `height` pixels by averaging the points each new point
// covers (their colours weighted by their alpha), for a picture taken from a source's larger
// image: sharp, where dropping points would leave gaps in thin lines. A side no larger than
// asked keeps its size; an empty picture, or an empty size, gives an empty bitmap.
Bitmap shrinkSmooth(const Bitmap& src, std::int32_t width, std::int32_t height);

} // namespace kesk
