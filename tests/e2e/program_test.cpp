// The whole program on a virtual desktop with a real taskbar, driven from
// outside as a user would: the taskbar button, the tray menu, a second copy,
// the about box and the shut-down.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/kesk_driver.h"

namespace fs = std::filesystem;
using namespace kesk::driver;

namespace {

COLORREF exchangeRedGreen(COLORREF c) {
    return RGB(GetGValue(c), GetRValue(c), GetBValue(c));
}

// The shipped catalogue without its stored height: the shut-down's write is then plain to see.
fs::path stageWithoutHeight(const char* name) {
    const fs::path dir = stageProgram(std::string("program-") + name, KESK_RESOURCES_DIR);
    std::string ini = readFile(dir / "velora.ini");
    const auto at = ini.find("heightOffset=0");
    if (at != std::string::npos) {
        ini.erase(at, ini.find('\n', at) + 1 - at);
    }
    std::ofstream(dir / "velora.ini", std::ios::binary) << ini;
    return dir;
}

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        taskbar = FindWindowW(L"Shell_TrayWnd", L"");
        startButton = taskbar != nullptr ? GetWindow(taskbar, GW_CHILD) : nullptr;
        if (taskbar == nullptr || startButton == nullptr || IsWindowVisible(taskbar) == FALSE) {
            GTEST_SKIP() << "no taskbar on this desktop";
        }
    }
    HWND taskbar = nullptr;
    HWND startButton = nullptr;
};

TEST_F(ProgramTest, TheButtonCoversTheStartButtonWithRedAndGreenExchanged) {
    Program p(stageWithoutHeight("button"));
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.ready());
    // The caption is set back as the attach's last step. An earlier program on
    // this desktop may have left it so already: wait for the button's place too.
    RECT b{}, s{};
    const auto attached = [&] {
        GetWindowRect(p.button, &b);
        GetWindowRect(startButton, &s);
        return textOf(startButton) == L"start" && GetParent(p.button) == taskbar &&
               EqualRect(&b, &s);
    };
    EXPECT_TRUE(waitFor(attached, 5000));
    EXPECT_EQ(textOf(startButton), L"start");
    EXPECT_EQ(GetParent(p.button), taskbar);
    EXPECT_TRUE(EqualRect(&b, &s)) << b.left << "," << b.top << "," << b.right << "," << b.bottom;
    EXPECT_FALSE(IsWindowVisible(p.main));

    Sleep(300);
    const std::vector<COLORREF> shown = screenArea(s);
    ShowWindow(p.button, SW_HIDE);
    Sleep(300);
    const std::vector<COLORREF> system = screenArea(s);
    ShowWindow(p.button, SW_SHOWNA);
    std::size_t same = 0;
    std::size_t coloured = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        same += shown[i] == exchangeRedGreen(system[i]);
        coloured += GetRValue(system[i]) != GetGValue(system[i]);
    }
    // The caption may differ between the copy and the start button as it is now.
    EXPECT_GT(same, shown.size() * 3 / 4);
    if (coloured > 0) {
        EXPECT_NE(shown, system) << "a coloured start button changes colour in the copy";
    }
}

TEST_F(ProgramTest, ClicksShowAndHideTheMenuAndADoubleClickLeavesItHidden) {
    Program p(stageWithoutHeight("clicks"));
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.ready());
    ASSERT_TRUE(waitFor([&] { return p.menu(false) != nullptr; }, 5000))
        << "start-up loads the menu window";
    EXPECT_EQ(p.menu(), nullptr) << "and leaves it hidden";
    clickAt(p.buttonCentre());
    EXPECT_TRUE(waitFor([&] { return p.menu() != nullptr; }, 5000)) << "a click shows the menu";
    clickAt(p.buttonCentre());
    EXPECT_TRUE(waitFor([&] { return p.menu() == nullptr; }, 5000)) << "a second click hides it";

    // The catalogue and the skin vanish while the program runs. Closing the
    // menu window unloads it (its height goes into a new catalogue); the next
    // click loads a fresh one, built from nothing.
    fs::remove(p.dir / "velora.ini");
    fs::remove_all(p.dir / "skin");
    clickAt(p.buttonCentre());
    ASSERT_TRUE(waitFor([&] { return p.menu() != nullptr; }, 5000));
    HWND before = p.menu();
    PostMessageW(before, WM_CLOSE, 0, 0);
    EXPECT_TRUE(waitFor([&] { return p.menu() == nullptr; }, 5000));
    EXPECT_NE(readFile(p.dir / "velora.ini").find("heightOffset=0"), std::string::npos);
    clickAt(p.buttonCentre());
    EXPECT_TRUE(waitFor([&] { return p.menu() != nullptr; }, 5000));
    EXPECT_NE(p.menu(), before) << "a fresh window";
    clickAt(p.buttonCentre());

    // A storm of clicks.
    for (int i = 0; i < 1000; ++i) {
        PostMessageW(p.button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        PostMessageW(p.button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    }
    EXPECT_TRUE(p.responds());
    EXPECT_TRUE(p.running());
    // Posted messages are handled in order: the tray menu comes up once every
    // click is through, and after an even number of them the menu is hidden. Each
    // click that shows the menu paints it, some 30 ms; a slow spell of a shared
    // machine has made the whole storm take over a minute.
    PostMessageW(p.main, kesk::win::msg::kTrayNotify, 1, WM_RBUTTONUP);
    EXPECT_TRUE(waitFor(
        [&] { return topWindow(p.pi.dwProcessId, kPopupMenuClass, true) != nullptr; }, 240000));
    EXPECT_EQ(p.menu(), nullptr);
    key(VK_ESCAPE);
    EXPECT_TRUE(waitFor(
        [&] { return topWindow(p.pi.dwProcessId, kPopupMenuClass, true) == nullptr; }, 5000));

    // A double click opens the system start menu and leaves the menu hidden.
    const DWORD shell = processOf(taskbar);
    clickAt(p.buttonCentre(), true);
    EXPECT_TRUE(waitFor([&] { return topWindow(shell, kPopupMenuClass, true) != nullptr; }, 5000))
        << "the system start menu opened";
    EXPECT_EQ(p.menu(), nullptr) << "a double click leaves the menu hidden";
    EXPECT_TRUE(p.running());
    // The shell's menu has the keyboard only while the shell is in front, which the tray
    // menu above took from it: a click elsewhere closes it.
    clickAt(POINT{600, 300});
    EXPECT_TRUE(waitFor([&] { return topWindow(shell, kPopupMenuClass, true) == nullptr; }, 5000));
}

TEST_F(ProgramTest, ExitFromTheTrayMenuStoresTheHeightRemovesTheIconAndEnds) {
    Program p(stageWithoutHeight("exit"));
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.ready());
    ASSERT_EQ(readFile(p.dir / "velora.ini").find("heightOffset"), std::string::npos);
    HWND main = p.main;
    // "Exit" is the last entry, below the separator.
    ASSERT_TRUE(p.chooseFromTrayMenu(4));
    ASSERT_EQ(WaitForSingleObject(p.pi.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 1234;
    GetExitCodeProcess(p.pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(trayIconPresent(main));
    EXPECT_NE(readFile(p.dir / "velora.ini").find("heightOffset=0"), std::string::npos);
}

TEST_F(ProgramTest, ASecondCopyShowsItsMessageAndEndsWhileTheFirstRunsOn) {
    Program first(stageWithoutHeight("twice"));
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(first.ready());
    Program second(first.dir);
    ASSERT_TRUE(second.start());
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] {
        box = topWindow(second.pi.dwProcessId, kDialogClass, true);
        return box != nullptr;
    }));
    EXPECT_EQ(textOf(box), L"Error");
    EXPECT_EQ(textOf(GetDlgItem(box, 0xFFFF)), L"Sorry, aber KeskVLM ist schon gestartet!");
    EXPECT_EQ(topWindow(second.pi.dwProcessId, kButtonClass), nullptr);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(WaitForSingleObject(second.pi.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(first.running());
    EXPECT_TRUE(first.responds());
    EXPECT_TRUE(trayIconPresent(first.main));
}

TEST_F(ProgramTest, TheAboutBoxShowsItsTextsAndClosesOnAKey) {
    Program p(stageWithoutHeight("about"));
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.ready());
    ASSERT_TRUE(p.chooseFromTrayMenu(3));
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] {
        box = topWindow(p.pi.dwProcessId, kAboutClass, true);
        return box != nullptr;
    }));
    RECT client{};
    GetClientRect(box, &client);
    // 7380 by 4185 twips at 15 twips a pixel.
    EXPECT_EQ(client.right, 492);
    EXPECT_EQ(client.bottom, 279);
    EXPECT_EQ(controlText(FindWindowExW(box, nullptr, L"Edit", nullptr)),
              L"The KeskVLM developers\r\nkeskvlm.example.org");
    // The button waits while the box is open.
    clickAt(p.buttonCentre());
    Sleep(300);
    EXPECT_EQ(p.menu(), nullptr);
    SetForegroundWindow(box);
    key('K');
    EXPECT_TRUE(waitFor([&] { return !IsWindow(box); }, 5000)) << "any key closes the box";
    EXPECT_TRUE(p.running());
}

} // namespace
