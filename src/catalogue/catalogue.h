#pragma once
// The two files that configure the menu: the catalogue (launch items and two
// window settings) and the skin (nine colours and three bitmaps). Names here
// are the files' own; every reader and writer takes them from this header so
// a key spelled twice cannot drift.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/desktop.h"

namespace kesk {
class clsINIFile;
}

namespace kesk::catalogue {

// --- Files, relative to the executable's directory ---------------------------------
inline constexpr const char* kCatalogueFile = "\\velora.ini";
inline constexpr const char* kFallbackIconFile = "\\notFound.ico";
inline constexpr const char* kSkinFile = "\\skin\\skin.ini";
inline constexpr const char* kSkinBackgroundFile = "\\skin\\Velora_BG.bmp";
inline constexpr const char* kSkinMenuBackgroundFile = "\\skin\\Velora_BG_menu.bmp";
inline constexpr const char* kSkinEditBackgroundFile = "\\skin\\Velora_BG_edit.bmp";

// The executable's directory followed by one of the names above. Where the
// platform's separator is "/" the backslashes of the name become "/", so the
// same code finds the files in the native test runs.
std::string ownFilePath(std::string_view name);
std::string cataloguePath();
std::string skinPath();

// --- Catalogue sections and keys ---------------------------------------------------
inline constexpr const char* kSectionWindow = "Window";
inline constexpr const char* kKeyHeightOffset = "heightOffset";
inline constexpr const char* kKeyHotkey = "Hotkey";
inline constexpr const char* kSectionSmallIconSize = "SmallIconSize";
inline constexpr const char* kKeyWidth = "Width";
inline constexpr const char* kKeyHeight = "Height";

inline constexpr const char* kKeyName = "Name";
inline constexpr const char* kKeyTarget = "Target";
inline constexpr const char* kKeyParam = "Param";
inline constexpr const char* kKeyWorkdir = "Workdir";
inline constexpr const char* kKeyIcon = "Icon";
inline constexpr const char* kKeyGroup = "Group";
// How often the item was started from the menu; it ranks the matches of a typed query.
inline constexpr const char* kKeyLaunches = "Launches";

// The four groups: list index and column from the left.
inline constexpr std::size_t kGroupCount = 4;
inline constexpr std::array<const char*, kGroupCount> kGroupNames = {"Tools", "Applications",
                                                                     "Documents", "Scripts"};

// The list index of a Group value, compared exactly (letter case included);
// -1 for any other value, the empty one too.
int groupIndex(std::string_view group) noexcept;

// A section is an item exactly when its Group value is not empty; the
// settings sections are skipped by the same rule.
inline bool isItemSection(std::string_view group) noexcept {
    return !group.empty();
}

// The key of a list entry for the section at position `index`: "ID" followed
// by the number with a leading blank when it is 0 or more ("ID 0", "ID 12").
std::string entryKey(std::int32_t index);

// The section position back from an entry key: the first two characters
// dropped, the rest read as a number (leading blanks skipped, up to the first
// character that cannot belong to it) and rounded to a whole number, a tie to
// the even one. Throws RuntimeError(Overflow) beyond the signed 32-bit range.
std::int32_t entryIndex(std::string_view key);

// --- Skin ------------------------------------------------------------------------------
inline constexpr const char* kSectionColors = "COLORS";

// The colour keys in the order they are read and applied.
enum class SkinColour : std::size_t {
    HEAD_BAR_BG,
    HEAD_BAR_FG,
    MENU_FG,
    MENU_BG,
    LIST_BOX_ERR,
    LIST_BOX_BG,
    LIST_BOX_FG,
    BUTTON_BG,
    EDIT_MENU_FG,
};
inline constexpr std::size_t kSkinColourCount = 9;
inline constexpr std::array<const char*, kSkinColourCount> kSkinColourKeys = {
    "HEAD_BAR_BG", "HEAD_BAR_FG", "MENU_FG",   "MENU_BG",     "LIST_BOX_ERR",
    "LIST_BOX_BG", "LIST_BOX_FG", "BUTTON_BG", "EDIT_MENU_FG"};

using SkinColours = std::array<Colour, kSkinColourCount>;

inline Colour colourOf(const SkinColours& c, SkinColour key) noexcept {
    return c[static_cast<std::size_t>(key)];
}

// Reads the nine colours in order with getLongFromHex from `COLORS` of the
// file `skin` points at. A missing key, section or file gives 0 (black).
SkinColours readSkinColours(clsINIFile& skin);

} // namespace kesk::catalogue
