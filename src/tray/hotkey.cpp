#include "tray/hotkey.h"

#include "settings/profile.h"

#include <array>
#include <cctype>
#include <vector>

namespace kesk {

namespace {

struct Named {
    std::string_view name;
    std::uint16_t key;
};

// Named keys, the shown spelling first for each key.
constexpr std::array<Named, 28> kNamedKeys = {{
    {"Space", 0x20},   {"Enter", 0x0D},    {"Return", 0x0D},      {"Tab", 0x09},
    {"Esc", 0x1B},     {"Escape", 0x1B},   {"Backspace", 0x08},   {"Insert", 0x2D},
    {"Ins", 0x2D},     {"Delete", 0x2E},   {"Del", 0x2E},         {"Home", 0x24},
    {"End", 0x23},     {"PageUp", 0x21},   {"PgUp", 0x21},        {"PageDown", 0x22},
    {"PgDn", 0x22},    {"Up", 0x26},       {"Down", 0x28},        {"Left", 0x25},
    {"Right", 0x27},   {"Pause", 0x13},    {"PrintScreen", 0x2C}, {"Apps", 0x5D},
    {"NumPlus", 0x6B}, {"NumMinus", 0x6D}, {"NumMultiply", 0x6A}, {"NumDivide", 0x6F},
}};

constexpr std::uint16_t kF1 = 0x70;

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::uint32_t modifierOf(std::string_view part) {
    if (sameLetters(part, "Ctrl") || sameLetters(part, "Control") || sameLetters(part, "Strg")) {
        return kHotkeyCtrl;
    }
    if (sameLetters(part, "Alt")) {
        return kHotkeyAlt;
    }
    if (sameLetters(part, "Shift") || sameLetters(part, "Umschalt")) {
        return kHotkeyShift;
    }
    if (sameLetters(part, "Win") || sameLetters(part, "Windows")) {
        return kHotkeyWin;
    }
    return 0;
}

// The key and its shown spelling; nothing for an unknown key.
std::optional<std::pair<std::uint16_t, std::string>> keyOf(std::string_view part) {
    if (part.size() == 1) {
        const auto c = static_cast<unsigned char>(part[0]);
        if (std::isalnum(c) != 0) {
            const char up = static_cast<char>(std::toupper(c));
            return std::pair{static_cast<std::uint16_t>(up), std::string(1, up)};
        }
        return std::nullopt;
    }
    if ((part[0] == 'F' || part[0] == 'f') && part.size() <= 3) {
        int n = 0;
        for (std::size_t i = 1; i < part.size(); ++i) {
            if (std::isdigit(static_cast<unsigned char>(part[i])) == 0) {
                return std::nullopt;
            }
            n = n * 10 + (part[i] - '0');
        }
        if (part[1] != '0' && n >= 1 && n <= 24) {
            return std::pair{static_cast<std::uint16_t>(kF1 + n - 1), "F" + std::to_string(n)};
        }
        return std::nullopt;
    }
    for (const Named& k : kNamedKeys) {
        if (sameLetters(part, k.name)) {
            // Shown in the first spelling listed for that key.
            for (const Named& first : kNamedKeys) {
                if (first.key == k.key) {
                    return std::pair{k.key, std::string(first.name)};
                }
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<Hotkey> parseHotkey(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t plus = text.find('+', from);
        parts.push_back(ini::trimBlanks(text.substr(from, plus - from)));
        if (plus == std::string_view::npos) {
            break;
        }
        from = plus + 1;
    }
    // A plus sign cannot be the key ("Ctrl++" splits into an empty modifier and key): the
    // number pad's is written NumPlus.
    Hotkey hotkey;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::uint32_t m = modifierOf(parts[i]);
        if (m == 0 || (hotkey.modifiers & m) != 0) {
            return std::nullopt;
        }
        hotkey.modifiers |= m;
    }
    if (parts.back().empty()) {
        return std::nullopt;
    }
    const auto key = keyOf(parts.back());
    if (!key) {
        return std::nullopt;
    }
    hotkey.key = key->first;
    const bool functionKey = hotkey.key >= kF1 && hotkey.key < kF1 + 24;
    if (!functionKey && (hotkey.modifiers & (kHotkeyCtrl | kHotkeyAlt | kHotkeyWin)) == 0) {
        return std::nullopt;
    }
    for (const auto& [bit, name] :
         {std::pair{kHotkeyCtrl, "Ctrl"}, std::pair{kHotkeyAlt, "Alt"},
          std::pair{kHotkeyShift, "Shift"}, std::pair{kHotkeyWin, "Win"}}) {
        if ((hotkey.modifiers & bit) != 0) {
            hotkey.text += name;
            hotkey.text += '+';
        }
    }
    hotkey.text += key->second;
    return hotkey;
}

} // namespace kesk
