#include "win32/tray_icon.h"

#include <algorithm>
#include <string>

#include "win32/wtext.h"

namespace kesk::win {

NOTIFYICONDATAW toNotifyIconData(const TrayIconData& data) noexcept {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = reinterpret_cast<HWND>(data.hWnd);
    nid.uID = data.uID;
    nid.uFlags = data.uFlags;
    nid.uCallbackMessage = data.uCallbackMessage;
    nid.hIcon = reinterpret_cast<HICON>(data.hIcon);
    try {
        const std::wstring tip = widen(data.szTip);
        constexpr std::size_t room = std::size(nid.szTip) - 1;
        std::size_t n = std::min(tip.size(), room);
        if (n > 0 && n < tip.size() && IS_HIGH_SURROGATE(tip[n - 1])) {
            --n;
        }
        std::copy_n(tip.data(), n, nid.szTip);
        nid.szTip[n] = L'\0';
    } catch (...) {
        nid.szTip[0] = L'\0';
    }
    return nid;
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
