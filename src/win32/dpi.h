#pragma once
// Twips and pixels. The presenters lay out in twips; the screen has 1440 / DPI twips per
// pixel (15 at 96 dpi). The process asks to be per-monitor aware, so where Windows knows
// per-monitor DPI (8.1 and later) the DPI is the one of the monitor a window is on; on
// Windows 7 it is the one system DPI.
//
// The DPI functions of Windows 8.1 and 10 are looked up at run time, here and nowhere else,
// so that the program loads on Windows 7 SP1.

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

// A scale for `dpi` dots per inch; 0 means 96.
TwipsScale scaleForDpi(UINT dpi) noexcept;
// The DPI of the monitor `hwnd` is on (the system DPI for nullptr); never 0.
UINT dpiOf(HWND hwnd) noexcept;
inline TwipsScale scaleFor(HWND hwnd) noexcept {
    return scaleForDpi(dpiOf(hwnd));
}

// The best DPI awareness this Windows offers: per-monitor (v2 on Windows 10, v1 on 8.1),
// else system-wide. The manifest normally sets it before any code runs; then this changes
// nothing. Returns whether the process is DPI aware afterwards.
bool enableDpiAwareness() noexcept;

} // namespace kesk::win
