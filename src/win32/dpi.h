#pragma once
// Twips and pixels. The presenters lay out in twips; the screen has 1440 / DPI twips per
// pixel (15 at 96 dpi). The process is per-monitor aware, so the DPI is the one of the monitor
// a window is on, not a fixed 96.

#include <windows.h>

namespace kesk::win {

struct TwipsScale {
    double twipsPerPixelX = 15.0;
    double twipsPerPixelY = 15.0;

    // Rounded to the nearest pixel, a tie to the even one.
    int toPixelsX(double twips) const noexcept;
    int toPixelsY(double twips) const noexcept;
    double toTwipsX(int pixels) const noexcept { return pixels * twipsPerPixelX; }
    double toTwipsY(int pixels) const noexcept { return pixels * twipsPerPixelY; }
};

// A scale for `dpi` dots per inch; 0 or less means 96.
TwipsScale scaleForDpi(UINT dpi) noexcept;
// The DPI of the monitor `hwnd` is on (the system DPI for nullptr).
UINT dpiOf(HWND hwnd) noexcept;
inline TwipsScale scaleFor(HWND hwnd) noexcept {
    return scaleForDpi(dpiOf(hwnd));
}

} // namespace kesk::win
