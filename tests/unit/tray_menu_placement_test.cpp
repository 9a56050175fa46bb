// Where the menu window shows beyond the plain case: cut to a screen it does not fit, and on
// the monitor under the pointer when the keys open it.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

#include "menu/frmVelora.h"
#include "menu_fixture.h"

namespace kesk {
namespace {

ShellWindow win(WindowId id, const char* cls, const Rect& r) {
    return ShellWindow{id, cls, 7, true, r, {}};
}

// One monitor of `w` by `h` pixels (its work area `work`, or all of it) with a taskbar at `bar`
// whose first child is the start button.
ShellReport screenWith(std::int32_t w, std::int32_t h, const Rect& bar,
                       std::optional<Rect> work = std::nullopt) {
    ShellReport r;
    const Rect screen{0, 0, w, h};
    r.monitors.push_back(Monitor{screen, work.value_or(screen), true});
    ShellTaskbar t;
    t.window = win(0x100, "Shell_TrayWnd", bar);
    t.children.push_back(win(0x101, "Button", Rect{bar.left, bar.top, bar.left + 53, bar.bottom}));
    r.taskbars.push_back(t);
    return r;
}

class MenuPlacement : public test::MenuFixture {
  protected:
    frmVelora form{desk};
};

struct CutCase {
    const char* rule;
    std::int32_t width;
    std::int32_t height;
    std::optional<ShellReport> shell; // none: no taskbar at all
    std::int32_t heightOffset;
    std::int32_t cutTwips;
    std::int32_t shownTop; // twips
};

// The window is 8295 twips high at offset 0: 553 pixels at 15 twips per pixel.
TEST_F(MenuPlacement, AWindowTallerThanItsRoomIsCutToIt) {
    const CutCase cases[] = {
        {"fits: shown as placed", 1024, 768, screenWith(1024, 768, {0, 738, 1024, 768}), 0, 0,
         11520 - 8295 - 450},
        {"640 by 480 with a bottom bar: cut to the 450 pixels above it", 640, 480,
         screenWith(640, 480, {0, 450, 640, 480}), 0, 8295 - 450 * 15, 0},
        {"640 by 480 with a top bar: cut to the 450 pixels under it", 640, 480,
         screenWith(640, 480, {0, 0, 640, 30}), 0, 8295 - 450 * 15, 30 * 15},
        {"no taskbar: cut to the screen", 640, 480, std::nullopt, 0, 8295 - 480 * 15, 0},
        {"a tall window in a work area another bar makes smaller", 1024, 768,
         screenWith(1024, 768, {0, 738, 1024, 768}, Rect{0, 100, 1024, 738}), 2000,
         10295 - 638 * 15, 100 * 15},
        {"a taskbar thicker than half the screen", 640, 480,
         screenWith(640, 480, {0, 150, 640, 480}), 0, 8295 - 150 * 15, 0},
        {"a taskbar over nearly all of it: never more than the lists", 640, 480,
         screenWith(640, 480, {0, 20, 640, 480}), 0, 7455, 20 * 15 - 840},
    };
    for (const CutCase& c : cases) {
        desk.metrics = ScreenMetrics{c.width, c.height, 15.0, 15.0};
        desk.shell = c.shell;
        if (!c.shell) {
            desk.taskbar = Rect{};
            desk.startButton = Rect{};
        }
        writeCatalogue("[Window]\nheightOffset=" + std::to_string(c.heightOffset) +
                       "\n[SmallIconSize]\nWidth=16\nHeight=16\n");
        ASSERT_TRUE(form.Form_Construct()) << c.rule;
        const frmVeloraState& s = form.state();
        EXPECT_EQ(s.cutTwips, c.cutTwips) << c.rule;
        EXPECT_EQ(s.cutTwips > 0 ? s.cutTop : s.top, c.shownTop) << c.rule;
        // What is stored, what the lists hold and where the window was placed stay as they
        // were: only the showing is cut.
        EXPECT_EQ(s.heightOffset, c.heightOffset) << c.rule;
        EXPECT_EQ(s.height, c.heightOffset + 8295) << c.rule;
        EXPECT_EQ(s.lstViewA[0].height, c.heightOffset + 7455) << c.rule;
    }
}

TEST_F(MenuPlacement, DraggingTheHeadlineOfACutWindowKeepsItCut) {
    desk.metrics = ScreenMetrics{640, 480, 15.0, 15.0};
    desk.shell = screenWith(640, 480, {0, 450, 640, 480});
    writeCatalogue(kSettings);
    ASSERT_TRUE(form.Form_Construct());
    ASSERT_GT(form.state().cutTwips, 0);
    desk.cursor = {100, 200}; // the headline dragged down: the window gets shorter
    form.lblHeadline_MouseMove(1, 0, 0, 0);
    EXPECT_EQ(form.state().cutTwips, 0) << "shorter than the room now: shown whole";
    desk.cursor = {100, 0}; // up to the top: taller than the room again
    form.lblHeadline_MouseMove(1, 0, 0, 0);
    EXPECT_GT(form.state().cutTwips, 0);
    EXPECT_EQ(form.state().cutTop + form.state().height - form.state().cutTwips, 450 * 15)
        << "still standing on the taskbar";
}

// Four monitors: the primary with the start button's taskbar, a second with a taskbar of its
// own, a third without one beside the primary, and a fourth below it, too low for the window.
ShellReport fourMonitors() {
    ShellReport r = screenWith(1024, 768, {0, 738, 1024, 768}, Rect{0, 0, 1024, 738});
    r.monitors.push_back(Monitor{{1024, 0, 2304, 1024}, {1024, 0, 2304, 984}, false});
    r.monitors.push_back(Monitor{{-800, 0, 0, 600}, {-800, 0, 0, 560}, false});
    r.monitors.push_back(Monitor{{0, 768, 640, 1248}, {0, 768, 640, 1248}, false});
    ShellTaskbar second;
    second.window = win(0x200, "Shell_SecondaryTrayWnd", {1024, 984, 2304, 1024});
    second.children.push_back(win(0x201, "Start", {1024, 984, 1072, 1024}));
    r.taskbars.push_back(second);
    return r;
}

struct PointerCase {
    const char* rule;
    Point pointer;
    std::function<void(frmVelora&)> open;
    std::int32_t leftPixels;
    std::int32_t topPixels; // of the window as shown
    std::int32_t cutTwips;
};

TEST_F(MenuPlacement, OpenedByTheKeysTheWindowGoesToTheMonitorUnderThePointer) {
    const auto keys = [](frmVelora& f) { f.placeUnderPointer(); };
    const auto keysThenClick = [](frmVelora& f) {
        f.placeUnderPointer();
        f.placeByStartButton();
    };
    const PointerCase cases[] = {
        {"on the start button's monitor: where the build put it",
         {500, 300},
         keys,
         0,
         768 - 30 - 553,
         0},
        {"on the second monitor: on its taskbar, from its start button",
         {1500, 500},
         keys,
         1024,
         984 - 553,
         0},
        {"on a monitor without a taskbar: the bottom left of its work area",
         {-400, 300},
         keys,
         -800,
         560 - 553,
         0},
        {"on a monitor too low for it: cut to it", {300, 1000}, keys, 0, 768, 8295 - 480 * 15},
        {"between monitors: the nearest one", {2500, 500}, keys, 1024, 984 - 553, 0},
        {"opened by the keys elsewhere, then by a click: back by the start button",
         {1500, 500},
         keysThenClick,
         0,
         768 - 30 - 553,
         0},
    };
    writeCatalogue(kSettings);
    for (const PointerCase& c : cases) {
        desk.shell = fourMonitors();
        ASSERT_TRUE(form.Form_Construct()) << c.rule;
        desk.cursor = c.pointer;
        c.open(form);
        const frmVeloraState& s = form.state();
        EXPECT_EQ(s.left, c.leftPixels * 15) << c.rule;
        EXPECT_EQ(s.cutTwips > 0 ? s.cutTop : s.top, c.topPixels * 15) << c.rule;
        EXPECT_EQ(s.cutTwips, c.cutTwips) << c.rule;
        EXPECT_EQ(s.menuTopPixels, c.topPixels) << c.rule;
    }
}

TEST_F(MenuPlacement, OnTheSecondMonitorThePointerMayGoBackToItsTaskbar) {
    writeCatalogue(kSettings);
    desk.shell = fourMonitors();
    ASSERT_TRUE(form.Form_Construct());
    desk.cursor = {1500, 500};
    form.placeUnderPointer();
    form.Show();
    struct Case {
        const char* rule;
        Point pointer;
        bool stays;
    };
    const Case cases[] = {
        {"inside", {1100, 600}, true},
        {"down on its taskbar", {1040, 1000}, true},
        {"above it", {1100, 984 - 553 - 5}, false},
    };
    for (const Case& c : cases) {
        form.Show();
        desk.cursor = c.pointer;
        form.Timer_Mouse_Pos_Check_Timer();
        EXPECT_EQ(form.state().visible, c.stays) << c.rule;
    }
}

} // namespace
} // namespace kesk
