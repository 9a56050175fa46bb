// The taskbar button's colour exchange and the single-instance name rule.
#include <gtest/gtest.h>

#include "tray/mdGraphics.h"
#include "tray/mdIsExeRunning.h"
#include "tray/mdTrayIcon.h"

namespace kesk {
namespace {

TEST(TraySplitColor, TakesTheThreeLowBytesAndDropsTheHighOne) {
    struct Case {
        Colour in;
        ColorRGB out;
    };
    const Case cases[] = {
        {0x00123456, {0x56, 0x34, 0x12}},
        {0x7F123456, {0x56, 0x34, 0x12}},
        {static_cast<Colour>(0xFFFFFFFFu), {255, 255, 255}},
        {static_cast<Colour>(0x80000000u), {0, 0, 0}},
        {0x000000FF, {255, 0, 0}},
        {0x00FF0000, {0, 0, 255}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(splitColor(c.in), c.out) << std::hex << c.in;
    }
}

TEST(TrayExchangeRedGreen, ExchangesTheChannelsKeepsBlueAndDropsTheHighByte) {
    struct Case {
        Colour in;
        Colour out;
        const char* what;
    };
    const Case cases[] = {
        {0x00808080, 0x00808080, "grey (red = green) stays"},
        {0x0000FF00, 0x000000FF, "green comes out red"},
        {0x000000FF, 0x0000FF00, "red comes out green"},
        {0x00FF0000, 0x00FF0000, "blue is kept"},
        {0x00123456, 0x00125634, "mixed"},
        {static_cast<Colour>(0xFFFFFFFFu), 0x00FFFFFF, "unreadable point is white"},
        {static_cast<Colour>(0x8000FF00u), 0x000000FF, "high byte dropped"},
        {0, 0, "black"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(exchangeRedGreen(c.in), c.out) << c.what;
        // Twice gives the colour back (without its high byte).
        EXPECT_EQ(exchangeRedGreen(exchangeRedGreen(c.in)), c.in & 0x00FFFFFF) << c.what;
    }
}

TEST(TrayCountRunningExe, CountsLowerCasedSubstringMatches) {
    struct Case {
        std::vector<std::string> processes;
        std::string exe;
        int count;
        const char* what;
    };
    const Case cases[] = {
        {{"explorer.exe", "KeskVLM.exe"}, "KeskVLM.exe", 1, "this copy alone"},
        {{"KeskVLM.exe", "KeskVLM.exe"}, "KeskVLM.exe", 2, "a second copy"},
        {{"KeskVLM.exe", "KESKVLM.EXE"}, "KeskVLM.exe", 2, "capitals in the image name"},
        {{"keskvlm.exe"}, "KESKVLM.EXE", 1, "capitals in the given name"},
        {{"KeskVLM.exe", "MyKeskVLM.exe"}, "KeskVLM.exe", 2, "a prefix still matches"},
        {{"KeskVLM.exe", "KeskVLM.exe.old"}, "KeskVLM.exe", 2, "a suffix still matches"},
        {{"KeskVLM.exe", "KeskVLM2.exe"}, "KeskVLM.exe", 1, "another name"},
        {{"KeskVLM.exe", "Kesk.exe"}, "KeskVLM.exe", 1, "a shorter name"},
        {{"Launcher.exe", "KeskVLM.exe"}, "Launcher.exe", 1, "the program renamed"},
        {{}, "KeskVLM.exe", 0, "no process list"},
        {{"KÄSE.exe", "käse.exe"}, "Käse.exe", 2, "letters beyond ASCII"},
        {{"ŁÓDŹ.EXE"}, "łódź.exe", 1, "Latin Extended-A"},
        {{"ПРОГРАММА.EXE"}, "программа.exe", 1, "Cyrillic"},
        {{"\xFF\xFEkeskvlm.exe"}, "KeskVLM.exe", 1, "malformed bytes before the name"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(countRunningExe(c.processes, c.exe), c.count) << c.what;
    }
}

TEST(TrayCountRunningExe, HoldsAtTheTopOfItsRange) {
    const std::vector<std::string> many(40000, "KeskVLM.exe");
    EXPECT_EQ(countRunningExe(many, "KeskVLM.exe"), 32767);
}

TEST(TrayTip, IsTheTitleCutToTheFieldWithoutSplittingACharacter) {
    EXPECT_EQ(trayTip("KeskVLM"), "KeskVLM");
    EXPECT_EQ(trayTip(std::string(70, 'x')), std::string(63, 'x'));
    std::string umlauts;
    for (int i = 0; i < 70; ++i) {
        umlauts += "\xC3\xA4"; // ä
    }
    const std::string tip = trayTip(umlauts);
    EXPECT_EQ(tip.size(), 126u);
    EXPECT_EQ(tip, umlauts.substr(0, 126));
    EXPECT_EQ(trayTip("ab\xE2\x82"), "ab") << "a cut sequence at the end is dropped";
}

TEST(TrayIconRecord, HasIdentifierOneAndMessageIconAndTipFlags) {
    const TrayIconData d = makeTrayIconData(0x1234, 0x8002, 0x99, "KeskVLM");
    EXPECT_EQ(d.hWnd, 0x1234u);
    EXPECT_EQ(d.uID, 1u);
    EXPECT_EQ(d.uFlags, (TrayIconParts{true, true, true}));
    EXPECT_EQ(d.uCallbackMessage, 0x8002u);
    EXPECT_EQ(d.hIcon, 0x99u);
    EXPECT_EQ(d.szTip, "KeskVLM");
}

} // namespace
} // namespace kesk
