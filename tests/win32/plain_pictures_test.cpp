// The program's own pictures (plain Windows bitmaps, as the skin's are, and icon files of 32-bit
// images, as the fallback picture is) are taken without WIC, so that reading them loads no
// decoder module: every depth, row order and padding comes out point for point as the file
// says, in both views; an icon's image is the one the decoder would choose, with its alpha as
// it is; what is not taken so still reaches the decoders; damaged files fail as invalid.
#include "win32/desktop_test_pictures.h"
#include "win32/desktop_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace kesk::test {
namespace {

// What a test bitmap holds: its size, depth, row order, and how many colours its table lists
// (0: as many as the depth allows, the file's own default).
struct BitmapShape {
    int width;
    int height;
    int bits;
    bool topDown;
    std::uint32_t coloursUsed;
};

// The colours of the test pattern, 0xRRGGBB; indexed bitmaps list them in this order.
constexpr std::uint32_t kColours[8] = {0x102030u, 0xE01010u, 0x10E010u, 0x1010E0u,
                                       0xF0F0F0u, 0x808000u, 0x008080u, 0x000000u};

// The colour at (x, y) of every direct-colour test bitmap: a pattern that changes along both
// axes, so a row order or padding error shows.
std::uint32_t patternColour(int x, int y) {
    return kColours[static_cast<unsigned>(x * 3 + y * 5) % 8];
}

// The palette index of (x, y) for a depth: the pattern folded into the colours the depth has.
unsigned patternIndex(int x, int y, int bits, std::uint32_t coloursUsed) {
    const unsigned most = bits == 1 ? 2u : 8u;
    const unsigned listed = coloursUsed == 0 ? most : std::min<unsigned>(coloursUsed, most);
    return static_cast<unsigned>(x * 3 + y * 5) % 8 % listed;
}

// The bitmap file of `shape` with the pattern; indexed depths list the pattern's colours first.
Bytes makeBitmap(const BitmapShape& s) {
    const bool indexed = s.bits <= 8;
    const std::uint32_t tableEntries =
        indexed ? (s.coloursUsed != 0 ? s.coloursUsed : 1u << s.bits) : 0;
    const std::uint32_t stride = (static_cast<std::uint32_t>(s.width) * s.bits + 31) / 32 * 4;
    const std::uint32_t offset = 14 + 40 + tableEntries * 4;
    const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(s.height);
    Bytes b{'B', 'M'};
    put32(b, offset + imageSize);
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, static_cast<std::uint32_t>(s.width));
    put32(b, static_cast<std::uint32_t>(s.topDown ? -s.height : s.height));
    put16(b, 1);
    put16(b, static_cast<std::uint32_t>(s.bits));
    put32(b, 0); // BI_RGB
    put32(b, imageSize);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, s.coloursUsed);
    put32(b, 0);
    for (std::uint32_t i = 0; i < tableEntries; ++i) {
        put32(b, kColours[i % 8]); // blue, green, red, 0 in memory order
    }
    for (int r = 0; r < s.height; ++r) {
        const int y = s.topDown ? r : s.height - 1 - r;
        std::vector<std::uint8_t> row(stride, 0);
        for (int x = 0; x < s.width; ++x) {
            if (!indexed) {
                const std::uint32_t c = patternColour(x, y);
                row[static_cast<std::size_t>(x) * 3] = static_cast<std::uint8_t>(c);
                row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<std::uint8_t>(c >> 8);
                row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<std::uint8_t>(c >> 16);
                continue;
            }
            const unsigned index = patternIndex(x, y, s.bits, s.coloursUsed);
            const unsigned bit = static_cast<unsigned>(x) * static_cast<unsigned>(s.bits);
            const unsigned shift = 8 - static_cast<unsigned>(s.bits) - bit % 8;
            row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | (index << shift));
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

// The colour the file holds at (x, y), as a pixel.
Pixel expectedAt(const BitmapShape& s, int x, int y) {
    const std::uint32_t rgb =
        s.bits <= 8 ? kColours[patternIndex(x, y, s.bits, s.coloursUsed)] : patternColour(x, y);
    return kOpaque | rgb;
}

// `bytes` with the 32-bit little-endian word at `at` replaced by `value`.
Bytes patched(const Bytes& bytes, std::size_t at, std::uint32_t value) {
    Bytes b = bytes;
    for (std::size_t i = 0; i < 4; ++i) {
        b.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return b;
}

class PlainPicturesTest : public ::testing::Test {
  protected:
    ComScope com;
    TempDir dir{"plainbitmap"};
    win::Win32Desktop desk{win::DecoderUse::PerPicture};

    std::string file(const std::string& name, const Bytes& bytes) {
        writeBytes(dir / name, bytes);
        return u8(dir / name);
    }
};

TEST_F(PlainPicturesTest, EveryDepthAndRowOrderComesOutAsTheFileSays) {
    struct Row {
        const char* rule;
        BitmapShape shape;
    };
    const std::vector<Row> rows = {
        {"24 bits, bottom-up, rows padded by one byte", {13, 9, 24, false, 0}},
        {"24 bits, top-down", {13, 9, 24, true, 0}},
        {"24 bits, rows without padding", {8, 5, 24, false, 0}},
        {"8 bits with a full colour table", {11, 7, 8, false, 0}},
        {"8 bits listing only the colours it uses", {11, 7, 8, false, 8}},
        {"4 bits, odd width, top-down", {7, 6, 4, true, 0}},
        {"4 bits listing five colours", {9, 4, 4, false, 5}},
        {"1 bit, a width that is no multiple of eight", {19, 3, 1, false, 0}},
        {"a single point", {1, 1, 24, false, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        const BitmapShape& s = row.shape;
        const std::string path = file("plain.bmp", makeBitmap(s));
        // Both views at the picture's own size (as an item picture of that size asks), and a
        // crop smaller than the picture alone (as the skin asks).
        Picture both;
        ASSERT_EQ(
            desk.loadPicture(path, PictureRequest{s.width, s.height, s.width, s.height}, both),
            PictureError::None);
        EXPECT_EQ(both.width, s.width);
        EXPECT_EQ(both.height, s.height);
        ASSERT_EQ(both.topLeft.width, s.width);
        ASSERT_EQ(both.topLeft.height, s.height);
        ASSERT_EQ(both.scaled.width, s.width);
        ASSERT_EQ(both.scaled.height, s.height);
        Picture crop;
        const int cw = std::max(1, s.width - 2);
        const int ch = std::max(1, s.height - 1);
        ASSERT_EQ(desk.loadPicture(path, PictureRequest{cw, ch, 0, 0}, crop), PictureError::None);
        ASSERT_EQ(crop.topLeft.width, cw);
        ASSERT_EQ(crop.topLeft.height, ch);
        EXPECT_TRUE(crop.scaled.empty());
        int wrong = 0;
        for (int y = 0; y < s.height; ++y) {
            for (int x = 0; x < s.width; ++x) {
                const Pixel want = expectedAt(s, x, y);
                wrong += both.topLeft.at(x, y) != want;
                wrong += both.scaled.at(x, y) != want;
                if (x < cw && y < ch) {
                    wrong += crop.topLeft.at(x, y) != want;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(PlainPicturesTest, WhatGdiDoesNotDrawAsTheDecodersDoStillDecodes) {
    struct Row {
        const char* rule;
        Bytes bytes;
        PictureRequest request;
        int width, height;
    };
    const Bytes plain = makeBitmap({16, 16, 24, false, 0});
    const std::vector<Row> rows = {
        {"a scaled view of another size", plain, PictureRequest{16, 16, 32, 32}, 16, 16},
        {"run-length compressed", makeBmpRle8(20, 10, 0x2060A0u), PictureRequest{20, 10, 20, 10},
         20, 10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        Picture pic;
        ASSERT_EQ(desk.loadPicture(file("other.bmp", row.bytes), row.request, pic),
                  PictureError::None);
        EXPECT_EQ(pic.width, row.width);
        EXPECT_EQ(pic.height, row.height);
        EXPECT_EQ(pic.scaled.width, row.request.scaledWidth);
        EXPECT_EQ(pic.scaled.height, row.request.scaledHeight);
        EXPECT_EQ(pic.topLeft.width, std::min(row.width, row.request.cropWidth));
    }
}

TEST_F(PlainPicturesTest, DamagedBitmapsFailAsInvalid) {
    const Bytes good = makeBitmap({12, 6, 8, false, 0});
    struct Row {
        const char* rule;
        Bytes bytes;
    };
    const std::vector<Row> rows = {
        {"the last row cut short", Bytes(good.begin(), good.end() - 3)},
        {"points said to lie past the file's end",
         patched(good, 10, static_cast<std::uint32_t>(good.size()))},
        {"a width of nothing", patched(good, 18, 0)},
        {"a height of nothing", patched(good, 22, 0)},
        {"more rows than the file holds", patched(good, 22, 600)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        Picture pic;
        EXPECT_EQ(desk.loadPicture(file("bad.bmp", row.bytes), PictureRequest{12, 6, 12, 6}, pic),
                  PictureError::InvalidPicture);
        EXPECT_TRUE(pic.topLeft.empty());
        EXPECT_TRUE(pic.scaled.empty());
    }
}

TEST_F(PlainPicturesTest, IconImagesComeOutAsTheDecoderGivesThem) {
    struct Row {
        const char* rule;
        Bytes bytes;
        int want;          // the size asked for, both views
        int width;         // the image taken
        Pixel left, right; // at (0, 0) and at the right half's (want - 1, 0)
    };
    const std::vector<Row> rows = {
        {"the image of the size asked for", makeIco({{16, 0xFF10E010u}, {32, 0xFFE01010u}}), 32, 32,
         0xFFE01010u, 0u},
        {"the smallest larger one where none has that size",
         makeIco({{16, 0xFF10E010u}, {48, 0xFF1010E0u}, {64, 0xFFE01010u}}), 48, 48, 0xFF1010E0u,
         0u},
        {"half-transparent points keep their alpha and colour", makeIco({{32, 0x80E01010u}}), 32,
         32, 0x80E01010u, 0u},
        {"a smaller one scaled up when it is all there is", makeIco({{16, 0xFFE01010u}}), 32, 16,
         0xFFE01010u, 0u},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        Picture pic;
        ASSERT_EQ(desk.loadPicture(file("pic.ico", row.bytes),
                                   PictureRequest{row.want, row.want, row.want, row.want}, pic),
                  PictureError::None);
        EXPECT_EQ(pic.width, row.width);
        ASSERT_EQ(pic.scaled.width, row.want);
        ASSERT_EQ(pic.topLeft.width, std::min(row.want, row.width));
        EXPECT_EQ(pic.scaled.at(0, 0), row.left);
        EXPECT_EQ(pic.topLeft.at(0, 0), row.left);
        EXPECT_EQ(pic.scaled.at(row.want - 1, 0) >> 24, row.right >> 24);
    }
}

TEST_F(PlainPicturesTest, DamagedIconFilesFailAsInvalid) {
    const Bytes good = makeIco({{32, 0xFFE01010u}});
    struct Row {
        const char* rule;
        Bytes bytes;
    };
    const std::vector<Row> rows = {
        {"the image cut short", Bytes(good.begin(), good.end() - 200)},
        {"an image said to lie past the file's end", patched(good, 6 + 12, 0x7FFFFFF0u)},
        {"an image size larger than the file", patched(good, 6 + 8, 0x00100000u)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        Picture pic;
        EXPECT_EQ(desk.loadPicture(file("bad.ico", row.bytes), PictureRequest{32, 32, 32, 32}, pic),
                  PictureError::InvalidPicture);
        EXPECT_TRUE(pic.scaled.empty());
    }
}

} // namespace
} // namespace kesk::test
