// The global hotkey as the system sees it: registered, pressed, refused, released.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/kesk_driver.h"
#include "win32/hotkey_window.h"
#include "win32/window_test_support.h"

namespace kesk::test {
namespace {

struct Probe {
    int pressed = 0;
    std::vector<std::string> refused;
    win::HotkeyWindow window{[this] { ++pressed; },
                             [this](const std::string& c) { refused.push_back(c); }};
};

TEST(HotkeyWindow, EachRule) {
    struct Row {
        const char* rule;
        std::function<void(Probe&)> arrange;
        std::vector<std::string> applied;
        bool registered;
        std::vector<std::string> refused;
    };
    // Taken by this test before the window asks for it, as another program would hold it.
    const auto takenElsewhere = [](Probe&) {
        return RegisterHotKey(nullptr, 77, MOD_CONTROL | MOD_ALT, VK_F10) != FALSE;
    };
    const std::vector<Row> rows = {
        {"a free combination is registered", nullptr, {"Ctrl+Alt+F11"}, true, {}},
        {"no combination: none, and nothing to tell", nullptr, {""}, false, {}},
        {"an unreadable value is refused as written", nullptr, {"Ctrl+Nope"}, false, {"Ctrl+Nope"}},
        {"a combination another holds is refused in its shown spelling",
         [&](Probe& p) { ASSERT_TRUE(takenElsewhere(p)); },
         {"ctrl+alt+f10"},
         false,
         {"Ctrl+Alt+F10"}},
        {"the same text again is not told again",
         nullptr,
         {"Ctrl+Nope", "Ctrl+Nope"},
         false,
         {"Ctrl+Nope"}},
        {"a new combination replaces the old", nullptr, {"Ctrl+Alt+F9", "Ctrl+Alt+F8"}, true, {}},
    };
    for (const Row& r : rows) {
        Probe p;
        if (r.arrange) {
            r.arrange(p);
        }
        bool registered = false;
        for (const std::string& c : r.applied) {
            registered = p.window.apply(c);
        }
        EXPECT_EQ(registered, r.registered) << r.rule;
        EXPECT_EQ(p.refused, r.refused) << r.rule;
        UnregisterHotKey(nullptr, 77);
    }
}

TEST(HotkeyWindow, APressReachesItAndAReplacedCombinationIsFreeAgain) {
    Probe p;
    ASSERT_TRUE(p.window.apply("Ctrl+Alt+F9"));
    driver::pressKeys({VK_CONTROL, VK_MENU, VK_F9});
    EXPECT_TRUE(waitFor([&] { return p.pressed == 1; }, 5000)) << "pressed " << p.pressed;

    ASSERT_TRUE(p.window.apply("Ctrl+Alt+F8"));
    EXPECT_TRUE(RegisterHotKey(nullptr, 78, MOD_CONTROL | MOD_ALT, VK_F9) != FALSE)
        << "the old combination was given back";
    UnregisterHotKey(nullptr, 78);
    EXPECT_FALSE(p.window.apply(""));
    EXPECT_TRUE(RegisterHotKey(nullptr, 79, MOD_CONTROL | MOD_ALT, VK_F8) != FALSE)
        << "no combination gives the last one back";
    UnregisterHotKey(nullptr, 79);
}

} // namespace
} // namespace kesk::test
