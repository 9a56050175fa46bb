#include "win32/dpi.h"

#include "support/conversions.h"
#include "win32/handles.h"

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

// The types of the functions newer than Windows 7; the headers declare them only for a
// newer API level than the one this program is built for.
using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(HANDLE context);
using GetDpiForWindowFn = UINT(WINAPI*)(HWND hwnd);
using GetDpiForSystemFn = UINT(WINAPI*)();
using SetProcessDpiAwarenessFn = HRESULT(WINAPI*)(int awareness);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR monitor, int type, UINT* dpiX, UINT* dpiY);

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, PROCESS_PER_MONITOR_DPI_AWARE, MDT_EFFECTIVE_DPI.
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
constexpr int kProcessPerMonitorDpiAware = 2;
constexpr int kEffectiveDpi = 0;

template <typename Fn> Fn procFrom(HMODULE module, const char* name) noexcept {
    if (module == nullptr) {
        return nullptr;
    }
    // Through the generic function type, which every function pointer may be cast to.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

template <typename Fn> Fn user32Proc(const char* name) noexcept {
    // user32 is bound on first use, and the first look-up may come before any call into it.
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return procFrom<Fn>(user32 != nullptr ? user32 : LoadLibraryW(L"user32.dll"), name);
}

HMODULE shcore() noexcept {
    // shcore exists from Windows 8.1 on, in the system folder only: a copy beside the program
    // is never loaded. On Windows 7 the load fails (no such DLL, or a loader that does not know
    // the flag), which is the answer: no shcore.
    static const HMODULE module = [] {
        HMODULE m = GetModuleHandleW(L"shcore.dll");
        return m != nullptr ? m
                            : LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }();
    return module;
}

UINT screenDpi() noexcept {
    const WindowDC screen(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : 0;
}

UINT systemDpi() noexcept {
    static const auto getDpiForSystem = user32Proc<GetDpiForSystemFn>("GetDpiForSystem");
    const UINT dpi = getDpiForSystem != nullptr ? getDpiForSystem() : 0;
    return dpi != 0 ? dpi : screenDpi();
}

UINT windowDpi(HWND hwnd) noexcept {
    static const auto getDpiForWindow = user32Proc<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        if (const UINT dpi = getDpiForWindow(hwnd); dpi != 0) {
            return dpi;
        }
    }
    static const auto getDpiForMonitor = procFrom<GetDpiForMonitorFn>(shcore(), "GetDpiForMonitor");
    if (getDpiForMonitor != nullptr && IsWindow(hwnd) != 0) {
        UINT x = 0;
        UINT y = 0;
        HMONITOR monitor = MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST);
        if (monitor != nullptr && SUCCEEDED(getDpiForMonitor(monitor, kEffectiveDpi, &x, &y)) &&
            y != 0) {
            return y;
        }
    }
    return systemDpi();
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
    const UINT dpi = hwnd != nullptr ? windowDpi(hwnd) : systemDpi();
    return dpi == 0 ? 96 : dpi;
}

bool enableDpiAwareness() noexcept {
    // Each step either makes the process aware, finds it aware already (the manifest was
    // first: access denied), or is unknown to this Windows, which sends us one step down.
    if (const auto setContext =
            user32Proc<SetProcessDpiAwarenessContextFn>("SetProcessDpiAwarenessContext")) {
        if (setContext(kPerMonitorAwareV2) != 0 || GetLastError() == ERROR_ACCESS_DENIED) {
            return true;
        }
    }
    if (const auto setAwareness =
            procFrom<SetProcessDpiAwarenessFn>(shcore(), "SetProcessDpiAwareness")) {
        const HRESULT hr = setAwareness(kProcessPerMonitorDpiAware);
        if (SUCCEEDED(hr) || hr == E_ACCESSDENIED) {
            return true;
        }
    }
    return SetProcessDPIAware() != 0;
}

} // namespace kesk::win
