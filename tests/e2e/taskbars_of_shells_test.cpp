// The taskbar button and the menu on the window layouts of the shells people use, built by the
// helper fake_shell on a desktop without a shell of its own: the button covers what is seen
// of each start button, and the menu opens beside the taskbar, on whatever edge it stands.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "support/kesk_driver.h"

namespace fs = std::filesystem;
using namespace kesk::driver;

namespace {

// Set for the copy of this program that runs on the desktop without a shell.
constexpr wchar_t kLayoutsVariable[] = L"KESK_E2E_SHELL_LAYOUTS";

bool onLayoutsRun() {
    return GetEnvironmentVariableW(kLayoutsVariable, nullptr, 0) != 0;
}

struct LayoutCase {
    const char* rule;
    const wchar_t* layout;
    const wchar_t* edge;
    int thickness;
};

const LayoutCase kLayouts[] = {
    {"xp, bottom", L"xp", L"bottom", 30},
    {"seven: the orb stands out of the bar", L"seven", L"bottom", 40},
    {"ten, top", L"ten", L"top", 40},
    {"ten, left", L"ten", L"left", 62},
    {"ten, right", L"ten", L"right", 62},
    {"eleven, left-aligned", L"eleven-left", L"bottom", 48},
    {"eleven, centred", L"eleven-centre", L"bottom", 48},
};

struct Listing {
    DWORD pid;
    std::string text;
};

BOOL CALLBACK listWindow(HWND hwnd, LPARAM lp) {
    auto* l = reinterpret_cast<Listing*>(lp);
    if (processOf(hwnd) == l->pid) {
        wchar_t cls[128] = {};
        GetClassNameW(hwnd, cls, 128);
        std::string narrow;
        for (const wchar_t* c = cls; *c != 0; ++c) {
            narrow += static_cast<char>(*c);
        }
        l->text += narrow + (IsWindowVisible(hwnd) != FALSE ? " shown " : " hidden ") +
                   showRect(rectOf(hwnd)) + "; ";
    }
    return TRUE;
}

// The top-level windows of a process, for a failure's message.
std::string windowsOf(DWORD pid) {
    Listing l{pid, {}};
    EnumWindows(listWindow, reinterpret_cast<LPARAM>(&l));
    return l.text;
}

// Runs only in the copy of this program that ShellLayouts starts on a virtual desktop without
// a shell.
TEST(ShellLayoutRows, TheButtonCoversEachStartButtonAndTheMenuStandsBesideItsTaskbar) {
    if (!onLayoutsRun()) {
        GTEST_SKIP() << "runs on a desktop of its own, started by ShellLayouts";
    }
    const fs::path fake = exeDir() / "fake_shell.exe";
    ASSERT_TRUE(fs::exists(fake)) << "build the helper fake_shell";
    int n = 0;
    for (const LayoutCase& c : kLayouts) {
        SCOPED_TRACE(c.rule);
        PROCESS_INFORMATION helper = startProcess(quoted(fake) + L" " + c.layout + L" " + c.edge +
                                                  L" " + std::to_wstring(c.thickness) + L" 60");
        ASSERT_NE(helper.hProcess, nullptr);
        HWND taskbar = nullptr;
        ASSERT_TRUE(waitFor(
            [&] {
                taskbar = topWindow(helper.dwProcessId, L"Shell_TrayWnd", true);
                return taskbar != nullptr;
            },
            30000))
            << "the helper's taskbar shows; its windows: " << windowsOf(helper.dwProcessId);
        RECT start{};
        ASSERT_TRUE(fakeShellStartRect(taskbar, start));
        const RECT bar = rectOf(taskbar);

        {
            Program p(stageProgram("e2e-shell-" + std::to_string(n++), KESK_RESOURCES_DIR));
            ASSERT_TRUE(p.start());
            ASSERT_TRUE(waitFor([&] {
                p.main = topWindow(p.pi.dwProcessId, kMainClass);
                p.button = topWindow(p.pi.dwProcessId, kButtonClass, true);
                return p.main != nullptr && p.button != nullptr;
            }));
            EXPECT_TRUE(waitFor([&] { return shownAt(p.button, start); }, 10000))
                << "the button " << showRect(rectOf(p.button)) << " covers the start button "
                << showRect(start);

            clickAt(p.buttonCentre());
            ASSERT_TRUE(waitFor([&] { return p.menu() != nullptr; }, 5000))
                << "a click shows the menu";
            const RECT m = rectOf(p.menu());
            MONITORINFO info{};
            info.cbSize = sizeof info;
            GetMonitorInfoW(MonitorFromWindow(taskbar, MONITOR_DEFAULTTOPRIMARY), &info);
            // Some window systems report a work area off the monitor; the monitor then counts.
            RECT work{};
            if (IntersectRect(&work, &info.rcWork, &info.rcMonitor) == FALSE) {
                work = info.rcMonitor;
            }
            EXPECT_TRUE(m.left >= work.left && m.top >= work.top && m.right <= work.right &&
                        m.bottom <= work.bottom)
                << "the menu " << showRect(m) << " lies inside the work area " << showRect(work);
            const std::wstring edge = c.edge;
            const bool touches = edge == L"bottom" ? closeTo(m.bottom, bar.top)
                                 : edge == L"top"  ? closeTo(m.top, bar.bottom)
                                 : edge == L"left" ? closeTo(m.left, bar.right)
                                                   : closeTo(m.right, bar.left);
            EXPECT_TRUE(touches) << "the menu " << showRect(m) << " touches the taskbar "
                                 << showRect(bar);
        }
        PostMessageW(taskbar, WM_CLOSE, 0, 0);
        WaitForSingleObject(helper.hProcess, 5000);
        endProcess(helper);
    }
}

// Runs the rows `filter` in a copy of this program on a virtual desktop `desktop` without a
// shell, and checks that all `tests` of them ran and passed.
void runOnDesktopWithoutShell(const std::wstring& desktop, const std::wstring& filter, int tests,
                              DWORD waitMs) {
    const fs::path report = fs::temp_directory_path() / (desktop + L".xml");
    const fs::path output = fs::temp_directory_path() / (desktop + L".txt");
    std::error_code ec;
    fs::remove(report, ec);

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    // A virtual desktop of another name: Wine gives a taskbar only to one named "shell", like
    // the one this run is on.
    std::wstring cmd = L"explorer.exe /desktop=" + desktop + L",1024x768 " +
                       quoted(exeDir() / "e2e_tests.exe") + L" --gtest_filter=" + filter +
                       L" --gtest_output=xml:" + quoted(report);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi{};
    SetEnvironmentVariableW(kLayoutsVariable, L"1");
    const BOOL started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        exeDir().c_str(), &si, &pi);
    SetEnvironmentVariableW(kLayoutsVariable, nullptr);
    CloseHandle(out);
    ASSERT_TRUE(started);
    const DWORD waited = WaitForSingleObject(pi.hProcess, waitMs);
    endProcess(pi);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << readFile(output);

    const std::string xml = readFile(report);
    EXPECT_NE(xml.find("tests=\"" + std::to_string(tests) + "\""), std::string::npos)
        << readFile(output);
    EXPECT_NE(xml.find("failures=\"0\""), std::string::npos) << readFile(output);
    EXPECT_NE(xml.find("errors=\"0\""), std::string::npos) << readFile(output);
    EXPECT_EQ(xml.find("result=\"skipped\""), std::string::npos) << readFile(output);
}

TEST(ShellLayouts, EachShellsLayoutOnADesktopWithoutWinesTaskbar) {
    if (onLayoutsRun()) {
        GTEST_SKIP() << "this is the copy on the desktop without a shell";
    }
    runOnDesktopWithoutShell(L"kesk-layouts", L"ShellLayoutRows.*", 1, 240000);
}

// --- The shell changing while the program runs -------------------------------------------------

PROCESS_INFORMATION startShell(const std::wstring& args) {
    return startProcess(quoted(exeDir() / "fake_shell.exe") + L" " + args);
}

HWND shownShellTaskbar(const PROCESS_INFORMATION& helper) {
    HWND taskbar = nullptr;
    waitFor(
        [&] {
            taskbar = topWindow(helper.dwProcessId, L"Shell_TrayWnd", true);
            return taskbar != nullptr;
        },
        30000);
    return taskbar;
}

void closeShell(PROCESS_INFORMATION& helper, HWND taskbar) {
    PostMessageW(taskbar, WM_CLOSE, 0, 0);
    WaitForSingleObject(helper.hProcess, 5000);
    endProcess(helper);
}

constexpr UINT kSlideMessage = WM_APP + 1; // fake_shell's auto-hide: 0 slides off, 1 back

TEST(ShellChangeRows, TheButtonHidesWithATaskbarThatSlidesOffAndComesBackWithIt) {
    if (!onLayoutsRun()) {
        GTEST_SKIP() << "runs on a desktop of its own, started by ShellChanges";
    }
    PROCESS_INFORMATION helper = startShell(L"ten bottom 40 90");
    ASSERT_NE(helper.hProcess, nullptr);
    HWND taskbar = shownShellTaskbar(helper);
    ASSERT_NE(taskbar, nullptr);
    RECT start{};
    ASSERT_TRUE(fakeShellStartRect(taskbar, start));
    {
        Program p(stageProgram("e2e-autohide", KESK_RESOURCES_DIR));
        ASSERT_TRUE(p.start());
        ASSERT_TRUE(waitFor([&] {
            p.main = topWindow(p.pi.dwProcessId, kMainClass);
            p.button = topWindow(p.pi.dwProcessId, kButtonClass, true);
            return shownAt(p.button, start);
        })) << "the button covers the start button";

        struct Step {
            const char* rule;
            WPARAM slide;
            bool shown;
        };
        const Step steps[] = {
            {"the taskbar slid off: the button hides with it", 0, false},
            {"it slid back: the button is back over the start button", 1, true},
            {"off again", 0, false},
            {"and back again", 1, true},
        };
        for (const Step& s : steps) {
            PostMessageW(taskbar, kSlideMessage, s.slide, 0);
            EXPECT_TRUE(waitFor(
                [&] {
                    const bool shown = IsWindowVisible(p.button) != FALSE;
                    return shown == s.shown && (!shown || nearRect(rectOf(p.button), start));
                },
                10000))
                << s.rule << "; the button " << showRect(rectOf(p.button)) << " the taskbar "
                << showRect(rectOf(taskbar));
        }
        EXPECT_TRUE(p.responds());
    }
    closeShell(helper, taskbar);
}

TEST(ShellChangeRows, ANewShellWithAnotherLayoutGetsTheButtonAndTheIcon) {
    if (!onLayoutsRun()) {
        GTEST_SKIP() << "runs on a desktop of its own, started by ShellChanges";
    }
    PROCESS_INFORMATION first = startShell(L"ten bottom 40 90");
    ASSERT_NE(first.hProcess, nullptr);
    HWND taskbar = shownShellTaskbar(first);
    ASSERT_NE(taskbar, nullptr);
    RECT start{};
    ASSERT_TRUE(fakeShellStartRect(taskbar, start));
    Program p(stageProgram("e2e-new-shell", KESK_RESOURCES_DIR));
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(waitFor([&] {
        p.main = topWindow(p.pi.dwProcessId, kMainClass);
        p.button = topWindow(p.pi.dwProcessId, kButtonClass, true);
        return p.main != nullptr && shownAt(p.button, start);
    })) << "the button covers the first shell's start button";

    // The shell goes, and its notification area with it.
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = p.main;
    nid.uID = 1;
    Shell_NotifyIconW(NIM_DELETE, &nid);
    ASSERT_FALSE(trayIconPresent(p.main));
    closeShell(first, taskbar);

    PROCESS_INFORMATION second = startShell(L"eleven-centre top 48 90 announce");
    ASSERT_NE(second.hProcess, nullptr);
    taskbar = shownShellTaskbar(second);
    ASSERT_NE(taskbar, nullptr);
    ASSERT_TRUE(fakeShellStartRect(taskbar, start));
    EXPECT_TRUE(waitFor(
        [&] {
            p.button = topWindow(p.pi.dwProcessId, kButtonClass, true);
            return shownAt(p.button, start);
        },
        15000))
        << "the button " << showRect(rectOf(p.button)) << " covers the new start button "
        << showRect(start);
    EXPECT_TRUE(waitFor([&] { return trayIconPresent(p.main); }, 10000)) << "the icon is back";
    EXPECT_TRUE(p.responds());
    closeShell(second, taskbar);
}

TEST(ShellChanges, TheShellChangingUnderTheRunningProgram) {
    if (onLayoutsRun()) {
        GTEST_SKIP() << "this is the copy on the desktop without a shell";
    }
    runOnDesktopWithoutShell(L"kesk-changes", L"ShellChangeRows.*", 2, 240000);
}

} // namespace
