#pragma once
// The program's own window messages, all above WM_APP so they never meet a system message.

#include <windows.h>

namespace kesk::win::msg {

// Posted to the menu window to run a build once the current message is handled, so a build
// never starts inside another one.
inline constexpr UINT kRebuild = WM_APP + 1;
// The tray icon's notifications (Shell_NotifyIcon's uCallbackMessage).
inline constexpr UINT kTrayNotify = WM_APP + 2;
// Asks the main window to show the menu window.
inline constexpr UINT kShowMenu = WM_APP + 3;

} // namespace kesk::win::msg
