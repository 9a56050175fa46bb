// The pointer, the screen, the taskbar and its start button, the screen's pixels and the
// system colours.
#include "win32/desktop_win32.h"

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
    UINT dpi = dpiOf(nullptr);
    if (dpi == 0) {
        dpi = 96;
    }
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
