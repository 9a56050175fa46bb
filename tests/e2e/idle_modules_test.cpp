// The whole program at idle holds no picture decoder: once every entry shows its picture, the
// decoders' module (and what it brought in) is gone from the process, also when an item's
// picture needed it, and the items keep their pictures.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/kesk_driver.h"
#include "win32/desktop_test_pictures.h"

namespace fs = std::filesystem;
using namespace kesk::driver;

namespace {

std::string section(const std::string& name, const std::string& target, const std::string& icon) {
    return "[" + name + "]\r\nName=" + name + "\r\nTarget=" + target +
           "\r\nParam=\r\nWorkdir=\r\nIcon=" + icon + "\r\nGroup=Tools\r\n";
}

// Whether every entry of the menu's lists shows a picture, and there are `expected` entries.
bool everyPictureIn(const Program& p, int expected) {
    const HWND menu = p.menu(false);
    if (menu == nullptr) {
        return false;
    }
    RemoteMemory scratch(p.pi.hProcess, sizeof(LVITEMW));
    int total = 0;
    for (HWND list : descendants(menu, WC_LISTVIEWW)) {
        const int n = listCount(list);
        for (int i = 0; i < n; ++i) {
            int image = I_IMAGENONE;
            if (!listItemImage(list, scratch, i, image) || image < 0) {
                return false;
            }
        }
        total += n;
    }
    return total == expected;
}

TEST(IdleModules, NoPictureDecoderStaysLoadedOnceEveryPictureIsIn) {
    if (shownTaskbar() == nullptr) {
        GTEST_SKIP() << "no taskbar on this desktop";
    }
    const fs::path dir = stageProgram("idle-modules", KESK_RESOURCES_DIR);
    // A GIF is read by the decoders alone; the program's own skin and fallback picture are
    // not, and neither is a program's icon.
    kesk::test::writeBytes(dir / "dot.gif", kesk::test::makeGif1x1(0x20A040u));
    std::ofstream(dir / "velora.ini", std::ios::binary | std::ios::trunc)
        << "[Window]\r\nheightOffset=0\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n"
        << section("Dot", "C:\\windows\\notepad.exe", kesk::test::u8(dir / "dot.gif"))
        << section("Pad", "C:\\windows\\notepad.exe", "");
    Program p(dir);
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.ready(30000));

    struct Row {
        const char* rule;
        const wchar_t* module;
    };
    const std::vector<Row> rows = {
        {"the decoders' module is gone", L"windowscodecs.dll"},
        {"and the property store it brought in", L"propsys.dll"},
    };
    ASSERT_TRUE(waitFor([&] { return everyPictureIn(p, 2); }, 60000));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        EXPECT_TRUE(waitFor([&] { return !hasModule(p.pi.hProcess, row.module); }, 30000));
    }
    // The items keep their pictures, and the program is not left without its modules.
    EXPECT_TRUE(everyPictureIn(p, 2));
    EXPECT_TRUE(hasModule(p.pi.hProcess, L"ole32.dll"));
    EXPECT_TRUE(p.responds());
}

} // namespace
