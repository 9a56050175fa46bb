#pragma once
// The notification-area icon through Shell_NotifyIconW.

#include <windows.h>

#include <shellapi.h>

#include <string>

#include "tray/mdTrayIcon.h"

namespace kesk::win {

// The shell's record for `data`: the wide form of the structure, with the tip
// converted to UTF-16 and cut to the field (never inside a surrogate pair).
NOTIFYICONDATAW toNotifyIconData(const TrayIconData& data) noexcept;
// The record's flags for the parts it carries.
UINT notifyFlagsOf(const TrayIconParts& parts) noexcept;
// What the mouse did, from the long parameter of a notification.
TrayMouse trayMouseOf(LPARAM notification) noexcept;

// The NIM_MODIFY record that shows a warning balloon from the icon; title and
// text are cut to their fields like the tip.
NOTIFYICONDATAW toBalloonData(const TrayIconData& icon, const std::string& title,
                              const std::string& text) noexcept;
// Shows the balloon; false when the shell has no such icon or no notification area.
bool showTrayBalloon(const TrayIconData& icon, const std::string& title,
                     const std::string& text) noexcept;

// NIM_ADD. The shell answers false when it has no notification area.
bool addTrayIcon(const TrayIconData& data) noexcept;
// NIM_DELETE. A record that was never filled names no icon: nothing is asked.
bool removeTrayIcon(const TrayIconData& data) noexcept;

// The message the shell broadcasts after it created its taskbar anew; every
// icon must then be added again.
UINT taskbarCreatedMessage() noexcept;

} // namespace kesk::win
