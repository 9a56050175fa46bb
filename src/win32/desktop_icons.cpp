// Icons stored in files and the shell's icons, as pixels with alpha.
#include "win32/desktop_win32.h"

#include "win32/handles.h"
#include "win32/wtext.h"

#include <shellapi.h>

#include <algorithm>

namespace kesk::win {

namespace {

bool trimmedEmpty(const std::string& s) noexcept {
    return s.find_first_not_of(' ') == std::string::npos;
}

} // namespace

Bitmap drawWithAlpha(int width, int height, const std::function<bool(HDC)>& draw) {
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        return {};
    }
    UniqueDC dc(CreateCompatibleDC(nullptr));
    std::uint32_t* pb = nullptr;
    std::uint32_t* pw = nullptr;
    UniqueBitmap black = newDib32(width, height, pb);
    UniqueBitmap white = newDib32(width, height, pw);
    if (!dc || !black || !white) {
        return {};
    }
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::fill(pb, pb + n, 0x00000000u);
    std::fill(pw, pw + n, 0x00FFFFFFu);
    for (HBITMAP surface : {black.get(), white.get()}) {
        SelectGuard sel(dc.get(), surface);
        if (!draw(dc.get())) {
            return {};
        }
    }
    GdiFlush();
    // Where the two agree the drawing is opaque, where they differ by the full range it is
    // transparent; between the two, the difference is how much of the background shows.
    Bitmap out(width, height, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t b = pb[i];
        const std::uint32_t w = pw[i];
        std::uint32_t rgb = 0;
        int alphaSum = 0;
        int channels[3] = {};
        for (int c = 0; c < 3; ++c) {
            const int cb = static_cast<int>((b >> (8 * c)) & 0xFF);
            const int cw = static_cast<int>((w >> (8 * c)) & 0xFF);
            channels[c] = cb;
            alphaSum += 255 - std::clamp(cw - cb, 0, 255);
        }
        const int alpha = (alphaSum + 1) / 3;
        if (alpha > 0) {
            for (int c = 0; c < 3; ++c) {
                // On black the drawn colour is premultiplied; undo that.
                const int v = std::min(255, (channels[c] * 255 + alpha / 2) / alpha);
                rgb |= static_cast<std::uint32_t>(v) << (8 * c);
            }
        }
        out.pixels[i] = (static_cast<std::uint32_t>(alpha) << 24) | rgb;
    }
    return out;
}

Bitmap iconToBitmap(HICON icon, int size) {
    if (icon == nullptr || size <= 0 || size > 1024) {
        return {};
    }
    // Icons with an alpha channel and icons with only a mask alike.
    return drawWithAlpha(size, size, [&](HDC dc) {
        return DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL) != 0;
    });
}

std::int32_t Win32Desktop::iconCount(const std::string& path) {
    if (path.empty()) {
        return 0;
    }
    try {
        const std::wstring w = widen(path);
        const DWORD attributes = GetFileAttributesW(w.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return 0;
        }
        const UINT n = ExtractIconExW(w.c_str(), -1, nullptr, nullptr, 0);
        // A failure comes back as UINT_MAX on some platforms; a file has far fewer icons.
        if (n == 0 || n > 0xFFFF) {
            return 0;
        }
        return static_cast<std::int32_t>(n);
    } catch (...) {
        return 0;
    }
}

bool Win32Desktop::extractIcon(const std::string& path, std::int32_t index, std::int32_t size,
                               Bitmap& out) {
    if (path.empty() || index < 0 || size <= 0) {
        return false;
    }
    try {
        const std::wstring w = widen(path);
        HICON raw = nullptr;
        UINT id = 0;
        const UINT got = PrivateExtractIconsW(w.c_str(), index, size, size, &raw, &id, 1, 0);
        if (got == 0 || got == 0xFFFFFFFF || raw == nullptr) {
            // Older platforms: the system-size icon, drawn at the wanted size.
            raw = ExtractIconW(GetModuleHandleW(nullptr), w.c_str(), static_cast<UINT>(index));
            if (reinterpret_cast<UINT_PTR>(raw) <= 1) {
                return false; // 0: no icon; 1: not a file that holds icons
            }
        }
        UniqueIcon icon(raw);
        Bitmap bmp = iconToBitmap(icon.get(), size);
        if (bmp.empty()) {
            return false;
        }
        out = std::move(bmp);
        return true;
    } catch (...) {
        return false;
    }
}

bool Win32Desktop::shellIcon(const std::string& path, std::int32_t size, Bitmap& out) {
    if (trimmedEmpty(path) || size <= 0) {
        return false;
    }
    try {
        SHFILEINFOW info{};
        if (SHGetFileInfoW(widen(path).c_str(), 0, &info, sizeof info, SHGFI_ICON) == 0 ||
            info.hIcon == nullptr) {
            return false;
        }
        UniqueIcon icon(info.hIcon);
        Bitmap bmp = iconToBitmap(icon.get(), size);
        if (bmp.empty()) {
            return false;
        }
        out = std::move(bmp);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace kesk::win
