// The taskbar button against the shell around it, driven from outside with real input: the
// system start menu opened from the button and closed again, and a taskbar that shows up
// only after the program has started.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/kesk_driver.h"

namespace fs = std::filesystem;
using namespace kesk::driver;

namespace {

// Set for the copy of this program that runs on a desktop of its own.
constexpr wchar_t kBareDesktopVariable[] = L"KESK_E2E_BARE_DESKTOP";

bool onBareDesktopRun() {
    return GetEnvironmentVariableW(kBareDesktopVariable, nullptr, 0) != 0;
}

// Whether `upper` comes before `lower` in the window order (nearer the top).
bool above(HWND upper, HWND lower) {
    for (HWND w = GetWindow(upper, GW_HWNDNEXT); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == lower) {
            return true;
        }
    }
    return false;
}

class StartMenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        taskbar = shownTaskbar();
        startButton = taskbar != nullptr ? GetWindow(taskbar, GW_CHILD) : nullptr;
        if (taskbar == nullptr || startButton == nullptr || onBareDesktopRun()) {
            GTEST_SKIP() << "no taskbar on this desktop";
        }
    }
    HWND shellMenu() const { return topWindow(processOf(taskbar), kPopupMenuClass, true); }
    HWND taskbar = nullptr;
    HWND startButton = nullptr;
};

TEST_F(StartMenuTest, AfterTheSystemStartMenuTheButtonIsOnTopAgainAndAClickShowsTheMenu) {
    Program p(stageProgram("e2e-start-menu", KESK_RESOURCES_DIR));
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.ready());
    const RECT s = rectOf(startButton);
    ASSERT_TRUE(waitFor([&] {
        const RECT b = rectOf(p.button);
        return GetWindow(p.button, GW_OWNER) == taskbar && EqualRect(&b, &s) != FALSE;
    })) << "the button covers the start button";
    Sleep(300);
    // What the screen shows while the button is on top of the start button.
    const std::vector<COLORREF> covered = screenArea(s);
    const POINT desktop{600, 300};

    struct Route {
        const char* rule;
        std::function<bool()> open;
        // The shell's menu has the keyboard only when the shell is in front: after the tray
        // menu, the user closes it with a click elsewhere.
        bool escapeCloses;
    };
    const Route routes[] = {
        {"a double click on the button", [&] { return xClickAt(p.buttonCentre(), true); }, true},
        {"the tray entry \"Open Windows Start Menu\"", [&] { return p.chooseFromTrayMenu(2); },
         false},
    };
    for (const Route& r : routes) {
        ASSERT_TRUE(r.open()) << r.rule << ": needs xdotool and the tray menu";
        EXPECT_TRUE(waitFor([&] { return shellMenu() != nullptr; }, 5000))
            << r.rule << ": the system start menu opens";
        EXPECT_EQ(p.menu(), nullptr) << r.rule;
        if (r.escapeCloses) {
            key(VK_ESCAPE);
            EXPECT_TRUE(waitFor([&] { return shellMenu() == nullptr; }, 5000)) << r.rule;
        }
        ASSERT_TRUE(xClickAt(desktop)) << r.rule;
        EXPECT_TRUE(waitFor([&] { return shellMenu() == nullptr; }, 5000)) << r.rule;

        EXPECT_TRUE(IsWindowVisible(p.button)) << r.rule;
        EXPECT_TRUE(above(p.button, taskbar)) << r.rule << ": above the taskbar in the order";
        EXPECT_TRUE(waitFor([&] { return screenArea(s) == covered; }, 3000))
            << r.rule << ": the button, not the start button, is what the screen shows";

        ASSERT_TRUE(xClickAt(p.buttonCentre())) << r.rule;
        EXPECT_TRUE(waitFor([&] { return p.menu() != nullptr; }, 5000))
            << r.rule << ": a click on the button shows the menu";
        EXPECT_EQ(shellMenu(), nullptr) << r.rule << ": and not the system start menu";
        ASSERT_TRUE(xClickAt(p.buttonCentre())) << r.rule;
        EXPECT_TRUE(waitFor([&] { return p.menu() == nullptr; }, 5000)) << r.rule;
    }
    EXPECT_TRUE(p.running());
}

// --- A taskbar that shows up late ----------------------------------------------------------------

// Runs only in the copy of this program that LateTaskbar starts on the desktop that Wine
// draws on the display itself, which has no shell: its taskbar stays hidden and empty.
TEST(BareDesktop, TheButtonWaitsInItsOwnPlaceThenCoversATaskbarThatShowsUp) {
    if (!onBareDesktopRun()) {
        GTEST_SKIP() << "runs on a desktop of its own, started by LateTaskbar";
    }
    ASSERT_EQ(shownTaskbar(), nullptr) << "a desktop without a visible taskbar";
    const fs::path fake = exeDir() / "fake_taskbar.exe";
    ASSERT_TRUE(fs::exists(fake)) << "build the helper fake_taskbar";

    Program p(stageProgram("e2e-bare-desktop", KESK_RESOURCES_DIR));
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(waitFor([&] {
        p.main = topWindow(p.pi.dwProcessId, kMainClass);
        p.button = topWindow(p.pi.dwProcessId, kButtonClass, true);
        return p.main != nullptr && p.button != nullptr;
    }));
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_TRUE(waitFor([&] { return rectOf(p.button).bottom == screenHeight; }, 5000))
        << "without a taskbar the button stands at the bottom of the screen";
    EXPECT_EQ(GetWindow(p.button, GW_OWNER), nullptr);

    PROCESS_INFORMATION helper = startProcess(quoted(fake) + L" 60");
    ASSERT_NE(helper.hProcess, nullptr);
    HWND taskbar = nullptr;
    ASSERT_TRUE(waitFor([&] {
        taskbar = shownTaskbar();
        return taskbar != nullptr && processOf(taskbar) == helper.dwProcessId;
    })) << "the helper's taskbar shows";
    HWND startButton = GetWindow(taskbar, GW_CHILD);
    const RECT s = rectOf(startButton);
    EXPECT_TRUE(waitFor(
        [&] {
            const RECT b = rectOf(p.button);
            return GetWindow(p.button, GW_OWNER) == taskbar && EqualRect(&b, &s) != FALSE &&
                   IsWindowVisible(p.button) != FALSE;
        },
        10000))
        << "the button covers the new start button";
    EXPECT_TRUE(IsWindowVisible(p.button));
    // The button covers the start button a moment before its face is taken (uncovered for
    // that moment): the program hands the start button its caption back when it is done.
    EXPECT_TRUE(waitFor([&] { return controlText(startButton) == L"start"; }, 5000))
        << "the button's face was taken";

    clickAt(p.buttonCentre());
    EXPECT_TRUE(waitFor([&] { return p.menu() != nullptr; }, 5000)) << "a click shows the menu";
    EXPECT_EQ(controlText(GetDlgItem(taskbar, 2)), L"clicks 0")
        << "the click went to the button, not to the start button under it";

    PostMessageW(taskbar, WM_CLOSE, 0, 0);
    WaitForSingleObject(helper.hProcess, 5000);
    endProcess(helper);
}

TEST(LateTaskbar, ABareDesktopsButtonCoversATaskbarThatShowsUpAfterTheStart) {
    if (onBareDesktopRun()) {
        GTEST_SKIP() << "this is the copy on the bare desktop";
    }
    const fs::path report = fs::temp_directory_path() / "kesk-bare-desktop.xml";
    const fs::path output = fs::temp_directory_path() / "kesk-bare-desktop.txt";
    std::error_code ec;
    fs::remove(report, ec);

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    std::wstring cmd = quoted(exeDir() / "e2e_tests.exe") +
                       L" --gtest_filter=BareDesktop.* --gtest_output=xml:" + quoted(report);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    // The desktop that Wine draws on the display itself, not the virtual one of this run.
    wchar_t desktop[] = L"WinSta0\\Default";
    si.lpDesktop = desktop;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi{};
    SetEnvironmentVariableW(kBareDesktopVariable, L"1");
    const BOOL started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        exeDir().c_str(), &si, &pi);
    SetEnvironmentVariableW(kBareDesktopVariable, nullptr);
    CloseHandle(out);
    ASSERT_TRUE(started);
    const DWORD waited = WaitForSingleObject(pi.hProcess, 120000);
    endProcess(pi);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << readFile(output);

    const std::string xml = readFile(report);
    EXPECT_NE(xml.find("tests=\"1\""), std::string::npos) << readFile(output);
    EXPECT_NE(xml.find("failures=\"0\""), std::string::npos) << readFile(output);
    EXPECT_NE(xml.find("errors=\"0\""), std::string::npos) << readFile(output);
    EXPECT_EQ(xml.find("result=\"skipped\""), std::string::npos) << readFile(output);
}

} // namespace
