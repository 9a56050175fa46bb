// Reading the hotkey combination the catalogue names.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tray/hotkey.h"

namespace kesk {
namespace {

struct Row {
    const char* rule;
    const char* text;
    bool valid;
    std::uint32_t modifiers;
    std::uint16_t key;
    const char* shown;
};

TEST(Hotkey, ParsesEachRule) {
    const std::vector<Row> rows = {
        {"the default", "Ctrl+Alt+Space", true, kHotkeyCtrl | kHotkeyAlt, 0x20, "Ctrl+Alt+Space"},
        {"any letter case and spaces around the parts", " ctrl + ALT + space ", true,
         kHotkeyCtrl | kHotkeyAlt, 0x20, "Ctrl+Alt+Space"},
        {"modifiers in any order are shown in one order", "Shift+Win+Ctrl+k", true,
         kHotkeyCtrl | kHotkeyShift | kHotkeyWin, 'K', "Ctrl+Shift+Win+K"},
        {"a digit", "Alt+7", true, kHotkeyAlt, '7', "Alt+7"},
        {"German modifier names", "Strg+Umschalt+M", true, kHotkeyCtrl | kHotkeyShift, 'M',
         "Ctrl+Shift+M"},
        {"a function key alone", "F12", true, 0, 0x7B, "F12"},
        {"a function key with Shift only", "Shift+F24", true, kHotkeyShift, 0x87, "Shift+F24"},
        {"an alias is shown in its first spelling", "Win+PgDn", true, kHotkeyWin, 0x22,
         "Win+PageDown"},
        {"Control and Windows spelled out", "Control+Windows+Esc", true, kHotkeyCtrl | kHotkeyWin,
         0x1B, "Ctrl+Win+Esc"},
        {"empty text", "", false, 0, 0, ""},
        {"a modifier without a key", "Ctrl+Alt", false, 0, 0, ""},
        {"a key that is no key", "Ctrl+Spacebar", false, 0, 0, ""},
        {"two keys", "Ctrl+A+B", false, 0, 0, ""},
        {"a repeated modifier", "Ctrl+Ctrl+A", false, 0, 0, ""},
        {"a letter with Shift only would take it from every program", "Shift+A", false, 0, 0, ""},
        {"a bare letter", "A", false, 0, 0, ""},
        {"a trailing plus", "Ctrl+", false, 0, 0, ""},
        {"the plus key spelled as a plus", "Ctrl++", false, 0, 0, ""},
        {"F0 is no key", "Ctrl+F0", false, 0, 0, ""},
        {"F25 is no key", "Ctrl+F25", false, 0, 0, ""},
        {"F with a leading zero", "Ctrl+F01", false, 0, 0, ""},
        {"punctuation is no key", "Ctrl+Alt+#", false, 0, 0, ""},
        {"a byte beyond ASCII is no key", "Ctrl+\xC3\xA4", false, 0, 0, ""},
    };
    for (const Row& r : rows) {
        const std::optional<Hotkey> h = parseHotkey(r.text);
        ASSERT_EQ(h.has_value(), r.valid) << r.rule;
        if (h) {
            EXPECT_EQ(h->modifiers, r.modifiers) << r.rule;
            EXPECT_EQ(h->key, r.key) << r.rule;
            EXPECT_EQ(h->text, r.shown) << r.rule;
        }
    }
}

TEST(Hotkey, TheDefaultIsNeitherAltSpaceNorWinSpace) {
    const std::optional<Hotkey> h = parseHotkey(kDefaultHotkey);
    ASSERT_TRUE(h);
    EXPECT_NE(h->modifiers, kHotkeyAlt);
    EXPECT_NE(h->modifiers, kHotkeyWin);
}

} // namespace
} // namespace kesk
