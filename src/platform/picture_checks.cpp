#include "platform/picture_checks.h"

#include <cstdlib>
#include <cstring>

namespace kesk {

namespace {

std::uint32_t le16(const std::uint8_t* p) noexcept {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
}
std::uint32_t le32(const std::uint8_t* p) noexcept {
    return le16(p) | (le16(p + 2) << 16);
}
std::int32_t les16(const std::uint8_t* p) noexcept {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(le16(p)));
}
std::int32_t les32(const std::uint8_t* p) noexcept {
    return static_cast<std::int32_t>(le32(p));
}
std::uint32_t be32(const std::uint8_t* p) noexcept {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

bool startsWith(ByteView d, const char* magic, std::size_t n) noexcept {
    return d.size() >= n && std::memcmp(d.data(), magic, n) == 0;
}

// Skips a chain of GIF data sub-blocks starting at pos; returns the position after the
// terminating empty block, or 0 if the data ends first.
std::size_t gifSkipSubBlocks(ByteView d, std::size_t pos) noexcept {
    while (pos < d.size()) {
        const std::size_t len = d[pos];
        pos += 1 + len;
        if (len == 0) {
            return pos;
        }
    }
    return 0;
}

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr std::size_t kPlaceableHeaderBytes = 22;
constexpr std::size_t kWmfHeaderBytes = 18;
constexpr std::uint32_t kWmfEof = 0x0000;
constexpr std::uint32_t kWmfSetWindowOrg = 0x020B;
constexpr std::uint32_t kWmfSetWindowExt = 0x020C;
constexpr std::uint32_t kEmfHeader = 1;
constexpr std::uint32_t kEmfEof = 14;
constexpr std::uint32_t kEmfSignature = 0x464D4520u; // " EMF"
constexpr std::size_t kEmfHeaderBytes = 88;

bool plainWmfHeader(ByteView d) noexcept {
    if (d.size() < kWmfHeaderBytes) {
        return false;
    }
    const std::uint32_t type = le16(&d[0]);
    const std::uint32_t version = le16(&d[4]);
    return (type == 1 || type == 2) && le16(&d[2]) == 9 && (version == 0x0100 || version == 0x0300);
}

bool emfHeader(ByteView d) noexcept {
    return d.size() >= kEmfHeaderBytes && le32(&d[0]) == kEmfHeader &&
           le32(&d[40]) == kEmfSignature;
}

// A Windows metafile's record chain, and the window its first origin and extent records set.
struct WmfWalk {
    MetafileInfo info;
    bool hasWindow = false;
};

std::optional<WmfWalk> walkWmf(ByteView wmf) noexcept {
    if (!plainWmfHeader(wmf)) {
        return std::nullopt;
    }
    // The header counts 16-bit words; a file may carry padding behind them.
    const std::uint64_t total = 2ull * le32(&wmf[6]);
    if (total < kWmfHeaderBytes + 6 || total > wmf.size()) {
        return std::nullopt;
    }
    WmfWalk walk;
    walk.info.length = static_cast<std::size_t>(total);
    bool sawOrg = false;
    std::uint32_t records = 0;
    for (std::size_t pos = kWmfHeaderBytes; pos + 6 <= total;) {
        const std::uint64_t bytes = 2ull * le32(&wmf[pos]);
        const std::uint32_t function = le16(&wmf[pos + 4]);
        if (bytes < 6 || bytes > total - pos || ++records > kMaxMetafileRecords) {
            return std::nullopt;
        }
        if (function == kWmfEof) {
            return walk;
        }
        // Parameters come y first, then x.
        if (function == kWmfSetWindowOrg && !sawOrg && bytes >= 10) {
            walk.info.frameTop = les16(&wmf[pos + 6]);
            walk.info.frameLeft = les16(&wmf[pos + 8]);
            sawOrg = true;
        } else if (function == kWmfSetWindowExt && !walk.hasWindow && bytes >= 10) {
            walk.info.frameHeight = les16(&wmf[pos + 6]);
            walk.info.frameWidth = les16(&wmf[pos + 8]);
            walk.hasWindow = true;
        }
        pos += static_cast<std::size_t>(bytes);
    }
    return std::nullopt; // no end record
}

std::optional<MetafileInfo> inspectWmf(ByteView d) noexcept {
    const std::optional<WmfWalk> walk = walkWmf(d);
    if (!walk || !walk->hasWindow) {
        return std::nullopt; // no size of its own and none set by its records
    }
    MetafileInfo info = walk->info;
    // A picture drawn upside down has a negative extent; its size is the extent's.
    const std::int32_t w = std::abs(info.frameWidth);
    const std::int32_t h = std::abs(info.frameHeight);
    if (w == 0 || h == 0) {
        return std::nullopt;
    }
    info.kind = MetafileKind::Wmf;
    info.widthHimetric = static_cast<std::int32_t>((std::int64_t{w} * 2540 + 48) / 96);
    info.heightHimetric = static_cast<std::int32_t>((std::int64_t{h} * 2540 + 48) / 96);
    return info;
}

std::optional<MetafileInfo> inspectPlaceable(ByteView d) noexcept {
    if (d.size() < kPlaceableHeaderBytes + kWmfHeaderBytes) {
        return std::nullopt;
    }
    const std::int32_t left = les16(&d[6]);
    const std::int32_t top = les16(&d[8]);
    const std::int32_t right = les16(&d[10]);
    const std::int32_t bottom = les16(&d[12]);
    const std::uint32_t inch = le16(&d[14]);
    if (right <= left || bottom <= top || inch == 0) {
        return std::nullopt;
    }
    // The records must be sound; the picture's place and size are the header's.
    const std::optional<WmfWalk> walk = walkWmf(d.subspan(kPlaceableHeaderBytes));
    if (!walk) {
        return std::nullopt;
    }
    const std::int64_t w = (std::int64_t{right - left} * 2540 + inch / 2) / inch;
    const std::int64_t h = (std::int64_t{bottom - top} * 2540 + inch / 2) / inch;
    if (w < 1 || h < 1 || w > kMaxMetafileHimetric || h > kMaxMetafileHimetric) {
        return std::nullopt;
    }
    MetafileInfo info = walk->info;
    info.kind = MetafileKind::PlaceableWmf;
    info.offset = kPlaceableHeaderBytes;
    info.frameLeft = left;
    info.frameTop = top;
    info.frameWidth = right - left;
    info.frameHeight = bottom - top;
    info.widthHimetric = static_cast<std::int32_t>(w);
    info.heightHimetric = static_cast<std::int32_t>(h);
    return info;
}

std::optional<MetafileInfo> inspectEmf(ByteView d) noexcept {
    if (!emfHeader(d)) {
        return std::nullopt;
    }
    const std::uint32_t headerBytes = le32(&d[4]);
    const std::uint32_t total = le32(&d[48]);
    const std::uint32_t declaredRecords = le32(&d[52]);
    if (headerBytes < kEmfHeaderBytes || headerBytes % 4 != 0 || total > d.size() ||
        headerBytes > total || declaredRecords < 2 || declaredRecords > kMaxMetafileRecords) {
        return std::nullopt;
    }
    const std::uint32_t descriptionChars = le32(&d[64]);
    const std::uint32_t descriptionAt = le32(&d[68]);
    if (descriptionChars != 0 &&
        (descriptionAt < kEmfHeaderBytes || descriptionChars > headerBytes / 2 ||
         std::uint64_t{descriptionAt} + 2ull * descriptionChars > headerBytes)) {
        return std::nullopt;
    }
    // The frame, in 0.01 mm, inclusive at both ends as the platform writes it.
    const std::int64_t left = les32(&d[24]);
    const std::int64_t top = les32(&d[28]);
    const std::int64_t right = les32(&d[32]);
    const std::int64_t bottom = les32(&d[36]);
    const std::int64_t w = right - left;
    const std::int64_t h = bottom - top;
    if (w < 1 || h < 1 || w > kMaxMetafileHimetric || h > kMaxMetafileHimetric) {
        return std::nullopt;
    }
    std::uint32_t records = 0;
    for (std::size_t pos = 0; pos + 8 <= total;) {
        const std::uint32_t type = le32(&d[pos]);
        const std::uint32_t bytes = le32(&d[pos + 4]);
        if (bytes < 8 || bytes % 4 != 0 || bytes > total - pos || ++records > declaredRecords) {
            return std::nullopt;
        }
        if ((pos == 0) != (type == kEmfHeader)) {
            return std::nullopt; // the header comes first and only once
        }
        if (type == kEmfEof) {
            MetafileInfo info;
            info.kind = MetafileKind::Emf;
            info.offset = 0;
            info.length = pos + bytes;
            info.frameLeft = static_cast<std::int32_t>(left);
            info.frameTop = static_cast<std::int32_t>(top);
            info.frameWidth = static_cast<std::int32_t>(w);
            info.frameHeight = static_cast<std::int32_t>(h);
            info.widthHimetric = info.frameWidth;
            info.heightHimetric = info.frameHeight;
            return info;
        }
        pos += bytes;
    }
    return std::nullopt; // no end record
}

} // namespace

bool bmpComplete(ByteView d) noexcept {
    const std::size_t size = d.size();
    if (size < 14 + 12 || !startsWith(d, "BM", 2)) {
        return false;
    }
    const std::uint64_t offBits = le32(&d[10]);
    const std::uint32_t headerSize = le32(&d[14]);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bitCount = 0;
    std::uint32_t compression = 0;
    if (headerSize == 12) {
        width = le16(&d[18]);
        height = le16(&d[20]);
        bitCount = le16(&d[24]);
    } else if (headerSize >= 40 && size >= 14 + 40) {
        width = static_cast<std::int32_t>(le32(&d[18]));
        height = static_cast<std::int32_t>(le32(&d[22]));
        bitCount = le16(&d[28]);
        compression = le32(&d[30]);
    } else {
        return false;
    }
    if (width <= 0 || height == 0 || offBits > size) {
        return false;
    }
    constexpr std::uint32_t kRgb = 0;
    constexpr std::uint32_t kBitfields = 3;
    if (compression != kRgb && compression != kBitfields) {
        return true; // run-length and embedded formats: the decoder judges them
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32) {
        return false;
    }
    const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bitCount + 31) / 32) * 4;
    const std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
    // Divided rather than multiplied: stride times rows can pass 2^64.
    return stride <= (size - offBits) / rows;
}

bool pngComplete(ByteView d) noexcept {
    if (!startsWith(d, "\x89PNG\r\n\x1a\n", 8)) {
        return false;
    }
    std::size_t pos = 8;
    bool sawHeader = false;
    while (pos + 12 <= d.size()) {
        const std::uint64_t length = be32(&d[pos]);
        const bool isHeader = std::memcmp(&d[pos + 4], "IHDR", 4) == 0;
        const bool isEnd = std::memcmp(&d[pos + 4], "IEND", 4) == 0;
        if (pos == 8 && !isHeader) {
            return false;
        }
        sawHeader = sawHeader || isHeader;
        const std::uint64_t next = pos + 12 + length;
        if (next > d.size()) {
            return false;
        }
        if (isEnd) {
            return sawHeader;
        }
        pos = static_cast<std::size_t>(next);
    }
    return false;
}

bool gifComplete(ByteView d) noexcept {
    if (d.size() < 13 || !(startsWith(d, "GIF87a", 6) || startsWith(d, "GIF89a", 6))) {
        return false;
    }
    std::size_t pos = 13;
    if ((d[10] & 0x80) != 0) {
        pos += 3u * (1u << ((d[10] & 0x07) + 1));
    }
    bool sawImage = false;
    while (pos < d.size()) {
        const std::uint8_t kind = d[pos];
        if (kind == 0x3B) {
            return sawImage;
        }
        if (kind == 0x21) {
            if (pos + 2 > d.size()) {
                return false;
            }
            pos = gifSkipSubBlocks(d, pos + 2);
        } else if (kind == 0x2C) {
            if (pos + 10 > d.size()) {
                return false;
            }
            const std::uint8_t flags = d[pos + 9];
            pos += 10;
            if ((flags & 0x80) != 0) {
                pos += 3u * (1u << ((flags & 0x07) + 1));
            }
            pos += 1; // LZW minimum code size
            if (pos > d.size()) {
                return false;
            }
            pos = gifSkipSubBlocks(d, pos);
            sawImage = true;
        } else {
            return false;
        }
        if (pos == 0) {
            return false;
        }
    }
    return false;
}

bool jpegComplete(ByteView d) noexcept {
    if (!startsWith(d, "\xFF\xD8", 2)) {
        return false;
    }
    // Walk the marker segments up to the first scan, then look for the end-of-image marker
    // behind it (bytes after it are allowed: some writers append data).
    std::size_t pos = 2;
    while (pos + 4 <= d.size()) {
        if (d[pos] != 0xFF) {
            return false;
        }
        const std::uint8_t marker = d[pos + 1];
        if (marker == 0xFF) {
            ++pos; // fill byte
            continue;
        }
        if (marker == 0xD9) {
            return false; // end before any scan
        }
        const std::size_t length = (static_cast<std::size_t>(d[pos + 2]) << 8) | d[pos + 3];
        if (length < 2) {
            return false;
        }
        pos += 2 + length;
        if (marker == 0xDA) {
            for (std::size_t i = pos; i + 1 < d.size(); ++i) {
                if (d[i] == 0xFF && d[i + 1] == 0xD9) {
                    return true;
                }
            }
            return false;
        }
    }
    return false;
}

bool isIconContainer(ByteView d) noexcept {
    return d.size() >= 6 && le16(&d[0]) == 0 && (le16(&d[2]) == 1 || le16(&d[2]) == 2);
}

bool icoComplete(ByteView d) noexcept {
    if (!isIconContainer(d)) {
        return false;
    }
    const std::uint32_t count = le16(&d[4]);
    if (count == 0 || 6 + 16ull * count > d.size()) {
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* e = &d[6 + 16 * static_cast<std::size_t>(i)];
        const std::uint64_t bytes = le32(e + 8);
        const std::uint64_t offset = le32(e + 12);
        if (bytes < 40 || offset < 6 + 16ull * count || offset + bytes > d.size()) {
            return false;
        }
    }
    return true;
}

void relabelCursorAsIcon(std::span<std::uint8_t> d) noexcept {
    if (!isIconContainer(d) || le16(&d[2]) != 2) {
        return;
    }
    d[2] = 1;
    const std::size_t count = le16(&d[4]);
    for (std::size_t i = 0; i < count && 6 + 16 * i + 16 <= d.size(); ++i) {
        std::uint8_t* e = &d[6 + 16 * i];
        e[4] = 1; // planes
        e[5] = 0;
        e[6] = 0; // bit count: taken from the image itself
        e[7] = 0;
    }
}

bool isMetafile(ByteView d) noexcept {
    return (d.size() >= 4 && le32(&d[0]) == kPlaceableKey) || plainWmfHeader(d) || emfHeader(d);
}

std::optional<MetafileInfo> inspectMetafile(ByteView d) noexcept {
    if (d.size() > kMaxMetafileBytes) {
        return std::nullopt;
    }
    if (d.size() >= 4 && le32(&d[0]) == kPlaceableKey) {
        return inspectPlaceable(d);
    }
    if (emfHeader(d)) {
        return inspectEmf(d);
    }
    if (plainWmfHeader(d)) {
        return inspectWmf(d);
    }
    return std::nullopt;
}

PixelSize metafilePixels(const MetafileInfo& info, std::uint32_t dpi) noexcept {
    if (dpi == 0) {
        dpi = 96;
    }
    const auto px = [dpi](std::int32_t himetric) {
        const std::int64_t v = (std::int64_t{himetric} * dpi + 1270) / 2540;
        return static_cast<std::int32_t>(v < 1 ? 1 : v);
    };
    return PixelSize{px(info.widthHimetric), px(info.heightHimetric)};
}

bool pictureContainerComplete(ByteView d) noexcept {
    if (startsWith(d, "BM", 2)) {
        return bmpComplete(d);
    }
    if (startsWith(d, "\x89PNG\r\n\x1a\n", 8)) {
        return pngComplete(d);
    }
    if (startsWith(d, "GIF87a", 6) || startsWith(d, "GIF89a", 6)) {
        return gifComplete(d);
    }
    if (startsWith(d, "\xFF\xD8", 2)) {
        return jpegComplete(d);
    }
    if (isIconContainer(d)) {
        return icoComplete(d);
    }
    if (isMetafile(d)) {
        return inspectMetafile(d).has_value();
    }
    return true;
}

} // namespace kesk
