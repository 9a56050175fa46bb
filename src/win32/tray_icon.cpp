#include "win32/tray_icon.h"

#include <algorithm>
#include <string>

#include "win32/wtext.h"

namespace kesk::win {

namespace {

// UTF-8 into a fixed wide field, cut to the field (never inside a surrogate
// pair) and always terminated.
template <std::size_t N> void copyToField(const std::string& text, wchar_t (&field)[N]) noexcept {
    try {
        const std::wstring wide = widen(text);
        constexpr std::size_t room = N - 1;
        std::size_t n = std::min(wide.size(), room);
        if (n > 0 && n < wide.size() && IS_HIGH_SURROGATE(wide[n - 1])) {
            --n;
        }
        std::copy_n(wide.data(), n, field);
        field[n] = L'\0';
    } catch (...) {
        field[0] = L'\0';
    }
}

} // namespace

UINT notifyFlagsOf(const TrayIconParts& parts) noexcept {
    return (parts.message ? NIF_MESSAGE : 0u) | (parts.icon ? NIF_ICON : 0u) |
           (parts.tip ? NIF_TIP : 0u);
}

TrayMouse trayMouseOf(LPARAM notification) noexcept {
    // The mouse message is in the low word (later notification versions put the icon's
    // identifier in the high word).
    switch (LOWORD(notification)) {
    case WM_MOUSEMOVE:
        return TrayMouse::Move;
    case WM_LBUTTONDOWN:
        return TrayMouse::LeftDown;
    case WM_LBUTTONUP:
        return TrayMouse::LeftUp;
    case WM_LBUTTONDBLCLK:
        return TrayMouse::LeftDoubleClick;
    case WM_RBUTTONDOWN:
        return TrayMouse::RightDown;
    case WM_RBUTTONUP:
        return TrayMouse::RightUp;
    case WM_RBUTTONDBLCLK:
        return TrayMouse::RightDoubleClick;
    default:
        return TrayMouse::Other;
    }
}

NOTIFYICONDATAW toNotifyIconData(const TrayIconData& data) noexcept {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = reinterpret_cast<HWND>(data.hWnd);
    nid.uID = data.uID;
    nid.uFlags = notifyFlagsOf(data.uFlags);
    nid.uCallbackMessage = data.uCallbackMessage;
    nid.hIcon = reinterpret_cast<HICON>(data.hIcon);
    copyToField(data.szTip, nid.szTip);
    return nid;
}

NOTIFYICONDATAW toBalloonData(const TrayIconData& icon, const std::string& title,
                              const std::string& text) noexcept {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = reinterpret_cast<HWND>(icon.hWnd);
    nid.uID = icon.uID;
    // Only the balloon changes: the icon, its tip and its messages stay as added.
    nid.uFlags = NIF_INFO;
    nid.dwInfoFlags = NIIF_WARNING;
    copyToField(title, nid.szInfoTitle);
    copyToField(text, nid.szInfo);
    return nid;
}

bool showTrayBalloon(const TrayIconData& icon, const std::string& title,
                     const std::string& text) noexcept {
    if (icon.hWnd == 0 || icon.uID == 0) {
        return false;
    }
    NOTIFYICONDATAW nid = toBalloonData(icon, title, text);
    return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

bool addTrayIcon(const TrayIconData& data) noexcept {
    NOTIFYICONDATAW nid = toNotifyIconData(data);
    return Shell_NotifyIconW(NIM_ADD, &nid) != FALSE;
}

bool removeTrayIcon(const TrayIconData& data) noexcept {
    if (data.hWnd == 0 || data.uID == 0) {
        return false;
    }
    NOTIFYICONDATAW nid = toNotifyIconData(data);
    return Shell_NotifyIconW(NIM_DELETE, &nid) != FALSE;
}

UINT taskbarCreatedMessage() noexcept {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

} // namespace kesk::win
