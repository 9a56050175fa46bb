#include "win32/hotkey_window.h"

#include <utility>

#include "tray/hotkey.h"

namespace kesk::win {

namespace {

constexpr wchar_t kHotkeyClass[] = L"KeskVLMHotkey";
constexpr int kHotkeyId = 1;

UINT systemModifiers(std::uint32_t modifiers) {
    UINT m = MOD_NOREPEAT; // held down, the key would toggle the menu over and over
    if ((modifiers & kHotkeyCtrl) != 0) {
        m |= MOD_CONTROL;
    }
    if ((modifiers & kHotkeyAlt) != 0) {
        m |= MOD_ALT;
    }
    if ((modifiers & kHotkeyShift) != 0) {
        m |= MOD_SHIFT;
    }
    if ((modifiers & kHotkeyWin) != 0) {
        m |= MOD_WIN;
    }
    return m;
}

} // namespace

HotkeyWindow::~HotkeyWindow() {
    release();
    destroy();
}

void HotkeyWindow::release() noexcept {
    if (registered_ && hwnd() != nullptr) {
        UnregisterHotKey(hwnd(), kHotkeyId);
    }
    registered_ = false;
}

bool HotkeyWindow::apply(const std::string& combination) {
    if (appliedOnce_ && combination == applied_) {
        return registered_;
    }
    appliedOnce_ = true;
    applied_ = combination;
    release();
    if (combination.empty()) {
        return false;
    }
    const std::optional<Hotkey> hotkey = parseHotkey(combination);
    if (hotkey && hwnd() == nullptr) {
        if (!registerClass(kHotkeyClass, 0) ||
            create(0, kHotkeyClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE) == nullptr) {
            return false; // no window, no hotkey; nothing the user could do about it
        }
    }
    registered_ = hotkey && RegisterHotKey(hwnd(), kHotkeyId, systemModifiers(hotkey->modifiers),
                                           hotkey->key) != FALSE;
    if (!registered_ && refused_) {
        refused_(hotkey ? hotkey->text : combination);
    }
    return registered_;
}

LRESULT HotkeyWindow::onMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_HOTKEY && wParam == kHotkeyId) {
        if (pressed_) {
            pressed_();
        }
        return 0;
    }
    return defaultProc(msg, wParam, lParam);
}

} // namespace kesk::win
