#pragma once
// The program's own window messages, all above WM_APP so they never meet a system message.

#include <windows.h>

namespace kesk::win::msg {

// The tray icon's notifications (Shell_NotifyIcon's uCallbackMessage).
inline constexpr UINT kTrayNotify = WM_APP + 2;
// The shell's start button has dealt with the click that opened its start menu: the menu
// has closed again.
inline constexpr UINT kStartMenuClosed = WM_APP + 4;
// A taskbar window (or a window inside one) was created or shown.
inline constexpr UINT kTaskbarEvent = WM_APP + 5;
// The watched taskbar moved or changed its size (one message for any number of moves).
inline constexpr UINT kTaskbarMoved = WM_APP + 6;
// One step of the start-up is waiting for the main window's thread.
inline constexpr UINT kStep = WM_APP + 7;
// Tells the menu window that item pictures read on the picture worker are waiting.
inline constexpr UINT kPicturesReady = WM_APP + 20;
// The menu window's DPI changed: it is built again at the new one, outside the message that
// told it (which can come in the middle of placing the window).
inline constexpr UINT kMenuDpiChanged = WM_APP + 21;
// Posted to the menu window when it lost activation: who has it is known once the switch is
// over.
inline constexpr UINT kActivationSettled = WM_APP + 22;

// The shell has carried out a start the menu window asked for on a thread of its own
// (wParam: the request, lParam: the shell's result).
inline constexpr UINT kLaunchDone = WM_APP + 23;

// A window message (registered under this name) the menu window answers with the number of
// builds it has run, so that a measurement from outside can count rebuilds.
inline constexpr wchar_t kBuildsName[] = L"KeskVLM.Builds";

} // namespace kesk::win::msg
