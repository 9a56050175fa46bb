#pragma once
// What the Windows-side tests share: the test program's folder, running the thread's messages
// while waiting, and reading back what windows and image lists draw.

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "win32/handles.h"

namespace kesk::test {

// The folder of the test program, where the helper programs are built.
inline std::filesystem::path moduleDirectory() {
    wchar_t buf[4096];
    const DWORD n = GetModuleFileNameW(nullptr, buf, 4096);
    return std::filesystem::path(std::wstring(buf, n)).parent_path();
}

// Puts the "not found" picture and the shipped skin into `dir`, as they stand beside the program.
inline void stageShippedSkin(const std::filesystem::path& dir) {
    const std::filesystem::path resources(KESK_RESOURCES_DIR);
    std::filesystem::create_directories(dir / "skin");
    std::filesystem::copy_file(resources / "notFound.ico", dir / "notFound.ico");
    for (const char* name :
         {"Velora_BG.bmp", "Velora_BG_menu.bmp", "Velora_BG_edit.bmp", "skin.ini"}) {
        std::filesystem::copy_file(resources / "skin" / name, dir / "skin" / name);
    }
}

// Runs every message the thread has waiting.
inline void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Runs the thread's messages until `done` or `ms` have passed; whether `done` came true.
template <class P> bool waitFor(P done, int ms = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        pump();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

// Every point of image `i` of `il`, drawn on magenta.
inline std::vector<std::uint32_t> imagePixels(HIMAGELIST il, int i) {
    int w = 0;
    int h = 0;
    ImageList_GetIconSize(il, &w, &h);
    std::uint32_t* p = nullptr;
    win::UniqueBitmap dib = win::newDib32(w, h, p);
    if (!dib) {
        return {};
    }
    std::fill(p, p + w * h, 0x00FF00FFu);
    {
        win::UniqueDC dc(CreateCompatibleDC(nullptr));
        win::SelectGuard sel(dc.get(), dib.get());
        ImageList_Draw(il, i, dc.get(), 0, 0, ILD_NORMAL);
    }
    GdiFlush();
    return std::vector<std::uint32_t>(p, p + w * h);
}

// A client area rendered through WM_PRINTCLIENT into 0xRRGGBB pixels.
class Rendering {
  public:
    explicit Rendering(HWND hwnd, UINT flags = PRF_CLIENT) {
        RECT rc{};
        GetClientRect(hwnd, &rc);
        std::uint32_t* bits = nullptr;
        win::UniqueBitmap dib = win::newDib32(rc.right, rc.bottom, bits);
        if (!dib) {
            return;
        }
        w_ = rc.right;
        h_ = rc.bottom;
        {
            win::UniqueDC dc(CreateCompatibleDC(nullptr));
            win::SelectGuard sel(dc.get(), dib.get());
            SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), flags);
        }
        GdiFlush();
        px_.assign(bits, bits + static_cast<std::size_t>(w_) * h_);
    }
    bool empty() const { return px_.empty(); }
    int width() const { return w_; }
    int height() const { return h_; }
    std::uint32_t at(int x, int y) const {
        return px_.at(static_cast<std::size_t>(y) * w_ + x) & 0xFFFFFFu;
    }
    // Whether any pixel inside `r` satisfies `pred`.
    template <class P> bool any(const RECT& r, P pred) const {
        for (int y = std::max(0L, r.top); y < std::min<long>(h_, r.bottom); ++y) {
            for (int x = std::max(0L, r.left); x < std::min<long>(w_, r.right); ++x) {
                if (pred(at(x, y))) {
                    return true;
                }
            }
        }
        return false;
    }
    // The colours inside `r`.
    std::set<std::uint32_t> colours(const RECT& r) const {
        std::set<std::uint32_t> out;
        any(r, [&](std::uint32_t c) {
            out.insert(c);
            return false;
        });
        return out;
    }

  private:
    int w_ = 0;
    int h_ = 0;
    std::vector<std::uint32_t> px_;
};

} // namespace kesk::test
