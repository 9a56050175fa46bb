#include "win32/start_button.h"

#include <ole2.h>

#include <algorithm>
#include <cstring>

namespace kesk::win {

namespace {

constexpr wchar_t kButtonClass[] = L"KeskVLM.picStartBtn";

// COM interfaces have no virtual destructor; lifetime goes through Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// Reports every drag over the button; the button takes no drop itself.
class ButtonDropTarget final : public IDropTarget {
  public:
    explicit ButtonDropTarget(StartButton& owner) : owner_(owner) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
            *out = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    // The effect the source offers is left as it is.
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD*) override {
        notify();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD*) override {
        notify();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        if (effect != nullptr) {
            *effect = DROPEFFECT_NONE;
        }
        return S_OK;
    }
    void detach() noexcept { alive_ = false; }

  private:
    void notify() noexcept {
        if (alive_ && owner_.onDragOver) {
            try {
                owner_.onDragOver();
            } catch (...) {
                // A drag notification must not fail the source's drag loop.
            }
        }
    }
    StartButton& owner_;
    ULONG refs_ = 1;
    bool alive_ = true;
};
#pragma GCC diagnostic pop

} // namespace

HBITMAP bitmapFromPixels(const Bitmap& picture) noexcept {
    if (picture.empty()) {
        return nullptr;
    }
    std::uint32_t* bits = nullptr;
    UniqueBitmap bmp = newDib32(picture.width, picture.height, bits);
    if (!bmp) {
        return nullptr;
    }
    std::memcpy(bits, picture.pixels.data(), picture.pixels.size() * sizeof(Pixel));
    return bmp.release();
}

StartButton::~StartButton() {
    revokeDropTarget();
    if (dropTarget_ != nullptr) {
        static_cast<ButtonDropTarget*>(dropTarget_)->detach();
        dropTarget_->Release();
        dropTarget_ = nullptr;
    }
    if (hwnd() != nullptr) {
        DestroyWindow(hwnd());
    }
    if (oleStarted_) {
        OleUninitialize();
    }
}

bool StartButton::create(HWND home) {
    home_ = home;
    if (!registerClass(kButtonClass, CS_DBLCLKS, nullptr, nullptr)) {
        return false;
    }
    if (!oleStarted_) {
        oleStarted_ = SUCCEEDED(OleInitialize(nullptr));
    }
    return ensureWindow();
}

bool StartButton::ensureWindow() {
    if (hwnd() != nullptr && IsWindow(hwnd()) != FALSE) {
        return true;
    }
    if (home_ == nullptr || IsWindow(home_) == FALSE) {
        return false;
    }
    if (Window::create(0, kButtonClass, L"VLM", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                       home_) == nullptr) {
        return false;
    }
    registerDropTarget();
    return true;
}

void StartButton::registerDropTarget() {
    if (!oleStarted_ || hwnd() == nullptr) {
        return;
    }
    if (dropTarget_ == nullptr) {
        dropTarget_ = new (std::nothrow) ButtonDropTarget(*this);
    }
    if (dropTarget_ != nullptr) {
        RegisterDragDrop(hwnd(), dropTarget_);
    }
}

void StartButton::revokeDropTarget() {
    if (oleStarted_ && hwnd() != nullptr) {
        RevokeDragDrop(hwnd());
    }
}

void StartButton::moveToHome() {
    if (!ensureWindow()) {
        return;
    }
    const bool visible = (GetWindowLongPtrW(hwnd(), GWL_STYLE) & WS_VISIBLE) != 0;
    if ((GetWindowLongPtrW(hwnd(), GWL_STYLE) & WS_CHILD) == 0) {
        SetWindowLongPtrW(hwnd(), GWLP_HWNDPARENT, 0); // no owner left behind
    }
    SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, 0);
    SetWindowLongPtrW(hwnd(), GWL_STYLE, WS_CHILD | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0));
    SetParent(hwnd(), home_);
    SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void StartButton::moveInto(HWND parent, const RECT& bounds) {
    if (!ensureWindow()) {
        return;
    }
    const bool visible = (GetWindowLongPtrW(hwnd(), GWL_STYLE) & WS_VISIBLE) != 0;
    const LONG_PTR shown = visible ? WS_VISIBLE : 0;
    const int w = std::max(0L, bounds.right - bounds.left);
    const int h = std::max(0L, bounds.bottom - bounds.top);
    if (parent != nullptr) {
        // A child window of another process's window is never painted on some
        // window systems, so the button is a popup owned by the taskbar instead:
        // an owned window always stays above its owner, exactly where a child
        // would lie, and GetParent still names the taskbar.
        POINT origin{0, 0};
        ClientToScreen(parent, &origin);
        SetWindowLongPtrW(hwnd(), GWL_STYLE, WS_POPUP | WS_CLIPSIBLINGS | shown);
        if (GetParent(hwnd()) != parent) {
            SetParent(hwnd(), nullptr);
        }
        // Top-most as well: a shell that raises its taskbar over other
        // processes' windows (as when its start menu opens) must not bury it.
        SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST);
        SetWindowLongPtrW(hwnd(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(parent));
        SetWindowPos(hwnd(), HWND_TOPMOST, origin.x + bounds.left, origin.y + bounds.top, w, h,
                     SWP_NOACTIVATE | SWP_FRAMECHANGED);
    } else {
        SetParent(hwnd(), nullptr);
        SetWindowLongPtrW(hwnd(), GWLP_HWNDPARENT, 0);
        SetWindowLongPtrW(hwnd(), GWL_STYLE, WS_POPUP | WS_CLIPSIBLINGS | shown);
        SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE);
        SetWindowPos(hwnd(), HWND_TOPMOST, bounds.left, bounds.top, w, h,
                     SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
}

void StartButton::stayAboveMenu() {
    if (hwnd() == nullptr || (GetWindowLongPtrW(hwnd(), GWL_STYLE) & WS_CHILD) != 0 ||
        GetWindow(hwnd(), GW_OWNER) != nullptr) {
        return;
    }
    SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void StartButton::raise() {
    if (hwnd() == nullptr || (GetWindowLongPtrW(hwnd(), GWL_STYLE) & WS_CHILD) != 0) {
        return;
    }
    SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void StartButton::setVisible(bool visible) {
    if (!ensureWindow()) {
        return;
    }
    ShowWindow(hwnd(), visible ? SW_SHOWNA : SW_HIDE);
    if (visible) {
        UpdateWindow(hwnd());
    }
}

void StartButton::setPicture(const Bitmap& picture) {
    picture_ = picture;
    pictureBitmap_.reset(bitmapFromPixels(picture_));
    if (hwnd() != nullptr) {
        InvalidateRect(hwnd(), nullptr, TRUE);
    }
}

void StartButton::paint(HDC dc, const RECT& client) {
    if (pictureBitmap_) {
        UniqueDC mem(CreateCompatibleDC(dc));
        if (mem) {
            SelectGuard keep(mem.get(), pictureBitmap_.get());
            BitBlt(dc, 0, 0, picture_.width, picture_.height, mem.get(), 0, 0, SRCCOPY);
        }
        return;
    }
    RECT face = client;
    DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed_ ? DFCS_PUSHED : 0));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
    SelectGuard keepFont(dc, font);
    RECT text = client;
    DrawTextW(dc, L"VLM", 3, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

LRESULT StartButton::onMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd(), &ps);
        RECT client;
        GetClientRect(hwnd(), &client);
        paint(dc, client);
        EndPaint(hwnd(), &ps);
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT client;
        GetClientRect(hwnd(), &client);
        paint(reinterpret_cast<HDC>(wParam), client);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEACTIVATE:
        // The taskbar's corner must not take the focus from the user's window.
        return MA_NOACTIVATE;
    case WM_LBUTTONDOWN:
        // The release of a double click may never come here (the shell's start button,
        // pressed by the double click, can take it): a fresh press starts a fresh click.
        swallowNextUp_ = false;
        pressed_ = true;
        lastPressTime_ = static_cast<DWORD>(GetMessageTime());
        SetCapture(hwnd());
        return 0;
    case WM_LBUTTONUP: {
        const bool wasPressed = pressed_;
        pressed_ = false;
        if (GetCapture() == hwnd()) {
            ReleaseCapture();
        }
        if (swallowNextUp_) {
            swallowNextUp_ = false;
            return 0;
        }
        RECT client;
        GetClientRect(hwnd(), &client);
        const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (wasPressed && PtInRect(&client, at) != FALSE && onClick) {
            onClick();
        }
        return 0;
    }
    case WM_LBUTTONDBLCLK:
        // Presses that waited in the queue while the thread was busy can be paired into a
        // double click however far apart the user made them: only their own times count.
        if (static_cast<DWORD>(GetMessageTime()) - lastPressTime_ > GetDoubleClickTime()) {
            return onMessage(WM_LBUTTONDOWN, wParam, lParam);
        }
        swallowNextUp_ = true;
        pressed_ = false;
        if (onDblClick) {
            onDblClick();
        }
        return 0;
    case WM_CAPTURECHANGED:
        pressed_ = false;
        return 0;
    case WM_DESTROY:
        revokeDropTarget();
        return 0;
    default:
        return defaultProc(msg, wParam, lParam);
    }
}

} // namespace kesk::win
