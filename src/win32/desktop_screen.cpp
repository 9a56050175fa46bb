// The pointer, the screen, the taskbar and its start button, the screen's pixels and the
// system colours.
#include "win32/desktop_win32.h"

#include "tray/taskbar_layout.h"
#include "win32/dpi.h"
#include "win32/handles.h"

#include <algorithm>

namespace kesk::win {

Point Win32Desktop::cursorPos() {
    POINT p{};
    if (GetCursorPos(&p) == 0) {
        return {};
    }
    return Point{p.x, p.y};
}

ScreenMetrics Win32Desktop::screen() {
    ScreenMetrics m;
    m.widthPixels = GetSystemMetrics(SM_CXSCREEN);
    m.heightPixels = GetSystemMetrics(SM_CYSCREEN);
    // A DPI of nothing or of more than any screen has would make every layout absurd.
    const std::int32_t dpi = usableDpi(static_cast<std::int32_t>(dpiOf(nullptr)));
    m.twipsPerPixelX = 1440.0 / dpi;
    m.twipsPerPixelY = 1440.0 / dpi;
    return m;
}

namespace {
Rect windowRect(HWND hwnd) noexcept {
    RECT r{};
    if (hwnd == nullptr || GetWindowRect(hwnd, &r) == 0) {
        return {};
    }
    return Rect{r.left, r.top, r.right, r.bottom};
}
HWND findTaskbar() noexcept {
    return FindWindowW(L"Shell_TrayWnd", L"");
}
} // namespace

namespace {

// No desktop has more windows worth looking at; a flood of them must not stall the report.
constexpr std::size_t kMaxReportedWindows = 256;

ShellWindow describe(HWND hwnd, const char* className) {
    ShellWindow w;
    w.id = reinterpret_cast<WindowId>(hwnd);
    w.className = className;
    w.thread = GetWindowThreadProcessId(hwnd, nullptr);
    w.visible = IsWindowVisible(hwnd) != 0;
    w.rect = windowRect(hwnd);
    // A window drawn smaller than it is (a touch-sized start button) says so by its region.
    RECT box{};
    const int kind = GetWindowRgnBox(hwnd, &box);
    if (kind == SIMPLEREGION || kind == COMPLEXREGION) {
        w.drawn = Rect{w.rect.left + box.left, w.rect.top + box.top, w.rect.left + box.right,
                       w.rect.top + box.bottom};
    }
    return w;
}

// The class names the report tells; any other class is reported as "".
const char* knownClass(HWND hwnd) noexcept {
    static const char* const names[] = {"Button", "Start", "Shell_TrayWnd",
                                        "Shell_SecondaryTrayWnd"};
    static const wchar_t* const wide[] = {L"Button", L"Start", L"Shell_TrayWnd",
                                          L"Shell_SecondaryTrayWnd"};
    wchar_t cls[64] = {};
    const int n = GetClassNameW(hwnd, cls, 64);
    for (std::size_t i = 0; n > 0 && i < 4; ++i) {
        if (CompareStringOrdinal(cls, n, wide[i], -1, TRUE) == CSTR_EQUAL) {
            return names[i];
        }
    }
    return "";
}

void collectTaskbar(HWND hwnd, const char* cls, bool primary, ShellReport& report) {
    // A window of the primary class with a title is some other program's.
    if (primary && GetWindowTextLengthW(hwnd) != 0) {
        return;
    }
    ShellTaskbar t;
    t.window = describe(hwnd, cls);
    HWND child = GetWindow(hwnd, GW_CHILD);
    for (std::size_t n = 0; child != nullptr && n < kMaxReportedWindows; ++n) {
        t.children.push_back(describe(child, knownClass(child)));
        child = GetWindow(child, GW_HWNDNEXT);
    }
    report.taskbars.push_back(std::move(t));
}

// The top-level windows of the classes the report tells, each class in the windows' order from
// the top. Asked by class, so that the window manager sorts them out rather than one question
// per window of every program: a report is made at every build.
void collectTopLevel(ShellReport& report) {
    for (const bool primary : {true, false}) {
        const wchar_t* wide = primary ? L"Shell_TrayWnd" : L"Shell_SecondaryTrayWnd";
        const char* cls = primary ? "Shell_TrayWnd" : "Shell_SecondaryTrayWnd";
        HWND w = FindWindowExW(nullptr, nullptr, wide, nullptr);
        for (std::size_t n = 0; w != nullptr && n < kMaxReportedWindows &&
                                report.taskbars.size() < kMaxReportedWindows;
             ++n) {
            collectTaskbar(w, cls, primary, report);
            w = FindWindowExW(nullptr, w, wide, nullptr);
        }
    }
    HWND b = FindWindowExW(nullptr, nullptr, L"Button", nullptr);
    for (std::size_t n = 0; b != nullptr && report.topLevelButtons.size() < kMaxReportedWindows &&
                            n < 4 * kMaxReportedWindows;
         ++n) {
        if (IsWindowVisible(b) != 0) {
            report.topLevelButtons.push_back(describe(b, "Button"));
        }
        b = FindWindowExW(nullptr, b, L"Button", nullptr);
    }
}

BOOL CALLBACK collectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM lp) noexcept {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoW(monitor, &info) == 0) {
        return TRUE;
    }
    try {
        const RECT& a = info.rcMonitor;
        const RECT& w = info.rcWork;
        reinterpret_cast<ShellReport*>(lp)->monitors.push_back(
            Monitor{Rect{a.left, a.top, a.right, a.bottom}, Rect{w.left, w.top, w.right, w.bottom},
                    (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    } catch (...) {
        return FALSE;
    }
    return TRUE;
}

} // namespace

ShellReport reportShell() noexcept {
    ShellReport report;
    try {
        // Only the window manager's own records are read: no message goes to the shell, which
        // may be hung or gone.
        collectTopLevel(report);
        EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&report));
        report.dpi = usableDpi(static_cast<std::int32_t>(dpiOf(nullptr)));
    } catch (...) {
        return ShellReport{};
    }
    return report;
}

ShellReport Win32Desktop::shellReport() {
    return reportShell();
}

Rect Win32Desktop::taskbarRect() {
    return windowRect(findTaskbar());
}

Rect Win32Desktop::startButtonRect() {
    HWND tray = findTaskbar();
    return tray == nullptr ? Rect{} : windowRect(GetWindow(tray, GW_CHILD));
}

std::vector<Colour> Win32Desktop::readScreen(const Rect& area) {
    const std::int64_t w = area.width();
    const std::int64_t h = area.height();
    if (w <= 0 || h <= 0 || w * h > (16 << 20)) {
        return {};
    }
    std::vector<Colour> out(static_cast<std::size_t>(w * h), static_cast<Colour>(-1));
    // Only the part on the screen can be read; the rest stays "unreadable", as GetPixel says.
    const int vx = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const Rect visible{std::max(area.left, vx), std::max(area.top, vy),
                       std::min(area.right, vx + GetSystemMetrics(SM_CXVIRTUALSCREEN)),
                       std::min(area.bottom, vy + GetSystemMetrics(SM_CYVIRTUALSCREEN))};
    if (visible.width() <= 0 || visible.height() <= 0) {
        return out;
    }
    WindowDC screenDc(nullptr);
    UniqueDC mem(CreateCompatibleDC(screenDc.get()));
    std::uint32_t* px = nullptr;
    UniqueBitmap dib = newDib32(visible.width(), visible.height(), px);
    if (!screenDc || !mem || !dib) {
        return out;
    }
    {
        SelectGuard sel(mem.get(), dib.get());
        if (BitBlt(mem.get(), 0, 0, visible.width(), visible.height(), screenDc.get(), visible.left,
                   visible.top, SRCCOPY) == 0) {
            return out;
        }
    }
    GdiFlush();
    for (std::int32_t y = 0; y < visible.height(); ++y) {
        for (std::int32_t x = 0; x < visible.width(); ++x) {
            const std::size_t dst =
                static_cast<std::size_t>(y + visible.top - area.top) * static_cast<std::size_t>(w) +
                static_cast<std::size_t>(x + visible.left - area.left);
            out[dst] = toColour(
                px[static_cast<std::size_t>(y) * static_cast<std::size_t>(visible.width()) +
                   static_cast<std::size_t>(x)]);
        }
    }
    return out;
}

std::optional<Colour> Win32Desktop::systemColour(std::int32_t index) {
    // An index the platform does not know has no brush (its colour would read as black).
    if (index < 0 || GetSysColorBrush(index) == nullptr) {
        return std::nullopt;
    }
    return static_cast<Colour>(GetSysColor(index) & 0x00FFFFFFu);
}

} // namespace kesk::win
