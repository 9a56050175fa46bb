#pragma once
// The menu at any DPI: one DPI for layout and painting, the twips of a pixel at it, and the
// pixel sizes of its pictures. Everything the menu designs (twips, picture sizes) is made for
// 96 dpi; at another DPI it keeps its proportions, and pictures are taken at the size the DPI
// needs from the source's own images, never blown up from a smaller one.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kesk {

// The DPI of a twips-per-pixel value (1440 / twips per pixel), for a platform that reports
// the one but not the other; nonsense (0, negative, not a number) gives 0.
std::int32_t dpiOfTwipsPerPixel(double twipsPerPixel) noexcept;

// Twips per pixel at `dpi` as the platform reported it, held to what a screen can have
// (the taskbar's rule, usableDpi): 15 at 96, 12 at 120, 10 at 144, 7.5 at 192.
double twipsPerPixelAt(std::int32_t dpi) noexcept;

// No picture of an image list is larger: the largest image the platform's sources carry.
inline constexpr std::int32_t kMaxPictureSize = 256;

// A picture size designed for 96 dpi, in pixels at `dpi` (held as above), rounded to the
// nearest pixel, a tie to the even one, and kept between 1 and kMaxPictureSize:
// 32 gives 40 at 120 dpi, 48 at 144, 64 at 192.
std::int32_t picturePixelsAt(std::int32_t designPixels, std::int32_t dpi) noexcept;

// One image of a source that carries several (an icon file, a program's icon, the shell's
// image lists): its size in pixels and its colour bits (0: not told).
struct ImageChoice {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bits = 0;
};

// Which image gives a sharp `want` by `want` picture: one of exactly that size; else the
// smallest larger one (shrunk, it stays sharp); else the largest (a source without a large
// enough image can only be blown up). Square images before others, then more colour bits,
// then the first. Images of no size are never chosen; none at all (or none usable) gives
// std::size_t(-1).
std::size_t bestImageFor(const std::vector<ImageChoice>& images, std::int32_t want) noexcept;

// The images an icon directory lists, in its order: an icon file's own directory (16-byte
// entries after a 6-byte head) or a program's icon group resource (14-byte entries). A width
// or height byte of 0 means 256. A directory that is not one, or whose entries run past its
// end, lists nothing: the caller then asks for the size it needs and takes what it gets.
enum class IconDirectoryKind { File, Group };
std::vector<ImageChoice> iconDirectoryImages(const std::uint8_t* data, std::size_t size,
                                             IconDirectoryKind kind);

} // namespace kesk
