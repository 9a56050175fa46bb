// The picture-file checks on bytes made here: each container's rule for "complete", the
// metafile layouts and their limits, and that a check never trusts a header over the file.

#include "platform/picture_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace kesk {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void putBe32(Bytes& b, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) {
        b.push_back(static_cast<std::uint8_t>((v >> s) & 0xFF));
    }
}
void set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
    }
}
void set16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}
Bytes cut(Bytes b, std::size_t n) {
    b.resize(n);
    return b;
}
Bytes plus(Bytes b, std::initializer_list<std::uint8_t> tail) {
    b.insert(b.end(), tail);
    return b;
}

// --- Builders ------------------------------------------------------------------------------

// A bottom-up 24-bit bitmap of w by h pixels (rows padded to four bytes).
Bytes bmp24(std::int32_t w, std::int32_t h) {
    const std::uint32_t stride = ((static_cast<std::uint32_t>(w) * 24 + 31) / 32) * 4;
    const std::uint32_t pixels = stride * static_cast<std::uint32_t>(h < 0 ? -h : h);
    Bytes b{'B', 'M'};
    put32(b, 54 + pixels);
    put32(b, 0);
    put32(b, 54);
    put32(b, 40);
    put32(b, static_cast<std::uint32_t>(w));
    put32(b, static_cast<std::uint32_t>(h));
    put16(b, 1);
    put16(b, 24);
    for (int i = 0; i < 6; ++i) {
        put32(b, 0);
    }
    b.resize(b.size() + pixels, 0x7F);
    return b;
}

Bytes pngChunk(const char* type, std::uint32_t length) {
    Bytes b;
    putBe32(b, length);
    b.insert(b.end(), type, type + 4);
    b.resize(b.size() + length + 4, 0); // data and CRC (not checked here)
    return b;
}
Bytes png(std::initializer_list<const char*> chunks) {
    Bytes b{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const char* c : chunks) {
        const Bytes ch = pngChunk(c, std::string(c) == "IHDR" ? 13 : 3);
        b.insert(b.end(), ch.begin(), ch.end());
    }
    return b;
}

Bytes gif() {
    Bytes b{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0};
    b.insert(b.end(), {0x10, 0x20, 0x30, 0, 0, 0});                      // global colours
    b.insert(b.end(), {0x21, 0xF9, 4, 1, 0, 0, 0, 0});                   // control extension
    b.insert(b.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1}); // image, LZW data
    b.insert(b.end(), {0, 0x3B});
    return b;
}

Bytes jpeg() {
    Bytes b{0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    b.insert(b.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 0x3F, 0, 0x12, 0x34, 0xFF, 0xD9});
    return b;
}

// An icon (type 1) or cursor (type 2) file with one image of `imageBytes` bytes.
Bytes iconFile(std::uint32_t type, std::uint32_t imageBytes = 48) {
    Bytes b;
    put16(b, 0);
    put16(b, type);
    put16(b, 1);
    b.insert(b.end(), {1, 1, 0, 0});
    put16(b, type == 1 ? 1 : 3);  // planes, or the hotspot's x
    put16(b, type == 1 ? 32 : 5); // bit count, or the hotspot's y
    put32(b, imageBytes);
    put32(b, 22);
    b.resize(b.size() + imageBytes, 0);
    return b;
}

struct Rec {
    std::uint32_t function;
    std::vector<std::int16_t> params;
};

// A Windows metafile: the 18-byte header, the records and the end record.
Bytes wmf(const std::vector<Rec>& records, bool withEnd = true) {
    Bytes body;
    for (const Rec& r : records) {
        put32(body, 3 + static_cast<std::uint32_t>(r.params.size()));
        put16(body, r.function);
        for (std::int16_t p : r.params) {
            put16(body, static_cast<std::uint16_t>(p));
        }
    }
    if (withEnd) {
        put32(body, 3);
        put16(body, 0);
    }
    Bytes b;
    put16(b, 1);
    put16(b, 9);
    put16(b, 0x0300);
    put32(b, static_cast<std::uint32_t>((18 + body.size()) / 2));
    put16(b, 1);
    put32(b, 7);
    put16(b, 0);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}
const std::vector<Rec> kWindow40x20 = {
    {0x020B, {-5, 10}}, {0x020C, {20, 40}}, {0x041B, {20, 40, -5, 10}}};
const std::vector<Rec> kNoWindow = {{0x041B, {20, 40, 0, 0}}};

Bytes placeable(const Bytes& wmfBytes, std::int16_t left, std::int16_t top, std::int16_t right,
                std::int16_t bottom, std::uint16_t inch) {
    Bytes b;
    put32(b, 0x9AC6CDD7u);
    put16(b, 0);
    for (std::int16_t v : {left, top, right, bottom}) {
        put16(b, static_cast<std::uint16_t>(v));
    }
    put16(b, inch);
    put32(b, 0);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 20; i += 2) {
        sum ^= static_cast<std::uint32_t>(b[i] | (b[i + 1] << 8));
    }
    put16(b, sum);
    b.insert(b.end(), wmfBytes.begin(), wmfBytes.end());
    return b;
}

struct EmfRec {
    std::uint32_t type;
    std::uint32_t bytes;
};
// An enhanced metafile: the 88-byte header with the frame (0.01 mm), then the records.
Bytes emf(std::int32_t frameRight, std::int32_t frameBottom,
          const std::vector<EmfRec>& records = {{14, 20}}) {
    Bytes b;
    put32(b, 1);
    put32(b, 88);
    for (std::int32_t v : {0, 0, 31, 31, 0, 0, frameRight, frameBottom}) {
        put32(b, static_cast<std::uint32_t>(v));
    }
    put32(b, 0x464D4520u);
    put32(b, 0x10000);
    put32(b, 0); // total bytes, set below
    put32(b, static_cast<std::uint32_t>(records.size() + 1));
    put16(b, 1);
    put16(b, 0);
    for (std::uint32_t v : {0u, 0u, 0u, 1024u, 768u, 320u, 240u}) {
        put32(b, v);
    }
    for (const EmfRec& r : records) {
        const std::size_t at = b.size();
        // A record that claims fewer than its own eight bytes still has them in the file.
        b.resize(at + std::max<std::uint32_t>(r.bytes, 8), 0);
        set32(b, at, r.type);
        set32(b, at + 4, r.bytes);
    }
    set32(b, 48, static_cast<std::uint32_t>(b.size()));
    return b;
}

// --- Containers ------------------------------------------------------------------------------

struct ContainerCase {
    const char* rule;
    std::function<Bytes()> bytes;
    bool complete;
};
void PrintTo(const ContainerCase& c, std::ostream* os) {
    *os << c.rule;
}

class Container : public testing::TestWithParam<ContainerCase> {};

TEST_P(Container, IsJudgedByItsOwnStructure) {
    const ContainerCase& c = GetParam();
    const Bytes b = c.bytes();
    EXPECT_EQ(pictureContainerComplete(b), c.complete) << c.rule;
}

INSTANTIATE_TEST_SUITE_P(
    Bitmaps, Container,
    testing::Values(ContainerCase{"bmp whole", [] { return bmp24(3, 2); }, true},
                    ContainerCase{"bmp top-down whole", [] { return bmp24(3, -2); }, true},
                    ContainerCase{"bmp one byte short", [] { return cut(bmp24(3, 2), 54 + 15); },
                                  false},
                    ContainerCase{"bmp header only", [] { return cut(bmp24(3, 2), 20); }, false},
                    ContainerCase{"bmp zero width",
                                  [] {
                                      Bytes b = bmp24(3, 2);
                                      set32(b, 18, 0);
                                      return b;
                                  },
                                  false},
                    ContainerCase{"bmp pixels beyond the file",
                                  [] {
                                      Bytes b = bmp24(3, 2);
                                      set32(b, 10, 5000);
                                      return b;
                                  },
                                  false},
                    ContainerCase{"bmp rows times stride past 2^64",
                                  [] {
                                      Bytes b = bmp24(3, 2);
                                      set32(b, 18, 0x7FFFFFFF);
                                      set32(b, 22, 0x7FFFFFFF);
                                      set16(b, 28, 32);
                                      return b;
                                  },
                                  false},
                    ContainerCase{"bmp odd bit count",
                                  [] {
                                      Bytes b = bmp24(3, 2);
                                      set16(b, 28, 7);
                                      return b;
                                  },
                                  false},
                    ContainerCase{"bmp run-length left to the decoder",
                                  [] {
                                      Bytes b = cut(bmp24(3, 2), 60);
                                      set32(b, 30, 1);
                                      return b;
                                  },
                                  true}));

INSTANTIATE_TEST_SUITE_P(
    Streams, Container,
    testing::Values(
        ContainerCase{"png whole",
                      [] {
                          return png({"IHDR", "IDAT", "IEND"});
                      },
                      true},
        ContainerCase{"png without end",
                      [] {
                          return png({"IHDR", "IDAT"});
                      },
                      false},
        ContainerCase{"png header not first",
                      [] {
                          return png({"IDAT", "IHDR", "IEND"});
                      },
                      false},
        ContainerCase{"png chunk past the end",
                      [] {
                          return cut(png({"IHDR", "IDAT", "IEND"}), 40);
                      },
                      false},
        ContainerCase{"png signature only", [] { return png({}); }, false},
        ContainerCase{"gif whole", [] { return gif(); }, true},
        ContainerCase{"gif without trailer", [] { return cut(gif(), gif().size() - 1); }, false},
        ContainerCase{"gif trailer without image", [] { return plus(cut(gif(), 13 + 6), {0x3B}); },
                      false},
        ContainerCase{"gif unknown block",
                      [] {
                          Bytes b = gif();
                          b[13 + 6] = 0x99;
                          return b;
                      },
                      false},
        ContainerCase{"gif colour table past the end", [] { return cut(gif(), 15); }, false},
        ContainerCase{"jpeg whole", [] { return jpeg(); }, true},
        ContainerCase{"jpeg with bytes after its end",
                      [] {
                          return plus(jpeg(), {1, 2, 3});
                      },
                      true},
        ContainerCase{"jpeg scan without end", [] { return cut(jpeg(), jpeg().size() - 2); },
                      false},
        ContainerCase{"jpeg end before any scan",
                      [] { return Bytes{0xFF, 0xD8, 0xFF, 0xD9, 0, 0}; }, false},
        ContainerCase{"jpeg segment length below two",
                      [] { return Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 1, 0, 0}; }, false},
        ContainerCase{"jpeg garbage between segments",
                      [] { return Bytes{0xFF, 0xD8, 0x12, 0x34, 0, 0, 0, 0}; }, false}));

INSTANTIATE_TEST_SUITE_P(
    Icons, Container,
    testing::Values(
        ContainerCase{"ico whole", [] { return iconFile(1); }, true},
        ContainerCase{"cur whole", [] { return iconFile(2); }, true},
        ContainerCase{"ico image cut short", [] { return cut(iconFile(1), 60); }, false},
        ContainerCase{"ico directory cut short", [] { return cut(iconFile(1), 12); }, false},
        ContainerCase{"ico without images",
                      [] {
                          Bytes b = iconFile(1);
                          set16(b, 4, 0);
                          return b;
                      },
                      false},
        ContainerCase{"ico image inside the directory",
                      [] {
                          Bytes b = iconFile(1);
                          set32(b, 18, 6);
                          return b;
                      },
                      false},
        ContainerCase{"ico image too small to be one", [] { return iconFile(1, 12); }, false},
        ContainerCase{"unknown bytes left to the decoder",
                      [] {
                          return Bytes{'h', 'i'};
                      },
                      true},
        ContainerCase{"nothing at all left to the decoder", [] { return Bytes{}; }, true}));

INSTANTIATE_TEST_SUITE_P(
    Metafiles, Container,
    testing::Values(
        ContainerCase{"wmf whole", [] { return wmf(kWindow40x20); }, true},
        ContainerCase{"wmf without end record", [] { return wmf(kWindow40x20, false); }, false},
        ContainerCase{"wmf cut short",
                      [] { return cut(wmf(kWindow40x20), wmf(kWindow40x20).size() - 4); }, false},
        ContainerCase{"placeable whole", [] { return placeable(wmf(kNoWindow), 0, 0, 64, 32, 96); },
                      true},
        ContainerCase{"emf whole", [] { return emf(846, 423); }, true},
        ContainerCase{"emf cut short", [] { return cut(emf(846, 423), 100); }, false}));

// Cursors are read as icons once relabelled; nothing else changes.
TEST(CursorRelabel, OnlyACursorBecomesAnIconAndKeepsItsImages) {
    struct Row {
        const char* rule;
        Bytes in;
        std::uint8_t typeAfter;
    };
    const Row rows[] = {
        {"cursor becomes an icon", iconFile(2), 1},
        {"icon stays an icon", iconFile(1), 1},
        {"a cut cursor directory is relabelled as far as it goes", cut(iconFile(2), 10), 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rule);
        Bytes b = r.in;
        relabelCursorAsIcon(b);
        EXPECT_EQ(b.at(2), r.typeAfter);
        EXPECT_TRUE(isIconContainer(b));
        EXPECT_EQ(icoComplete(b), icoComplete(r.in));
        if (b.size() >= 22 && r.in.at(2) == 2) {
            EXPECT_EQ(b.at(10), 1); // planes
            EXPECT_EQ(b.at(12), 0); // bit count left to the image
        }
    }
    Bytes notIcon = bmp24(2, 2);
    const Bytes before = notIcon;
    relabelCursorAsIcon(notIcon);
    EXPECT_EQ(notIcon, before);
}

// --- Metafile layouts ------------------------------------------------------------------------

struct MetaCase {
    const char* rule;
    std::function<Bytes()> bytes;
    std::optional<MetafileInfo> expected;
};
void PrintTo(const MetaCase& c, std::ostream* os) {
    *os << c.rule;
}

MetafileInfo layout(MetafileKind kind, std::size_t offset, std::size_t length, std::int32_t left,
                    std::int32_t top, std::int32_t width, std::int32_t height, std::int32_t hw,
                    std::int32_t hh) {
    MetafileInfo i;
    i.kind = kind;
    i.offset = offset;
    i.length = length;
    i.frameLeft = left;
    i.frameTop = top;
    i.frameWidth = width;
    i.frameHeight = height;
    i.widthHimetric = hw;
    i.heightHimetric = hh;
    return i;
}

class Metafile : public testing::TestWithParam<MetaCase> {};

TEST_P(Metafile, LayoutOrRefusal) {
    const MetaCase& c = GetParam();
    const Bytes b = c.bytes();
    const std::optional<MetafileInfo> got = inspectMetafile(b);
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.rule;
    if (got) {
        EXPECT_TRUE(isMetafile(b)) << c.rule;
        const MetafileInfo& e = *c.expected;
        EXPECT_EQ(got->kind, e.kind);
        EXPECT_EQ(got->offset, e.offset);
        EXPECT_EQ(got->length, e.length);
        EXPECT_EQ(got->frameLeft, e.frameLeft);
        EXPECT_EQ(got->frameTop, e.frameTop);
        EXPECT_EQ(got->frameWidth, e.frameWidth);
        EXPECT_EQ(got->frameHeight, e.frameHeight);
        EXPECT_EQ(got->widthHimetric, e.widthHimetric);
        EXPECT_EQ(got->heightHimetric, e.heightHimetric);
    }
}

const std::optional<MetafileInfo> refused;
// 18 header bytes, then 10 + 10 + 14 bytes of records and the 6-byte end record.
constexpr std::size_t kWindowWmfBytes = 18 + 10 + 10 + 14 + 6;

INSTANTIATE_TEST_SUITE_P(
    Windows, Metafile,
    testing::Values(
        MetaCase{"wmf window from its origin and extent records", [] { return wmf(kWindow40x20); },
                 layout(MetafileKind::Wmf, 0, kWindowWmfBytes, 10, -5, 40, 20, 1058, 529)},
        MetaCase{"wmf padding after the metafile is not part of it",
                 [] {
                     return plus(wmf(kWindow40x20), {0, 0, 0, 0});
                 },
                 layout(MetafileKind::Wmf, 0, kWindowWmfBytes, 10, -5, 40, 20, 1058, 529)},
        MetaCase{"wmf upside down: the extent's size",
                 [] {
                     return wmf({{0x020C, {-20, 40}}});
                 },
                 layout(MetafileKind::Wmf, 0, 18 + 10 + 6, 0, 0, 40, -20, 1058, 529)},
        MetaCase{"wmf first extent counts",
                 [] {
                     return wmf({{0x020C, {20, 40}}, {0x020C, {1, 1}}});
                 },
                 layout(MetafileKind::Wmf, 0, 18 + 20 + 6, 0, 0, 40, 20, 1058, 529)},
        MetaCase{"wmf without a window has no size", [] { return wmf(kNoWindow); }, refused},
        MetaCase{"wmf zero extent",
                 [] {
                     return wmf({{0x020C, {0, 40}}});
                 },
                 refused},
        MetaCase{"wmf without end record", [] { return wmf(kWindow40x20, false); }, refused},
        MetaCase{"wmf header counts more words than the file",
                 [] {
                     Bytes b = wmf(kWindow40x20);
                     set32(b, 6, 1000);
                     return b;
                 },
                 refused},
        MetaCase{"wmf header counts fewer words than its records",
                 [] {
                     Bytes b = wmf(kWindow40x20);
                     set32(b, 6, 20);
                     return b;
                 },
                 refused},
        MetaCase{"wmf record shorter than a record",
                 [] {
                     Bytes b = wmf(kWindow40x20);
                     set32(b, 18, 2);
                     return b;
                 },
                 refused},
        MetaCase{"wmf record past the end",
                 [] {
                     Bytes b = wmf(kWindow40x20);
                     set32(b, 18, 0x7FFFFFFF);
                     return b;
                 },
                 refused},
        MetaCase{"wmf unknown version",
                 [] {
                     Bytes b = wmf(kWindow40x20);
                     set16(b, 4, 0x0200);
                     return b;
                 },
                 refused},
        MetaCase{"wmf more records than allowed",
                 [] {
                     return wmf(std::vector<Rec>(kMaxMetafileRecords + 1, Rec{0x0001, {}}));
                 },
                 refused},
        MetaCase{"wmf larger than allowed",
                 [] {
                     Bytes b = wmf(kWindow40x20);
                     b.resize(kMaxMetafileBytes + 1, 0);
                     return b;
                 },
                 refused}));

INSTANTIATE_TEST_SUITE_P(
    Placeable, Metafile,
    testing::Values(
        MetaCase{"placeable place and size from its header",
                 [] { return placeable(wmf(kNoWindow), -10, 4, 86, 52, 96); },
                 layout(MetafileKind::PlaceableWmf, 22, 18 + 14 + 6, -10, 4, 96, 48, 2540, 1270)},
        MetaCase{
            "placeable units per inch",
            [] { return placeable(wmf(kWindow40x20), 0, 0, 1440, 720, 1440); },
            layout(MetafileKind::PlaceableWmf, 22, kWindowWmfBytes, 0, 0, 1440, 720, 2540, 1270)},
        MetaCase{"placeable empty box", [] { return placeable(wmf(kNoWindow), 5, 0, 5, 10, 96); },
                 refused},
        MetaCase{"placeable box turned round",
                 [] { return placeable(wmf(kNoWindow), 0, 10, 10, 0, 96); }, refused},
        MetaCase{"placeable no units per inch",
                 [] { return placeable(wmf(kNoWindow), 0, 0, 10, 10, 0); }, refused},
        MetaCase{"placeable larger than ten metres",
                 [] { return placeable(wmf(kNoWindow), -32000, 0, 32000, 10, 1); }, refused},
        MetaCase{"placeable records cut short",
                 [] {
                     const Bytes b = placeable(wmf(kNoWindow), 0, 0, 10, 10, 96);
                     return cut(b, b.size() - 6);
                 },
                 refused},
        MetaCase{"placeable header alone",
                 [] { return cut(placeable(wmf(kNoWindow), 0, 0, 10, 10, 96), 22); }, refused}));

INSTANTIATE_TEST_SUITE_P(
    Enhanced, Metafile,
    testing::Values(
        MetaCase{"emf frame in hundredths of a millimetre", [] { return emf(846, 423); },
                 layout(MetafileKind::Emf, 0, 108, 0, 0, 846, 423, 846, 423)},
        MetaCase{"emf records between header and end",
                 [] {
                     return emf(846, 423, {{27, 16}, {76, 24}, {14, 20}});
                 },
                 layout(MetafileKind::Emf, 0, 148, 0, 0, 846, 423, 846, 423)},
        MetaCase{"emf empty frame", [] { return emf(0, 423); }, refused},
        MetaCase{"emf frame larger than ten metres",
                 [] { return emf(kMaxMetafileHimetric + 1, 5); }, refused},
        MetaCase{"emf without end record",
                 [] {
                     return emf(846, 423, {{27, 16}});
                 },
                 refused},
        MetaCase{"emf record of no size",
                 [] {
                     return emf(846, 423, {{27, 0}, {14, 20}});
                 },
                 refused},
        MetaCase{"emf record size not in whole words",
                 [] {
                     return emf(846, 423, {{27, 18}, {14, 20}});
                 },
                 refused},
        MetaCase{"emf second header",
                 [] {
                     return emf(846, 423, {{1, 88}, {14, 20}});
                 },
                 refused},
        MetaCase{"emf total bytes beyond the file",
                 [] {
                     Bytes b = emf(846, 423);
                     set32(b, 48, 5000);
                     return b;
                 },
                 refused},
        MetaCase{"emf more records than it declares",
                 [] {
                     Bytes b = emf(846, 423, {{27, 16}, {14, 20}});
                     set32(b, 52, 2);
                     return b;
                 },
                 refused},
        MetaCase{"emf declares more records than allowed",
                 [] {
                     Bytes b = emf(846, 423);
                     set32(b, 52, kMaxMetafileRecords + 1);
                     return b;
                 },
                 refused},
        MetaCase{"emf header size below the header",
                 [] {
                     Bytes b = emf(846, 423);
                     set32(b, 4, 80);
                     return b;
                 },
                 refused},
        MetaCase{"emf description outside the header",
                 [] {
                     Bytes b = emf(846, 423);
                     set32(b, 64, 4);
                     set32(b, 68, 84);
                     return b;
                 },
                 refused},
        MetaCase{"emf cut in its header", [] { return cut(emf(846, 423), 60); }, refused}));

TEST(MetafilePixels, HimetricAtTheScreensDpi) {
    struct Row {
        const char* rule;
        std::int32_t himetric;
        std::uint32_t dpi;
        std::int32_t pixels;
    };
    const Row rows[] = {
        {"one inch at 96 dpi", 2540, 96, 96},    {"one inch at 144 dpi", 2540, 144, 144},
        {"rounded to the nearest", 846, 96, 32}, {"no dpi counts as 96", 2540, 0, 96},
        {"never below one pixel", 1, 96, 1},
    };
    for (const Row& r : rows) {
        MetafileInfo i;
        i.widthHimetric = r.himetric;
        i.heightHimetric = r.himetric;
        const PixelSize px = metafilePixels(i, r.dpi);
        EXPECT_EQ(px.width, r.pixels) << r.rule;
        EXPECT_EQ(px.height, r.pixels) << r.rule;
    }
}

TEST(MetafileSignature, OnlyMetafilesAreTakenForOne) {
    struct Row {
        const char* rule;
        Bytes bytes;
        bool metafile;
    };
    const Row rows[] = {
        {"placeable key", cut(placeable(wmf(kNoWindow), 0, 0, 1, 1, 96), 4), true},
        {"wmf header", cut(wmf(kNoWindow), 18), true},
        {"emf header", cut(emf(10, 10), 88), true},
        {"emf without signature",
         [] {
             Bytes b = emf(10, 10);
             set32(b, 40, 0);
             return b;
         }(),
         false},
        {"icon", iconFile(1), false},
        {"bitmap", bmp24(1, 1), false},
        {"empty", Bytes{}, false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(isMetafile(r.bytes), r.metafile) << r.rule;
    }
}

} // namespace
} // namespace kesk
