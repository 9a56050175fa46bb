#pragma once
// The notification-area icon's record, as the program fills it once at
// start-up and hands it unchanged to the removal at shut-down.

#include <cstdint>
#include <string>
#include <string_view>

namespace kesk {

// A window of the platform, as an opaque number (0: none). The presenters keep
// and compare them, only the Windows side turns them into handles.
using WindowId = std::uintptr_t;

// Which parts of the record the shell is to take.
struct TrayIconParts {
    bool message = false;
    bool icon = false;
    bool tip = false;
    bool operator==(const TrayIconParts&) const = default;
};

struct TrayIconData {
    WindowId hWnd = 0;     // the window that receives the notifications
    std::uint32_t uID = 0; // 1 once filled
    TrayIconParts uFlags;  // message, icon and tip
    std::uint32_t uCallbackMessage = 0;
    std::uintptr_t hIcon = 0; // the program icon
    std::string szTip;        // UTF-8
    bool operator==(const TrayIconData&) const = default;
};

// What the mouse did over the icon, as the notification tells it.
enum class TrayMouse {
    Move,
    LeftDown,
    LeftUp,
    LeftDoubleClick,
    RightDown,
    RightUp,
    RightDoubleClick,
    Other // any other button, or a message that is no mouse event
};

inline constexpr std::uint32_t kTrayIconId = 1;
// The tip field holds this many characters before its terminating NUL.
inline constexpr std::size_t kTrayTipCharacters = 63;

// The title cut to the tip field, never inside a UTF-8 sequence. A longer
// title loses its end rather than the terminator.
std::string trayTip(std::string_view title);

// A balloon's text field holds this many UTF-16 units before its NUL, its
// title field this many.
inline constexpr std::size_t kBalloonTextUnits = 255;
inline constexpr std::size_t kBalloonTitleUnits = 63;

// "<product> could not save to <folder>. Your change was not saved.", fitted
// to the balloon: a folder too long loses its beginning (shown as "..."),
// since its last names tell the user best which folder it is.
std::string saveFailedText(std::string_view productName, std::string_view folder);

// "The hotkey <combination> is taken by another program or is no valid combination.
// <product> runs without it.", fitted to the balloon the same way.
std::string hotkeyRefusedText(std::string_view productName, std::string_view combination);

// The record for the icon: identifier 1, flags message + icon + tip, the tip
// from the title.
TrayIconData makeTrayIconData(WindowId receiver, std::uint32_t callbackMessage, std::uintptr_t icon,
                              std::string_view title);

} // namespace kesk
