#pragma once
// The program's own window messages, all above WM_APP so they never meet a system message.

#include <windows.h>

namespace kesk::win::msg {

// The tray icon's notifications (Shell_NotifyIcon's uCallbackMessage).
inline constexpr UINT kTrayNotify = WM_APP + 2;
// Asks the main window to show the menu window.
inline constexpr UINT kShowMenu = WM_APP + 3;
// Tells the menu window that item pictures read on the picture worker are waiting.
inline constexpr UINT kPicturesReady = WM_APP + 20;

} // namespace kesk::win::msg
