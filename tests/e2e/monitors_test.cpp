// The button and the menu with two monitors, each with a taskbar of the helper fake_shell: the
// button stays on the primary taskbar's start button, its click opens the menu there, and the
// hotkey and the tray icon open theirs on the monitor under the pointer.
//
// Runs on Wine's X11 driver over an X server with two screens (a virtual desktop is always one
// monitor). That server puts both screens at the origin, so the monitors lie on top of each
// other and the second, larger one alone covers the band beyond the primary one: the pointer
// goes there when it stands "on the second monitor".
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/kesk_driver.h"

using namespace kesk::driver;

namespace {

// Set by the test run that provides the two monitors; other runs skip these tests.
constexpr wchar_t kMonitorsVariable[] = L"KESK_E2E_MONITORS";

const std::vector<WORD> kHotkey = {VK_CONTROL, VK_MENU, VK_SPACE};

bool onMonitorsRun() {
    return GetEnvironmentVariableW(kMonitorsVariable, nullptr, 0) != 0;
}

BOOL CALLBACK collectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM lp) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info) != FALSE) {
        reinterpret_cast<std::vector<MONITORINFO>*>(lp)->push_back(info);
    }
    return TRUE;
}

std::vector<MONITORINFO> monitors() {
    std::vector<MONITORINFO> all;
    EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&all));
    return all;
}

bool inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool onPoint(const RECT& r, POINT p) {
    return PtInRect(&r, p) != FALSE;
}

// Some window systems report a work area off the monitor; the monitor then counts.
RECT workOf(const MONITORINFO& m) {
    RECT work{};
    if (IntersectRect(&work, &m.rcWork, &m.rcMonitor) == FALSE) {
        return m.rcMonitor;
    }
    return work;
}

struct Screens {
    MONITORINFO primary{};
    MONITORINFO second{};
    // The middle of the part only the second monitor covers.
    POINT onSecondAlone{};
};

// The primary monitor and another one with a part of its own, or none.
std::optional<Screens> twoMonitors() {
    Screens s;
    bool havePrimary = false;
    bool haveSecond = false;
    for (const MONITORINFO& m : monitors()) {
        if ((m.dwFlags & MONITORINFOF_PRIMARY) != 0 && !havePrimary) {
            s.primary = m;
            havePrimary = true;
        } else if ((m.dwFlags & MONITORINFOF_PRIMARY) == 0 && !haveSecond) {
            s.second = m;
            haveSecond = true;
        }
    }
    if (!havePrimary || !haveSecond) {
        return std::nullopt;
    }
    const RECT& p = s.primary.rcMonitor;
    const RECT& o = s.second.rcMonitor;
    // Below or beside the primary monitor, whichever band the second one has there.
    if (o.bottom > p.bottom) {
        s.onSecondAlone = POINT{(o.left + o.right) / 2, (p.bottom + o.bottom) / 2};
    } else if (o.right > p.right) {
        s.onSecondAlone = POINT{(p.right + o.right) / 2, (o.top + o.bottom) / 2};
    } else if (o.top < p.top) {
        s.onSecondAlone = POINT{(o.left + o.right) / 2, (o.top + p.top) / 2};
    } else if (o.left < p.left) {
        s.onSecondAlone = POINT{(o.left + p.left) / 2, (o.top + o.bottom) / 2};
    } else {
        return std::nullopt;
    }
    if (onPoint(p, s.onSecondAlone) || !onPoint(o, s.onSecondAlone)) {
        return std::nullopt;
    }
    return s;
}

// Every shown window of `pid` of class `cls`.
struct ClassQuery {
    DWORD pid;
    const wchar_t* cls;
    std::vector<HWND> found;
};

BOOL CALLBACK collectShown(HWND hwnd, LPARAM lp) {
    auto* q = reinterpret_cast<ClassQuery*>(lp);
    if (processOf(hwnd) == q->pid && hasClass(hwnd, q->cls) && IsWindowVisible(hwnd) != FALSE) {
        q->found.push_back(hwnd);
    }
    return TRUE;
}

std::vector<HWND> shownWindows(DWORD pid, const wchar_t* cls) {
    ClassQuery q{pid, cls, {}};
    EnumWindows(collectShown, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

// The helper's taskbars: the one inside the primary monitor, and the one inside the second
// monitor's part of its own, whatever class each claims.
struct Taskbars {
    HWND primary = nullptr;
    HWND second = nullptr;
};

Taskbars taskbarsOf(DWORD helper, const Screens& s) {
    Taskbars t;
    for (const wchar_t* cls : {L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd"}) {
        for (HWND bar : shownWindows(helper, cls)) {
            const RECT r = rectOf(bar);
            if (inside(r, s.primary.rcMonitor)) {
                t.primary = bar;
            } else if (inside(r, s.second.rcMonitor)) {
                t.second = bar;
            }
        }
    }
    return t;
}

bool pointerTo(POINT p) {
    SetCursorPos(p.x, p.y);
    return waitFor(
        [&] {
            POINT now{};
            GetCursorPos(&now);
            return now.x == p.x && now.y == p.y;
        },
        5000);
}

// The window under the pointer and where the pointer is, for a failure's message.
std::string underPointer() {
    POINT at{};
    GetCursorPos(&at);
    HWND w = WindowFromPoint(at);
    wchar_t cls[128] = {};
    GetClassNameW(w, cls, 128);
    std::string narrow;
    for (const wchar_t* c = cls; *c != 0; ++c) {
        narrow += static_cast<char>(*c);
    }
    return "the pointer at " + std::to_string(at.x) + "," + std::to_string(at.y) + " over " +
           narrow + " " + showRect(rectOf(w));
}

struct ShellCase {
    const char* rule;
    const wchar_t* args; // fake_shell's command line after the layout
    const wchar_t* secondClass;
};

const ShellCase kShells[] = {
    {"a secondary taskbar with its own start button on the second monitor",
     L"ten bottom 40 150 secondary", L"Shell_SecondaryTrayWnd"},
    {"the newest shell, centred, with a secondary taskbar",
     L"eleven-centre bottom 48 150 secondary", L"Shell_SecondaryTrayWnd"},
    {"two taskbars both claiming to be the primary one", L"ten bottom 40 150 two-primary",
     L"Shell_TrayWnd"},
};

enum class Opening { ButtonClick, Hotkey, TrayIcon };

struct OpeningCase {
    const char* rule;
    Opening how;
    bool pointerOnSecond;
};

const OpeningCase kOpenings[] = {
    {"a click on the button: the menu on the primary monitor, on its taskbar", Opening::ButtonClick,
     false},
    {"the hotkey, the pointer on the second monitor: the menu there, on its taskbar",
     Opening::Hotkey, true},
    {"the tray icon, the pointer on the second monitor: the tray menu there", Opening::TrayIcon,
     true},
};

TEST(Monitors, TheButtonOnThePrimaryTaskbarAndEachMenuOnItsMonitor) {
    if (!onMonitorsRun()) {
        GTEST_SKIP() << "runs where the X server has two screens (the wine.e2e_monitors entry)";
    }
    const std::optional<Screens> screens = twoMonitors();
    ASSERT_TRUE(screens.has_value()) << "Wine reports two monitors, the second with a part of "
                                        "its own; it reports "
                                     << monitors().size();
    const Screens& s = *screens;
    const std::filesystem::path fake = exeDir() / "fake_shell.exe";
    ASSERT_TRUE(std::filesystem::exists(fake)) << "build the helper fake_shell";

    int n = 0;
    for (const ShellCase& shell : kShells) {
        SCOPED_TRACE(shell.rule);
        PROCESS_INFORMATION helper = startProcess(quoted(fake) + L" " + shell.args);
        ASSERT_NE(helper.hProcess, nullptr);
        Taskbars bars;
        ASSERT_TRUE(waitFor(
            [&] {
                bars = taskbarsOf(helper.dwProcessId, s);
                return bars.primary != nullptr && bars.second != nullptr;
            },
            30000))
            << "the helper shows a taskbar on each monitor";
        ASSERT_TRUE(hasClass(bars.second, shell.secondClass));
        RECT primaryStart{};
        RECT secondStart{};
        ASSERT_TRUE(fakeShellStartRect(bars.primary, primaryStart));
        ASSERT_TRUE(fakeShellStartRect(bars.second, secondStart));
        {
            Program p(stageProgram("e2e-monitors-" + std::to_string(n++), KESK_RESOURCES_DIR));
            ASSERT_TRUE(p.start());
            // The menu window is made last at start-up: with it the button is settled. Before,
            // it may still be hidden for its copy of the start button, and a click then falls
            // through to the taskbar.
            ASSERT_TRUE(waitFor([&] {
                p.main = topWindow(p.pi.dwProcessId, kMainClass);
                p.button = topWindow(p.pi.dwProcessId, kButtonClass, true);
                return p.main != nullptr && p.button != nullptr && p.menu(false) != nullptr;
            }));
            EXPECT_TRUE(waitFor([&] { return shownAt(p.button, primaryStart); }, 10000))
                << "the button " << showRect(rectOf(p.button))
                << " covers the primary start button " << showRect(primaryStart)
                << ", not the second one " << showRect(secondStart);

            for (const OpeningCase& o : kOpenings) {
                SCOPED_TRACE(o.rule);
                const MONITORINFO& on = o.pointerOnSecond ? s.second : s.primary;
                const RECT bar = rectOf(o.pointerOnSecond ? bars.second : bars.primary);
                HWND opened = nullptr;
                switch (o.how) {
                case Opening::ButtonClick:
                    clickAt(p.buttonCentre());
                    ASSERT_TRUE(waitFor([&] { return (opened = p.menu()) != nullptr; }, 10000))
                        << underPointer();
                    break;
                case Opening::Hotkey:
                    ASSERT_TRUE(pointerTo(s.onSecondAlone));
                    pressKeys(kHotkey);
                    ASSERT_TRUE(waitFor([&] { return (opened = p.menu()) != nullptr; }, 10000));
                    break;
                case Opening::TrayIcon:
                    ASSERT_TRUE(pointerTo(s.onSecondAlone));
                    PostMessageW(p.main, kesk::win::msg::kTrayNotify, 1, WM_RBUTTONUP);
                    ASSERT_TRUE(waitFor(
                        [&] {
                            opened = topWindow(p.pi.dwProcessId, kPopupMenuClass, true);
                            return opened != nullptr;
                        },
                        10000));
                    break;
                }
                // The tray menu stands at the pointer, as far as its monitor lets it.
                const RECT m = rectOf(opened);
                EXPECT_TRUE(inside(m, workOf(on)))
                    << showRect(m) << " lies inside the work area " << showRect(workOf(on));
                if (o.pointerOnSecond) {
                    EXPECT_FALSE(inside(m, s.primary.rcMonitor))
                        << showRect(m) << " reaches into the second monitor's own part";
                }
                if (o.how == Opening::TrayIcon) {
                    key(VK_ESCAPE);
                    if (!waitFor([&] { return IsWindowVisible(opened) == FALSE; }, 3000)) {
                        PostMessageW(opened, WM_KEYDOWN, VK_ESCAPE, 0);
                    }
                    EXPECT_TRUE(waitFor([&] { return IsWindowVisible(opened) == FALSE; }, 5000));
                    continue;
                }
                EXPECT_TRUE(closeTo(m.bottom, bar.top))
                    << "the menu " << showRect(m) << " stands on the taskbar " << showRect(bar);
                // Hidden again for the next opening, as a click on the bare window does.
                PostMessageW(opened, WM_CLOSE, 0, 0);
                EXPECT_TRUE(waitFor([&] { return p.menu() == nullptr; }, 5000));
            }
            EXPECT_TRUE(p.responds());
        }
        PostMessageW(bars.primary, WM_CLOSE, 0, 0);
        WaitForSingleObject(helper.hProcess, 5000);
        endProcess(helper);
    }
}

} // namespace
