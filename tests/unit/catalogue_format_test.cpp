// The catalogue's and the skin's formats: entry keys, groups, file paths, colours.

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "settings/clsINIFile.h"
#include "support/errors.h"
#include "unit/menu_fixture.h"

namespace kesk::test {
namespace {

using namespace kesk::catalogue;

TEST(CatalogueFormat, EntryKeysCarryALeadingBlankForNonNegativeIndices) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "ID 0"}, {7, "ID 7"}, {12, "ID 12"}, {32767, "ID 32767"}, {-1, "ID-1"}};
    for (const auto& [index, key] : cases) {
        EXPECT_EQ(entryKey(index), key);
        EXPECT_EQ(entryIndex(key), index) << key;
    }
}

TEST(CatalogueFormat, EntryIndexReadsTheNumberBehindTheFirstTwoCharacters) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"ID 3", 3},   {"XY 3", 3}, {"ID   42", 42}, {"ID 3x", 3}, {"ID 2.5", 2},
        {"ID 3.5", 4}, {"ID", 0},   {"", 0},         {"I", 0},     {"ID abc", 0},
    };
    for (const auto& [key, index] : cases) {
        EXPECT_EQ(entryIndex(key), index) << key;
    }
    EXPECT_THROW(entryIndex("ID 99999999999"), RuntimeError);
}

TEST(CatalogueFormat, GroupsAreComparedExactly) {
    const std::pair<const char*, int> cases[] = {
        {"Tools", 0},  {"Applications", 1}, {"Documents", 2}, {"Scripts", 3}, {"tools", -1},
        {"TOOLS", -1}, {"Tools ", -1},      {"", -1},         {"Games", -1},
    };
    for (const auto& [group, index] : cases) {
        EXPECT_EQ(groupIndex(group), index) << group;
    }
    EXPECT_FALSE(isItemSection(""));
    EXPECT_TRUE(isItemSection("tools"));
}

TEST(CatalogueFormat, OwnFilesLieInTheProgramDirectory) {
    app::overrideForTests("C:\\Programs\\Kesk", "KeskVLM");
    const std::string catalogue = cataloguePath();
    const std::string skin = skinPath();
    const std::string background = ownFilePath(kSkinBackgroundFile);
    app::overrideForTests("", "");
#ifdef _WIN32
    EXPECT_EQ(catalogue, "C:\\Programs\\Kesk\\velora.ini");
    EXPECT_EQ(skin, "C:\\Programs\\Kesk\\skin\\skin.ini");
    EXPECT_EQ(background, "C:\\Programs\\Kesk\\skin\\Velora_BG.bmp");
#else
    // Only the appended part changes its separators; the directory is left as given.
    EXPECT_EQ(catalogue, "C:\\Programs\\Kesk/velora.ini");
    EXPECT_EQ(skin, "C:\\Programs\\Kesk/skin/skin.ini");
    EXPECT_EQ(background, "C:\\Programs\\Kesk/skin/Velora_BG.bmp");
#endif
}

TEST(CatalogueFormat, DisplayColourRecoversSignExtendedSkinValues) {
    const std::pair<Colour, Colour> cases[] = {
        {0x0000FF, 0x0000FF},
        {-256, 0x00FF00},                             // 00FF00 read back as -256
        {-32768, 0x008000},                           // 8000
        {-1, 0x00FFFF},                               // FFFF
        {static_cast<Colour>(0x80000005u), 0x000005}, // a system colour: not supported
        {static_cast<Colour>(0xFF123456u), 0x123456},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(displayColour(in), out) << in;
    }
    EXPECT_EQ(toArgb(0x0000FF), 0xFFFF0000u); // red
    EXPECT_EQ(toArgb(0xFF0000), 0xFF0000FFu); // blue
    EXPECT_EQ(toColour(0xFF123456u), 0x563412);
}

class SkinColourFile : public MenuFixture {};

TEST_F(SkinColourFile, ColoursAreReadInOrderThroughGetLongFromHex) {
    writeSkin("[COLORS]\nEDIT_MENU_FG=9\nHEAD_BAR_BG=1\nHEAD_BAR_FG=2\nMENU_FG=3\nMENU_BG=4\n"
              "LIST_BOX_ERR=5\nLIST_BOX_BG=6\nLIST_BOX_FG=7\nBUTTON_BG=8\n");
    clsINIFile ini;
    ini.setFilename(skinPath());
    const SkinColours c = readSkinColours(ini);
    for (std::size_t k = 0; k < kSkinColourCount; ++k) {
        EXPECT_EQ(c[k], static_cast<Colour>(k + 1)) << kSkinColourKeys[k];
    }
    EXPECT_EQ(colourOf(c, SkinColour::LIST_BOX_BG), 6);
}

TEST_F(SkinColourFile, AllSpellingsOfAColourAgreeAndMissingOnesAreBlack) {
    const char* spellings[] = {"0x40C040", "40C040", "&H40C040", "&h40c040", "0X40c040"};
    for (const char* text : spellings) {
        writeSkin(std::string("[COLORS]\nHEAD_BAR_BG=") + text + "\nMENU_BG=00FF00\n");
        clsINIFile ini;
        ini.setFilename(skinPath());
        const SkinColours c = readSkinColours(ini);
        EXPECT_EQ(colourOf(c, SkinColour::HEAD_BAR_BG), 0x40C040) << text;
        EXPECT_EQ(colourOf(c, SkinColour::MENU_BG), -256);
        EXPECT_EQ(colourOf(c, SkinColour::BUTTON_BG), 0);
    }
    clsINIFile missing;
    missing.setFilename(ownFilePath("\\skin\\nothing.ini"));
    EXPECT_EQ(readSkinColours(missing), SkinColours{});
}

} // namespace
} // namespace kesk::test
