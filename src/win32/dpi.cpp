#include "win32/dpi.h"

#include "support/conversions.h"

#include <cmath>

namespace kesk::win {

namespace {
int roundPixels(double v) noexcept {
    if (!std::isfinite(v)) {
        return 0;
    }
    // Window coordinates are 32-bit but GDI works in a much smaller range; keep far inside it.
    constexpr double kLimit = 1 << 27;
    v = conv::roundHalfEven(v);
    return static_cast<int>(v > kLimit ? kLimit : (v < -kLimit ? -kLimit : v));
}
} // namespace

int TwipsScale::toPixelsX(double twips) const noexcept {
    return roundPixels(twips / twipsPerPixelX);
}
int TwipsScale::toPixelsY(double twips) const noexcept {
    return roundPixels(twips / twipsPerPixelY);
}

TwipsScale scaleForDpi(UINT dpi) noexcept {
    const double d = dpi == 0 ? 96.0 : static_cast<double>(dpi);
    return TwipsScale{1440.0 / d, 1440.0 / d};
}

UINT dpiOf(HWND hwnd) noexcept {
    UINT dpi = hwnd != nullptr ? GetDpiForWindow(hwnd) : GetDpiForSystem();
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        if (screen != nullptr) {
            dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
            ReleaseDC(nullptr, screen);
        }
    }
    return dpi == 0 ? 96 : dpi;
}

} // namespace kesk::win
