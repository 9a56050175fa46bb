#pragma once
// The global hotkey as the catalogue writes it: a readable combination such as
// "Ctrl+Alt+Space", modifiers first, one key last, joined by '+', in any letter case.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kesk {

// Modifier bits of our own; the Windows side maps them to the system's.
inline constexpr std::uint32_t kHotkeyCtrl = 1;
inline constexpr std::uint32_t kHotkeyAlt = 2;
inline constexpr std::uint32_t kHotkeyShift = 4;
inline constexpr std::uint32_t kHotkeyWin = 8;

// The combination used when the catalogue names none. Alt+Space opens a window's menu and
// Win+Space switches the input language; Ctrl+Alt+Space does neither, and the layouts that
// read Ctrl+Alt as AltGr type nothing with AltGr+Space.
inline constexpr std::string_view kDefaultHotkey = "Ctrl+Alt+Space";

struct Hotkey {
    std::uint32_t modifiers = 0;
    // The key's virtual-key number (letters and digits are their upper-case character).
    std::uint16_t key = 0;
    // The combination written the one way the program shows it ("Ctrl+Alt+Space").
    std::string text;
};

// Nothing for text that is no combination: an unknown or missing key, two keys, a repeated
// modifier, or a letter, digit or editing key without Ctrl, Alt or Win (it would take that
// key away from every program; a function key alone or with Shift is allowed).
std::optional<Hotkey> parseHotkey(std::string_view text);

} // namespace kesk
