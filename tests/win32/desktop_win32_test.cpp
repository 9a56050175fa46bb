// The Win32 desktop against the real platform: picture files good and bad, icons from
// programs and from the shell, files, the taskbar and the screen.
#include "win32/desktop_win32.h"

#include "platform/picture_checks.h"
#include "win32/desktop_test_pictures.h"
#include "win32/handles.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <cstdlib>
#include <string>

namespace kesk::test {
namespace {

namespace fs = std::filesystem;

int red(Pixel p) {
    return static_cast<int>((p >> 16) & 0xFF);
}
int blue(Pixel p) {
    return static_cast<int>(p & 0xFF);
}
int alpha(Pixel p) {
    return static_cast<int>(p >> 24);
}

class DesktopTest : public ::testing::Test {
  protected:
    ComScope com;
    TempDir dir{"desktop"};
    win::Win32Desktop desk;

    std::string file(const std::string& name, const Bytes& bytes) {
        writeBytes(dir / name, bytes);
        return u8(dir / name);
    }
};

// 0xRRGGBB colour of a valid test picture: red at the left, blue at the right, so a crop and
// a scale can be told apart.
std::uint32_t halves(int x, int, int w) {
    return x < w / 2 ? 0xE01010u : 0x1010E0u;
}

// The same two halves painted into a metafile of w by h logical units.
std::vector<MetaRect> halvesDrawn(int w, int h) {
    return {{0, 0, w / 2, h, 0xE01010u}, {w / 2, 0, w - w / 2, h, 0x1010E0u}};
}

struct ValidCase {
    const char* name;
    std::function<Bytes(const fs::path& scratch)> make;
    std::int32_t width;
    std::int32_t height;
    int tolerance; // lossy formats
};

TEST_F(DesktopTest, DecodesEveryFormatIntoBothViews) {
    const std::vector<ValidCase> cases = {
        {"bmp",
         [](const fs::path&) {
             return makeBmp24(64, 40, [](int x, int y) { return halves(x, y, 64); });
         },
         64, 40, 0},
        {"png",
         [](const fs::path& s) {
             return encodeWithWic(
                 GUID_ContainerFormatPng, 64, 40, [](int x, int y) { return halves(x, y, 64); }, s);
         },
         64, 40, 0},
        {"jpg",
         [](const fs::path& s) {
             return encodeWithWic(
                 GUID_ContainerFormatJpeg, 64, 40, [](int x, int y) { return halves(x, y, 64); },
                 s);
         },
         64, 40, 40},
        {"gif", [](const fs::path&) { return makeGif1x1(0xE01010u); }, 1, 1, 0},
        {"ico",
         [](const fs::path&) {
             return makeIco({{32, 0xFFE01010u}});
         },
         32, 32, 0},
        {"cur",
         [](const fs::path&) {
             return makeIco({{32, 0xFFE01010u}}, true);
         },
         32, 32, 0},
        {"wmf", [](const fs::path&) { return makeWmf(64, 40, halvesDrawn(64, 40)); }, 64, 40, 0},
        {"placeable wmf",
         [](const fs::path&) {
             return makePlaceable(makeWmf(64, 40, halvesDrawn(64, 40)), 0, 0, 64, 40, 96);
         },
         64, 40, 0},
        {"emf", [](const fs::path&) { return makeEmf(64, 40, halvesDrawn(64, 40)); }, 64, 40, 0},
    };
    for (const ValidCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = file(std::string("good.") + c.name, c.make(dir / "scratch.bin"));
        Picture pic;
        ASSERT_EQ(desk.loadPicture(path, PictureRequest{32, 32, 32, 32}, pic), PictureError::None);
        EXPECT_EQ(pic.width, c.width);
        EXPECT_EQ(pic.height, c.height);
        EXPECT_EQ(pic.topLeft.width, std::min(32, c.width));
        EXPECT_EQ(pic.topLeft.height, std::min(32, c.height));
        ASSERT_EQ(pic.scaled.width, 32);
        ASSERT_EQ(pic.scaled.height, 32);
        // Top left is the red half in every view.
        const Pixel tl = pic.topLeft.at(0, 0);
        EXPECT_NEAR(red(tl), 0xE0, c.tolerance);
        EXPECT_NEAR(blue(tl), 0x10, c.tolerance);
        EXPECT_EQ(alpha(tl), 255);
        EXPECT_NEAR(red(pic.scaled.at(0, 0)), 0xE0, c.tolerance);
        if (c.width >= 64) {
            // The crop stays red (its own size), the whole picture scaled shows the blue half.
            EXPECT_NEAR(red(pic.topLeft.at(31, 20)), 0xE0, c.tolerance);
            EXPECT_NEAR(blue(pic.scaled.at(31, 20)), 0xE0, c.tolerance);
        }
        if (c.width == 32) {
            // Icons and cursors: the masked half is transparent.
            EXPECT_EQ(alpha(pic.topLeft.at(31, 5)), 0);
        }
    }
}

TEST_F(DesktopTest, IconFilePicksTheImageOfTheRequestedSize) {
    const std::string path =
        file("multi.ico", makeIco({{16, 0xFF10E010u}, {32, 0xFFE01010u}, {48, 0xFF1010E0u}}));
    Picture pic;
    ASSERT_EQ(desk.loadPicture(path, PictureRequest{32, 32, 32, 32}, pic), PictureError::None);
    EXPECT_EQ(pic.width, 32);
    EXPECT_EQ(red(pic.topLeft.at(0, 0)), 0xE0);
}

struct Damage {
    const char* name;
    std::function<Bytes(Bytes)> apply;
};

TEST_F(DesktopTest, DamagedPicturesFailAsInvalidNeverPartially) {
    const auto halves64 = [](int x, int y) { return halves(x, y, 64); };
    const std::vector<std::pair<const char*, Bytes>> goods = {
        {"bmp", makeBmp24(64, 40, halves64)},
        {"png", encodeWithWic(GUID_ContainerFormatPng, 64, 40, halves64, dir / "s.png")},
        {"jpg", encodeWithWic(GUID_ContainerFormatJpeg, 64, 40, halves64, dir / "s.jpg")},
        {"gif", makeGif1x1(0xE01010u)},
        {"ico", makeIco({{16, 0xFF10E010u}, {32, 0xFFE01010u}})},
        {"cur", makeIco({{32, 0xFFE01010u}}, true)},
        {"wmf", makeWmf(64, 40, halvesDrawn(64, 40))},
        {"placeable wmf", makePlaceable(makeWmf(64, 40, halvesDrawn(64, 40)), 0, 0, 64, 40, 96)},
        {"emf", makeEmf(64, 40, halvesDrawn(64, 40))},
    };
    const std::vector<Damage> damages = {
        {"empty", [](Bytes) { return Bytes{}; }},
        {"magic only",
         [](Bytes b) {
             b.resize(std::min<std::size_t>(b.size(), 4));
             return b;
         }},
        {"header only",
         [](Bytes b) {
             b.resize(std::min<std::size_t>(b.size(), 24));
             return b;
         }},
        {"half",
         [](Bytes b) {
             b.resize(b.size() / 2);
             return b;
         }},
        {"last byte missing",
         [](Bytes b) {
             b.pop_back();
             return b;
         }},
        {"body scrambled",
         [](Bytes b) {
             std::srand(7);
             for (std::size_t i = 6; i < b.size(); ++i) {
                 b[i] = static_cast<std::uint8_t>(std::rand());
             }
             return b;
         }},
        {"sizes maxed",
         [](Bytes b) {
             for (std::size_t i = 6; i < std::min<std::size_t>(b.size(), 30); ++i) {
                 b[i] = 0xFF;
             }
             return b;
         }},
    };
    for (const auto& [format, good] : goods) {
        ASSERT_FALSE(good.empty()) << format;
        for (const Damage& d : damages) {
            SCOPED_TRACE(std::string(format) + ", " + d.name);
            const Bytes bad = d.apply(good);
            const std::string path = file(std::string("bad.") + format, bad);
            Picture pic;
            pic.width = 99;
            const PictureError err = desk.loadPicture(path, PictureRequest{32, 32, 32, 32}, pic);
            if (err == PictureError::None) {
                // A scramble the decoder still reads must give complete views, nothing less.
                ASSERT_STREQ(d.name, "body scrambled");
                EXPECT_EQ(pic.scaled.width, 32);
                EXPECT_EQ(pic.scaled.pixels.size(), 32u * 32u);
                EXPECT_EQ(pic.topLeft.pixels.size(),
                          static_cast<std::size_t>(pic.topLeft.width) * pic.topLeft.height);
            } else {
                EXPECT_EQ(err, PictureError::InvalidPicture);
                EXPECT_EQ(pic.width, 0);
                EXPECT_TRUE(pic.topLeft.empty());
                EXPECT_TRUE(pic.scaled.empty());
            }
        }
    }
}

TEST_F(DesktopTest, ContainerCompletenessSeesTheCommonTruncations) {
    const auto halves64 = [](int x, int y) { return halves(x, y, 64); };
    const Bytes png = encodeWithWic(GUID_ContainerFormatPng, 64, 40, halves64, dir / "c.png");
    const Bytes jpg = encodeWithWic(GUID_ContainerFormatJpeg, 64, 40, halves64, dir / "c.jpg");
    const Bytes gif = makeGif1x1(0x102030u);
    const Bytes ico = makeIco({{32, 0xFFE01010u}});
    const Bytes bmp = makeBmp24(10, 10, halves64);
    const auto cut = [](Bytes b, std::size_t n) {
        b.resize(b.size() - n);
        return b;
    };
    Bytes jpgWithTrailer = jpg;
    jpgWithTrailer.insert(jpgWithTrailer.end(), {'e', 'x', 't', 'r', 'a'});
    Bytes gifNoImage(gif.begin(), gif.begin() + 19);
    gifNoImage.push_back(0x3B);
    const std::vector<std::tuple<const char*, Bytes, bool>> cases = {
        {"png whole", png, true},
        {"png without IEND", cut(png, 12), false},
        {"jpg whole", jpg, true},
        {"jpg without EOI", cut(jpg, 2), false},
        {"jpg with data after EOI", jpgWithTrailer, true},
        {"gif whole", gif, true},
        {"gif without trailer", cut(gif, 1), false},
        {"gif without an image", gifNoImage, false},
        {"ico whole", ico, true},
        {"ico image cut", cut(ico, 1), false},
        {"bmp whole", bmp, true},
        {"bmp pixels cut", cut(bmp, 1), false},
        {"unknown format", Bytes{'x', 'y', 'z'}, true},
    };
    for (const auto& [name, bytes, complete] : cases) {
        EXPECT_EQ(pictureContainerComplete(bytes), complete) << name;
    }
}

// Where a metafile paints and where it leaves the surface alone, in both views.
enum class Seen { Red, Blue, Clear };
struct Probe {
    bool scaled; // which view
    int x;
    int y;
    Seen seen;
};
struct MetafileCase {
    const char* rule;
    Bytes bytes;
    std::int32_t width; // own size at 96 dpi
    std::int32_t height;
    std::vector<Probe> probes;
};

TEST_F(DesktopTest, MetafilesAreDrawnAtTheirOwnSizeWithTheUnpaintedPartClear) {
    {
        win::WindowDC screen(nullptr);
        ASSERT_EQ(GetDeviceCaps(screen.get(), LOGPIXELSX), 96) << "the sizes below are at 96 dpi";
    }
    // 40 by 20 units; the top 15 rows painted, red left and blue right, the rest clear.
    const std::vector<MetaRect> topRows = {{0, 0, 20, 15, 0xE01010u}, {20, 0, 20, 15, 0x1010E0u}};
    const Bytes wmf = makeWmf(40, 20, topRows);
    const std::vector<Probe> wide = {{false, 4, 4, Seen::Red},    {false, 28, 4, Seen::Blue},
                                     {false, 4, 18, Seen::Clear}, {true, 4, 4, Seen::Red},
                                     {true, 28, 4, Seen::Blue},   {true, 4, 21, Seen::Red},
                                     {true, 28, 29, Seen::Clear}};
    const std::vector<MetafileCase> cases = {
        {"plain wmf: one unit of its window is one pixel", wmf, 40, 20, wide},
        {"placeable wmf: its bounds at 96 units an inch", makePlaceable(wmf, 0, 0, 40, 20, 96), 40,
         20, wide},
        {"placeable wmf: 48 units an inch is twice the size",
         makePlaceable(wmf, 0, 0, 40, 20, 48),
         80,
         40,
         {{false, 4, 4, Seen::Red},
          {false, 31, 20, Seen::Red},
          {false, 31, 31, Seen::Clear},
          {true, 28, 4, Seen::Blue},
          {true, 28, 29, Seen::Clear}}},
        {"emf: its frame at the screen's size",
         makeEmf(32, 32, {{0, 0, 16, 24, 0xE01010u}, {16, 0, 16, 24, 0x1010E0u}}),
         32,
         32,
         {{false, 4, 4, Seen::Red},
          {false, 28, 4, Seen::Blue},
          {false, 4, 29, Seen::Clear},
          {true, 4, 4, Seen::Red},
          {true, 28, 20, Seen::Blue},
          {true, 28, 29, Seen::Clear}}},
        {"emf far larger than shown: only the asked views are drawn",
         makeEmf(20000, 10000,
                 {{0, 0, 10000, 10000, 0xE01010u}, {10000, 0, 10000, 10000, 0x1010E0u}}),
         20000,
         10000,
         {{false, 31, 31, Seen::Red}, {true, 4, 4, Seen::Red}, {true, 28, 4, Seen::Blue}}},
    };
    for (const MetafileCase& c : cases) {
        SCOPED_TRACE(c.rule);
        ASSERT_FALSE(c.bytes.empty());
        const std::string path = file("pic.mf", c.bytes);
        Picture pic;
        ASSERT_EQ(desk.loadPicture(path, PictureRequest{32, 32, 32, 32}, pic), PictureError::None);
        // An enhanced metafile's frame goes through the screen's whole millimetres: a pixel
        // either way, or a few in a thousand.
        const int slack = c.bytes[0] == 1 && c.bytes[40] == 0x20 ? 1 + c.width / 500 : 0;
        EXPECT_NEAR(pic.width, c.width, slack);
        EXPECT_NEAR(pic.height, c.height, slack);
        EXPECT_EQ(pic.topLeft.width, std::min(32, pic.width));
        EXPECT_EQ(pic.topLeft.height, std::min(32, pic.height));
        ASSERT_EQ(pic.scaled.width, 32);
        ASSERT_EQ(pic.scaled.height, 32);
        for (const Probe& p : c.probes) {
            const Pixel px = (p.scaled ? pic.scaled : pic.topLeft).at(p.x, p.y);
            SCOPED_TRACE(testing::Message() << (p.scaled ? "scaled " : "top left ") << p.x << ","
                                            << p.y << " = " << std::hex << px);
            switch (p.seen) {
            case Seen::Red:
                EXPECT_EQ(px, 0xFFE01010u);
                break;
            case Seen::Blue:
                EXPECT_EQ(px, 0xFF1010E0u);
                break;
            case Seen::Clear:
                EXPECT_EQ(alpha(px), 0);
                break;
            }
        }
    }
}

// A file of `size` bytes that begins with `head` (the rest is a hole, not written).
void writeSparse(const fs::path& p, const Bytes& head, std::int64_t size) {
    writeBytes(p, head);
    HANDLE f = CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at{};
    at.QuadPart = size;
    EXPECT_NE(SetFilePointerEx(f, at, nullptr, FILE_BEGIN), 0);
    EXPECT_NE(SetEndOfFile(f), 0);
    CloseHandle(f);
}

TEST_F(DesktopTest, BadMetafilesFailAsInvalid) {
    const Bytes emf = makeEmf(32, 32, {{0, 0, 32, 32, 0xE01010u}});
    const Bytes wmf = makeWmf(40, 20, {{0, 0, 40, 20, 0xE01010u}});
    ASSERT_FALSE(emf.empty());
    ASSERT_FALSE(wmf.empty());
    const auto patched = [](Bytes b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
        }
        return b;
    };
    const auto garbageAfter = [](Bytes b, std::size_t from) {
        for (std::size_t i = from; i < b.size(); ++i) {
            b[i] = static_cast<std::uint8_t>(0xA5 ^ (i * 7));
        }
        return b;
    };
    // Recorded without a window of its own: a plain metafile then has no size.
    HDC dc = CreateMetaFileW(nullptr);
    drawMetaRects(dc, {{0, 0, 10, 10, 0xE01010u}});
    HMETAFILE mf = CloseMetaFile(dc);
    Bytes windowless(GetMetaFileBitsEx(mf, 0, nullptr));
    GetMetaFileBitsEx(mf, static_cast<UINT>(windowless.size()), windowless.data());
    DeleteMetaFile(mf);

    const Bytes placeable = makePlaceable(wmf, 0, 0, 40, 20, 96);
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"emf cut in half", Bytes(emf.begin(), emf.begin() + emf.size() / 2)},
        {"emf records garbage", garbageAfter(emf, 88)},
        {"emf frame of twenty kilometres", patched(emf, 32, 2000000000)},
        {"emf claims more bytes than it has", patched(emf, 48, 0x7FFFFFFF)},
        {"wmf cut short", Bytes(wmf.begin(), wmf.end() - 4)},
        {"wmf records garbage", garbageAfter(wmf, 18)},
        {"wmf without a window", windowless},
        {"placeable header alone", Bytes(placeable.begin(), placeable.begin() + 22)},
        {"placeable without units an inch", makePlaceable(wmf, 0, 0, 40, 20, 0)},
    };
    for (const auto& [rule, bytes] : cases) {
        SCOPED_TRACE(rule);
        Picture pic;
        pic.width = 99;
        EXPECT_EQ(desk.loadPicture(file("bad.mf", bytes), PictureRequest{32, 32, 32, 32}, pic),
                  PictureError::InvalidPicture);
        EXPECT_EQ(pic.width, 0);
        EXPECT_TRUE(pic.scaled.empty());
    }
    // Too large to be looked at: beyond the metafile limit, and beyond every picture's.
    for (const std::int64_t size : {std::int64_t{9} << 20, std::int64_t{100} << 20}) {
        SCOPED_TRACE(size);
        writeSparse(dir / "big.emf", emf, size);
        Picture pic;
        EXPECT_EQ(desk.loadPicture(u8(dir / "big.emf"), PictureRequest{32, 32, 32, 32}, pic),
                  PictureError::InvalidPicture);
    }
}

TEST_F(DesktopTest, MissingFoldersAndLimits) {
    Picture pic;
    EXPECT_EQ(desk.loadPicture(u8(dir / "none.bmp"), PictureRequest{32, 32, 32, 32}, pic),
              PictureError::NotFound);
    EXPECT_EQ(desk.loadPicture(u8(dir.path()), PictureRequest{32, 32, 32, 32}, pic),
              PictureError::NotFound);
    EXPECT_EQ(desk.loadPicture("", PictureRequest{32, 32, 32, 32}, pic), PictureError::NotFound);
    const std::string bmp = file("ok.bmp", makeBmp24(8, 8, [](int, int) { return 0x00FF00u; }));
    EXPECT_EQ(desk.loadPicture(bmp, PictureRequest{-1, 32, 32, 32}, pic),
              PictureError::InvalidPicture);
    EXPECT_EQ(desk.loadPicture(bmp, PictureRequest{32, 32, 100000, 100000}, pic),
              PictureError::InvalidPicture);
    // Only the crop wanted: no scaled view.
    ASSERT_EQ(desk.loadPicture(bmp, PictureRequest{4, 2, 0, 0}, pic), PictureError::None);
    EXPECT_EQ(pic.topLeft.width, 4);
    EXPECT_EQ(pic.topLeft.height, 2);
    EXPECT_TRUE(pic.scaled.empty());
    // A file opened by someone else without sharing cannot be read.
    HANDLE locked = CreateFileW((dir / "ok.bmp").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(desk.loadPicture(bmp, PictureRequest{32, 32, 32, 32}, pic), PictureError::Unreadable);
    EXPECT_FALSE(desk.canOpenForReading(bmp));
    CloseHandle(locked);
}

std::size_t peakPrivateBytes() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc) == 0) {
        return 0;
    }
    return pmc.PeakPagefileUsage;
}

TEST_F(DesktopTest, HugePictureIsScaledOrRefusedWithoutAFullSizeCopy) {
    const std::string huge = file("huge.bmp", makeBmpRle8(10000, 10000, 0x2060A0u));
    const std::size_t before = peakPrivateBytes();
    Picture pic;
    const PictureError err = desk.loadPicture(huge, PictureRequest{32, 32, 32, 32}, pic);
    if (err == PictureError::None) {
        EXPECT_EQ(pic.width, 10000);
        EXPECT_EQ(pic.scaled.width, 32);
        EXPECT_EQ(pic.topLeft.width, 32);
    } else {
        EXPECT_EQ(err, PictureError::InvalidPicture);
        EXPECT_TRUE(pic.scaled.empty());
    }
    // 10,000 by 10,000 at four bytes a pixel would be 400 MB.
    EXPECT_LT(peakPrivateBytes() - before, 100u << 20);

    // A large picture below the limit is decoded and scaled as a whole.
    const std::string large = file("large.bmp", makeBmpRle8(3000, 2000, 0x2060A0u));
    ASSERT_EQ(desk.loadPicture(large, PictureRequest{32, 32, 32, 32}, pic), PictureError::None);
    EXPECT_EQ(pic.width, 3000);
    EXPECT_EQ(pic.height, 2000);
    EXPECT_EQ(pic.scaled.at(31, 31) & 0xFFFFFFu, 0x2060A0u);
}

TEST_F(DesktopTest, IconsFromProgramsAndFromTheShell) {
    const std::string notepad = "C:\\windows\\notepad.exe";
    ASSERT_GE(desk.iconCount(notepad), 1);
    Bitmap icon;
    ASSERT_TRUE(desk.extractIcon(notepad, 0, 32, icon));
    ASSERT_EQ(icon.width, 32);
    ASSERT_EQ(icon.height, 32);
    int opaque = 0;
    int clear = 0;
    for (Pixel p : icon.pixels) {
        opaque += alpha(p) == 255 ? 1 : 0;
        clear += alpha(p) == 0 ? 1 : 0;
    }
    // A real picture: something drawn, something see-through around it.
    EXPECT_GT(opaque, 50);
    EXPECT_GT(clear, 10);

    const std::string text = file("notes.txt", Bytes{'h', 'i'});
    const std::vector<std::pair<std::string, const char*>> noIcons = {
        {text, "a text document"},
        {u8(dir / "missing.exe"), "a missing file"},
        {u8(dir.path()), "a folder"},
        {"", "an empty path"},
    };
    for (const auto& [path, what] : noIcons) {
        EXPECT_EQ(desk.iconCount(path), 0) << what;
        EXPECT_FALSE(desk.extractIcon(path, 0, 32, icon)) << what;
    }
    EXPECT_FALSE(desk.extractIcon(notepad, 500, 32, icon));

    // The shell answers for an existing document with its type's icon.
    Bitmap shell;
    ASSERT_TRUE(desk.shellIcon(text, 32, shell));
    EXPECT_EQ(shell.width, 32);
    EXPECT_NE(std::count_if(shell.pixels.begin(), shell.pixels.end(),
                            [](Pixel p) { return alpha(p) == 255; }),
              0);
    EXPECT_FALSE(desk.shellIcon("   ", 32, shell));
    EXPECT_FALSE(desk.shellIcon(u8(dir / "missing.txt"), 32, shell));
}

TEST_F(DesktopTest, IconPixelsKeepColourAndTransparency) {
    // A 16 by 16 icon: left half opaque green, right half masked out.
    std::vector<std::uint32_t> colour(16 * 16);
    std::vector<std::uint8_t> mask(16 * 2, 0); // rows of two bytes
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            colour[y * 16 + x] = x < 8 ? 0x0000C000u : 0u;
        }
        mask[y * 2 + 1] = 0xFF; // pixels 8..15 transparent
    }
    win::UniqueBitmap colourBmp(CreateBitmap(16, 16, 1, 32, colour.data()));
    win::UniqueBitmap maskBmp(CreateBitmap(16, 16, 1, 1, mask.data()));
    ICONINFO ii{TRUE, 0, 0, maskBmp.get(), colourBmp.get()};
    win::UniqueIcon icon(CreateIconIndirect(&ii));
    ASSERT_TRUE(icon);
    const Bitmap bmp = win::iconToBitmap(icon.get(), 16);
    ASSERT_EQ(bmp.width, 16);
    EXPECT_EQ(bmp.at(2, 3), 0xFF00C000u);
    EXPECT_EQ(alpha(bmp.at(12, 3)), 0);
    EXPECT_TRUE(win::iconToBitmap(nullptr, 16).empty());
}

TEST_F(DesktopTest, FilesAndPaths) {
    const std::string f = file("a file.txt", Bytes{'x'});
    const std::vector<std::tuple<std::string, bool, bool>> cases = {
        // path, can be opened for reading, exists
        {f, true, true},
        {u8(dir.path()), false, true},
        {u8(dir / "nothing here"), false, false},
        {"", false, false},
        {u8(dir / "bad\x01name"), false, false},
    };
    for (const auto& [path, readable, exists] : cases) {
        EXPECT_EQ(desk.canOpenForReading(path), readable) << path;
        EXPECT_EQ(desk.pathExists(path), exists) << path;
    }
}

TEST_F(DesktopTest, TaskbarStandsAtTheBottomOfTheScreen) {
    const ScreenMetrics m = desk.screen();
    ASSERT_GT(m.heightPixels, 0);
    EXPECT_DOUBLE_EQ(m.twipsPerPixelY,
                     1440.0 / GetDeviceCaps(win::WindowDC(nullptr).get(), LOGPIXELSY));
    const Rect tb = desk.taskbarRect();
    if (tb.height() == 0) {
        GTEST_SKIP() << "no taskbar: not running on a virtual desktop with a shell";
    }
    EXPECT_EQ(tb.bottom, m.heightPixels);
    EXPECT_EQ(tb.left, 0);
    EXPECT_EQ(tb.width(), m.widthPixels);
    const Rect start = desk.startButtonRect();
    EXPECT_GT(start.width(), 0);
    EXPECT_GE(start.top, tb.top);
    EXPECT_LE(start.bottom, tb.bottom);
}

TEST_F(DesktopTest, ScreenPointsOffTheScreenAreUnreadable) {
    const ScreenMetrics m = desk.screen();
    const Rect area{m.widthPixels - 2, 0, m.widthPixels + 2, 1};
    const std::vector<Colour> px = desk.readScreen(area);
    ASSERT_EQ(px.size(), 4u);
    EXPECT_NE(px[0], -1);
    EXPECT_NE(px[1], -1);
    EXPECT_EQ(px[2], -1);
    EXPECT_EQ(px[3], -1);
    EXPECT_TRUE(desk.readScreen(Rect{5, 5, 5, 9}).empty());
}

TEST_F(DesktopTest, ProcessListHoldsThisProgram) {
    const std::vector<std::string> names = desk.processNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "win32_tests.exe"), names.end());
}

} // namespace
} // namespace kesk::test
