// The whole program with a large catalogue, clicked while it starts: the menu shows at once,
// its pictures follow, and clicks made meanwhile are never taken as something else (two of
// them as a double click, which would open the system's start menu).
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/kesk_driver.h"

namespace fs = std::filesystem;
using namespace kesk::driver;

namespace {

// A click without the driver's pause before it: these clicks must land while the program is
// still starting. The pointer is put there first, so the press cannot go where it last was.
void quickClickAt(POINT p) {
    SetCursorPos(p.x, p.y);
    mouse(MOUSEEVENTF_LEFTDOWN, p);
    mouse(MOUSEEVENTF_LEFTUP, p);
}

class StartupClicksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        taskbar = shownTaskbar();
        if (taskbar == nullptr) {
            GTEST_SKIP() << "no taskbar on this desktop";
        }
        shell = processOf(taskbar);
        dir = stageProgram("startup-clicks", KESK_RESOURCES_DIR);
        static const char* const groups[] = {"Tools", "Applications", "Documents", "Scripts"};
        std::ofstream ini(dir / "velora.ini", std::ios::binary | std::ios::trunc);
        ini << "[Window]\r\nheightOffset=0\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n";
        for (int i = 0; i < 3000; ++i) {
            ini << "[Item" << i << "]\r\nName=Notepad " << i
                << "\r\nTarget=C:\\windows\\notepad.exe\r\nParam=\r\nWorkdir=\r\nIcon=\r\nGroup="
                << groups[i % 4] << "\r\n";
        }
    }
    void TearDown() override {
        endProcess(pi);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    bool start() {
        started = GetTickCount64();
        pi = startProcess(quoted(dir / "KeskVLM.exe"), dir);
        return pi.hProcess != nullptr;
    }
    // The button's centre once it is there, and not before 200 ms after the start.
    POINT buttonCentre() {
        HWND button = nullptr;
        waitFor(
            [&] {
                button = topWindow(pi.dwProcessId, kButtonClass, true);
                return button != nullptr && hasArea(button);
            },
            20000);
        const ULONGLONG soonest = started + 200;
        if (GetTickCount64() < soonest) {
            Sleep(static_cast<DWORD>(soonest - GetTickCount64()));
        }
        return centreOf(rectOf(button));
    }
    HWND menu() const { return topWindow(pi.dwProcessId, kMenuClass, true); }
    bool shellMenuShown() const { return topWindow(shell, kPopupMenuClass, true) != nullptr; }

    HWND taskbar = nullptr;
    DWORD shell = 0;
    fs::path dir;
    PROCESS_INFORMATION pi{};
    ULONGLONG started = 0;
};

TEST_F(StartupClicksTest, AClickSoonAfterTheStartShowsTheMenuWithinASecond) {
    ASSERT_TRUE(start());
    const POINT at = buttonCentre();
    quickClickAt(at);
    const ULONGLONG clicked = GetTickCount64();
    ASSERT_TRUE(waitFor([&] { return menu() != nullptr; }, 10000)) << "the menu never showed";
    const ULONGLONG shown = GetTickCount64() - clicked;
    EXPECT_LT(shown, 1000u) << "the menu showed " << shown << " ms after the click";
    EXPECT_FALSE(shellMenuShown());
}

TEST_F(StartupClicksTest, ClicksDuringTheStartNeverOpenTheSystemStartMenu) {
    ASSERT_TRUE(start());
    const POINT at = buttonCentre();
    // Three clicks, each further from the one before than a double click allows.
    std::string seen;
    for (int i = 0; i < 3; ++i) {
        quickClickAt(at);
        Sleep(GetDoubleClickTime() + 100);
        seen += menu() != nullptr ? "shown " : "hidden ";
    }
    // Whatever was queued is through once the program answers.
    DWORD_PTR r = 0;
    HWND main = topWindow(pi.dwProcessId, kButtonClass, true);
    ASSERT_NE(SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &r), 0);
    Sleep(300);
    EXPECT_FALSE(shellMenuShown()) << "a click was taken as a double click";
    EXPECT_NE(menu(), nullptr) << "three clicks leave the menu shown; after each: " << seen;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

} // namespace
