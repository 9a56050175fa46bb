// The menu at any DPI: twips per pixel, the pictures' sizes, the choice of a source's image,
// icon directories, smooth shrinking, and the presenter laying itself out and taking its
// pictures at the DPI it is told.

#include "menu/dpi_sizes.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <vector>

#include "menu/frmVelora.h"
#include "menu/imagelists.h"
#include "support/conversions.h"
#include "unit/menu_fixture.h"

namespace kesk::test {
namespace {

struct TwipsCase {
    const char* rule;
    std::int32_t dpi;
    double twips;
};

TEST(DpiTwips, OneRuleForEveryReportedDpi) {
    const TwipsCase cases[] = {
        {"96 dpi: 15 twips a pixel", 96, 15.0},
        {"120 dpi: 12", 120, 12.0},
        {"144 dpi: 10", 144, 10.0},
        {"192 dpi: 7.5", 192, 7.5},
        {"0 reported: the default 96", 0, 15.0},
        {"negative reported: the default 96", -144, 15.0},
        {"2,000 reported: held to the largest, 480", 2000, 3.0},
        {"the largest itself", 480, 3.0},
    };
    for (const TwipsCase& c : cases) {
        EXPECT_DOUBLE_EQ(twipsPerPixelAt(c.dpi), c.twips) << c.rule;
    }
}

struct TppCase {
    const char* rule;
    double twipsPerPixel;
    std::int32_t dpi;
};

TEST(DpiTwips, TheDpiOfTwipsPerPixel) {
    const TppCase cases[] = {
        {"15 twips: 96", 15.0, 96},
        {"12 twips: 120", 12.0, 120},
        {"7.5 twips: 192", 7.5, 192},
        {"rounded to the nearest", 1440.0 / 143.6, 144},
        {"0 is nonsense", 0.0, 0},
        {"negative is nonsense", -15.0, 0},
        {"not a number is nonsense", std::numeric_limits<double>::quiet_NaN(), 0},
        {"infinite is nonsense", std::numeric_limits<double>::infinity(), 0},
        {"a tiny value is held, not overflowed", 1e-300, 1000000},
    };
    for (const TppCase& c : cases) {
        EXPECT_EQ(dpiOfTwipsPerPixel(c.twipsPerPixel), c.dpi) << c.rule;
    }
}

struct SizeCase {
    const char* rule;
    std::int32_t design;
    std::int32_t dpi;
    std::int32_t pixels;
};

TEST(DpiPictureSizes, ScaleWithTheDpi) {
    const SizeCase cases[] = {
        {"large at 96", 32, 96, 32},
        {"large at 120", 32, 120, 40},
        {"large at 144", 32, 144, 48},
        {"large at 192", 32, 192, 64},
        {"small 16 at 120", 16, 120, 20},
        {"small 16 at 144", 16, 144, 24},
        {"small 16 at 192", 16, 192, 32},
        {"small 24 at 144", 24, 144, 36},
        {"small 15 at 120: 18.75 to 19", 15, 120, 19},
        {"small 10 at 144: 15 exactly", 10, 144, 15},
        {"a tie to even: 1 at 144 is 1.5, to 2", 1, 144, 2},
        {"a tie to even: 5 at 144 is 7.5, to 8", 5, 144, 8},
        {"a tie to even: 7 at 144 is 10.5, to 10", 7, 144, 10},
        {"DPI 0 is 96", 32, 0, 32},
        {"DPI 2,000 is held to 480", 32, 2000, 160},
        {"never above the largest image", 256, 192, kMaxPictureSize},
        {"never below one pixel", 0, 96, 1},
        {"a negative design is one pixel", -16, 144, 1},
    };
    for (const SizeCase& c : cases) {
        EXPECT_EQ(picturePixelsAt(c.design, c.dpi), c.pixels) << c.rule;
    }
}

struct ChoiceCase {
    const char* rule;
    std::vector<ImageChoice> images;
    std::int32_t want;
    std::size_t chosen;
};

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

TEST(DpiImageChoice, TakesTheImageThatStaysSharp) {
    const ChoiceCase cases[] = {
        {"the exact size", {{16, 16, 32}, {32, 32, 32}, {48, 48, 32}}, 32, 1},
        {"exact at 144", {{32, 32, 32}, {48, 48, 32}, {64, 64, 32}}, 48, 1},
        {"exact at 192", {{32, 32, 32}, {48, 48, 32}, {64, 64, 32}}, 64, 2},
        {"no 40: the smallest larger, never 32 blown up",
         {{32, 32, 32}, {48, 48, 32}, {64, 64, 32}},
         40,
         1},
        {"larger ones in any order", {{256, 256, 32}, {64, 64, 32}, {16, 16, 32}}, 40, 1},
        {"none large enough: the largest", {{16, 16, 32}, {32, 32, 32}, {24, 24, 32}}, 64, 1},
        {"same size: more colour bits", {{48, 48, 8}, {48, 48, 32}, {48, 48, 4}}, 48, 1},
        {"same size and bits: the first", {{48, 48, 32}, {48, 48, 32}}, 48, 0},
        {"square before oblong of the same side", {{48, 64, 32}, {48, 48, 8}}, 48, 1},
        {"images of no size are passed over", {{0, 0, 32}, {32, 32, 32}}, 32, 1},
        {"a negative size is passed over", {{-48, -48, 32}, {16, 16, 32}}, 48, 1},
        {"nothing to choose from", {}, 32, kNone},
        {"nothing usable", {{0, 32, 32}, {32, 0, 32}}, 32, kNone},
    };
    for (const ChoiceCase& c : cases) {
        EXPECT_EQ(bestImageFor(c.images, c.want), c.chosen) << c.rule;
    }
}

// An icon directory: the head, then one entry per size (width and height bytes, then bits).
std::vector<std::uint8_t> directory(IconDirectoryKind kind, std::uint16_t type,
                                    const std::vector<std::array<int, 3>>& entries,
                                    int claimedCount = -1) {
    const std::size_t entrySize = kind == IconDirectoryKind::File ? 16 : 14;
    const int count = claimedCount >= 0 ? claimedCount : static_cast<int>(entries.size());
    std::vector<std::uint8_t> d = {0,
                                   0,
                                   static_cast<std::uint8_t>(type),
                                   0,
                                   static_cast<std::uint8_t>(count & 0xFF),
                                   static_cast<std::uint8_t>(count >> 8)};
    for (const auto& e : entries) {
        std::vector<std::uint8_t> entry(entrySize, 0);
        entry[0] = static_cast<std::uint8_t>(e[0]);
        entry[1] = static_cast<std::uint8_t>(e[1]);
        entry[4] = 1;
        entry[6] = static_cast<std::uint8_t>(e[2]);
        d.insert(d.end(), entry.begin(), entry.end());
    }
    return d;
}

struct DirectoryCase {
    const char* rule;
    IconDirectoryKind kind;
    std::vector<std::uint8_t> bytes;
    std::vector<std::array<int, 3>> images; // width, height, bits
};

TEST(DpiIconDirectory, ListsTheImagesOfWellFormedDirectoriesOnly) {
    using K = IconDirectoryKind;
    const DirectoryCase cases[] = {
        {"an icon file's sizes",
         K::File,
         directory(K::File, 1, {{32, 32, 32}, {48, 48, 32}, {64, 64, 8}}),
         {{32, 32, 32}, {48, 48, 32}, {64, 64, 8}}},
        {"a program's group",
         K::Group,
         directory(K::Group, 1, {{16, 16, 4}, {0, 0, 32}}),
         {{16, 16, 4}, {256, 256, 32}}},
        {"0 means 256", K::File, directory(K::File, 1, {{0, 0, 32}}), {{256, 256, 32}}},
        {"a cursor file is no icon", K::File, directory(K::File, 2, {{32, 32, 32}}), {}},
        {"entries past the end", K::File, directory(K::File, 1, {{32, 32, 32}}, 2), {}},
        {"no entries", K::File, directory(K::File, 1, {}), {}},
        {"shorter than its head", K::File, {0, 0, 1, 0}, {}},
        {"a reserved word that is not 0", K::File, {1, 0, 1, 0, 1, 0}, {}},
        {"group entries are 14 bytes, not 16",
         K::Group,
         directory(K::Group, 1, {{32, 32, 32}, {48, 48, 32}}),
         {{32, 32, 32}, {48, 48, 32}}},
    };
    for (const DirectoryCase& c : cases) {
        const std::vector<ImageChoice> got =
            iconDirectoryImages(c.bytes.data(), c.bytes.size(), c.kind);
        ASSERT_EQ(got.size(), c.images.size()) << c.rule;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].width, c.images[i][0]) << c.rule;
            EXPECT_EQ(got[i].height, c.images[i][1]) << c.rule;
            EXPECT_EQ(got[i].bits, c.images[i][2]) << c.rule;
        }
    }
    EXPECT_TRUE(iconDirectoryImages(nullptr, 100, IconDirectoryKind::File).empty())
        << "no bytes at all";
}

// A picture whose left half is one colour and right half another, `n` pixels square.
Bitmap halves(std::int32_t n, Pixel left, Pixel right) {
    Bitmap b(n, n);
    for (std::int32_t y = 0; y < n; ++y) {
        for (std::int32_t x = 0; x < n; ++x) {
            b.at(x, y) = x < n / 2 ? left : right;
        }
    }
    return b;
}

struct ShrinkCase {
    const char* rule;
    Bitmap src;
    std::int32_t size;
    std::int32_t x;
    Pixel expected; // at (x, 0)
    std::int32_t width;
};

TEST(DpiShrinkSmooth, AveragesWhatEachPointCovers) {
    const Pixel red = 0xFFFF0000u;
    const Pixel blue = 0xFF0000FFu;
    const Pixel clear = 0x00000000u;
    const ShrinkCase cases[] = {
        {"48 to 40: a left point stays red", halves(48, red, blue), 40, 0, red, 40},
        {"48 to 40: a right point stays blue", halves(48, red, blue), 40, 39, blue, 40},
        {"the middle point of 6 to 3 mixes half and half", halves(6, red, blue), 3, 1, 0xFF800080u,
         3},
        {"64 to 32: two points to one, same colour", halves(64, red, blue), 32, 31, blue, 32},
        {"transparent points do not darken colours", halves(6, red, clear), 3, 1, 0x80FF0000u, 3},
        {"all transparent stays transparent", halves(4, clear, clear), 2, 0, clear, 2},
        {"no larger than asked: as it is", halves(16, red, blue), 32, 15, blue, 16},
    };
    for (const ShrinkCase& c : cases) {
        const Bitmap out = shrinkSmooth(c.src, c.size, c.size);
        ASSERT_EQ(out.width, c.width) << c.rule;
        EXPECT_EQ(out.at(c.x, 0), c.expected) << c.rule;
    }
    EXPECT_TRUE(shrinkSmooth(Bitmap{}, 32, 32).empty()) << "an empty picture";
    EXPECT_TRUE(shrinkSmooth(halves(8, red, blue), 0, 4).empty()) << "an empty size";
    Bitmap torn(8, 8);
    torn.pixels.resize(10);
    EXPECT_TRUE(shrinkSmooth(torn, 4, 4).empty()) << "pixels that do not match the size";
}

// A program whose first icon carries one image per size, each of its own colour; asked for
// a size it has not, it gives nothing (so a picture blown up from 32 cannot pass).
class SizedDesktop : public FakeDesktop {
  public:
    std::map<std::int32_t, Pixel> exeSizes;
    std::map<std::int32_t, Pixel> shellSizes;
    std::vector<std::int32_t> sizesAsked;
    bool extractIcon(const std::string& path, std::int32_t index, std::int32_t size,
                     Bitmap& out) override {
        sizesAsked.push_back(size);
        const auto it = exeSizes.find(size);
        if (icons.count(path) == 0 || index != 0 || it == exeSizes.end()) {
            return false;
        }
        out = Bitmap(size, size, it->second);
        return true;
    }
    bool shellIcon(const std::string& path, std::int32_t size, Bitmap& out) override {
        sizesAsked.push_back(size);
        const auto it = shellSizes.find(size);
        if (files.count(path) == 0 || it == shellSizes.end()) {
            return false;
        }
        out = Bitmap(size, size, it->second);
        return true;
    }
};

class DpiMenu : public MenuFixture {};

struct MenuDpiCase {
    const char* rule;
    std::int32_t dpi;
    std::int32_t large;
    std::int32_t small;
    std::int32_t widthPixels;  // 8535 twips
    std::int32_t heightPixels; // 8295 twips
    std::int32_t topPixels;    // 3000 high, a 30-pixel taskbar
};

TEST_F(DpiMenu, LaysOutAndSizesPicturesAtTheDpiItIsTold) {
    const MenuDpiCase cases[] = {
        {"96 dpi as designed", 96, 32, 16, 569, 553, 2417},
        {"120 dpi: 2278.75", 120, 40, 20, 711, 691, 2279},
        {"144 dpi: 2140.5, a tie to even", 144, 48, 24, 854, 830, 2140},
        {"192 dpi", 192, 64, 32, 1138, 1106, 1864},
        {"0 reported is 96", 0, 32, 16, 569, 553, 2417},
        {"2,000 reported is held to 480", 2000, 160, 80, 2845, 2765, 205},
    };
    // A screen the menu fits on at every DPI.
    desk.metrics = ScreenMetrics{4000, 3000, 15.0, 15.0};
    desk.taskbar = Rect{0, 2970, 4000, 3000};
    desk.startButton = Rect{0, 2970, 53, 3000};
    writeCatalogue(std::string(kSettings) + item("A", "Tools"));
    for (const MenuDpiCase& c : cases) {
        frmVelora form(desk);
        form.setDpi(c.dpi);
        ASSERT_TRUE(form.Form_Construct()) << c.rule;
        const frmVeloraState& s = form.state();
        EXPECT_EQ(s.vlImgList.imageWidth, c.large) << c.rule;
        EXPECT_EQ(s.vlImgList.imageHeight, c.large) << c.rule;
        EXPECT_EQ(s.vlImgListSmall.imageWidth, c.small) << c.rule;
        EXPECT_EQ(s.vlImgListSmall.imageHeight, c.small) << c.rule;
        const double tpp = twipsPerPixelAt(c.dpi);
        EXPECT_EQ(std::lround(s.width / tpp), c.widthPixels) << c.rule;
        EXPECT_EQ(std::lround(s.height / tpp), c.heightPixels) << c.rule;
        // The twips stay the design's: only their pixels change.
        EXPECT_EQ(s.width, 8535) << c.rule;
        EXPECT_EQ(s.menuTopPixels, c.topPixels) << c.rule;
        EXPECT_EQ(s.top, conv::toLong(3000 * tpp - 8295 - 30 * tpp)) << c.rule;
    }
}

TEST_F(DpiMenu, WithoutAToldDpiTheScreensTwipsPerPixelDecide) {
    desk.metrics.twipsPerPixelX = 10.0;
    desk.metrics.twipsPerPixelY = 10.0;
    writeCatalogue(kSettings);
    frmVelora form(desk);
    ASSERT_TRUE(form.Form_Construct());
    EXPECT_EQ(form.state().dpi, 144);
    EXPECT_EQ(form.state().vlImgList.imageWidth, 48);
    // A told DPI wins over the screen's from the next build on.
    form.setDpi(192);
    ASSERT_TRUE(form.Form_Construct());
    EXPECT_EQ(form.state().dpi, 192);
    EXPECT_EQ(form.state().vlImgList.imageWidth, 64);
}

struct SourceCase {
    const char* rule;
    std::int32_t dpi;
    std::int16_t source;
    Pixel expected;
};

TEST_F(DpiMenu, PicturesComeFromTheSourcesOwnImageOfTheSize) {
    SizedDesktop sized;
    sized.addPicture(own(catalogue::kFallbackIconFile), 32, 32, kFallbackPixel);
    sized.addPicture(own(catalogue::kSkinBackgroundFile), 200, 100, 0xFF000080u);
    sized.exeSizes = {{32, 0xFF200000u}, {40, 0xFF400000u}, {48, 0xFF480000u}, {64, 0xFF640000u}};
    sized.shellSizes = {{32, 0xFF002000u}, {48, 0xFF004800u}, {64, 0xFF006400u}};
    sized.addExe("C:\\app.exe", 0xFF000000u);
    sized.files.insert("C:\\doc.txt");
    writeCatalogue(std::string(kSettings) + item("A", "Tools", "C:\\app.exe") +
                   item("B", "Tools", "C:\\doc.txt"));
    const SourceCase cases[] = {
        {"program at 96: its 32", 96, IconFromExe, 0xFF200000u},
        {"program at 120: its 40", 120, IconFromExe, 0xFF400000u},
        {"program at 144: its 48", 144, IconFromExe, 0xFF480000u},
        {"program at 192: its 64", 192, IconFromExe, 0xFF640000u},
        {"shell at 144: its 48", 144, IconFromSystem, 0xFF004800u},
        {"shell at 192: its 64", 192, IconFromSystem, 0xFF006400u},
    };
    for (const SourceCase& c : cases) {
        frmVelora form(sized);
        form.setDpi(c.dpi);
        ASSERT_TRUE(form.Form_Construct()) << c.rule;
        const frmVeloraState& s = form.state();
        const std::size_t record = c.source == IconFromExe ? 2 : 3;
        const MenuItem& m = s.menuItems.at(record);
        ASSERT_EQ(m.IconSource, c.source) << c.rule;
        const Bitmap image = s.vlImgList.image(static_cast<std::size_t>(m.IconIndex - 1));
        const std::int32_t size = picturePixelsAt(kLargeIconSize, c.dpi);
        ASSERT_EQ(image.width, size) << c.rule;
        EXPECT_EQ(image.at(size - 1, size - 1), c.expected) << c.rule;
        // The small picture is the large one shrunk: the same colour, at the small size.
        const Bitmap small = s.vlImgListSmall.image(static_cast<std::size_t>(m.IconIndex - 1));
        EXPECT_EQ(small.width, picturePixelsAt(16, c.dpi)) << c.rule;
        EXPECT_EQ(small.at(0, 0), c.expected) << c.rule;
    }
}

TEST_F(DpiMenu, TheFallbackAndPictureFilesAreAskedForTheDpisSize) {
    desk.addPicture("C:\\pic.ico", 64, 64, 0xFF00FF00u);
    writeCatalogue(std::string(kSettings) + item("A", "Tools", "", "C:\\pic.ico"));
    const std::int32_t dpis[] = {96, 120, 144, 192};
    for (const std::int32_t dpi : dpis) {
        desk.pictureRequests.clear();
        desk.picturesAsked.clear();
        frmVelora form(desk);
        form.setDpi(dpi);
        ASSERT_TRUE(form.Form_Construct()) << dpi;
        const std::int32_t size = picturePixelsAt(kLargeIconSize, dpi);
        std::map<std::string, PictureRequest> asked;
        for (std::size_t i = 0; i < desk.picturesAsked.size(); ++i) {
            asked[desk.picturesAsked[i]] = desk.pictureRequests[i];
        }
        const PictureRequest wanted{size, size, size, size};
        EXPECT_EQ(asked[own(catalogue::kFallbackIconFile)], wanted) << dpi;
        EXPECT_EQ(asked["C:\\pic.ico"], wanted) << dpi;
    }
}

} // namespace
} // namespace kesk::test
