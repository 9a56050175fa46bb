// A shell's taskbar laid out as one of the shells lays it out, for the whole-program tests on
// a desktop without a shell of its own.
//
//   fake_shell LAYOUT EDGE THICKNESS [SECONDS] [announce] [secondary | two-primary]
//
// LAYOUT  xp            a "Button" child at the start corner
//         seven         a top-level "Button" of the taskbar's thread, standing out of the bar
//         ten           a "Start" child at the start corner
//         eleven-left   a content bridge over the whole bar, then a "Start" child near the corner
//         eleven-centre the same with "Start" in the middle of the bar
// EDGE    bottom, top, left or right; THICKNESS the bar's thickness in pixels.
// The taskbar is made hidden and empty, filled, then shown, as a shell makes it; after
// SECONDS (default 60) or WM_CLOSE it goes. The start button's screen rectangle is written
// into the taskbar's first "Static" child as "L T R B", so a test can read where it is
// without knowing the layout's rules.
//
// The taskbar hides itself as a shell's auto-hide does when it is sent kSlideMessage (WM_APP + 1):
// with word parameter 0 it slides off its edge in a few steps until two pixels are left on the
// screen, with 1 it slides back. With "announce" it broadcasts TaskbarCreated once it shows, as
// a shell that started again does.
//
// With "secondary" every monitor but the primary one gets a taskbar of its own, as the newer
// shells give them: a "Shell_SecondaryTrayWnd" on the same edge with the same thickness, a
// "Start" child where LAYOUT puts it (at the corner for the layouts without one) and its own
// "Static" note. With "two-primary" those taskbars are of class "Shell_TrayWnd" as well, two
// taskbars both claiming to be the primary one. They are made after the primary taskbar, so
// they lie above it and a search for the class finds one of them first.
#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

enum class Edge { Bottom, Top, Left, Right };

constexpr UINT kSlideMessage = WM_APP + 1;
constexpr UINT_PTR kSlideTimer = 2;
constexpr int kSlideSteps = 5;
constexpr int kSliver = 2;

// Where the bar stands when shown, and the way it slides off.
RECT gShown{};
POINT gOffDirection{};
int gThickness = 0;
int gStep = 0;   // 0: shown, kSlideSteps: off
int gTarget = 0; // where the slide goes

void placeAtStep(HWND bar) {
    const int distance = (gThickness - kSliver) * gStep / kSlideSteps;
    SetWindowPos(bar, HWND_TOPMOST, gShown.left + gOffDirection.x * distance,
                 gShown.top + gOffDirection.y * distance, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    // Windows announces every move of a window to those who watch; the Wine these tests run
    // on does not, so the helper announces its own.
    NotifyWinEvent(EVENT_OBJECT_LOCATIONCHANGE, bar, OBJID_WINDOW, CHILDID_SELF);
}

// The notification area: the icons it holds, by window and identifier. The platform's icon
// calls find the first taskbar window and hand it their record; this one takes Wine's form
// of it, which starts with the window (32 bits) and the identifier.
std::set<std::pair<std::uint32_t, std::uint32_t>> gIcons;

LRESULT notifyIcon(const COPYDATASTRUCT& data) {
    if (data.lpData == nullptr || data.cbData < 2 * sizeof(std::uint32_t)) {
        return FALSE;
    }
    std::uint32_t head[2];
    std::memcpy(head, data.lpData, sizeof head);
    const std::pair<std::uint32_t, std::uint32_t> icon{head[0], head[1]};
    switch (data.dwData) {
    case NIM_ADD:
        return gIcons.insert(icon).second ? TRUE : FALSE;
    case NIM_DELETE:
        return gIcons.erase(icon) != 0 ? TRUE : FALSE;
    case NIM_MODIFY:
    case NIM_SETVERSION:
        return gIcons.count(icon) != 0 ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

LRESULT CALLBACK taskbarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COPYDATA:
        return lParam != 0 ? notifyIcon(*reinterpret_cast<const COPYDATASTRUCT*>(lParam)) : FALSE;
    case kSlideMessage:
        gTarget = wParam == 0 ? kSlideSteps : 0;
        SetTimer(hwnd, kSlideTimer, 30, nullptr);
        return 0;
    case WM_TIMER:
        if (wParam == kSlideTimer) {
            gStep += gStep < gTarget ? 1 : (gStep > gTarget ? -1 : 0);
            placeAtStep(hwnd);
            if (gStep == gTarget) {
                KillTimer(hwnd, kSlideTimer);
            }
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK secondaryProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // One claiming to be primary may be the one the platform's icon calls find first.
    if (msg == WM_COPYDATA) {
        return lParam != 0 ? notifyIcon(*reinterpret_cast<const COPYDATASTRUCT*>(lParam)) : FALSE;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool registerClass(const wchar_t* name, WNDPROC proc, int colour) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(colour + 1));
    wc.lpszClassName = name;
    return RegisterClassW(&wc) != 0;
}

HWND child(const wchar_t* cls, HWND parent, const RECT& r, const wchar_t* text = L"") {
    return CreateWindowW(cls, text, WS_CHILD | WS_VISIBLE, r.left, r.top, r.right - r.left,
                         r.bottom - r.top, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

RECT barOn(const RECT& monitor, Edge edge, int thickness) {
    switch (edge) {
    case Edge::Top:
        return RECT{monitor.left, monitor.top, monitor.right, monitor.top + thickness};
    case Edge::Left:
        return RECT{monitor.left, monitor.top, monitor.left + thickness, monitor.bottom};
    case Edge::Right:
        return RECT{monitor.right - thickness, monitor.top, monitor.right, monitor.bottom};
    case Edge::Bottom:
        break;
    }
    return RECT{monitor.left, monitor.bottom - thickness, monitor.right, monitor.bottom};
}

// The "Start" child of the layouts that have one, in the bar's own pixels.
RECT startChildIn(const std::wstring& layout, bool across, int bw, int bh) {
    if (layout == L"eleven-left") {
        // Slightly inside the clickable area, as the newest shell has it.
        return across ? RECT{12, 4, 52, bh - 4} : RECT{4, 12, bw - 4, 52};
    }
    if (layout == L"eleven-centre") {
        return across ? RECT{bw / 2 - 120, 4, bw / 2 - 80, bh - 4}
                      : RECT{4, bh / 2 - 120, bw - 4, bh / 2 - 80};
    }
    return RECT{0, 0, across ? 64 : bw, across ? bh : 40};
}

// Writes a start button's screen rectangle into a "Static" child of its bar as "L T R B".
void noteStart(HWND bar, const RECT& barRect, const RECT& start, bool across) {
    const int bw = barRect.right - barRect.left;
    const int bh = barRect.bottom - barRect.top;
    const std::wstring where = std::to_wstring(barRect.left + start.left) + L" " +
                               std::to_wstring(barRect.top + start.top) + L" " +
                               std::to_wstring(barRect.left + start.right) + L" " +
                               std::to_wstring(barRect.top + start.bottom);
    child(L"Static", bar,
          across ? RECT{bw - 110, 2, bw - 2, bh - 2} : RECT{2, bh - 110, bw - 2, bh - 2},
          where.c_str());
}

BOOL CALLBACK collectOther(HMONITOR monitor, HDC, LPRECT, LPARAM lp) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info) != FALSE && (info.dwFlags & MONITORINFOF_PRIMARY) == 0) {
        reinterpret_cast<std::vector<RECT>*>(lp)->push_back(info.rcMonitor);
    }
    return TRUE;
}

// A taskbar on every monitor but the primary one, made hidden, filled, then shown.
std::vector<HWND> secondaryTaskbars(const std::wstring& layout, Edge edge, int thickness,
                                    const wchar_t* cls) {
    std::vector<RECT> others;
    EnumDisplayMonitors(nullptr, nullptr, collectOther, reinterpret_cast<LPARAM>(&others));
    std::vector<HWND> made;
    for (const RECT& monitor : others) {
        const RECT bar = barOn(monitor, edge, thickness);
        const int bw = bar.right - bar.left;
        const int bh = bar.bottom - bar.top;
        const bool across = edge == Edge::Bottom || edge == Edge::Top;
        HWND taskbar =
            CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST, cls, L"", WS_POPUP,
                            0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (taskbar == nullptr) {
            continue;
        }
        const RECT start = startChildIn(layout, across, bw, bh);
        child(L"Start", taskbar, start);
        noteStart(taskbar, bar, start, across);
        SetWindowPos(taskbar, HWND_TOPMOST, bar.left, bar.top, bw, bh,
                     SWP_NOACTIVATE | SWP_SHOWWINDOW);
        made.push_back(taskbar);
    }
    return made;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        return 2;
    }
    const std::wstring layout = argv[1];
    const std::wstring edgeName = argv[2];
    const int thickness = static_cast<int>(std::wcstol(argv[3], nullptr, 10));
    const long seconds = argc > 4 ? std::wcstol(argv[4], nullptr, 10) : 60;
    bool announce = false;
    bool secondary = false;
    bool twoPrimary = false;
    for (int i = 5; i < argc; ++i) {
        const std::wstring word = argv[i];
        announce = announce || word == L"announce";
        secondary = secondary || word == L"secondary";
        twoPrimary = twoPrimary || word == L"two-primary";
    }
    const Edge edge = edgeName == L"top"     ? Edge::Top
                      : edgeName == L"left"  ? Edge::Left
                      : edgeName == L"right" ? Edge::Right
                                             : Edge::Bottom;
    if (thickness <= 0 || !registerClass(L"Shell_TrayWnd", taskbarProc, COLOR_BTNFACE) ||
        !registerClass(L"Shell_SecondaryTrayWnd", secondaryProc, COLOR_BTNFACE) ||
        !registerClass(L"Start", DefWindowProcW, COLOR_HIGHLIGHT) ||
        !registerClass(L"MSTaskSwWClass", DefWindowProcW, COLOR_BTNSHADOW) ||
        !registerClass(L"Windows.UI.Composition.DesktopWindowContentBridge", DefWindowProcW,
                       COLOR_BTNFACE)) {
        return 1;
    }
    // The primary monitor starts at the origin and is as large as the screen's metrics say.
    const RECT bar = barOn(RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)},
                           edge, thickness);
    const int bw = bar.right - bar.left;
    const int bh = bar.bottom - bar.top;
    const bool across = edge == Edge::Bottom || edge == Edge::Top;

    HWND taskbar =
        CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST, L"Shell_TrayWnd", L"",
                        WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (taskbar == nullptr) {
        return 1;
    }
    // The start button in the bar's own pixels, and where it is on the screen.
    RECT start{0, 0, across ? 64 : bw, across ? bh : 40};
    HWND orb = nullptr;
    if (layout == L"xp") {
        child(L"Button", taskbar, start, L"start");
    } else if (layout == L"seven") {
        child(L"MSTaskSwWClass", taskbar,
              across ? RECT{70, 0, bw - 120, bh} : RECT{0, 60, bw, bh - 120});
        start = across ? RECT{0, -6, 54, bh} : RECT{0, 0, bw, 48};
    } else if (layout == L"ten") {
        child(L"Start", taskbar, start);
        child(L"MSTaskSwWClass", taskbar,
              across ? RECT{70, 0, bw - 120, bh} : RECT{0, 60, bw, bh - 120});
    } else {
        child(L"Windows.UI.Composition.DesktopWindowContentBridge", taskbar, RECT{0, 0, bw, bh});
        start = startChildIn(layout, across, bw, bh);
        child(L"Start", taskbar, start);
    }
    const RECT onScreen{bar.left + start.left, bar.top + start.top, bar.left + start.right,
                        bar.top + start.bottom};
    noteStart(taskbar, bar, start, across);
    // A moment between filling and showing, as a shell's start-up has.
    Sleep(200);
    SetWindowPos(taskbar, HWND_TOPMOST, bar.left, bar.top, bw, bh, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    gShown = bar;
    gThickness = thickness;
    gOffDirection = edge == Edge::Top     ? POINT{0, -1}
                    : edge == Edge::Left  ? POINT{-1, 0}
                    : edge == Edge::Right ? POINT{1, 0}
                                          : POINT{0, 1};
    if (layout == L"seven") {
        // The orb: a top-level window of the taskbar's thread, over the bar's corner.
        orb = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST, L"Button",
                              L"start", WS_POPUP | WS_VISIBLE, onScreen.left, onScreen.top,
                              onScreen.right - onScreen.left, onScreen.bottom - onScreen.top,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }

    std::vector<HWND> others;
    if (secondary || twoPrimary) {
        others = secondaryTaskbars(layout, edge, thickness,
                                   twoPrimary ? L"Shell_TrayWnd" : L"Shell_SecondaryTrayWnd");
    }

    if (announce) {
        PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    }
    SetTimer(taskbar, 1, static_cast<UINT>(seconds > 0 ? seconds * 1000 : 60000), nullptr);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (m.message == WM_TIMER && m.hwnd == taskbar && m.wParam == 1) {
            DestroyWindow(taskbar);
            continue;
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    if (orb != nullptr) {
        DestroyWindow(orb);
    }
    for (HWND other : others) {
        DestroyWindow(other);
    }
    return 0;
}
