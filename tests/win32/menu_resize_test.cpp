// The menu window's height and auto-hide on a real desktop: mouse messages on the headline,
// the real pointer, the real timer.
#include "win32/menu_view.h"

#include "settings/clsINIFile.h"
#include "support/appinfo.h"
#include "win32/desktop_test_pictures.h"
#include "win32/desktop_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>

namespace kesk::test {
namespace {

namespace fs = std::filesystem;

// Runs this thread's messages until `done` or `ms` have passed; whether `done` came true.
template <class P> bool pumpUntil(P done, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE) != 0) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        if (done()) {
            return true;
        }
        if (GetTickCount64() >= end) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}
void pumpFor(DWORD ms) {
    pumpUntil([] { return false; }, ms);
}

LPARAM clientPoint(HWND hwnd, POINT screen) {
    ScreenToClient(hwnd, &screen);
    return MAKELPARAM(static_cast<WORD>(screen.x), static_cast<WORD>(screen.y));
}

class MenuResizeView : public ::testing::Test {
  protected:
    ComScope com;
    TempDir dir{"menuresize"};
    win::Win32Desktop desk;
    frmVelora presenter{desk};
    win::MenuView view{presenter};
    RECT taskbar{};

    void SetUp() override {
        fs::create_directories(dir / "skin");
        fs::copy_file(fs::path(KESK_RESOURCES_DIR) / "notFound.ico", dir / "notFound.ico");
        writeBytes(dir / "skin" / "Velora_BG.bmp",
                   makeBmp24(8, 8, [](int, int) { return 0x404040u; }));
        writeBytes(dir / "skin" / "skin.ini", Bytes{'[', 'C', 'O', 'L', 'O', 'R', 'S', ']'});
        writeBytes(dir / "velora.ini", Bytes{'[', 'W', 'i', 'n', 'd', 'o', 'w', ']', '\r', '\n'});
        app::overrideForTests(u8(dir.path()), "KeskVLM");
        HWND tray = FindWindowW(L"Shell_TrayWnd", L"");
        ASSERT_NE(tray, nullptr) << "needs a desktop with a taskbar";
        GetWindowRect(tray, &taskbar);
        ASSERT_TRUE(view.create());
        view.load();
        ASSERT_FALSE(presenter.state().lastBuildFailed) << presenter.state().lastBuildError.number;
        ASSERT_EQ(win::dpiOf(view.hwnd()), 96u) << "the figures below are for 96 dpi";
    }
    void TearDown() override { app::overrideForTests("", ""); }

    void show() {
        presenter.Show();
        view.render();
        UpdateWindow(view.hwnd());
        pumpFor(20);
    }
    RECT windowRect() const {
        RECT r{};
        GetWindowRect(view.hwnd(), &r);
        return r;
    }
    POINT headlineMiddle() const {
        const RECT h = view.headlineRect();
        POINT p{(h.left + h.right) / 2, (h.top + h.bottom) / 2};
        ClientToScreen(view.hwnd(), &p);
        return p;
    }
    // Wine may take a moment until GetCursorPos reports a SetCursorPos.
    static void pointerTo(POINT to) {
        SetCursorPos(to.x, to.y);
        pumpUntil(
            [&] {
                POINT now{};
                GetCursorPos(&now);
                return now.x == to.x && now.y == to.y;
            },
            500);
    }
    // The pointer goes to `to`, then the window hears of a move with these buttons held. Sent,
    // not posted: each step is handled before the next, however busy the machine.
    void moveTo(POINT to, WPARAM keys) {
        pointerTo(to);
        SendMessageW(view.hwnd(), WM_MOUSEMOVE, keys, clientPoint(view.hwnd(), to));
        pumpFor(30);
    }
    std::string storedOffset() {
        clsINIFile ini;
        ini.setFilename(u8(dir / "velora.ini"));
        return ini.getString("Window", "heightOffset");
    }
};

TEST_F(MenuResizeView, DraggingTheHeadlineResizesWithTheBottomOnTheTaskbar) {
    show();
    const RECT placed = windowRect();
    POINT p = headlineMiddle();
    pointerTo(p);
    PostMessageW(view.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, clientPoint(view.hwnd(), p));
    moveTo(p, MK_LBUTTON);
    const RECT start = windowRect();
    EXPECT_EQ(start.top, placed.top) << "the headline is where the pointer holds it";
    const std::int32_t startHeight = presenter.state().height;
    EXPECT_EQ(start.bottom, taskbar.top);

    struct Step {
        int dy;
        int heightChange; // pixels, from the start
    };
    for (const Step s : {Step{-10, 10}, Step{-10, 20}, Step{+20, 0}, Step{+10, -10}}) {
        p.y += s.dy;
        moveTo(p, MK_LBUTTON);
        const RECT r = windowRect();
        EXPECT_EQ(r.bottom - r.top, start.bottom - start.top + s.heightChange);
        EXPECT_EQ(presenter.state().height, startHeight + 15 * s.heightChange);
        EXPECT_EQ(r.bottom, taskbar.top);
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, presenter.state().menuTopPixels);
    }
    // The end of the drag is the headline's, not a click on the bare window.
    PostMessageW(view.hwnd(), WM_LBUTTONUP, 0, clientPoint(view.hwnd(), p));
    pumpFor(30);
    EXPECT_FALSE(presenter.unloadRequested());
    EXPECT_NE(GetCapture(), view.hwnd());
}

TEST_F(MenuResizeView, OtherButtonsOnTheHeadlineDoNotResize) {
    show();
    POINT p = headlineMiddle();
    const RECT start = windowRect();
    for (const WPARAM keys :
         {WPARAM{MK_RBUTTON}, WPARAM{MK_LBUTTON | MK_RBUTTON}, WPARAM{MK_MBUTTON}, WPARAM{0}}) {
        p.y -= 10;
        moveTo(p, keys);
        const RECT r = windowRect();
        EXPECT_EQ(r.top, start.top);
        EXPECT_EQ(r.bottom, start.bottom);
    }
}

TEST_F(MenuResizeView, ThePointerAboveTheMenuHidesItWithinATick) {
    show();
    ASSERT_TRUE(view.mousePosCheckRunning()) << "painting arms the auto-hide";
    const RECT r = windowRect();

    // Over the taskbar, and right of the window within 100 pixels, the menu stays.
    for (const POINT stay : {POINT{10, taskbar.bottom - 3}, POINT{r.right + 90, r.top + 50}}) {
        pointerTo(stay);
        const int ticks = view.mousePosCheckTicks();
        pumpFor(350);
        EXPECT_TRUE(IsWindowVisible(view.hwnd()));
        EXPECT_GE(view.mousePosCheckTicks() - ticks, 1);
    }

    SetCursorPos(10, r.top - 20);
    const ULONGLONG moved = GetTickCount64();
    ASSERT_TRUE(pumpUntil([&] { return IsWindowVisible(view.hwnd()) == FALSE; }, 1000));
    const ULONGLONG took = GetTickCount64() - moved;
    std::cout << "hidden " << took << " ms after the pointer left\n";
    EXPECT_LE(took, 250u); // one 100 ms tick, and room for a loaded machine
    EXPECT_FALSE(view.mousePosCheckRunning());
    EXPECT_FALSE(presenter.state().visible);
}

TEST_F(MenuResizeView, AHiddenMenuHasNoTimerWakeUps) {
    // Seconds per measurement: 1 in the suite; set KESK_MEASURE_SECONDS for the figures.
    DWORD seconds = 1;
    if (const char* env = std::getenv("KESK_MEASURE_SECONDS"); env != nullptr) {
        seconds = static_cast<DWORD>(std::clamp(std::atoi(env), 1, 60));
    }
    show();
    const RECT r = windowRect();
    SetCursorPos(10, r.top + 50);
    int before = view.mousePosCheckTicks();
    pumpFor(seconds * 1000);
    const int visibleTicks = view.mousePosCheckTicks() - before;
    EXPECT_GE(visibleTicks, static_cast<int>(seconds) * 5);

    // Hidden by the auto-hide.
    SetCursorPos(10, r.top - 20);
    ASSERT_TRUE(pumpUntil([&] { return IsWindowVisible(view.hwnd()) == FALSE; }, 1000));
    before = view.mousePosCheckTicks();
    pumpFor(seconds * 1000);
    const int afterAutoHide = view.mousePosCheckTicks() - before;

    // Hidden another way, with the pointer inside the area.
    show();
    SetCursorPos(10, r.top + 50);
    ASSERT_TRUE(view.mousePosCheckRunning());
    ShowWindow(view.hwnd(), SW_HIDE);
    before = view.mousePosCheckTicks();
    pumpFor(seconds * 1000);
    const int afterOtherHide = view.mousePosCheckTicks() - before;

    std::cout << "timer wake-ups in " << seconds << " s: visible " << visibleTicks
              << ", hidden by the auto-hide " << afterAutoHide << ", hidden otherwise "
              << afterOtherHide << "\n";
    EXPECT_EQ(afterAutoHide, 0);
    EXPECT_EQ(afterOtherHide, 0);
    EXPECT_FALSE(view.mousePosCheckRunning());
}

TEST_F(MenuResizeView, AClickOnTheBareWindowUnloadsAndOnlyThere) {
    show();
    int unloads = 0;
    view.onUnloadRequest = [&] {
        ++unloads;
        presenter.Form_Unload();
    };
    // On the headline and on the address label: not the bare window.
    const RECT h = view.headlineRect();
    PostMessageW(view.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM((h.left + h.right) / 2, h.top + 2));
    PostMessageW(view.hwnd(), WM_RBUTTONUP, 0, MAKELPARAM(500, 8));
    pumpFor(50);
    EXPECT_EQ(unloads, 0);
    // Beside them in the head strip, any button.
    PostMessageW(view.hwnd(), WM_RBUTTONUP, 0, MAKELPARAM(565, 20));
    pumpFor(50);
    EXPECT_EQ(unloads, 1);
    PostMessageW(view.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
    pumpFor(50);
    EXPECT_EQ(unloads, 2);
}

TEST_F(MenuResizeView, WithoutAnOwnerTheUnloadStoresTheOffsetAndHides) {
    show();
    POINT p = headlineMiddle();
    PostMessageW(view.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, clientPoint(view.hwnd(), p));
    moveTo(p, MK_LBUTTON);
    p.y -= 10;
    moveTo(p, MK_LBUTTON);
    PostMessageW(view.hwnd(), WM_LBUTTONUP, 0, clientPoint(view.hwnd(), p));
    pumpFor(30);
    const std::int32_t offset = presenter.state().heightOffset;
    EXPECT_EQ(storedOffset(), "");

    PostMessageW(view.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(565, 20));
    ASSERT_TRUE(pumpUntil([&] { return IsWindowVisible(view.hwnd()) == FALSE; }, 500));
    EXPECT_EQ(storedOffset(), std::to_string(offset));
}

} // namespace
} // namespace kesk::test
