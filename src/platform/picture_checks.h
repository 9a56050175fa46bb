#pragma once
// What the bytes of a picture file say about themselves, before any decoder sees them. A
// decoder handed a truncated or lying file may read past its end, allocate what the header
// claims or play records for ever; these checks walk the container (chunks, blocks, segments,
// directory entries, metafile records) and refuse what does not add up. They never decode
// pixels, so formats whose completeness the container does not show pass and the decoder
// judges them.
//
// Every function takes any bytes at all (empty, short, random) and neither reads outside them
// nor throws.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kesk {

using ByteView = std::span<const std::uint8_t>;

bool bmpComplete(ByteView d) noexcept;
bool pngComplete(ByteView d) noexcept;
bool gifComplete(ByteView d) noexcept;
bool jpegComplete(ByteView d) noexcept;
// An icon or cursor directory whose every entry lies inside the file.
bool icoComplete(ByteView d) noexcept;

// An icon (type 1) or cursor (type 2) directory header.
bool isIconContainer(ByteView d) noexcept;
// Cursor files are icon files with hotspots in place of two directory fields; an icon decoder
// reads them once they are labelled as icons. Anything else is left as it is.
void relabelCursorAsIcon(std::span<std::uint8_t> d) noexcept;

// --- Metafiles ---------------------------------------------------------------------------

enum class MetafileKind {
    Wmf,          // a plain Windows metafile: no size of its own but its window records
    PlaceableWmf, // a Windows metafile behind the 22-byte placeable header (key 0x9AC6CDD7)
    Emf           // an enhanced metafile
};

// No metafile larger than this is looked at: a picture for a 32-pixel icon has no business
// being bigger, and playing one costs time on the window's thread.
inline constexpr std::size_t kMaxMetafileBytes = 8u << 20;
inline constexpr std::uint32_t kMaxMetafileRecords = 1u << 18;
// A picture larger than ten metres each way is not a picture but a lie.
inline constexpr std::int32_t kMaxMetafileHimetric = 1000000;

struct MetafileInfo {
    MetafileKind kind = MetafileKind::Wmf;
    // The bytes the platform's metafile functions take: from `offset`, `length` of them
    // (a placeable file's header is not part of the metafile proper).
    std::size_t offset = 0;
    std::size_t length = 0;
    // Where the picture lies in its own coordinates: for a Windows metafile its window
    // (origin and extent in logical units), for an enhanced one its frame in 0.01 mm.
    std::int32_t frameLeft = 0;
    std::int32_t frameTop = 0;
    std::int32_t frameWidth = 0;
    std::int32_t frameHeight = 0;
    // The picture's own size in 0.01 mm. A plain Windows metafile carries none; one logical
    // unit counts as one pixel at 96 dpi.
    std::int32_t widthHimetric = 0;
    std::int32_t heightHimetric = 0;
};

// Whether the bytes begin like a metafile of any kind (signature only).
bool isMetafile(ByteView d) noexcept;
// The metafile's layout when the bytes are a whole, sane metafile: header fields agree with
// the file, every record lies inside it, the end record is there, the record count and the
// picture's size are within the limits above. Nothing otherwise.
std::optional<MetafileInfo> inspectMetafile(ByteView d) noexcept;
// The metafile's own size in pixels at `dpi` (at least 1 by 1).
struct PixelSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};
PixelSize metafilePixels(const MetafileInfo& info, std::uint32_t dpi) noexcept;

// Whether the bytes of a picture file are complete as far as their container tells. Bytes
// of no known container pass; the decoder judges those.
bool pictureContainerComplete(ByteView d) noexcept;

} // namespace kesk
