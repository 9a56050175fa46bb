// The menu window's height through the real program: a drag on the headline with the real
// mouse, and the height stored when a click on the bare window unloads the menu.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/kesk_driver.h"

namespace fs = std::filesystem;
using namespace kesk::driver;

namespace {

std::wstring storedOffset(const fs::path& catalogue) {
    wchar_t buf[64] = {};
    GetPrivateProfileStringW(L"Window", L"heightOffset", L"", buf, 64, catalogue.c_str());
    return buf;
}

TEST(Resize, DraggingTheHeadlineUpMakesTheMenuTallerAndUnloadStoresIt) {
    const fs::path dir = fs::temp_directory_path() / "kesk-e2e-resize";
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    fs::copy_file(exeDir() / "KeskVLM.exe", dir / "KeskVLM.exe");
    const fs::path res(KESK_RESOURCES_DIR);
    fs::copy_file(res / "notFound.ico", dir / "notFound.ico");
    fs::copy(res / "skin", dir / "skin", fs::copy_options::recursive);
    const fs::path catalogue = dir / "velora.ini";
    std::ofstream(catalogue, std::ios::binary)
        << "[Window]\r\nheightOffset=0\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n";

    HWND tray = FindWindowW(L"Shell_TrayWnd", L"");
    ASSERT_NE(tray, nullptr) << "needs a desktop with a taskbar";
    const RECT taskbar = rectOf(tray);

    Program program(dir);
    ASSERT_TRUE(program.start());
    ASSERT_TRUE(waitFor(
        [&] { return (program.main = topWindow(program.pi.dwProcessId, kMainClass)) != nullptr; },
        15000));
    // The menu shows on a click on the program's taskbar button (or is shown already).
    HWND menu = nullptr;
    const auto menuShown = [&] {
        menu = topWindow(program.pi.dwProcessId, kMenuClass);
        return menu != nullptr && IsWindowVisible(menu) != FALSE;
    };
    if (!waitFor(menuShown, 2000)) {
        HWND button = windowAnywhere(program.pi.dwProcessId, kButtonClass);
        ASSERT_NE(button, nullptr) << "neither the menu nor the taskbar button";
        const RECT b = rectOf(button);
        const POINT middle{(b.left + b.right) / 2, (b.top + b.bottom) / 2};
        mouseSettled(0, middle);
        mouseSettled(MOUSEEVENTF_LEFTDOWN, middle);
        mouseSettled(MOUSEEVENTF_LEFTUP, middle);
        ASSERT_TRUE(waitFor(menuShown, 5000)) << "the menu did not show";
    }
    // Wine has one DPI for every monitor: the screen's is the menu's.
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(dpi, 96) << "the figures below are for 96 dpi";
    const RECT placed = rectOf(menu);
    ASSERT_EQ(placed.bottom, taskbar.top);

    // Press on the middle of the headline (6315 x 375 twips at 60, 30: pixels 4..425, 2..27).
    POINT p{placed.left + 214, placed.top + 14};
    mouseSettled(0, p);
    mouseSettled(MOUSEEVENTF_LEFTDOWN, p);
    mouseSettled(0, {p.x + 1, p.y});
    const RECT held = rectOf(menu);
    p.y -= 10;
    mouseSettled(0, p);
    // The window follows once the program has taken the move; on a busy machine that
    // can be after the pointer is there.
    waitFor([&] { return rectOf(menu).top != held.top; }, 3000);
    const RECT taller = rectOf(menu);
    mouseSettled(MOUSEEVENTF_LEFTUP, p);

    EXPECT_EQ(held.top, placed.top) << "pressing the headline keeps the window where it is";
    EXPECT_EQ(taller.bottom - taller.top, held.bottom - held.top + 10);
    EXPECT_EQ(taller.bottom, taskbar.top) << "the bottom stays on the taskbar";
    EXPECT_EQ(taller.left, 0);
    EXPECT_TRUE(IsWindowVisible(menu)) << "the pointer never left the menu";

    // The offset in twips: the headline's middle one pixel above the pointer, rounded to the
    // even twip, from the window's top as placed.
    const double newTop = 15.0 * (placed.top + 14 - 1) - 187.5;
    const long firstStep = std::lround(std::nearbyint(newTop)) - 15L * placed.top;
    const long expected = 150 - firstStep;
    EXPECT_EQ(storedOffset(catalogue), L"0") << "only unloading stores the height";

    // A click on the bare window beside the address label unloads the menu.
    const POINT bare{taller.left + 565, taller.top + 20};
    mouseSettled(0, bare);
    mouseSettled(MOUSEEVENTF_LEFTDOWN, bare);
    mouseSettled(MOUSEEVENTF_LEFTUP, bare);
    std::wstring stored;
    EXPECT_TRUE(waitFor(
        [&] {
            stored = storedOffset(catalogue);
            return stored == std::to_wstring(expected);
        },
        5000))
        << "expected " << expected << ", stored " << std::stol(L"0" + stored);
    EXPECT_TRUE(waitFor([&] { return !menuShown(); }, 2000));
}

} // namespace
