// The start button, the taskbar's edge and the menu's place, on desktops laid out as the
// shells lay them out.

#include "tray/taskbar_layout.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace kesk;

namespace {

constexpr Rect kScreen{0, 0, 1024, 768};
constexpr std::uint32_t kShellThread = 77;

ShellWindow window(WindowId id, const char* cls, Rect r, bool visible = true,
                   std::uint32_t thread = kShellThread) {
    return ShellWindow{id, cls, thread, visible, r, {}};
}

// One monitor the size of the screen; its work area leaves the taskbar out, as a shell
// that registered its bar makes it.
ShellReport desktopWith(const Rect& bar) {
    ShellReport r;
    Rect work = kScreen;
    if (bar.top > 0) {
        work.bottom = bar.top;
    } else if (bar.bottom < kScreen.bottom) {
        work.top = bar.bottom;
    } else if (bar.left > 0) {
        work.right = bar.left;
    } else {
        work.left = bar.right;
    }
    r.monitors.push_back(Monitor{kScreen, work, true});
    ShellTaskbar t;
    t.window = window(0x10, "Shell_TrayWnd", bar);
    r.taskbars.push_back(t);
    return r;
}

ShellTaskbar& bar(ShellReport& r) {
    return r.taskbars.front();
}

// The older shells and Wine: the start button is the taskbar's first child.
ShellReport xp(const Rect& b, const Rect& start) {
    ShellReport r = desktopWith(b);
    bar(r).children.push_back(window(0x11, "Button", start));
    bar(r).children.push_back(window(0x12, "TrayNotifyWnd", Rect{900, b.top, b.right, b.bottom}));
    return r;
}

// The orb is a top-level window of the taskbar's thread, taller than the bar.
ShellReport seven(const Rect& b, const Rect& orb) {
    ShellReport r = desktopWith(b);
    bar(r).children.push_back(window(0x21, "ReBarWindow32", Rect{60, b.top, 800, b.bottom}));
    r.topLevelButtons.push_back(window(0x30, "Button", Rect{900, 10, 950, 40}, true, 5));
    r.topLevelButtons.push_back(window(0x31, "Button", orb));
    return r;
}

// A child of class "Start", a content bridge over the whole bar before it.
ShellReport ten(const Rect& b, const Rect& start) {
    ShellReport r = desktopWith(b);
    bar(r).children.push_back(window(0x41, "Windows.UI.Composition.DesktopWindowContentBridge", b));
    bar(r).children.push_back(window(0x42, "Start", start));
    return r;
}

struct ChoiceCase {
    const char* rule;
    std::function<ShellReport()> desktop;
    std::optional<StartButtonKind> kind; // none: no start button at all
    WindowId button;
    Rect buttonRect;
    ScreenEdge edge;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.rule;
}

class ChooseStartButton : public testing::TestWithParam<ChoiceCase> {};

TEST_P(ChooseStartButton, FindsWhatTheUserSees) {
    const ChoiceCase& c = GetParam();
    const std::optional<StartButtonChoice> got = chooseStartButton(c.desktop());
    ASSERT_EQ(got.has_value(), c.kind.has_value()) << c.rule;
    if (!got) {
        return;
    }
    EXPECT_EQ(got->kind, *c.kind) << c.rule;
    EXPECT_EQ(got->button, c.button) << c.rule;
    EXPECT_EQ(got->buttonRect, c.buttonRect) << c.rule;
    EXPECT_EQ(got->edge, c.edge) << c.rule;
}

using K = StartButtonKind;
using E = ScreenEdge;
constexpr Rect kBottomBar{0, 738, 1024, 768};

INSTANTIATE_TEST_SUITE_P(
    Shells, ChooseStartButton,
    testing::Values(
        ChoiceCase{"xp: the first Button child",
                   [] {
                       return xp(kBottomBar, {0, 738, 53, 768});
                   },
                   K::FirstChildButton, 0x11, Rect{0, 738, 53, 768}, E::Bottom},
        ChoiceCase{"seven: the thread's top-level Button lying on the bar",
                   [] {
                       return seven({0, 728, 1024, 768}, {0, 720, 54, 768});
                   },
                   K::ThreadButton, 0x31, Rect{0, 720, 54, 768}, E::Bottom},
        ChoiceCase{"seven: a Button of another thread is not it",
                   [] {
                       ShellReport r = seven({0, 728, 1024, 768}, {0, 720, 54, 768});
                       r.topLevelButtons[1].thread = 5;
                       return r;
                   },
                   K::Corner, 0, Rect{0, 728, 40, 768}, E::Bottom},
        ChoiceCase{"seven: a Button of the thread elsewhere on the screen is not it",
                   [] {
                       return seven({0, 728, 1024, 768}, {0, 300, 54, 348});
                   },
                   K::Corner, 0, Rect{0, 728, 40, 768}, E::Bottom},
        ChoiceCase{"ten: the Start child, left",
                   [] {
                       return ten({0, 728, 1024, 768}, {0, 728, 48, 768});
                   },
                   K::StartChild, 0x42, Rect{0, 728, 48, 768}, E::Bottom},
        ChoiceCase{"eleven centred: the Start child where it is",
                   [] {
                       return ten({0, 720, 1024, 768}, {380, 724, 420, 764});
                   },
                   K::StartChild, 0x42, Rect{380, 724, 420, 764}, E::Bottom},
        ChoiceCase{"touch taskbar: only the drawn part of Start",
                   [] {
                       ShellReport r = ten({0, 720, 1024, 768}, {370, 720, 430, 768});
                       bar(r).children[1].drawn = Rect{380, 724, 420, 764};
                       return r;
                   },
                   K::StartChild, 0x42, Rect{380, 724, 420, 764}, E::Bottom},
        ChoiceCase{"a Button child comes before Start",
                   [] {
                       ShellReport r = ten({0, 728, 1024, 768}, {0, 728, 48, 768});
                       bar(r).children.push_back(window(0x43, "button", {60, 728, 90, 768}));
                       return r;
                   },
                   K::FirstChildButton, 0x43, Rect{60, 728, 90, 768}, E::Bottom},
        ChoiceCase{"a hidden Button child is passed over",
                   [] {
                       ShellReport r = ten({0, 728, 1024, 768}, {0, 728, 48, 768});
                       bar(r).children.push_back(window(0x43, "Button", {60, 728, 90, 768}, false));
                       return r;
                   },
                   K::StartChild, 0x42, Rect{0, 728, 48, 768}, E::Bottom},
        ChoiceCase{"top edge",
                   [] {
                       return ten({0, 0, 1024, 40}, {0, 0, 48, 40});
                   },
                   K::StartChild, 0x42, Rect{0, 0, 48, 40}, E::Top},
        ChoiceCase{"left edge",
                   [] {
                       return ten({0, 0, 62, 768}, {0, 0, 62, 40});
                   },
                   K::StartChild, 0x42, Rect{0, 0, 62, 40}, E::Left},
        ChoiceCase{"right edge",
                   [] {
                       return ten({962, 0, 1024, 768}, {962, 0, 1024, 40});
                   },
                   K::StartChild, 0x42, Rect{962, 0, 1024, 40}, E::Right},
        ChoiceCase{"Start of zero size: the corner",
                   [] {
                       return ten({0, 728, 1024, 768}, {0, 728, 0, 728});
                   },
                   K::Corner, 0, Rect{0, 728, 40, 768}, E::Bottom},
        ChoiceCase{"Start off every monitor: the corner",
                   [] {
                       return ten({0, 728, 1024, 768}, {-3000, -3000, -2950, -2960});
                   },
                   K::Corner, 0, Rect{0, 728, 40, 768}, E::Bottom},
        ChoiceCase{"corner of a left bar is its top",
                   [] {
                       ShellReport r = ten({0, 0, 62, 768}, {0, 0, 0, 0});
                       return r;
                   },
                   K::Corner, 0, Rect{0, 0, 62, 62}, E::Left},
        ChoiceCase{"a bar with nothing shown inside is still being built",
                   [] {
                       ShellReport r = desktopWith(kBottomBar);
                       bar(r).children.push_back(window(0x11, "Button", {0, 738, 0, 738}));
                       return r;
                   },
                   std::nullopt, 0, Rect{}, E::Bottom},
        ChoiceCase{"a hidden taskbar is none",
                   [] {
                       ShellReport r = xp(kBottomBar, {0, 738, 53, 768});
                       bar(r).window.visible = false;
                       return r;
                   },
                   std::nullopt, 0, Rect{}, E::Bottom},
        ChoiceCase{"the shell gone for good", [] { return ShellReport{}; }, std::nullopt, 0, Rect{},
                   E::Bottom},
        ChoiceCase{"a taskbar off every monitor is none",
                   [] {
                       return xp({5000, 738, 6024, 768}, {5000, 738, 5053, 768});
                   },
                   std::nullopt, 0, Rect{}, E::Bottom},
        ChoiceCase{"a window of another class is no taskbar",
                   [] {
                       ShellReport r = xp(kBottomBar, {0, 738, 53, 768});
                       bar(r).window.className = "Shell_TrayWndX";
                       return r;
                   },
                   std::nullopt, 0, Rect{}, E::Bottom},
        ChoiceCase{"two primaries: the one on the primary monitor",
                   [] {
                       ShellReport r = xp(kBottomBar, {0, 738, 53, 768});
                       r.monitors.push_back(Monitor{{-1024, 0, 0, 768}, {-1024, 0, 0, 768}, false});
                       ShellTaskbar other;
                       other.window = window(0x50, "Shell_TrayWnd", {-1024, 738, 0, 768});
                       other.children.push_back(window(0x51, "Button", {-1024, 738, -970, 768}));
                       r.taskbars.insert(r.taskbars.begin(), other);
                       return r;
                   },
                   K::FirstChildButton, 0x11, Rect{0, 738, 53, 768}, E::Bottom},
        ChoiceCase{"a secondary taskbar comes after the primary one",
                   [] {
                       ShellReport r = ten(kBottomBar, {0, 738, 48, 768});
                       ShellTaskbar other;
                       other.window = window(0x50, "Shell_SecondaryTrayWnd", kBottomBar);
                       other.children.push_back(window(0x51, "Start", {500, 738, 548, 768}));
                       r.taskbars.insert(r.taskbars.begin(), other);
                       return r;
                   },
                   K::StartChild, 0x42, Rect{0, 738, 48, 768}, E::Bottom},
        ChoiceCase{"the only taskbar may be a secondary one",
                   [] {
                       ShellReport r = ten(kBottomBar, {0, 738, 48, 768});
                       bar(r).window.className = "Shell_SecondaryTrayWnd";
                       return r;
                   },
                   K::StartChild, 0x42, Rect{0, 738, 48, 768}, E::Bottom},
        ChoiceCase{"a taskbar thicker than half the screen",
                   [] {
                       return ten({0, 300, 1024, 768}, {0, 300, 48, 768});
                   },
                   K::StartChild, 0x42, Rect{0, 300, 48, 768}, E::Bottom}));

struct EdgeCase {
    const char* rule;
    Rect taskbar;
    std::optional<ScreenEdge> claimed;
    ScreenEdge edge;
    std::int32_t thickness;
};

void PrintTo(const EdgeCase& c, std::ostream* os) {
    *os << c.rule;
}

class TaskbarEdge : public testing::TestWithParam<EdgeCase> {};

TEST_P(TaskbarEdge, ComesFromTheRectangle) {
    const EdgeCase& c = GetParam();
    EXPECT_EQ(taskbarEdge(c.taskbar, kScreen, c.claimed), c.edge) << c.rule;
    EXPECT_EQ(taskbarThickness(c.taskbar, c.edge), c.thickness) << c.rule;
}

INSTANTIATE_TEST_SUITE_P(
    Edges, TaskbarEdge,
    testing::Values(
        EdgeCase{"bottom", {0, 738, 1024, 768}, std::nullopt, E::Bottom, 30},
        EdgeCase{"top", {0, 0, 1024, 40}, std::nullopt, E::Top, 40},
        EdgeCase{"left", {0, 0, 62, 768}, std::nullopt, E::Left, 62},
        EdgeCase{"right", {962, 0, 1024, 768}, std::nullopt, E::Right, 62},
        EdgeCase{"a claim against the rectangle is not believed",
                 {0, 738, 1024, 768},
                 E::Top,
                 E::Bottom,
                 30},
        EdgeCase{"the one-pixel claim of a bar at the left is not believed",
                 {0, 0, 62, 768},
                 E::Bottom,
                 E::Left,
                 62},
        EdgeCase{"slid off below, a sliver left", {0, 766, 1024, 796}, std::nullopt, E::Bottom, 30},
        EdgeCase{
            "slid off to the left, a sliver left", {-60, 0, 2, 768}, std::nullopt, E::Left, 62},
        EdgeCase{"thicker than half the screen, at the top",
                 {0, 0, 1024, 500},
                 std::nullopt,
                 E::Top,
                 500},
        EdgeCase{
            "covering the screen: the claim decides", {0, 0, 1024, 768}, E::Right, E::Right, 1024},
        EdgeCase{"covering the screen, no claim: the bottom",
                 {0, -40000, 1024, 40000},
                 std::nullopt,
                 E::Bottom,
                 80000},
        EdgeCase{"a short floating bar goes by its longer side",
                 {100, 0, 300, 30},
                 std::nullopt,
                 E::Top,
                 30},
        EdgeCase{"an inverted rectangle has no thickness",
                 {0, 768, 1024, 738},
                 std::nullopt,
                 E::Bottom,
                 0}));

struct MenuCase {
    const char* rule;
    MenuRequest request;
    Rect rect;
    bool cut;
};

void PrintTo(const MenuCase& c, std::ostream* os) {
    *os << c.rule;
}

class PlaceMenu : public testing::TestWithParam<MenuCase> {};

TEST_P(PlaceMenu, BesideTheTaskbarInsideTheWorkArea) {
    const MenuCase& c = GetParam();
    const MenuPlacement got = placeMenu(c.request);
    EXPECT_EQ(got.rect, c.rect) << c.rule;
    EXPECT_EQ(got.cut, c.cut) << c.rule;
}

const Monitor kWholeScreen{kScreen, kScreen, true};

INSTANTIATE_TEST_SUITE_P(
    Corners, PlaceMenu,
    testing::Values(
        MenuCase{"bottom: standing on the bar at the start button's left",
                 {553,
                  553,
                  {0, 738, 53, 768},
                  {0, 738, 1024, 768},
                  E::Bottom,
                  Monitor{kScreen, {0, 0, 1024, 738}, true}},
                 {0, 185, 553, 738},
                 false},
        MenuCase{"bottom, start button centred: from its left",
                 {553, 553, {380, 724, 420, 764}, {0, 720, 1024, 768}, E::Bottom, kWholeScreen},
                 {380, 167, 933, 720},
                 false},
        MenuCase{"bottom, start button in the right half: ending at its right",
                 {300, 400, {900, 738, 950, 768}, {0, 738, 1024, 768}, E::Bottom, kWholeScreen},
                 {650, 338, 950, 738},
                 false},
        MenuCase{"held inside the monitor across the bar",
                 {553, 400, {700, 738, 750, 768}, {0, 738, 1024, 768}, E::Bottom, kWholeScreen},
                 {197, 338, 750, 738},
                 false},
        MenuCase{"start button left of the monitor: held at its left",
                 {553, 400, {-30, 738, 20, 768}, {0, 738, 1024, 768}, E::Bottom, kWholeScreen},
                 {0, 338, 553, 738},
                 false},
        MenuCase{"top: hanging from the bar",
                 {553, 553, {0, 0, 48, 40}, {0, 0, 1024, 40}, E::Top, kWholeScreen},
                 {0, 40, 553, 593},
                 false},
        MenuCase{"left: beside the bar, level with the start button",
                 {553, 300, {0, 100, 62, 140}, {0, 0, 62, 768}, E::Left, kWholeScreen},
                 {62, 100, 615, 400},
                 false},
        MenuCase{"left: moved up to stay on the screen",
                 {553, 553, {0, 700, 62, 740}, {0, 0, 62, 768}, E::Left, kWholeScreen},
                 {62, 215, 615, 768},
                 false},
        MenuCase{"right: beside the bar, ending at it",
                 {553, 553, {962, 0, 1024, 40}, {962, 0, 1024, 768}, E::Right, kWholeScreen},
                 {409, 0, 962, 553},
                 false},
        MenuCase{"taller than the work area: cut to it (640 by 480)",
                 {553,
                  553,
                  {0, 450, 53, 480},
                  {0, 450, 640, 480},
                  E::Bottom,
                  Monitor{{0, 0, 640, 480}, {0, 0, 640, 450}, true}},
                 {0, 0, 553, 450},
                 true},
        MenuCase{"wider than the room beside a left bar: cut",
                 {553,
                  200,
                  {0, 0, 62, 40},
                  {0, 0, 600, 480},
                  E::Left,
                  Monitor{{0, 0, 640, 480}, {0, 0, 640, 480}, true}},
                 {600, 0, 640, 200},
                 true},
        MenuCase{"a work area with the taskbar still in it: kept off the bar",
                 {553, 553, {0, 738, 53, 768}, {0, 738, 1024, 768}, E::Bottom, kWholeScreen},
                 {0, 185, 553, 738},
                 false},
        MenuCase{"a taskbar over the whole work area: the menu over it",
                 {553, 553, {0, 0, 53, 40}, {0, 0, 1024, 768}, E::Bottom, kWholeScreen},
                 {0, 215, 553, 768},
                 false},
        MenuCase{"a work area off the monitor: the monitor instead",
                 {553,
                  553,
                  {0, 738, 53, 768},
                  {0, 738, 1024, 768},
                  E::Bottom,
                  Monitor{kScreen, {5000, 0, 6000, 768}, true}},
                 {0, 185, 553, 738},
                 false},
        MenuCase{"a second monitor at the left: its own coordinates",
                 {553,
                  553,
                  {-1024, 738, -970, 768},
                  {-1024, 738, 0, 768},
                  E::Bottom,
                  Monitor{{-1024, 0, 0, 768}, {-1024, 0, 0, 738}, false}},
                 {-1024, 185, -471, 738},
                 false},
        MenuCase{"a menu of no size",
                 {0, -5, {0, 738, 53, 768}, {0, 738, 1024, 768}, E::Bottom, kWholeScreen},
                 {0, 738, 0, 738},
                 false}));

struct PointerCase {
    const char* rule;
    ScreenEdge edge;
    Point cursor;
    bool left;
};

void PrintTo(const PointerCase& c, std::ostream* os) {
    *os << c.rule;
}

class PointerLeftMenu : public testing::TestWithParam<PointerCase> {};

TEST_P(PointerLeftMenu, OnlyAwayFromTheTaskbar) {
    const PointerCase& c = GetParam();
    const Rect menu{200, 200, 600, 600};
    EXPECT_EQ(pointerLeftMenu(c.edge, menu, c.cursor), c.left) << c.rule;
}

INSTANTIATE_TEST_SUITE_P(
    Sides, PointerLeftMenu,
    testing::Values(
        PointerCase{"bottom: inside", E::Bottom, {300, 300}, false},
        PointerCase{"bottom: on its top row", E::Bottom, {300, 200}, false},
        PointerCase{"bottom: above its top", E::Bottom, {300, 199}, true},
        PointerCase{"bottom: down on the taskbar", E::Bottom, {300, 760}, false},
        PointerCase{"bottom: within the slack at the right", E::Bottom, {700, 300}, false},
        PointerCase{"bottom: beyond the slack at the right", E::Bottom, {701, 300}, true},
        PointerCase{"bottom: beyond the slack at the left", E::Bottom, {99, 300}, true},
        PointerCase{"top: below its bottom", E::Top, {300, 600}, true},
        PointerCase{"top: up on the taskbar", E::Top, {300, 5}, false},
        PointerCase{"left: right of it", E::Left, {600, 300}, true},
        PointerCase{"left: on the taskbar", E::Left, {5, 300}, false},
        PointerCase{"left: far below", E::Left, {300, 701}, true},
        PointerCase{"right: left of it", E::Right, {199, 300}, true},
        PointerCase{"right: on the taskbar", E::Right, {1000, 300}, false}));

struct DpiCase {
    const char* rule;
    std::int32_t reported;
    std::int32_t used;
};

TEST(UsableDpi, HoldsWhatThePlatformReports) {
    const DpiCase cases[] = {
        {"the default", 96, 96},          {"150 %", 144, 144},
        {"nothing reported", 0, 96},      {"negative", -120, 96},
        {"beyond any screen", 2000, 480}, {"the largest", 480, 480},
    };
    for (const DpiCase& c : cases) {
        EXPECT_EQ(usableDpi(c.reported), c.used) << c.rule;
    }
}

struct MonitorCase {
    const char* rule;
    Rect r;
    std::optional<bool> primary; // none: no monitor
};

TEST(MonitorOf, TakesTheMonitorWithTheLargestShare) {
    const std::vector<Monitor> two{Monitor{kScreen, kScreen, true},
                                   Monitor{{1024, 0, 2048, 768}, {1024, 0, 2048, 768}, false}};
    const MonitorCase cases[] = {
        {"on the primary", {0, 0, 10, 10}, true},
        {"on the second", {1100, 0, 1110, 10}, false},
        {"across, more on the second", {1000, 0, 1100, 10}, false},
        {"off both", {5000, 5000, 5010, 5010}, std::nullopt},
        {"empty", {10, 10, 10, 10}, std::nullopt},
    };
    for (const MonitorCase& c : cases) {
        const std::optional<Monitor> m = monitorOf(two, c.r);
        ASSERT_EQ(m.has_value(), c.primary.has_value()) << c.rule;
        if (m) {
            EXPECT_EQ(m->primary, *c.primary) << c.rule;
        }
    }
    EXPECT_FALSE(primaryMonitor({}).has_value()) << "no monitor";
    EXPECT_EQ(primaryMonitor({two[1], two[0]})->area, kScreen) << "the primary, listed second";
    EXPECT_EQ(primaryMonitor({two[1]})->area, two[1].area) << "none says primary: the first";
}

// --- A taskbar that hides itself ---------------------------------------------------------------

struct SlideCase {
    const char* rule;
    Rect bar;
    std::vector<Monitor> monitors;
    bool slidOff;
};

TEST(TaskbarSlidOff, WhenMoreThanItsFrameLiesBeyondItsMonitor) {
    const std::vector<Monitor> one{Monitor{kScreen, kScreen, true}};
    const std::vector<Monitor> sideBySide{
        Monitor{kScreen, kScreen, true},
        Monitor{{1024, 0, 2048, 768}, {1024, 0, 2048, 768}, false}};
    const std::vector<Monitor> stacked{Monitor{kScreen, kScreen, true},
                                       Monitor{{0, 768, 1024, 1536}, {0, 768, 1024, 1536}, false}};
    const SlideCase cases[] = {
        {"a bottom bar in place", {0, 738, 1024, 768}, one, false},
        {"a bottom bar slid down, a sliver left", {0, 766, 1024, 806}, one, true},
        {"a bottom bar slid off entirely: the nearest monitor is its own",
         {0, 768, 1024, 808},
         one,
         true},
        {"half-way in", {0, 748, 1024, 788}, one, true},
        {"a top bar slid up", {0, -38, 1024, 2}, one, true},
        {"a top bar in place", {0, 0, 1024, 40}, one, false},
        {"a left bar slid left", {-60, 0, 2, 768}, one, true},
        {"a right bar slid right", {1022, 0, 1084, 768}, one, true},
        {"a right bar in place", {962, 0, 1024, 768}, one, false},
        {"a frame beyond the screen's edges, as older shells draw it",
         {-2, 736, 1026, 770},
         one,
         false},
        {"a frame of more than the slack", {-2, 736, 1026, 774}, one, true},
        {"a thin bar losing no more than a quarter", {0, 765, 1024, 769}, one, false},
        {"a thin bar losing more than a quarter", {0, 766, 1024, 770}, one, true},
        {"the second monitor's bar slid off its bottom", {1024, 766, 2048, 806}, sideBySide, true},
        {"the second monitor's bar in place", {1024, 738, 2048, 768}, sideBySide, false},
        {"a bar over the edge between stacked monitors, in place on the upper",
         {0, 738, 1024, 768},
         stacked,
         false},
        {"an empty rectangle tells nothing", {0, 768, 1024, 768}, one, false},
        {"a bar over the whole monitor tells nothing", {0, 0, 100000, 100000}, one, false},
        {"no monitor tells nothing", {0, 766, 1024, 806}, {}, false},
    };
    for (const SlideCase& c : cases) {
        EXPECT_EQ(taskbarSlidOff(c.bar, c.monitors), c.slidOff) << c.rule;
    }
}

// --- Away from the start button: the monitor under the pointer ---------------------------------

struct UnderCase {
    const char* rule;
    Point pointer;
    std::optional<WindowId> taskbar; // none: no place at all
    StartButtonKind kind;
    Rect buttonRect;
    Rect monitor;
};

TEST(ChooseStartButtonUnder, TheTaskbarOfTheMonitorUnderThePointer) {
    const Rect second{1024, 0, 2304, 1024};
    const Rect third{-800, 0, 0, 600};
    ShellReport r;
    r.monitors = {Monitor{kScreen, {0, 0, 1024, 738}, true},
                  Monitor{second, {1024, 0, 2304, 984}, false},
                  Monitor{third, {-800, 0, 0, 560}, false}};
    ShellTaskbar primary;
    primary.window = window(0x10, "Shell_TrayWnd", kBottomBar);
    primary.children = {window(0x11, "Start", {0, 738, 48, 768})};
    ShellTaskbar secondary;
    secondary.window = window(0x20, "Shell_SecondaryTrayWnd", {1024, 984, 2304, 1024});
    secondary.children = {window(0x21, "Start", {1024, 984, 1072, 1024})};
    // The secondary bar listed first: the monitor, not the order, decides.
    r.taskbars = {secondary, primary};

    const UnderCase cases[] = {
        {"on the primary monitor: its taskbar",
         {500, 300},
         0x10,
         StartButtonKind::StartChild,
         {0, 738, 48, 768},
         kScreen},
        {"on the second monitor: its secondary taskbar",
         {1500, 500},
         0x20,
         StartButtonKind::StartChild,
         {1024, 984, 1072, 1024},
         second},
        {"on a monitor without a taskbar: the bottom start corner of its work area",
         {-400, 300},
         0,
         StartButtonKind::Corner,
         {-800, 560, -800, 560},
         third},
        {"off every monitor: the nearest one",
         {3000, 500},
         0x20,
         StartButtonKind::StartChild,
         {1024, 984, 1072, 1024},
         second},
        {"at the largest coordinates: the nearest one",
         {INT32_MAX, INT32_MAX},
         0x20,
         StartButtonKind::StartChild,
         {1024, 984, 1072, 1024},
         second},
    };
    for (const UnderCase& c : cases) {
        const std::optional<StartButtonChoice> got = chooseStartButtonUnder(r, c.pointer);
        ASSERT_TRUE(got.has_value()) << c.rule;
        EXPECT_EQ(got->taskbar, *c.taskbar) << c.rule;
        EXPECT_EQ(got->kind, c.kind) << c.rule;
        EXPECT_EQ(got->buttonRect, c.buttonRect) << c.rule;
        EXPECT_EQ(got->monitor.area, c.monitor) << c.rule;
        EXPECT_EQ(got->edge, ScreenEdge::Bottom) << c.rule;
    }
    EXPECT_FALSE(chooseStartButtonUnder(ShellReport{}, {10, 10}).has_value()) << "no monitor";
    r.taskbars.clear();
    const std::optional<StartButtonChoice> bare = chooseStartButtonUnder(r, {500, 300});
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->taskbarRect, (Rect{0, 738, 1024, 738})) << "no taskbar: an empty bar on the "
                                                               "work area's bottom";
}

// --- Monitors on top of each other -------------------------------------------------------------

// As an X server whose screens all start at the origin has them: the second, larger monitor
// holds all of the primary one and a band of its own below and beside it.
struct OverlapCase {
    const char* rule;
    std::vector<Monitor> monitors;
    Point pointer;
    WindowId chosen; // the start button's taskbar (the button's place)
    WindowId under;  // the taskbar by which a menu opened at the pointer goes
    bool underOnPrimary;
};

TEST(OverlappingMonitors, ThePrimaryWinsWhereBothLieAndTheBandIsTheSecondsAlone) {
    const Monitor primary{kScreen, kScreen, true};
    const Monitor larger{{0, 0, 1280, 1024}, {0, 0, 1280, 1024}, false};
    ShellReport r;
    ShellTaskbar first;
    first.window = window(0x10, "Shell_TrayWnd", {0, 728, 1024, 768});
    first.children = {window(0x11, "Start", {0, 728, 64, 768})};
    // Also claiming to be the primary one, listed first, and on the larger monitor alone.
    ShellTaskbar other;
    other.window = window(0x20, "Shell_TrayWnd", {0, 984, 1280, 1024});
    other.children = {window(0x21, "Start", {0, 984, 64, 1024})};
    r.taskbars = {other, first};
    const OverlapCase cases[] = {
        {"the primary listed first, the pointer where both lie",
         {primary, larger},
         {500, 300},
         0x10,
         0x10,
         true},
        {"the primary listed second: a tie still goes to it",
         {larger, primary},
         {500, 300},
         0x10,
         0x10,
         true},
        {"the pointer below the primary monitor: the larger one's bar",
         {primary, larger},
         {640, 900},
         0x10,
         0x20,
         false},
        {"the pointer beside the primary monitor: the larger one's bar",
         {larger, primary},
         {1150, 300},
         0x10,
         0x20,
         false},
    };
    for (const OverlapCase& c : cases) {
        r.monitors = c.monitors;
        const std::optional<StartButtonChoice> chosen = chooseStartButton(r);
        ASSERT_TRUE(chosen.has_value()) << c.rule;
        EXPECT_EQ(chosen->taskbar, c.chosen) << c.rule;
        EXPECT_TRUE(chosen->monitor.primary) << c.rule << ": the button's bar is the primary's";
        EXPECT_FALSE(taskbarSlidOff(chosen->taskbarRect, r.monitors)) << c.rule;
        const std::optional<StartButtonChoice> under = chooseStartButtonUnder(r, c.pointer);
        ASSERT_TRUE(under.has_value()) << c.rule;
        EXPECT_EQ(under->taskbar, c.under) << c.rule;
        EXPECT_EQ(under->monitor.primary, c.underOnPrimary) << c.rule;
    }
}

} // namespace
