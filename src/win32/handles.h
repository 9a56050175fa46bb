#pragma once
// Move-only owners for the Win32 handles this program creates. Each one releases its handle
// with the matching function exactly once, so no code path (a failure in the middle of a
// build included) leaks a GDI object or a window.

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <utility>

namespace kesk::win {

template <class H, class Release> class UniqueHandle {
  public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(H h) noexcept : h_(h) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, H{})) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.h_, H{}));
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    H get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != H{}; }
    [[nodiscard]] H release() noexcept { return std::exchange(h_, H{}); }
    void reset(H h = H{}) noexcept {
        H old = std::exchange(h_, h);
        if (old != H{}) {
            Release{}(old);
        }
    }

  private:
    H h_{};
};

struct DestroyWindowFn {
    void operator()(HWND h) const noexcept { DestroyWindow(h); }
};
struct DeleteDCFn {
    void operator()(HDC h) const noexcept { DeleteDC(h); }
};
struct DestroyIconFn {
    void operator()(HICON h) const noexcept { DestroyIcon(h); }
};
struct DeleteObjectFn {
    void operator()(HGDIOBJ h) const noexcept { DeleteObject(h); }
};
struct DestroyImageListFn {
    void operator()(HIMAGELIST h) const noexcept { ImageList_Destroy(h); }
};
struct DestroyMenuFn {
    void operator()(HMENU h) const noexcept { DestroyMenu(h); }
};

using UniqueWindow = UniqueHandle<HWND, DestroyWindowFn>;
// A memory device context (CreateCompatibleDC); a window's DC is WindowDC below.
using UniqueDC = UniqueHandle<HDC, DeleteDCFn>;
using UniqueIcon = UniqueHandle<HICON, DestroyIconFn>;
using UniqueBitmap = UniqueHandle<HBITMAP, DeleteObjectFn>;
using UniqueFont = UniqueHandle<HFONT, DeleteObjectFn>;
using UniqueBrush = UniqueHandle<HBRUSH, DeleteObjectFn>;
using UniqueImageList = UniqueHandle<HIMAGELIST, DestroyImageListFn>;
using UniqueMenu = UniqueHandle<HMENU, DestroyMenuFn>;

// The one maker of 32-bit top-down DIB sections: `w` by `h` pixels, their bits in `bits`
// (0xAARRGGBB each, rows from the top, no padding). None when the platform refuses.
inline UniqueBitmap newDib32(int w, int h, std::uint32_t*& bits) {
    bits = nullptr;
    if (w <= 0 || h <= 0) {
        return {};
    }
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* raw = nullptr;
    UniqueBitmap dib(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &raw, nullptr, 0));
    if (!dib || raw == nullptr) {
        return {};
    }
    bits = static_cast<std::uint32_t*>(raw);
    return dib;
}

// GetDC/ReleaseDC pair: releasing needs the window as well as the DC.
class WindowDC {
  public:
    explicit WindowDC(HWND hwnd) noexcept : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    ~WindowDC() {
        if (dc_ != nullptr) {
            ReleaseDC(hwnd_, dc_);
        }
    }
    WindowDC(WindowDC&& other) noexcept
        : hwnd_(std::exchange(other.hwnd_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
    WindowDC& operator=(WindowDC&&) = delete;
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

  private:
    HWND hwnd_;
    HDC dc_;
};

// Selects an object into a DC for the scope, then puts the previous one back (a DC must not
// be deleted with our object still selected).
class SelectGuard {
  public:
    SelectGuard(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(SelectObject(dc, obj)) {}
    ~SelectGuard() {
        if (old_ != nullptr && old_ != HGDI_ERROR) {
            SelectObject(dc_, old_);
        }
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

  private:
    HDC dc_;
    HGDIOBJ old_;
};

} // namespace kesk::win
