// Icons stored in files and the shell's icons, as pixels with alpha.
#include "win32/desktop_win32.h"

#include "menu/dpi_sizes.h"
#include "menu/imagelists.h"
#include "win32/handles.h"
#include "win32/wtext.h"

#include <commoncontrols.h>
#include <shellapi.h>

#include <algorithm>

namespace kesk::win {

namespace {

bool trimmedEmpty(const std::string& s) noexcept {
    return s.find_first_not_of(' ') == std::string::npos;
}

struct FreeLibraryFn {
    void operator()(HMODULE m) const noexcept { FreeLibrary(m); }
};
using UniqueModule = UniqueHandle<HMODULE, FreeLibraryFn>;

struct CloseFileFn {
    void operator()(HANDLE h) const noexcept { CloseHandle(h); }
};

struct IconGroupSearch {
    std::int32_t left;
    HRSRC found = nullptr;
};

// A named function, not a lambda: on 32-bit Windows the callback must be stdcall.
BOOL CALLBACK findIconGroup(HMODULE m, LPCWSTR type, LPWSTR name, LONG_PTR param) noexcept {
    auto& s = *reinterpret_cast<IconGroupSearch*>(param);
    if (s.left-- > 0) {
        return TRUE;
    }
    s.found = FindResourceW(m, name, type);
    return FALSE;
}

// The images icon `index` of a program (its index-th icon group) lists; empty when the file
// is no program or has no such group.
std::vector<ImageChoice> programIconImages(const std::wstring& path, std::int32_t index) {
    // As data only: nothing of the file runs, and its own imports are not loaded.
    UniqueModule module(LoadLibraryExW(path.c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) {
        return {};
    }
    IconGroupSearch search{index};
    EnumResourceNamesW(module.get(), MAKEINTRESOURCEW(14), // RT_GROUP_ICON
                       findIconGroup, reinterpret_cast<LONG_PTR>(&search));
    if (search.found == nullptr) {
        return {};
    }
    HGLOBAL loaded = LoadResource(module.get(), search.found);
    const auto* bytes = static_cast<const std::uint8_t*>(LockResource(loaded));
    const DWORD size = SizeofResource(module.get(), search.found);
    return bytes == nullptr ? std::vector<ImageChoice>{}
                            : iconDirectoryImages(bytes, size, IconDirectoryKind::Group);
}

// The images an icon file's directory lists; empty when it is no icon file.
std::vector<ImageChoice> iconFileImages(const std::wstring& path) {
    HANDLE raw = CreateFileW(path.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE) {
        return {};
    }
    const UniqueHandle<HANDLE, CloseFileFn> file(raw);
    // The head and as many entries as any icon file has.
    std::uint8_t head[6 + 16 * 64] = {};
    DWORD got = 0;
    if (ReadFile(file.get(), head, sizeof head, &got, nullptr) == 0) {
        return {};
    }
    return iconDirectoryImages(head, got, IconDirectoryKind::File);
}

// The shell's image lists by size, newer than the oldest shells: looked up at run time.
using SHGetImageListFn = HRESULT(WINAPI*)(int list, REFIID iid, void** out);
// IID_IImageList, spelled out so that nothing beyond the headers is needed.
constexpr IID kIidImageList = {
    0x46EB5926, 0x582E, 0x4017, {0x9F, 0xDF, 0xE8, 0x99, 0x8D, 0xAA, 0x09, 0x50}};

SHGetImageListFn shellImageLists() noexcept {
    const HMODULE shell32 = GetModuleHandleW(L"shell32.dll");
    if (shell32 == nullptr) {
        return nullptr;
    }
    // By name where it is exported so, else by the ordinal the oldest shells give it.
    FARPROC p = GetProcAddress(shell32, "SHGetImageList");
    if (p == nullptr) {
        p = GetProcAddress(shell32, MAKEINTRESOURCEA(727));
    }
    return reinterpret_cast<SHGetImageListFn>(reinterpret_cast<void (*)()>(p));
}

// The shell's icon of image `index` from the image list (large, extra-large or jumbo) that
// gives a `size` picture sharply, drawn at that list's size and shrunk; empty when the shell
// has no such lists.
Bitmap shellListIcon(int index, std::int32_t size) {
    const SHGetImageListFn getList = shellImageLists();
    if (getList == nullptr || index < 0) {
        return {};
    }
    constexpr int kLists[] = {SHIL_LARGE, SHIL_EXTRALARGE, SHIL_JUMBO};
    std::vector<ImageChoice> sizes;
    std::vector<IImageList*> lists;
    for (const int which : kLists) {
        IImageList* list = nullptr;
        int cx = 0;
        int cy = 0;
        if (FAILED(getList(which, kIidImageList, reinterpret_cast<void**>(&list))) ||
            list == nullptr || FAILED(list->GetIconSize(&cx, &cy))) {
            if (list != nullptr) {
                list->Release();
            }
            continue;
        }
        lists.push_back(list);
        sizes.push_back(ImageChoice{cx, cy, 32});
    }
    Bitmap out;
    const std::size_t best = bestImageFor(sizes, size);
    HICON raw = nullptr;
    if (best < lists.size() && SUCCEEDED(lists[best]->GetIcon(index, ILD_TRANSPARENT, &raw)) &&
        raw != nullptr) {
        const UniqueIcon icon(raw);
        const std::int32_t side = std::min(sizes[best].width, sizes[best].height);
        out = shrinkSmooth(iconToBitmap(icon.get(), side), size, size);
    }
    for (IImageList* list : lists) {
        list->Release();
    }
    return out;
}

// The side of the image of icon `index` to take for a `size` picture: the source's own image
// that gives it sharply (bestImageFor); `size` itself when the source does not say.
std::int32_t sourceSideFor(const std::wstring& path, std::int32_t index, std::int32_t size) {
    std::vector<ImageChoice> images = programIconImages(path, index);
    if (images.empty() && index == 0) {
        images = iconFileImages(path);
    }
    const std::size_t best = bestImageFor(images, size);
    if (best >= images.size()) {
        return size;
    }
    return std::min(images[best].width, images[best].height);
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
    if (path.empty() || index < 0 || size <= 0 || size > kMaxPictureSize) {
        return false;
    }
    try {
        const std::wstring w = widen(path);
        // The platform picks an image for a size and stretches it, a smaller one too: it is
        // asked for the source's own image that is at least as large, which is then shrunk.
        const std::int32_t side = sourceSideFor(w, index, size);
        HICON raw = nullptr;
        UINT id = 0;
        const UINT got = PrivateExtractIconsW(w.c_str(), index, side, side, &raw, &id, 1, 0);
        std::int32_t drawn = side;
        if (got == 0 || got == 0xFFFFFFFF || raw == nullptr) {
            // Older platforms: the system-size icon, drawn at the wanted size.
            raw = ExtractIconW(GetModuleHandleW(nullptr), w.c_str(), static_cast<UINT>(index));
            if (reinterpret_cast<UINT_PTR>(raw) <= 1) {
                return false; // 0: no icon; 1: not a file that holds icons
            }
            drawn = size;
        }
        UniqueIcon icon(raw);
        Bitmap bmp = iconToBitmap(icon.get(), drawn);
        if (drawn != size) {
            bmp = shrinkSmooth(bmp, size, size);
        }
        if (bmp.empty() || bmp.width != size || bmp.height != size) {
            return false;
        }
        out = std::move(bmp);
        return true;
    } catch (...) {
        return false;
    }
}

bool Win32Desktop::shellIcon(const std::string& path, std::int32_t size, Bitmap& out) {
    if (trimmedEmpty(path) || size <= 0 || size > kMaxPictureSize) {
        return false;
    }
    try {
        const std::wstring w = widen(path);
        // The icon's place in the shell's image lists, which hold it at several sizes.
        SHFILEINFOW info{};
        if (SHGetFileInfoW(w.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX) != 0) {
            Bitmap bmp = shellListIcon(info.iIcon, size);
            if (bmp.width == size && bmp.height == size) {
                out = std::move(bmp);
                return true;
            }
        }
        // A shell without those lists: its large icon, drawn at the size.
        info = SHFILEINFOW{};
        if (SHGetFileInfoW(w.c_str(), 0, &info, sizeof info, SHGFI_ICON) == 0 ||
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
