// The menu window's mouse on its headline and bare background, the auto-hide timer, and its
// unload on request.
#include "win32/menu_view.h"

#include "support/errors.h"

#include <windowsx.h>

namespace kesk::win {

namespace {

constexpr UINT_PTR kMousePosCheckTimer = 1;

// The old runtime's mouse button bits: 1 left, 2 right, 4 middle.
std::int16_t buttonsOf(WPARAM keys) noexcept {
    return static_cast<std::int16_t>(((keys & MK_LBUTTON) != 0 ? 1 : 0) |
                                     ((keys & MK_RBUTTON) != 0 ? 2 : 0) |
                                     ((keys & MK_MBUTTON) != 0 ? 4 : 0));
}

// And its shift bits: 1 shift, 2 control, 4 alt.
std::int16_t shiftOf(WPARAM keys) noexcept {
    return static_cast<std::int16_t>(((keys & MK_SHIFT) != 0 ? 1 : 0) |
                                     ((keys & MK_CONTROL) != 0 ? 2 : 0) |
                                     (GetKeyState(VK_MENU) < 0 ? 4 : 0));
}

RECT pixelRect(const TwipsScale& scale, const ControlState& c) noexcept {
    const int left = scale.toPixelsX(c.left);
    const int top = scale.toPixelsY(c.top);
    return RECT{left, top, left + scale.toPixelsX(c.width), top + scale.toPixelsY(c.height)};
}

} // namespace

RECT MenuView::headlineRect() const noexcept {
    return pixelRect(scale_, presenter_.state().lblHeadline);
}

bool MenuView::overLabel(POINT p) const noexcept {
    const frmVeloraState& s = presenter_.state();
    const RECT url = pixelRect(scale_, s.lblHedlineURL);
    const RECT head = headlineRect();
    return (s.lblHeadline.visible && PtInRect(&head, p) != FALSE) ||
           (s.lblHedlineURL.visible && PtInRect(&url, p) != FALSE);
}

void MenuView::syncMousePosCheck() noexcept {
    const bool armed = presenter_.mousePosCheckArmed() && hwnd() != nullptr;
    if (armed == mousePosCheckRunning_) {
        return;
    }
    if (armed) {
        mousePosCheckRunning_ =
            SetTimer(hwnd(), kMousePosCheckTimer,
                     static_cast<UINT>(frmVelora::kMousePosCheckIntervalMs), nullptr) != 0;
    } else {
        KillTimer(hwnd(), kMousePosCheckTimer);
        mousePosCheckRunning_ = false;
    }
}

void MenuView::unloadRequested() {
    if (onUnloadRequest) {
        // The owner may destroy this object from inside the call: nothing of it is touched after.
        const std::function<void()> unload = onUnloadRequest;
        unload();
        return;
    }
    presenter_.Form_Unload();
    presenter_.Hide();
    hideNow();
    syncMousePosCheck();
}

void MenuView::hideNow() {
    render();
    // The window may have been shown past render (ShowWindow by its owner).
    if (IsWindowVisible(hwnd()) != FALSE) {
        ShowWindow(hwnd(), SW_HIDE);
    }
}

LRESULT MenuView::resizeMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (msg) {
    case WM_TIMER:
        if (wParam != kMousePosCheckTimer) {
            break;
        }
        ++mousePosCheckTicks_;
        presenter_.Timer_Mouse_Pos_Check_Timer();
        if (!presenter_.state().visible) {
            hideNow();
        }
        syncMousePosCheck();
        return 0;
    case WM_LBUTTONDOWN: {
        const RECT head = headlineRect();
        if (PtInRect(&head, at) != FALSE) {
            // The headline keeps the mouse while the button is down, so the drag goes on when
            // the pointer runs ahead of the window.
            SetCapture(hwnd());
            headlineDrag_ = true;
        }
        return 0;
    }
    case WM_MOUSEMOVE: {
        const RECT head = headlineRect();
        if (!headlineDrag_ && PtInRect(&head, at) == FALSE) {
            return 0;
        }
        presenter_.lblHeadline_MouseMove(buttonsOf(wParam), shiftOf(wParam),
                                         scale_.toTwipsX(at.x - head.left),
                                         scale_.toTwipsY(at.y - head.top));
        render();
        UpdateWindow(hwnd());
        syncMousePosCheck();
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        if (headlineDrag_) {
            // The end of a drag belongs to the headline, not to the window.
            headlineDrag_ = false;
            if (GetCapture() == hwnd()) {
                ReleaseCapture();
            }
            return 0;
        }
        if (overLabel(at)) {
            return 0;
        }
        const std::int16_t button = msg == WM_LBUTTONUP ? 1 : (msg == WM_RBUTTONUP ? 2 : 4);
        presenter_.Form_MouseUp(button, shiftOf(wParam), scale_.toTwipsX(at.x),
                                scale_.toTwipsY(at.y));
        if (presenter_.unloadRequested()) {
            // Not from inside the mouse message: the unload may destroy this window.
            PostMessageW(hwnd(), WM_CLOSE, 0, 0);
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        headlineDrag_ = false;
        return 0;
    case WM_SHOWWINDOW:
        // Whoever showed or hid the window, the presenter knows it: a hidden window has
        // nothing to auto-hide, a shown one is hidden again by the auto-hide.
        if (wParam == FALSE) {
            presenter_.windowHidden();
            presenter_.Hide();
        } else {
            presenter_.Show();
        }
        syncMousePosCheck();
        break;
    case WM_CLOSE:
        // Closing the menu window is unloading it (the default would destroy the window
        // behind its owner's back).
        unloadRequested();
        return 0;
    default:
        break;
    }
    return defaultProc(msg, wParam, lParam);
}

} // namespace kesk::win
