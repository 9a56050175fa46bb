#include "win32/about_window.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>

#include "support/errors.h"
#include "win32/start_button.h"
#include "win32/wtext.h"

namespace kesk::win {

namespace {

struct DisabledWindows {
    HWND keep = nullptr;
    std::vector<HWND> windows;
};

BOOL CALLBACK disableOne(HWND hwnd, LPARAM lp) {
    auto* d = reinterpret_cast<DisabledWindows*>(lp);
    if (hwnd != d->keep && IsWindowEnabled(hwnd) != FALSE) {
        EnableWindow(hwnd, FALSE);
        d->windows.push_back(hwnd);
    }
    return TRUE;
}

using UniquePen = UniqueHandle<HPEN, DeleteObjectFn>;

COLORREF colorRef(Colour c) noexcept {
    return static_cast<COLORREF>(displayColour(c));
}

} // namespace

AboutWindow::AboutWindow(frmSplash& splash, HICON programIcon)
    : splash_(splash), icon_(programIcon) {}

AboutWindow::~AboutWindow() {
    if (hwnd() != nullptr) {
        DestroyWindow(hwnd());
    }
}

RECT AboutWindow::pixels(const SplashControl& c) const noexcept {
    const int l = scale_.toPixelsX(c.left);
    const int t = scale_.toPixelsY(c.top);
    return RECT{l, t, l + scale_.toPixelsX(c.width), t + scale_.toPixelsY(c.height)};
}

HFONT AboutWindow::font(double points, bool bold) {
    const int dpi = static_cast<int>(std::lround(1440.0 / scale_.twipsPerPixelY));
    const int height = -static_cast<int>(std::lround(points * dpi / 72.0));
    const auto key = std::make_pair(height, bold);
    auto it = fonts_.find(key);
    if (it == fonts_.end()) {
        it = fonts_
                 .emplace(key, UniqueFont(CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                                                      FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                                      CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Arial")))
                 .first;
    }
    return it->second.get();
}

HWND AboutWindow::makeEdit(const SplashControl& c) {
    const RECT r = pixels(c);
    HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", widen(c.text).c_str(),
                                WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | WS_VSCROLL |
                                    ES_AUTOVSCROLL,
                                r.left, r.top, r.right - r.left, r.bottom - r.top, hwnd(), nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    if (edit != nullptr) {
        SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font(c.fontSize, c.bold)), FALSE);
    }
    return edit;
}

bool AboutWindow::create(HWND owner) {
    if (!registerClass(kAboutWindowClass, CS_HREDRAW | CS_VREDRAW, nullptr, icon_)) {
        return false;
    }
    scale_ = scaleFor(owner);
    // The inner area is designed in twips; the thin border lies outside it.
    RECT frame{0, 0, scale_.toPixelsX(kSplashWidth), scale_.toPixelsY(kSplashHeight)};
    constexpr DWORD style = WS_POPUP | WS_BORDER;
    constexpr DWORD exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int w = frame.right - frame.left;
    const int h = frame.bottom - frame.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    if (Window::create(exStyle, kAboutWindowClass, L"", style, x, y, w, h, owner) == nullptr) {
        return false;
    }
    const frmSplashState& s = splash_.state();
    background_.reset(bitmapFromPixels(s.backPicture));
    editBrush_.reset(CreateSolidBrush(colorRef(s.controls[txtCopyright].backColour)));
    txtCopyright_ = makeEdit(s.controls[txtCopyright]);
    txtLicense_ = makeEdit(s.controls[txtLicense]);
    return true;
}

void AboutWindow::paint(HDC dc) {
    const frmSplashState& s = splash_.state();
    RECT client;
    GetClientRect(hwnd(), &client);
    UniqueBrush back(CreateSolidBrush(colorRef(s.backColour)));
    FillRect(dc, &client, back.get());
    if (background_) {
        UniqueDC mem(CreateCompatibleDC(dc));
        if (mem) {
            SelectGuard keep(mem.get(), background_.get());
            BitBlt(dc, 0, 0, s.backPicture.width, s.backPicture.height, mem.get(), 0, 0, SRCCOPY);
        }
    }
    SetBkMode(dc, TRANSPARENT);
    for (const SplashControl& c : s.controls) {
        RECT r = pixels(c);
        switch (c.kind) {
        case SplashControlKind::Label: {
            SelectGuard keepFont(dc, font(c.fontSize, c.bold));
            SetTextColor(dc, colorRef(c.foreColour));
            const std::wstring text = widen(c.text);
            // Each label holds one line. A line wider than its label (the build
            // date in a wide font) runs on instead of losing its end.
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                      DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
            break;
        }
        case SplashControlKind::PictureBox: {
            UniqueBrush fill(CreateSolidBrush(colorRef(c.backColour)));
            FillRect(dc, &r, fill.get());
            if (&c == &s.controls[iconPic] && s.iconShown && icon_ != nullptr) {
                DrawIconEx(dc, r.left, r.top, icon_, r.right - r.left, r.bottom - r.top, 0, nullptr,
                           DI_NORMAL);
            }
            if (&c == &s.controls[closePic]) {
                // A white cross tells what the square does.
                UniquePen pen(CreatePen(PS_SOLID,
                                        std::max(1, static_cast<int>((r.right - r.left) / 10)),
                                        RGB(255, 255, 255)));
                SelectGuard keepPen(dc, pen.get());
                const int m = (r.right - r.left) / 4;
                MoveToEx(dc, r.left + m, r.top + m, nullptr);
                LineTo(dc, r.right - m, r.bottom - m);
                MoveToEx(dc, r.right - m - 1, r.top + m, nullptr);
                LineTo(dc, r.left + m - 1, r.bottom - m);
            }
            break;
        }
        case SplashControlKind::TextBox:
            break; // real edit controls
        }
    }
}

bool AboutWindow::handleModalMessage(const MSG& m) {
    if (hwnd() == nullptr) {
        return false;
    }
    const bool ours = m.hwnd == hwnd() || IsChild(hwnd(), m.hwnd) != FALSE;
    if (!ours) {
        return false;
    }
    if (m.message == WM_CHAR) {
        splash_.Form_KeyPress(static_cast<std::uint32_t>(m.wParam));
        return true;
    }
    if (m.message == WM_LBUTTONUP && m.hwnd == hwnd()) {
        const POINT at{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
        const RECT square = pixels(splash_.state().controls[closePic]);
        if (PtInRect(&square, at) != FALSE) {
            splash_.closePic_Click();
            return true;
        }
    }
    return false;
}

LRESULT AboutWindow::onMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd(), &ps);
        paint(dc);
        EndPaint(hwnd(), &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        paint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
        const SplashControl& c = splash_.state().controls[txtCopyright];
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, colorRef(c.foreColour));
        SetBkColor(dc, colorRef(c.backColour));
        return reinterpret_cast<LRESULT>(editBrush_.get());
    }
    case WM_CLOSE:
        // Alt+F4 closes the box like its close square.
        splash_.closePic_Click();
        return 0;
    default:
        return defaultProc(msg, wParam, lParam);
    }
}

void AboutWindow::showModal(frmSplash& splash, HWND owner, HICON programIcon) {
    if (!splash.state().loaded) {
        return;
    }
    AboutWindow box(splash, programIcon);
    if (!box.create(owner)) {
        splash.closePic_Click();
        return;
    }
    DisabledWindows disabled;
    disabled.keep = box.hwnd();
    EnumThreadWindows(GetCurrentThreadId(), disableOne, reinterpret_cast<LPARAM>(&disabled));
    ShowWindow(box.hwnd(), SW_SHOW);
    SetForegroundWindow(box.hwnd());
    SetFocus(box.hwnd());

    bool quit = false;
    WPARAM quitCode = 0;
    MSG m;
    while (splash.state().loaded && box.hwnd() != nullptr) {
        const BOOL got = GetMessageW(&m, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            quit = got == 0;
            quitCode = m.wParam;
            break;
        }
        if (!guardEvent([&] {
                if (!box.handleModalMessage(m)) {
                    TranslateMessage(&m);
                    DispatchMessageW(&m);
                }
            })) {
            continue;
        }
    }
    for (HWND w : disabled.windows) {
        if (IsWindow(w) != FALSE) {
            EnableWindow(w, TRUE);
        }
    }
    box.destroy();
    if (quit) {
        PostQuitMessage(static_cast<int>(quitCode));
    }
}

} // namespace kesk::win
