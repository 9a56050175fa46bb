// The menu build: catalogue to lists, placement, heights, skin, failures.

#include "unit/menu_fixture.h"

namespace kesk::test {
namespace {

using Keys = std::vector<std::string>;

class MenuBuild : public MenuFixture {
  protected:
    frmVelora form{desk};

    const frmVeloraState& built() {
        form.Form_Load();
        return form.state();
    }
};

TEST_F(MenuBuild, EntriesGoToTheirGroupInSectionOrderKeyedBySectionPosition) {
    writeCatalogue(std::string(kSettings) + item("One", "Scripts") + item("Two", "Tools") +
                   item("Three", "Scripts"));
    const auto& s = built();
    ASSERT_FALSE(s.lastBuildFailed) << s.lastBuildError.description;
    EXPECT_EQ(keysOf(s.lstViewA[0]), Keys{"ID 3"});
    EXPECT_EQ(keysOf(s.lstViewA[1]), Keys{});
    EXPECT_EQ(keysOf(s.lstViewA[2]), Keys{});
    EXPECT_EQ(keysOf(s.lstViewA[3]), (Keys{"ID 2", "ID 4"}));
    EXPECT_EQ(s.lstViewA[3].entries[1].text, "Three");
    ASSERT_EQ(s.menuItems.size(), 5u);
    EXPECT_EQ(s.menuItems[4].Section, "Three");
    EXPECT_EQ(s.menuItems[4].ID, "ID 4");
}

TEST_F(MenuBuild, SectionsWithoutGroupAreSkippedButKeepTheirPosition) {
    writeCatalogue(std::string(kSettings) + "[NoGroup]\nName=x\nTarget=y\n" +
                   "[EmptyGroup]\nName=x\nGroup=\n" + item("Real", "Documents"));
    const auto& s = built();
    EXPECT_EQ(keysOf(s.lstViewA[2]), Keys{"ID 4"});
    ASSERT_EQ(s.menuItems.size(), 5u);
    // A skipped section's record stays empty: its Name is not even read.
    EXPECT_EQ(s.menuItems[2], MenuItem{});
    EXPECT_EQ(s.menuItems[0], MenuItem{}); // Window
    EXPECT_EQ(s.vlImgList.count(), 1);     // only the fallback
}

TEST_F(MenuBuild, UnknownGroupsGetARecordAndAPictureButNoEntry) {
    desk.addExe("C:\\games\\game.exe", 0xFF00FF00u);
    writeCatalogue(std::string(kSettings) + item("lower", "tools", "C:\\games\\game.exe") +
                   item("Game", "Games", "C:\\games\\game.exe"));
    const auto& s = built();
    for (const auto& list : s.lstViewA) {
        EXPECT_TRUE(list.entries.empty());
    }
    EXPECT_EQ(s.menuItems[2].IconIndex, 2);
    EXPECT_EQ(s.menuItems[3].IconIndex, 3);
    EXPECT_EQ(s.menuItems[3].ID, "ID 3");
    EXPECT_EQ(s.vlImgList.count(), 3);
}

TEST_F(MenuBuild, EmptyCatalogueAndSettingsOnlyGiveFourEmptyLists) {
    for (const std::string& text : {std::string(), std::string(kSettings)}) {
        writeCatalogue(text);
        form.Form_Construct();
        const auto& s = form.state();
        EXPECT_FALSE(s.lastBuildFailed) << s.lastBuildError.description;
        for (const auto& list : s.lstViewA) {
            EXPECT_TRUE(list.entries.empty());
            EXPECT_TRUE(list.imageListsAttached);
        }
    }
}

TEST_F(MenuBuild, ASecondBuildLeavesTheSameEntriesAndImageCounts) {
    desk.addExe("C:\\a.exe", 0xFF0000FFu);
    writeCatalogue(std::string(kSettings) + item("A", "Tools", "C:\\a.exe") +
                   item("B", "Tools", "C:\\missing.exe") + item("C", "Scripts", "C:\\a.exe"));
    form.Form_Load();
    const auto first = form.state();
    form.Form_Construct();
    const auto& s = form.state();
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(s.lstViewA[k].entries, first.lstViewA[k].entries) << "list " << k;
    }
    EXPECT_EQ(s.vlImgList.count(), first.vlImgList.count());
    EXPECT_EQ(s.vlImgListSmall.count(), s.vlImgList.count());
    EXPECT_EQ(s.vlImgList.keys, first.vlImgList.keys);
    EXPECT_EQ(s.buildCount, 2);
}

TEST_F(MenuBuild, ARebuildKeepsNothingOfTheRecordsBefore) {
    // Records are reused from build to build; each must come out exactly as a
    // first build in a fresh window makes it, whatever the record held before.
    desk.addExe("C:\\a.exe", 0xFF0000FFu);
    desk.addPicture("C:\\i.ico", 32, 32, 0xFF00FF00u);
    const std::string before =
        std::string(kSettings) +
        "[A]\nName=A long name that needs memory\nTarget=C:\\a.exe\nParam=/x /y /z\n"
        "Workdir=C:\\some\\directory\\far\\away\nIcon=C:\\i.ico\nGroup=Tools\n" +
        item("B", "Scripts", "C:\\missing.exe") + item("C", "Tools", "C:\\a.exe") +
        item("D", "Documents");
    const std::string after = std::string(kSettings) + "[A]\nGroup=\n" + item("B", "Tools") +
                              "[C]\nName=C\nGroup=Applications\n";
    writeCatalogue(before);
    form.Form_Load();
    writeCatalogue(after);
    ASSERT_TRUE(form.Form_Construct());
    frmVelora fresh(desk);
    fresh.Form_Load();
    ASSERT_FALSE(fresh.state().lastBuildFailed);
    ASSERT_EQ(form.state().menuItems.size(), fresh.state().menuItems.size());
    for (std::size_t j = 0; j < fresh.state().menuItems.size(); ++j) {
        EXPECT_EQ(form.state().menuItems[j], fresh.state().menuItems[j]) << "record " << j;
    }
    EXPECT_EQ(form.state().vlImgList.keys, fresh.state().vlImgList.keys);
    EXPECT_EQ(form.state().vlImgList.strip, fresh.state().vlImgList.strip);
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(form.state().lstViewA[k].entries, fresh.state().lstViewA[k].entries) << k;
    }
}

TEST_F(MenuBuild, EntriesAreUnselectedNudgedAndCarryTheirPictureNumber) {
    desk.addExe("C:\\a.exe", 0xFF0000FFu);
    writeCatalogue(std::string(kSettings) + item("A", "Tools", "C:\\a.exe"));
    form.Form_Load();
    form.Form_Construct();
    const ListEntry& e = form.state().lstViewA[0].entries.at(0);
    EXPECT_FALSE(e.selected);
    EXPECT_EQ(e.left, 3);
    EXPECT_EQ(e.topOffset, 3); // not 6: entries are made anew by every build
    EXPECT_EQ(e.largePicture, 2);
    EXPECT_EQ(e.smallPicture, 2);
}

TEST_F(MenuBuild, TargetsThatCannotBeOpenedAreRedWhateverTheSkin) {
    desk.files.insert("C:\\ok.txt");
    desk.directories.insert("C:\\folder");
    writeSkin("[COLORS]\n");
    writeCatalogue(std::string(kSettings) + item("Ok", "Tools", "C:\\ok.txt") +
                   item("Missing", "Tools", "C:\\nope.exe") +
                   item("Folder", "Tools", "C:\\folder") + item("Empty", "Tools", ""));
    const auto& s = built();
    const auto& entries = s.lstViewA[0].entries;
    ASSERT_EQ(entries.size(), 4u);
    const bool expectedRed[] = {false, true, true, true};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[i].red, expectedRed[i]) << entries[i].text;
        EXPECT_EQ(s.menuItems[i + 2].TargetMissing, expectedRed[i] ? 1 : 0) << entries[i].text;
    }
    EXPECT_EQ(s.lstViewA[0].foreColour, 0); // empty skin: black text, red stays red
}

TEST_F(MenuBuild, PlacementStandsTheWindowOnTheTaskbar) {
    struct Case {
        Rect taskbar;
        std::int32_t screenHeight;
        std::int32_t top;
        std::int16_t topPixels;
    };
    const Case cases[] = {
        {{0, 738, 1024, 768}, 768, 2775, 185}, // 11520 - 8295 - 450; 768 - 553 - 30
        {{0, 0, 0, 0}, 768, 3225, 215},        // no taskbar: on the screen's bottom edge
        {{0, 1040, 1920, 1080}, 1080, 16200 - 8295 - 600, 1080 - 553 - 40},
    };
    writeCatalogue(kSettings);
    for (const Case& c : cases) {
        desk.taskbar = c.taskbar;
        desk.metrics.heightPixels = c.screenHeight;
        form.Form_Construct();
        const auto& s = form.state();
        EXPECT_EQ(s.left, 0);
        EXPECT_EQ(s.top, c.top);
        EXPECT_EQ(s.menuTopPixels, c.topPixels);
        EXPECT_TRUE(s.topmost);
        EXPECT_FALSE(s.visible); // a build never shows the window
    }
}

TEST_F(MenuBuild, MenuTopPixelsRoundsTiesToEven) {
    struct Case {
        ScreenMetrics screen;
        std::int32_t top;
        std::int16_t topPixels;
    };
    const Case cases[] = {
        {{1024, 1000, 10.0, 10.0}, 10000 - 8295, 170}, // 170.5
        {{1024, 1001, 10.0, 10.0}, 10010 - 8295, 172}, // 171.5
        {{1024, 800, 12.0, 12.0}, 9600 - 8295, 109},   // 108.75
        {{1024, 1024, 7.5, 7.5}, 7680 - 8295, -82},    // taller than the screen
    };
    desk.taskbar = Rect{};
    writeCatalogue(kSettings);
    for (const Case& c : cases) {
        desk.metrics = c.screen;
        form.Form_Construct();
        EXPECT_EQ(form.state().menuTopPixels, c.topPixels) << c.screen.heightPixels;
        EXPECT_EQ(form.state().top, c.top) << c.screen.heightPixels;
    }
}

TEST_F(MenuBuild, HeightOffsetSetsListsContainersWindowAndPanel) {
    struct Case {
        const char* offset;
        std::int32_t list;
        std::int32_t window;
        std::int32_t panelPixels;
    };
    const Case cases[] = {
        {"150", 7605, 8445, 679},
        {"0", 7455, 8295, 529},
        {"-60", 7395, 8235, 529}, // a negative offset leaves the panel as designed
        {"", 7455, 8295, 529},
    };
    for (const Case& c : cases) {
        frmVelora fresh(desk);
        writeCatalogue(std::string("[Window]\nheightOffset=") + c.offset + "\n" +
                       item("A", "Tools"));
        fresh.Form_Load();
        const auto& s = fresh.state();
        ASSERT_FALSE(s.lastBuildFailed) << s.lastBuildError.description;
        for (std::size_t k = 0; k < 4; ++k) {
            EXPECT_EQ(s.lstViewA[k].height, c.list) << c.offset;
            EXPECT_EQ(s.cont[k].height, c.list) << c.offset;
        }
        EXPECT_EQ(s.height, c.window) << c.offset;
        EXPECT_EQ(s.pbVLMHeightPixels, c.panelPixels) << c.offset;
        EXPECT_EQ(s.pbVLM.height, c.panelPixels * 15) << c.offset;
    }
}

TEST_F(MenuBuild, PlacementUsesTheHeightOfThePreviousBuild) {
    writeCatalogue("[Window]\nheightOffset=150\n");
    form.Form_Construct();
    EXPECT_EQ(form.state().top, 2775); // placed at 8295, then made 8445 high
    form.Form_Construct();
    EXPECT_EQ(form.state().top, 11520 - 8445 - 450);
    EXPECT_EQ(form.state().menuTopPixels, 175);
}

TEST_F(MenuBuild, ApplyHeightOffsetOverflowChangesNothing) {
    writeCatalogue(kSettings);
    form.Form_Construct();
    const auto before = form.state();
    for (const std::int32_t o : {25313, -40224, 2147483647}) {
        EXPECT_THROW(form.applyHeightOffset(o), RuntimeError) << o;
        EXPECT_EQ(form.state().height, before.height);
        EXPECT_EQ(form.state().lstViewA[2].height, before.lstViewA[2].height);
        EXPECT_EQ(form.state().pbVLMHeightPixels, before.pbVLMHeightPixels);
    }
    form.applyHeightOffset(25312); // 32767, the largest list height
    EXPECT_EQ(form.state().lstViewA[3].height, 32767);
}

TEST_F(MenuBuild, FailuresStopTheBuildWhereTheyHappenAndKeepWhatWasDone) {
    desk.addExe("C:\\a.exe", 0xFF0000FFu);
    const std::string good = std::string(kSettings) + item("A", "Tools", "C:\\a.exe");
    writeCatalogue(good);
    form.Form_Load();
    ASSERT_FALSE(form.state().lastBuildFailed);

    // Catalogue missing: the lists were emptied, nothing else happened.
    std::filesystem::remove(std::filesystem::u8path(catalogue::cataloguePath()));
    EXPECT_FALSE(form.Form_Construct());
    EXPECT_EQ(form.state().lastBuildError.number, errnum::FileNotFound);
    EXPECT_TRUE(form.state().lstViewA[0].entries.empty());
    EXPECT_FALSE(form.state().lstViewA[0].imageListsAttached);
    EXPECT_EQ(form.state().heightOffset, 0);

    // The next good build recovers completely.
    writeCatalogue(good);
    EXPECT_TRUE(form.Form_Construct());
    EXPECT_EQ(form.state().lastBuildError.number, 0);
    EXPECT_EQ(form.state().lstViewA[0].entries.size(), 1u);
}

TEST_F(MenuBuild, MissingFallbackPictureStopsBeforeAnyItem) {
    writeCatalogue(std::string(kSettings) + item("A", "Tools"));
    desk.pictures.erase(own(catalogue::kFallbackIconFile));
    EXPECT_FALSE(form.Form_Construct());
    EXPECT_EQ(form.state().lastBuildError.number, errnum::FileNotFound);
    EXPECT_TRUE(form.state().lstViewA[0].entries.empty());
    EXPECT_EQ(form.state().vlImgList.count(), form.state().vlImgListSmall.count());

    desk.addCorruptPicture(own(catalogue::kFallbackIconFile));
    EXPECT_FALSE(form.Form_Construct());
    EXPECT_EQ(form.state().lastBuildError.number, errnum::InvalidPicture);
}

TEST_F(MenuBuild, BadBackgroundBitmapStopsAfterTheListsWereFilledAndPlaced) {
    writeSkin("[COLORS]\nLIST_BOX_BG=123456\n");
    writeCatalogue("[Window]\nheightOffset=150\n" + item("A", "Tools"));
    for (const bool corrupt : {false, true}) {
        frmVelora fresh(desk);
        if (corrupt) {
            desk.addCorruptPicture(own(catalogue::kSkinBackgroundFile));
        } else {
            desk.pictures.erase(own(catalogue::kSkinBackgroundFile));
        }
        EXPECT_FALSE(fresh.Form_Construct());
        const auto& s = fresh.state();
        EXPECT_EQ(s.lastBuildError.number, corrupt ? errnum::InvalidPicture : errnum::FileNotFound);
        EXPECT_EQ(s.lstViewA[0].entries.size(), 1u);
        EXPECT_EQ(s.top, 2775);
        EXPECT_EQ(s.lstViewA[0].backColour, ControlState{}.backColour); // no colour applied
        EXPECT_EQ(s.lstViewA[0].height, 7455 + 10);                     // no height offset
        EXPECT_EQ(s.height, 8295);
        EXPECT_TRUE(s.pbVLMPicture.empty());
    }
}

TEST_F(MenuBuild, HeightOffsetOverflowFailsAtTheLastStep) {
    writeCatalogue("[Window]\nheightOffset=30000\n" + item("A", "Tools"));
    EXPECT_FALSE(form.Form_Construct());
    const auto& s = form.state();
    EXPECT_EQ(s.lastBuildError.number, errnum::Overflow);
    EXPECT_EQ(s.lstViewA[0].entries.size(), 1u);
    EXPECT_EQ(s.lstViewA[0].backColour, 0xFFFFFF); // the skin ran
    EXPECT_EQ(s.heightOffset, 30000);

    writeCatalogue("[Window]\nheightOffset=99999999999\n" + item("A", "Tools"));
    EXPECT_FALSE(form.Form_Construct());
    EXPECT_EQ(form.state().lastBuildError.number, errnum::Overflow);
}

TEST_F(MenuBuild, SmallIconSizeIsHeldToAUsableRange) {
    struct Case {
        const char* width;
        const char* height;
        std::int16_t readWidth;
        std::int32_t usedWidth;
        std::int32_t usedHeight;
    };
    const Case cases[] = {
        {"16", "16", 16, 16, 16}, {"24", "20", 24, 24, 20},         {"0", "0", 0, 16, 16},
        {"-5", "-1", -5, 16, 16}, {"1000", "1000", 1000, 256, 256}, {"", "", 0, 16, 16},
    };
    desk.addExe("C:\\a.exe", 0xFF0000FFu);
    for (const Case& c : cases) {
        writeCatalogue(std::string("[SmallIconSize]\nWidth=") + c.width + "\nHeight=" + c.height +
                       "\n" + item("A", "Tools", "C:\\a.exe"));
        ASSERT_TRUE(form.Form_Construct()) << form.state().lastBuildError.description;
        const auto& s = form.state();
        EXPECT_EQ(s.smallIconWidth, c.readWidth);
        EXPECT_EQ(s.vlImgListSmall.imageWidth, c.usedWidth);
        EXPECT_EQ(s.vlImgListSmall.imageHeight, c.usedHeight);
        ASSERT_EQ(s.vlImgListSmall.count(), 2);
        EXPECT_EQ(s.vlImgListSmall.strip.size(),
                  2u * static_cast<std::size_t>(c.usedWidth * c.usedHeight));
    }
    writeCatalogue("[SmallIconSize]\nWidth=40000\nHeight=16\n" + item("A", "Tools"));
    EXPECT_FALSE(form.Form_Construct());
    EXPECT_EQ(form.state().lastBuildError.number, errnum::Overflow);
    EXPECT_TRUE(form.state().lstViewA[0].entries.empty());
}

TEST_F(MenuBuild, SkinColoursLandOnTheirControls) {
    writeSkin("[COLORS]\nHEAD_BAR_BG=0x800000\nHEAD_BAR_FG=000001\nMENU_FG=000002\n"
              "MENU_BG=40FFFF\nLIST_BOX_ERR=000004\nLIST_BOX_BG=000005\nLIST_BOX_FG=000006\n"
              "BUTTON_BG=000007\nEDIT_MENU_FG=00FF00\n");
    writeCatalogue(kSettings);
    const auto& s = built();
    EXPECT_EQ(s.shpHead.backColour, 0x800000);
    EXPECT_EQ(s.lblMenuHeadline.backColour, 0x800000);
    EXPECT_EQ(s.lblItemEditHeadline.backColour, 0x800000);
    EXPECT_EQ(s.lblHeadline.foreColour, 1);
    EXPECT_EQ(s.lblMenuHeadline.foreColour, 1);
    EXPECT_EQ(s.lblItemEditHeadline.foreColour, 1);
    for (const auto& c : s.lblContHead) {
        EXPECT_EQ(c.foreColour, 1);
    }
    for (const auto& c : s.lblMenu) {
        EXPECT_EQ(c.foreColour, 2);
        EXPECT_EQ(c.backColour, 0x40FFFF);
        EXPECT_TRUE(c.transparent);
    }
    EXPECT_FALSE(s.menuHoverIndex.has_value());
    EXPECT_EQ(s.listBoxErrColor, 4);
    for (const auto& l : s.lstViewA) {
        EXPECT_EQ(l.backColour, 5);
        EXPECT_EQ(l.foreColour, 6);
    }
    for (const auto& t : s.txtEditItem) {
        EXPECT_EQ(t.backColour, 5);
        EXPECT_EQ(t.foreColour, 6);
    }
    EXPECT_EQ(s.tmpPicBox.backColour, 5);
    EXPECT_EQ(s.tmpPicBoxSmall.backColour, 5);
    EXPECT_EQ(s.tmpPBtp.backColour, 5);
    EXPECT_EQ(s.listBoxForeColor, 6);
    EXPECT_EQ(s.cmdOK.backColour, 7);
    EXPECT_EQ(s.cmdAbort.backColour, 7);
    for (const auto& l : s.lblEditMenu) {
        EXPECT_EQ(l.foreColour, 0x00FF00); // 00FF00 reads back negative: taken as written
    }
}

TEST_F(MenuBuild, OddColourValuesNeverFailTheBuild) {
    writeSkin("[COLORS]\nHEAD_BAR_BG=FF123456\nLIST_BOX_BG=80000005\nLIST_BOX_FG=zz\n"
              "MENU_FG=FFFFFFFFFF\n");
    writeCatalogue(kSettings);
    const auto& s = built();
    EXPECT_FALSE(s.lastBuildFailed) << s.lastBuildError.description;
    EXPECT_EQ(s.shpHead.backColour, 0x123456);
    EXPECT_EQ(s.lstViewA[0].backColour, desk.systemColours.at(5));
    EXPECT_EQ(s.listBoxForeColor, 0);
}

// Every skin colour is resolved once, when the skin is applied; the lists and the pictures
// drawn over the list colour then show the same colour.
TEST_F(MenuBuild, SkinColoursAreResolvedOnceForControlsAndPictures) {
    struct Row {
        const char* rule;
        const char* text;
        Colour shown;
    };
    const Row rows[] = {
        {"ordinary colour unchanged", "123456", 0x123456},
        {"short negative value keeps its low 16 bits", "00FF00", 0x00FF00},
        {"high byte other than 0x80 dropped", "7F00FF00", 0x00FF00},
        {"system colour from the platform", "80000005", desk.systemColours.at(5)},
        {"last system colour from the platform", "8000001E", desk.systemColours.at(30)},
        {"system colour the platform lacks is black", "80000019", kColourBlack},
        {"index beyond every system colour is black", "800000FF", kColourBlack},
        {"index in the middle bytes is black", "80000105", kColourBlack},
    };
    desk.addExe("C:\\p.exe", 0x00000000u); // fully transparent: the scratch colour shows
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rule);
        writeSkin(std::string("[COLORS]\nLIST_BOX_BG=") + r.text + "\nMENU_FG=" + r.text + "\n");
        writeCatalogue(std::string(kSettings) + item("P", "Tools", "C:\\p.exe"));
        ASSERT_TRUE(form.Form_Construct()) << form.state().lastBuildError.description;
        // The scratch pictures take the colour at the end of a build: drawn over by the next.
        ASSERT_TRUE(form.Form_Construct()) << form.state().lastBuildError.description;
        const auto& s = form.state();
        EXPECT_EQ(s.lstViewA[0].backColour, r.shown);
        EXPECT_EQ(s.txtEditItem[0].backColour, r.shown);
        EXPECT_EQ(s.lblMenu[0].foreColour, r.shown);
        EXPECT_EQ(s.tmpPicBox.backColour, r.shown);
        ASSERT_EQ(s.vlImgListSmall.count(), 2);
        EXPECT_EQ(s.vlImgListSmall.image(1).at(3, 3), toArgb(r.shown));
        EXPECT_EQ(s.vlImgList.image(1).at(3, 3), toArgb(r.shown));
    }
}

TEST(ShownColour, ResolvesThroughTheDesktopOnlyForSystemColours) {
    struct Row {
        const char* rule;
        Colour in;
        Colour out;
        std::vector<std::int32_t> asked;
    };
    FakeDesktop fake;
    const Row rows[] = {
        {"plain colour", 0x00ABCDEF, 0x00ABCDEF, {}},
        {"short negative", -256, 0x00FF00, {}},
        {"negative beyond 16 bits keeps three bytes",
         static_cast<Colour>(0xFF123456u),
         0x123456,
         {}},
        {"window background", static_cast<Colour>(0x80000005u), fake.systemColours.at(5), {5}},
        {"first system colour", static_cast<Colour>(0x80000000u), fake.systemColours.at(0), {0}},
        {"unknown to the platform", static_cast<Colour>(0x80000007u), kColourBlack, {7}},
        {"beyond the last index, not asked", static_cast<Colour>(0x8000001Fu), kColourBlack, {}},
        {"index in the high bytes, not asked", static_cast<Colour>(0x80FF0005u), kColourBlack, {}},
    };
    for (const Row& r : rows) {
        fake.systemColoursAsked.clear();
        EXPECT_EQ(shownColour(fake, r.in), r.out) << r.rule;
        EXPECT_EQ(fake.systemColoursAsked, r.asked) << r.rule;
    }
    // A platform answer with a high byte is still a plain colour.
    fake.systemColours[8] = static_cast<Colour>(0xFF102030u);
    EXPECT_EQ(shownColour(fake, static_cast<Colour>(0x80000008u)), 0x102030);
}

TEST_F(MenuBuild, MissingSkinFileGivesBlackEverywhere) {
    std::filesystem::remove(std::filesystem::u8path(catalogue::skinPath()));
    writeCatalogue(std::string(kSettings) + item("Missing", "Tools", "C:\\nope"));
    const auto& s = built();
    EXPECT_FALSE(s.lastBuildFailed);
    EXPECT_EQ(s.lstViewA[0].backColour, 0);
    EXPECT_EQ(s.lstViewA[0].foreColour, 0);
    EXPECT_EQ(s.shpHead.backColour, 0);
    EXPECT_TRUE(s.lstViewA[0].entries.at(0).red);
}

TEST_F(MenuBuild, BackgroundBitmapIsKeptUnscaledAtMostPanelWide) {
    desk.addPicture(own(catalogue::kSkinBackgroundFile), 10000, 10000, 0xFF445566u);
    writeCatalogue(kSettings);
    const auto& s = built();
    ASSERT_FALSE(s.lastBuildFailed);
    EXPECT_EQ(s.pbVLMPicture.width, 573); // 8595 twips at 15 twips per pixel
    EXPECT_EQ(s.pbVLMPicture.height, 768);
    EXPECT_EQ(s.pbVLMPicture.at(0, 0), 0xFF445566u);
}

TEST_F(MenuBuild, ABuildRequestedDuringABuildRunsAfterItNotInsideIt) {
    desk.addExe("C:\\a.exe", 0xFF0000FFu);
    writeCatalogue(std::string(kSettings) + item("A", "Tools", "C:\\a.exe") +
                   item("B", "Tools", "C:\\a.exe"));
    int nested = 0;
    desk.onLoadPicture = [&] {
        if (nested++ == 0) {
            form.Form_Construct(); // as if an event ran in the middle of the build
            // The running build is untouched by the request.
            EXPECT_EQ(form.state().buildCount, 0);
        }
    };
    EXPECT_TRUE(form.Form_Construct());
    const auto& s = form.state();
    EXPECT_EQ(s.buildCount, 2);
    EXPECT_EQ(keysOf(s.lstViewA[0]), (Keys{"ID 2", "ID 3"}));
    EXPECT_EQ(s.vlImgList.count(), 3);
    EXPECT_EQ(s.vlImgListSmall.count(), 3);
}

TEST_F(MenuBuild, FiveThousandItemsBuildWithListsInStep) {
    desk.addExe("C:\\a.exe", 0xFF0000FFu);
    std::string text = kSettings;
    for (int i = 0; i < 5000; ++i) {
        text +=
            item("I" + std::to_string(i), catalogue::kGroupNames[static_cast<std::size_t>(i % 4)],
                 i % 2 == 0 ? "C:\\a.exe" : "C:\\missing");
    }
    writeCatalogue(text);
    const auto& s = built();
    ASSERT_FALSE(s.lastBuildFailed) << s.lastBuildError.description;
    EXPECT_EQ(s.vlImgList.count(), 2501);
    EXPECT_EQ(s.vlImgListSmall.count(), 2501);
    std::size_t entries = 0;
    for (const auto& l : s.lstViewA) {
        entries += l.entries.size();
    }
    EXPECT_EQ(entries, 5000u);
    EXPECT_EQ(s.lstViewA[3].entries.back().key, "ID 5001");
}

} // namespace
} // namespace kesk::test

namespace kesk::test {
namespace {

TEST_F(MenuBuild, TheHotkeyComesFromTheWindowSectionAndIsHeardAfterEveryBuild) {
    struct Row {
        const char* rule;
        const char* window;
        const char* heard;
    };
    const Row rows[] = {
        {"no Hotkey key: the default", "[Window]\nheightOffset=0\n", "Ctrl+Alt+Space"},
        {"an empty value: none", "[Window]\nHotkey=\n", ""},
        {"a combination as written", "[Window]\nHotkey=Win+K\n", "Win+K"},
        {"the key in any letter case, spaces around", "[Window]\n hotKEY = Ctrl+F9 \n", "Ctrl+F9"},
        {"a Hotkey in another section does not count", "[Window]\n[Other]\nHotkey=Win+K\n",
         "Ctrl+Alt+Space"},
    };
    for (const Row& r : rows) {
        writeCatalogue(std::string(r.window) + item("A", "Tools"));
        frmVelora menu{desk};
        std::vector<std::string> heard;
        menu.setHotkeyReport([&](const std::string& c) { heard.push_back(c); });
        menu.Form_Load();
        menu.Form_Construct();
        EXPECT_EQ(heard, (std::vector<std::string>{r.heard, r.heard})) << r.rule;
    }
}

} // namespace
} // namespace kesk::test
