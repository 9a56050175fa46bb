#pragma once
// Where the shell's start button is, which edge its taskbar stands on, and where the menu goes
// beside it. Plain decisions on what the platform reported (ShellReport): the Windows side
// only tells what it sees, so every shell's layout can be tried here without one.

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/desktop.h"

namespace kesk {

inline constexpr std::int32_t kDefaultDpi = 96;
inline constexpr std::int32_t kMaxDpi = 480; // the platform's largest scale, 500 %

// A DPI layout can work with: nothing (0 or less) means the default, more than any
// screen has is held to the largest.
std::int32_t usableDpi(std::int32_t reported) noexcept;

// The part two rectangles share; empty (all zero) when they share nothing.
Rect intersection(const Rect& a, const Rect& b) noexcept;
bool isEmpty(const Rect& r) noexcept;

// The monitor holding the largest part of `r` (of monitors holding as much, the primary one,
// else the first); none when `r` lies on no monitor.
std::optional<Monitor> monitorOf(const std::vector<Monitor>& monitors, const Rect& r);
// The first monitor that says it is the primary one, else the first one; none without any.
std::optional<Monitor> primaryMonitor(const std::vector<Monitor>& monitors);
// The monitor under `p`; between monitors (or off all of them) the nearest one; none without
// any.
std::optional<Monitor> monitorAt(const std::vector<Monitor>& monitors, Point p);
// The monitor holding the largest part of `r`, or, off every monitor, the nearest one.
std::optional<Monitor> nearestMonitor(const std::vector<Monitor>& monitors, const Rect& r);

// The edge of `monitor` a taskbar stands on, told by its rectangle: a bar across the
// monitor's whole width is at the top or bottom, one down its whole height at the left or
// right, whichever half its middle lies in; one across neither goes by its longer side. The
// shell's claim counts only for a bar over the whole monitor, which tells nothing by itself
// (without a claim: the bottom).
ScreenEdge taskbarEdge(const Rect& taskbar, const Rect& monitor,
                       std::optional<ScreenEdge> claimed = std::nullopt) noexcept;
// The taskbar's thickness across its edge: the height of a top or bottom bar, the width of
// a left or right one.
std::int32_t taskbarThickness(const Rect& taskbar, ScreenEdge edge) noexcept;

enum class StartButtonKind {
    FirstChildButton, // a child of class "Button" (the older shells, Wine's)
    ThreadButton,     // a top-level "Button" of the taskbar's thread lying on it
    StartChild,       // a child of class "Start"
    Corner            // no start button window: the taskbar's start corner
};

struct StartButtonChoice {
    WindowId taskbar = 0;
    // 0 for the corner.
    WindowId button = 0;
    StartButtonKind kind = StartButtonKind::Corner;
    Rect taskbarRect;
    // What is seen of the start button, in screen pixels.
    Rect buttonRect;
    ScreenEdge edge = ScreenEdge::Bottom;
    Monitor monitor;
};

// The start button to cover. Taskbars are tried the primary ones first (one on the primary
// monitor before others), each shown, of a size and on a monitor; in each, the first child of
// class "Button", a top-level "Button" of its thread whose middle lies on it, the child of
// class "Start", and failing those its start corner, each shown, of a size and on a monitor.
// A taskbar with nothing shown inside it yet is still being built and is passed over. None:
// no taskbar a user can see.
std::optional<StartButtonChoice> chooseStartButton(const ShellReport& report);

// Where a menu opened away from the start button goes: by the start button of a taskbar on
// the monitor under `pointer` (the same order as above, among that monitor's taskbars), or,
// with none there, in that monitor's bottom start corner (kind Corner, taskbar 0, an empty
// bar along the bottom of its work area). None only without any monitor.
std::optional<StartButtonChoice> chooseStartButtonUnder(const ShellReport& report, Point pointer);

// Whether a taskbar has slid off its monitor, as one that hides itself does (leaving a sliver
// or nothing on the screen): more of its thickness lies beyond the monitor's edge than the
// frame some shells draw there (kTaskbarFrameSlack pixels, or a quarter of a thinner bar). Its
// monitor is the one it shares most with, or, off every monitor, the nearest one. An empty
// rectangle, a bar over its whole monitor, or no monitor at all tells nothing: not slid off.
inline constexpr std::int32_t kTaskbarFrameSlack = 4;
bool taskbarSlidOff(const Rect& taskbar, const std::vector<Monitor>& monitors);

struct MenuRequest {
    // The menu's size in pixels as the catalogue makes it.
    std::int32_t width = 0;
    std::int32_t height = 0;
    Rect startButton;
    Rect taskbar;
    ScreenEdge edge = ScreenEdge::Bottom;
    Monitor monitor;
};

struct MenuPlacement {
    Rect rect;
    // The menu did not fit and was made smaller.
    bool cut = false;
};

// Beside the taskbar, inside the monitor's work area and off the taskbar: on a bottom bar
// the menu stands on it, under a top bar it hangs from it, beside a left or right bar its top
// is level with the start button's, moved up as far as the work area needs. Across a top or
// bottom bar it starts at the start button's left, or ends at its right when the start
// button lies in the monitor's right half. A menu larger than the room is cut to it.
MenuPlacement placeMenu(const MenuRequest& request);

// Whether the pointer has left the menu for good: beyond its side away from the taskbar, or
// more than kMenuSideSlack pixels beyond one of the two sides across the taskbar. Towards
// the taskbar it may go anywhere (back to the start button).
inline constexpr std::int32_t kMenuSideSlack = 100;
bool pointerLeftMenu(ScreenEdge edge, const Rect& menu, Point cursor) noexcept;

} // namespace kesk
