// The button while the shell changes under it: a taskbar that hides itself and comes back, a
// taskbar that goes for good, the work area changing, and the hotkey that opens the menu away
// from the start button.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tray/frmMain.h"
#include "tray_fakes.h"

namespace kesk {
namespace {

using test::CallLog;
using test::FakeMenu;
using test::FakeShell;
using test::ScreenDesktop;

constexpr Rect kScreen{0, 0, 1024, 768};
constexpr WindowId kBar = 0x100;
constexpr WindowId kStart = 0x102;

// A taskbar of the newer shells at `bar`, its start button in its left corner.
ShellReport shellWith(const Rect& bar, bool visible = true) {
    ShellReport r;
    r.monitors.push_back(Monitor{kScreen, kScreen, true});
    ShellTaskbar t;
    t.window = ShellWindow{kBar, "Shell_TrayWnd", 7, visible, bar, {}};
    t.children.push_back(ShellWindow{
        kStart, "Start", 7, visible, Rect{bar.left, bar.top, bar.left + 48, bar.top + 40}, {}});
    r.taskbars.push_back(t);
    return r;
}

const Rect kShown{0, 728, 1024, 768};
const Rect kSlidDown{0, 766, 1024, 806}; // a sliver of two pixels left, as shells leave it
const Rect kGone{0, 768, 1024, 808};     // nothing left on the screen
const Rect kTop{0, 0, 1024, 40};

struct Harness {
    CallLog log;
    ScreenDesktop desktop;
    FakeShell shell{log};
    FakeMenu menu{log};
    frmMain main{desktop, shell, menu, nullptr};
    explicit Harness(const ShellReport& start) {
        desktop.processes = {"KeskVLM.exe"};
        shell.shell = start;
        main.Form_Load();
    }
    std::size_t copies() const { return desktop.reads.size(); }
};

struct MoveCase {
    const char* rule;
    Rect startsAt;
    // The taskbar's rectangles, one taskbarMoved after each; none: the shell is gone.
    std::vector<std::optional<Rect>> moves;
    bool buttonVisible;
    ButtonPlace place;
    std::size_t copies; // screen copies taken in all, the start-up's included
    Rect bounds;        // the button in the taskbar's pixels, or on the screen in its own place
};

TEST(TaskbarMoves, TheButtonHidesWithATaskbarThatSlidOffAndComesBackWithIt) {
    const MoveCase cases[] = {
        {"slid off, a sliver left: the button hides",
         kShown,
         {kSlidDown},
         false,
         ButtonPlace::Taskbar,
         1,
         Rect{0, 0, 48, 40}},
        {"slid off entirely: the button hides all the same",
         kShown,
         {kGone},
         false,
         ButtonPlace::Taskbar,
         1,
         Rect{0, 0, 48, 40}},
        {"back in the same place: shown again, no new copy",
         kShown,
         {kSlidDown, kShown},
         true,
         ButtonPlace::Taskbar,
         1,
         Rect{0, 0, 48, 40}},
        {"every step of a slide is one more move: still one copy",
         kShown,
         {Rect{0, 740, 1024, 780}, kSlidDown, Rect{0, 750, 1024, 790}, kShown},
         true,
         ButtonPlace::Taskbar,
         1,
         Rect{0, 0, 48, 40}},
        {"back on another edge: found and copied anew",
         kShown,
         {kSlidDown, kTop},
         true,
         ButtonPlace::Taskbar,
         2,
         Rect{0, 0, 48, 40}},
        {"moved while shown: copied anew where it is",
         kShown,
         {kTop},
         true,
         ButtonPlace::Taskbar,
         2,
         Rect{0, 0, 48, 40}},
        {"a move to where it was: nothing to do",
         kShown,
         {kShown},
         true,
         ButtonPlace::Taskbar,
         1,
         Rect{0, 0, 48, 40}},
        {"started while slid off: hidden, nothing copied",
         kSlidDown,
         {},
         false,
         ButtonPlace::Taskbar,
         0,
         Rect{0, 0, 48, 40}},
        {"started while slid off, then it slides in: copied then",
         kSlidDown,
         {kShown},
         true,
         ButtonPlace::Taskbar,
         1,
         Rect{0, 0, 48, 40}},
        {"the shell gone for good: the button's own place",
         kShown,
         {std::nullopt},
         true,
         ButtonPlace::OwnPlace,
         1,
         Rect{0, 744, 60, 768}},
    };
    for (const MoveCase& c : cases) {
        Harness h(shellWith(c.startsAt));
        for (const std::optional<Rect>& r : c.moves) {
            h.shell.shell = r ? shellWith(*r) : ShellReport{};
            h.main.taskbarMoved();
        }
        EXPECT_EQ(h.shell.buttonVisible, c.buttonVisible) << c.rule;
        EXPECT_EQ(h.main.state().picStartBtn.visible, c.buttonVisible) << c.rule;
        EXPECT_EQ(h.main.state().picStartBtn.place, c.place) << c.rule;
        EXPECT_EQ(h.copies(), c.copies) << c.rule;
        EXPECT_EQ(h.shell.buttonBounds, c.bounds) << c.rule;
    }
}

TEST(TaskbarMoves, OnlyTheTaskbarTheButtonLiesOnIsWatched) {
    struct Case {
        const char* rule;
        std::function<void(Harness&)> then;
        WindowId watched;
    };
    const Case cases[] = {
        {"after start-up: the taskbar", [](Harness&) {}, kBar},
        {"switched off: none", [](Harness& h) { h.main.menuToggleVLM_Click(); }, 0},
        {"switched off and on: the taskbar again",
         [](Harness& h) {
             h.main.menuToggleVLM_Click();
             h.main.menuToggleVLM_Click();
         },
         kBar},
        {"the shell gone: none",
         [](Harness& h) {
             h.shell.shell = ShellReport{};
             h.main.taskbarMoved();
         },
         0},
        {"shut down: none", [](Harness& h) { h.main.menuBarExit_Click(); }, 0},
    };
    for (const Case& c : cases) {
        Harness h(shellWith(kShown));
        c.then(h);
        EXPECT_EQ(h.shell.movesWatched, c.watched) << c.rule;
        EXPECT_EQ(h.main.state().watchedTaskbar, c.watched) << c.rule;
    }
}

TEST(TaskbarMoves, MovesAreIgnoredWhereTheButtonDoesNotCoverAStartButton) {
    struct Case {
        const char* rule;
        std::function<void(Harness&)> before;
    };
    const Case cases[] = {
        {"switched off", [](Harness& h) { h.main.menuToggleVLM_Click(); }},
        {"shutting down", [](Harness& h) { h.main.menuBarExit_Click(); }},
    };
    for (const Case& c : cases) {
        Harness h(shellWith(kShown));
        c.before(h);
        const std::size_t before = h.log.size();
        h.shell.shell = shellWith(kSlidDown);
        h.main.taskbarMoved();
        EXPECT_EQ(h.log.size(), before) << c.rule << ": " << ::testing::PrintToString(h.log);
    }
}

TEST(WorkAreaChanges, OnlyAButtonOverAStartButtonFollows) {
    struct Case {
        const char* rule;
        ShellReport start;
        ShellReport after;
        std::size_t copies;
        ButtonPlace place;
    };
    const Case cases[] = {
        {"the taskbar went to the top: followed", shellWith(kShown), shellWith(kTop), 2,
         ButtonPlace::Taskbar},
        {"nothing moved: no copy", shellWith(kShown), shellWith(kShown), 1, ButtonPlace::Taskbar},
        {"in its own place the button waits for its watch", ShellReport{}, shellWith(kShown), 0,
         ButtonPlace::OwnPlace},
    };
    for (const Case& c : cases) {
        Harness h(c.start);
        h.shell.shell = c.after;
        h.main.workAreaChanged();
        EXPECT_EQ(h.copies(), c.copies) << c.rule;
        EXPECT_EQ(h.main.state().picStartBtn.place, c.place) << c.rule;
    }
}

TEST(HotkeyPressed, ShowsTheMenuAsTheKeysAskAndHidesIt) {
    struct Case {
        const char* rule;
        std::function<void(Harness&)> before;
        int presses;
        std::vector<std::string> menuCalls;
        bool visible;
    };
    const Case cases[] = {
        {"one press: shown from the keys", [](Harness&) {}, 1, {"menu.showFromKeys"}, true},
        {"two presses: shown, then hidden",
         [](Harness&) {},
         2,
         {"menu.showFromKeys", "menu.hide"},
         false},
        {"shown by a click: a press hides it",
         [](Harness& h) { h.main.picStartBtn_Click(); },
         1,
         {"menu.show", "menu.hide"},
         false},
        {"while the about box is open: nothing",
         [](Harness& h) {
             h.shell.whileAboutOpen = [&h](frmSplash&) { h.main.hotkey_Pressed(); };
             h.main.menuAbout_Click();
         },
         0,
         {},
         false},
        {"after the shut-down began: nothing",
         [](Harness& h) { h.main.menuBarExit_Click(); },
         1,
         {"menu.unload(stores height)"},
         false},
    };
    for (const Case& c : cases) {
        Harness h(shellWith(kShown));
        const std::size_t from = h.log.size();
        c.before(h);
        for (int i = 0; i < c.presses; ++i) {
            h.main.hotkey_Pressed();
        }
        std::vector<std::string> menuCalls;
        for (std::size_t i = from; i < h.log.size(); ++i) {
            if (h.log[i].rfind("menu.", 0) == 0) {
                menuCalls.push_back(h.log[i]);
            }
        }
        EXPECT_EQ(menuCalls, c.menuCalls) << c.rule;
        EXPECT_EQ(h.menu.visible, c.visible) << c.rule;
    }
}

} // namespace
} // namespace kesk
