// The picture work of a build: painting and shrinking against plain
// point-by-point versions, image lists of fixed size, and the program's own
// pictures kept from one build to the next while their files are unchanged.

#include <random>

#include "platform/fileio.h"
#include "unit/menu_fixture.h"

namespace kesk::test {
namespace {

// The plain versions: every point on its own, as the rules say.
void paintReference(Bitmap& surface, const Bitmap& picture) {
    for (std::int32_t y = 0; y < std::min(surface.height, picture.height); ++y) {
        for (std::int32_t x = 0; x < std::min(surface.width, picture.width); ++x) {
            const Pixel s = picture.at(x, y);
            const std::uint32_t a = s >> 24;
            const Pixel d = surface.at(x, y);
            const auto mix = [a](std::uint32_t sc, std::uint32_t dc) {
                return (sc * a + dc * (255u - a) + 127u) / 255u;
            };
            surface.at(x, y) = kOpaque | (mix((s >> 16) & 0xFF, (d >> 16) & 0xFF) << 16) |
                               (mix((s >> 8) & 0xFF, (d >> 8) & 0xFF) << 8) |
                               mix(s & 0xFF, d & 0xFF);
            if (a == 0) {
                surface.at(x, y) = d;
            }
        }
    }
}

void shrinkReference(const Bitmap& large, Bitmap& small) {
    for (std::int32_t i = 0; i < small.width; ++i) {
        for (std::int32_t j = 0; j < small.height; ++j) {
            small.at(i, j) =
                large.at(static_cast<std::int32_t>(std::int64_t{large.width} * i / small.width),
                         static_cast<std::int32_t>(std::int64_t{large.height} * j / small.height));
        }
    }
}

TEST(MenuPictures, PaintingAndShrinkingMatchThePointByPointRules) {
    std::mt19937 rng(20261207);
    const auto pick = [&rng](std::uint32_t n) { return static_cast<std::int32_t>(rng() % n); };
    for (int round = 0; round < 300; ++round) {
        // Sizes around the surfaces' and beyond the 256 columns kept at hand.
        const std::int32_t pw = 1 + pick(round % 10 == 0 ? 400 : 40);
        const std::int32_t ph = 1 + pick(40);
        Bitmap picture(pw, ph);
        for (Pixel& p : picture.pixels) {
            // Runs of opaque points, holes and half-transparent points mixed.
            const std::uint32_t kind = round % 3 == 0 ? 0 : rng() % 4; // a third wholly opaque
            const std::uint32_t alpha = kind < 2 ? 255u : kind == 2 ? 0u : rng() % 256;
            p = (alpha << 24) | (rng() & 0xFFFFFFu);
        }
        const std::int32_t sw = 1 + pick(round % 10 == 0 ? 300 : 40);
        const std::int32_t sh = 1 + pick(40);
        const Pixel back = 0xFF000000u | (rng() & 0xFFFFFFu);
        Bitmap fast(sw, sh, back);
        Bitmap plain(sw, sh, back);
        paintAtOrigin(fast, picture);
        paintReference(plain, picture);
        ASSERT_EQ(fast, plain) << "paint " << pw << "x" << ph << " on " << sw << "x" << sh;
        Bitmap reused(3, 3, 0xFFFFFFFFu); // whatever the surface held before
        paintOnClearedSurface(reused, sw, sh, toColour(back), picture);
        ASSERT_EQ(reused, plain) << "cleared " << pw << "x" << ph << " on " << sw << "x" << sh;

        const std::int32_t w = 1 + pick(round % 10 == 0 ? 300 : 48);
        const std::int32_t h = 1 + pick(48);
        Bitmap small(w, h, 0);
        Bitmap smallPlain(w, h, 0);
        shrinkIcon(picture, small);
        shrinkReference(picture, smallPlain);
        ASSERT_EQ(small, smallPlain) << "shrink " << pw << "x" << ph << " to " << w << "x" << h;
    }
}

TEST(MenuPictures, ImagesOfAnotherSizeAreKeptAtTheListsSize) {
    ImageList large;
    ImageList small;
    large.imageWidth = large.imageHeight = 4;
    small.imageWidth = small.imageHeight = 2;
    struct Case {
        Bitmap image;
        Pixel inside;  // (0, 0)
        Pixel outside; // (3, 3) of the large list's image
    };
    const Case cases[] = {
        {Bitmap(4, 4, 0xFF0000FFu), 0xFF0000FFu, 0xFF0000FFu}, // the list's size
        {Bitmap(2, 2, 0xFF00FF00u), 0xFF00FF00u, 0u},          // smaller: transparent rest
        {Bitmap(9, 3, 0xFFFF0000u), 0xFFFF0000u, 0u},          // wider, never split
        {Bitmap(), 0u, 0u},                                    // none at all
    };
    std::int16_t n = 0;
    for (const Case& c : cases) {
        n = addImagePair(large, small, "k", c.image, Bitmap(2, 2, 0xFF123456u));
        const Bitmap got = large.image(static_cast<std::size_t>(n - 1));
        ASSERT_EQ(got.width, 4);
        EXPECT_EQ(got.at(0, 0), c.inside) << n;
        EXPECT_EQ(got.at(3, 3), c.outside) << n;
    }
    EXPECT_EQ(n, 4);
    EXPECT_EQ(large.strip.size(), 4u * 16u);
    EXPECT_EQ(small.strip.size(), 4u * 4u);
    EXPECT_EQ(small.image(3).at(1, 1), 0xFF123456u);
    large.clear();
    small.clear();
    EXPECT_EQ(addImagePair(large, small, "again", Bitmap(4, 4), Bitmap(2, 2)), 1);
}

class KeptPictures : public MenuFixture {
  protected:
    frmVelora form{desk};

    fileio::FileStamp oldStamp(std::uint64_t size) {
        fileio::FileStamp st;
        st.size = size;
        st.modified = fileio::nowTicks() - 600'000'000; // a minute ago
        return st;
    }
    int loadsOf(const char* file) {
        return static_cast<int>(
            std::count(desk.picturesAsked.begin(), desk.picturesAsked.end(), own(file)));
    }
};

TEST_F(KeptPictures, OwnPicturesAreDecodedAgainOnlyWhenTheirFileMayHaveChanged) {
    writeCatalogue(item("A", "Tools"));
    struct Case {
        const char* what;
        std::function<void()> between; // done before the second build
        int decodes;                   // of the background in the second build
    };
    const Case cases[] = {
        {"unchanged", [] {}, 0},
        {"size changed", [&] { desk.stamps[own(catalogue::kSkinBackgroundFile)] = oldStamp(2); },
         1},
        {"written a moment ago",
         [&] {
             fileio::FileStamp young = oldStamp(1);
             young.modified = fileio::nowTicks();
             desk.stamps[own(catalogue::kSkinBackgroundFile)] = young;
         },
         1},
        {"stamp cannot be told", [&] { desk.stamps.erase(own(catalogue::kSkinBackgroundFile)); },
         1},
        {"screen grew", [&] { desk.metrics.heightPixels = 1200; }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        desk.metrics.heightPixels = 768;
        desk.stamps[own(catalogue::kSkinBackgroundFile)] = oldStamp(1);
        desk.stamps[own(catalogue::kFallbackIconFile)] = oldStamp(1);
        ASSERT_TRUE(form.Form_Construct());
        desk.picturesAsked.clear();
        c.between();
        ASSERT_TRUE(form.Form_Construct()) << form.state().lastBuildError.description;
        EXPECT_EQ(loadsOf(catalogue::kSkinBackgroundFile), c.decodes);
        EXPECT_EQ(loadsOf(catalogue::kFallbackIconFile), 0);
        EXPECT_EQ(form.state().pbVLMPicture.at(0, 0), 0xFF000080u);
        EXPECT_EQ(form.state().vlImgList.image(0).at(0, 0), kFallbackPixel);
        EXPECT_EQ(form.state().vlImgListSmall.image(0).at(0, 0), kFallbackPixel);
    }
}

TEST_F(KeptPictures, AFileThatFailsToLoadIsNeverServedFromBefore) {
    writeCatalogue(item("A", "Tools"));
    desk.stamps[own(catalogue::kSkinBackgroundFile)] = oldStamp(1);
    desk.stamps[own(catalogue::kFallbackIconFile)] = oldStamp(1);
    ASSERT_TRUE(form.Form_Construct());
    for (const char* file : {catalogue::kSkinBackgroundFile, catalogue::kFallbackIconFile}) {
        SCOPED_TRACE(file);
        const FakeDesktop::FakePicture saved = desk.pictures[own(file)];
        desk.addCorruptPicture(own(file));
        desk.stamps[own(file)] = oldStamp(7); // replaced by a broken file
        EXPECT_FALSE(form.Form_Construct());
        EXPECT_EQ(form.state().lastBuildError.number, errnum::InvalidPicture);
        desk.stamps[own(file)] = oldStamp(1); // the old stamp again, but broken
        EXPECT_FALSE(form.Form_Construct());
        desk.pictures[own(file)] = saved;
        EXPECT_TRUE(form.Form_Construct()) << form.state().lastBuildError.description;
    }
}

} // namespace
} // namespace kesk::test
