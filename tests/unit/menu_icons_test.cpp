// Item pictures: source order, the two image lists in step, the small copies.

#include "unit/menu_fixture.h"

namespace kesk::test {
namespace {

// Every point of the 32 by 32 picture its own colour, so a sampled point
// tells where it came from.
Pixel coordPixel(std::int32_t x, std::int32_t y) {
    return 0xFF000000u | (static_cast<Pixel>(x) << 8) | static_cast<Pixel>(y);
}

Bitmap coordIcon() {
    Bitmap b(32, 32);
    for (std::int32_t y = 0; y < 32; ++y) {
        for (std::int32_t x = 0; x < 32; ++x) {
            b.at(x, y) = coordPixel(x, y);
        }
    }
    return b;
}

class MenuIcons : public MenuFixture {
  protected:
    frmVelora form{desk};

    const frmVeloraState& build(const std::string& items, const char* small = "16") {
        writeCatalogue(std::string("[SmallIconSize]\nWidth=") + small + "\nHeight=" + small + "\n" +
                       items);
        form.Form_Load();
        EXPECT_FALSE(form.state().lastBuildFailed) << form.state().lastBuildError.description;
        EXPECT_EQ(form.state().vlImgList.count(), form.state().vlImgListSmall.count());
        EXPECT_EQ(form.state().vlImgList.keys, form.state().vlImgListSmall.keys);
        return form.state();
    }
};

TEST_F(MenuIcons, SourcesAreTriedInOrderAndNumberedAsAdded) {
    desk.addPicture("C:\\icons\\a.ico", 32, 32, 0xFFAA0000u);
    desk.addExe("C:\\prog\\c.exe", 0xFF00CC00u);
    desk.files.insert("C:\\docs\\d.txt");
    desk.shellIcons["C:\\docs\\d.txt"] = Bitmap(32, 32, 0xFF0000DDu);
    const auto& s =
        build(item("A", "Tools", "C:\\prog\\c.exe", "C:\\icons\\a.ico") +
              item("B", "Tools", "C:\\gone.exe", "C:\\gone.ico") +
              item("C", "Tools", "C:\\prog\\c.exe") + item("D", "Documents", "C:\\docs\\d.txt"));
    struct Expect {
        std::int16_t index;
        std::int16_t source;
    };
    const Expect expected[] = {
        {2, IconFromIconFile}, {1, IconNotFound}, {3, IconFromExe}, {4, IconFromSystem}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(s.menuItems[i + 1].IconIndex, expected[i].index) << i;
        EXPECT_EQ(s.menuItems[i + 1].IconSource, expected[i].source) << i;
    }
    EXPECT_EQ(s.vlImgList.keys, (std::vector<std::string>{"NotFound", "A", "S 3", "S 4"}));
    EXPECT_EQ(s.vlImgList.image(1).at(5, 5), 0xFFAA0000u);
    EXPECT_EQ(s.vlImgList.image(2).at(5, 5), 0xFF00CC00u);
    EXPECT_EQ(s.vlImgList.image(3).at(5, 5), 0xFF0000DDu);
    EXPECT_EQ(s.vlImgListSmall.image(0).at(0, 0), kFallbackPixel);
    EXPECT_EQ(form.state().lstViewA[0].entries[1].largePicture, 1);
}

TEST_F(MenuIcons, ABlankTargetGetsTheFallbackWithoutAskingTheShell) {
    desk.shellIcons["   "] = Bitmap(32, 32);
    const auto& s = build(item("Blank", "Tools", "   ") + item("Empty", "Tools", ""));
    EXPECT_TRUE(desk.shellAsked.empty());
    EXPECT_EQ(s.menuItems[1].IconSource, IconNotFound);
    EXPECT_EQ(s.menuItems[2].IconIndex, 1);
    EXPECT_EQ(s.vlImgList.count(), 1);
}

TEST_F(MenuIcons, AnExistingIconThatIsNoPictureFallsThroughWithListsInStep) {
    desk.directories.insert("C:\\icons");
    desk.addCorruptPicture("C:\\icons\\broken.png");
    desk.files.insert("C:\\icons\\notes.txt");
    desk.addExe("C:\\prog\\c.exe", 0xFF00CC00u);
    const auto& s = build(item("Folder", "Tools", "C:\\prog\\c.exe", "C:\\icons") +
                          item("Corrupt", "Tools", "C:\\missing", "C:\\icons\\broken.png") +
                          item("Text", "Tools", "", "C:\\icons\\notes.txt"));
    EXPECT_EQ(s.menuItems[1].IconSource, IconFromExe);
    EXPECT_EQ(s.menuItems[1].IconIndex, 2);
    EXPECT_EQ(s.menuItems[2].IconSource, IconNotFound);
    EXPECT_EQ(s.menuItems[3].IconSource, IconNotFound);
    EXPECT_EQ(s.vlImgList.count(), 2);
}

TEST_F(MenuIcons, AHugePictureIsScaledIntoOneLargeImageAndItsTopLeftMakesTheSmallOne) {
    FakeDesktop::FakePicture huge;
    huge.width = 10000;
    huge.height = 10000;
    huge.pixel = [](std::int32_t x, std::int32_t y) {
        if (y >= 5000) {
            return Pixel{0xFF00FF00u};
        }
        return x < 5000 ? Pixel{0xFFFF0000u} : Pixel{0xFF0000FFu};
    };
    desk.pictures["C:\\big.jpg"] = huge;
    const auto& s = build(item("Big", "Tools", "", "C:\\big.jpg"));
    ASSERT_EQ(s.vlImgList.count(), 2);
    const Bitmap& large = s.vlImgList.image(1);
    ASSERT_EQ(large.width, 32);
    ASSERT_EQ(large.height, 32);
    EXPECT_EQ(large.at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(large.at(31, 0), 0xFF0000FFu);
    EXPECT_EQ(large.at(0, 31), 0xFF00FF00u);
    const Bitmap& small = s.vlImgListSmall.image(1);
    for (const Pixel p : small.pixels) {
        EXPECT_EQ(p, 0xFFFF0000u);
    }
    // The decoder is never asked for more than a 32 by 32 view.
    for (const PictureRequest& r : desk.pictureRequests) {
        if (r.scaledWidth != 0) {
            EXPECT_LE(r.cropWidth * r.cropHeight, 32 * 32);
        }
    }
}

TEST_F(MenuIcons, SmallPicturesSampleTheScratchPictureExactly) {
    struct Case {
        const char* size;
        std::int32_t n;
    };
    for (const Case c : {Case{"16", 16}, Case{"24", 24}, Case{"32", 32}, Case{"48", 48}}) {
        desk.icons["C:\\p.exe"] = {coordIcon()};
        desk.files.insert("C:\\p.exe");
        const auto& s = build(item("P", "Tools", "C:\\p.exe"), c.size);
        const Bitmap& small = s.vlImgListSmall.image(1);
        ASSERT_EQ(small.width, c.n);
        for (std::int32_t i = 0; i < c.n; ++i) {
            for (std::int32_t j = 0; j < c.n; ++j) {
                ASSERT_EQ(small.at(i, j), coordPixel(32 * i / c.n, 32 * j / c.n))
                    << c.size << " at " << i << "," << j;
            }
        }
    }
}

TEST_F(MenuIcons, SamplingFor16And24PixelsPicksTheseExactPoints) {
    struct Case {
        std::int32_t w, h, i, j, x, y;
    };
    const Case cases[] = {
        {16, 16, 0, 0, 0, 0},     {16, 16, 1, 1, 2, 2},  {16, 16, 15, 15, 30, 30},
        {24, 24, 1, 1, 1, 1},     {24, 24, 2, 5, 2, 6},  {24, 24, 3, 23, 4, 30},
        {24, 24, 23, 22, 30, 29}, {16, 24, 7, 7, 14, 9},
    };
    const Bitmap large = coordIcon();
    for (const Case& c : cases) {
        Bitmap small(c.w, c.h, 0);
        shrinkIcon(large, small);
        EXPECT_EQ(small.at(c.i, c.j), coordPixel(c.x, c.y))
            << c.w << "x" << c.h << " (" << c.i << "," << c.j << ")";
    }
    Bitmap none(0, 0);
    shrinkIcon(large, none); // nothing to draw on: nothing happens
    EXPECT_TRUE(none.pixels.empty());
}

TEST_F(MenuIcons, TransparentPartsShowTheScratchColourOfThePreviousBuild) {
    Bitmap icon(32, 32, 0x00000000u); // fully transparent
    icon.at(0, 0) = 0xFFFF00FFu;
    desk.icons["C:\\p.exe"] = {icon};
    desk.files.insert("C:\\p.exe");
    writeSkin("[COLORS]\nLIST_BOX_BG=00AA00\n");
    const auto& s = build(item("P", "Tools", "C:\\p.exe"));
    // First build: the design colour RGB 255, 240, 240.
    EXPECT_EQ(s.vlImgListSmall.image(1).at(5, 5), 0xFFFFF0F0u);
    EXPECT_EQ(s.vlImgListSmall.image(1).at(0, 0), 0xFFFF00FFu);
    form.Form_Construct();
    EXPECT_EQ(form.state().vlImgListSmall.image(1).at(5, 5), 0xFF00AA00u);
    EXPECT_EQ(form.state().vlImgList.image(1).at(5, 5), 0xFF00AA00u);
}

TEST_F(MenuIcons, ScratchColoursWithAHighByteGiveOpaqueSmallPictures) {
    // A colour's high byte (a system-colour flag, or just a typo) must not
    // turn into transparency or break the build.
    struct Case {
        const char* listBoxBg;
        Pixel scratch;
    };
    const Case cases[] = {
        {"80000005", toArgb(desk.systemColours.at(5))},
        {"FF00AA00", 0xFF00AA00u},
        {"7FFFFFFF", 0xFFFFFFFFu},
        {"01123456", 0xFF563412u},
    };
    desk.icons["C:\\p.exe"] = {Bitmap(32, 32, 0x00000000u)}; // fully transparent
    desk.files.insert("C:\\p.exe");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.listBoxBg);
        writeSkin(std::string("[COLORS]\nLIST_BOX_BG=") + c.listBoxBg + "\n");
        build(item("P", "Tools", "C:\\p.exe"));
        // The scratch pictures take the colour the build before applied.
        ASSERT_TRUE(form.Form_Construct()) << form.state().lastBuildError.description;
        const auto& s = form.state();
        ASSERT_EQ(s.vlImgListSmall.count(), 2);
        EXPECT_EQ(s.vlImgList.image(1).at(7, 7), c.scratch);
        for (const Pixel p : s.vlImgListSmall.image(1).pixels) {
            ASSERT_EQ(p, c.scratch);
        }
    }
}

TEST_F(MenuIcons, HalfTransparentIconsBlendOverTheScratchColour) {
    Bitmap surface = clearedSurface(2, 1, 0x000000FF); // red
    Bitmap picture(3, 3, 0x800000FFu);                 // half blue, larger than the surface
    paintAtOrigin(surface, picture);
    EXPECT_EQ(surface.at(0, 0), 0xFF7F0080u);
    EXPECT_EQ(surface.at(1, 0), 0xFF7F0080u);
}

TEST_F(MenuIcons, ImagePairsStayInStepAndNumberFromOne) {
    ImageList large;
    ImageList small;
    EXPECT_EQ(addImagePair(large, small, "NotFound", Bitmap(32, 32), Bitmap(16, 16)), 1);
    EXPECT_EQ(addImagePair(large, small, iconImageKey(2), Bitmap(32, 32), Bitmap(16, 16)), 2);
    EXPECT_EQ(small.keys, (std::vector<std::string>{"NotFound", "S 2"}));
    small.keys.pop_back(); // out of step: refuse rather than make it worse
    small.strip.resize(small.strip.size() - small.pixelsPerImage());
    EXPECT_THROW(addImagePair(large, small, "x", Bitmap(), Bitmap()), RuntimeError);
    EXPECT_EQ(large.count(), 2);
}

TEST_F(MenuIcons, IconSourceTextsAreSetByTheLoad) {
    build("");
    EXPECT_EQ(form.state().iconSourceTexts,
              (std::array<std::string, 4>{"Icon from EXE", "Icon from Icon-File",
                                          "Asked system for icon", "Error! No icon!"}));
}

} // namespace
} // namespace kesk::test
