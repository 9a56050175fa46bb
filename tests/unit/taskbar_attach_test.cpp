// The taskbar button and the menu window on the shells' layouts: where the button goes over
// each kind of start button, and where the menu stands by each taskbar edge.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "menu_fixture.h"
#include "tray/frmMain.h"
#include "tray_fakes.h"

namespace kesk {
namespace {

using test::CallLog;
using test::FakeMenu;
using test::FakeShell;
using test::ScreenDesktop;

constexpr Rect kScreen{0, 0, 1024, 768};

ShellReport layout(const Rect& bar, std::vector<ShellWindow> children,
                   std::vector<ShellWindow> topLevel = {}) {
    ShellReport r;
    r.monitors.push_back(Monitor{kScreen, kScreen, true});
    ShellTaskbar t;
    t.window = ShellWindow{0x100, "Shell_TrayWnd", 7, true, bar, {}};
    t.children = std::move(children);
    r.taskbars.push_back(t);
    r.topLevelButtons = std::move(topLevel);
    return r;
}

ShellWindow win(WindowId id, const char* cls, const Rect& r) {
    return ShellWindow{id, cls, 7, true, r, {}};
}

struct AttachCase {
    const char* rule;
    ShellReport shell;
    WindowId startButton; // the window the captions and the start menu go to
    Rect startBtnRect;    // what is covered and copied, screen pixels
    Rect bounds;          // the button in the taskbar's pixels
    bool captionsSet;
};

TEST(TaskbarAttach, TheButtonCoversEachKindOfStartButton) {
    const AttachCase cases[] = {
        {"the orb of the taskbar's thread, standing out of the bar",
         layout({0, 728, 1024, 768}, {win(0x101, "ReBarWindow32", {60, 728, 800, 768})},
                {win(0x300, "Button", {0, 720, 54, 768})}),
         0x300, Rect{0, 720, 54, 768}, Rect{0, -8, 54, 40}, true},
        {"a centred Start child, where it is on the bar",
         layout(
             {0, 720, 1024, 768},
             {win(0x101, "Windows.UI.Composition.DesktopWindowContentBridge", {0, 720, 1024, 768}),
              win(0x102, "Start", {380, 724, 420, 764})}),
         0x102, Rect{380, 724, 420, 764}, Rect{380, 4, 420, 44}, true},
        {"a Start child of a right taskbar",
         layout({962, 0, 1024, 768}, {win(0x102, "Start", {962, 0, 1024, 40})}), 0x102,
         Rect{962, 0, 1024, 40}, Rect{0, 0, 62, 40}, true},
        {"no start button window: the corner, and no caption to set",
         layout({0, 0, 1024, 40}, {win(0x101, "MSTaskSwWClass", {60, 0, 800, 40})}), 0,
         Rect{0, 0, 40, 40}, Rect{0, 0, 40, 40}, false},
    };
    for (const AttachCase& c : cases) {
        CallLog log;
        ScreenDesktop d;
        d.processes = {"KeskVLM.exe"};
        FakeShell s{log};
        s.shell = c.shell;
        FakeMenu m{log};
        frmMain f{d, s, m, nullptr};
        f.Form_Load();
        const frmMainState& st = f.state();
        EXPECT_EQ(st.picStartBtn.place, ButtonPlace::Taskbar) << c.rule;
        EXPECT_EQ(st.hTaskbar, 0x100u) << c.rule;
        EXPECT_EQ(st.hWinStartBtn, c.startButton) << c.rule;
        EXPECT_EQ(st.startBtnRect, c.startBtnRect) << c.rule;
        EXPECT_EQ(s.buttonBounds, c.bounds) << c.rule;
        EXPECT_EQ(s.buttonParent, 0x100u) << c.rule;
        ASSERT_EQ(d.reads.size(), 1u) << c.rule;
        EXPECT_EQ(d.reads[0], c.startBtnRect) << c.rule << ": the copy is of what is covered";
        const bool captions =
            std::find(log.begin(), log.end(), "text(" + std::to_string(c.startButton) + ")=VLM") !=
            log.end();
        EXPECT_EQ(captions, c.captionsSet) << c.rule;
        f.menuBarWSM_Click();
        EXPECT_EQ(s.clicks.back(), c.startButton) << c.rule << ": the start menu's receiver";
    }
}

TEST(TaskbarAttach, AShellWithoutAnyTaskbarLeavesTheButtonInItsOwnPlace) {
    CallLog log;
    ScreenDesktop d;
    d.processes = {"KeskVLM.exe"};
    FakeShell s{log};
    s.shell = ShellReport{};
    FakeMenu m{log};
    frmMain f{d, s, m, nullptr};
    f.Form_Load();
    EXPECT_EQ(f.state().picStartBtn.place, ButtonPlace::OwnPlace);
    EXPECT_TRUE(s.watching);
    f.picStartBtn_Click();
    EXPECT_TRUE(m.visible) << "the menu stays reachable";
}

TEST(TaskbarAttach, TheButtonFollowsAStartButtonThatMovedWhenItIsClickedOrTheShellSaysSo) {
    const ShellReport left = layout({0, 720, 1024, 768}, {win(0x102, "Start", {12, 724, 52, 764})});
    const ShellReport centred =
        layout({0, 720, 1024, 768}, {win(0x102, "Start", {380, 724, 420, 764})});
    const ShellReport top = layout({0, 0, 1024, 48}, {win(0x102, "Start", {12, 4, 52, 44})});
    struct Case {
        const char* rule;
        std::optional<ShellReport> after; // none: the shell is gone
        std::function<void(frmMain&)> event;
        std::size_t reads; // copies taken after the first
        ButtonPlace place;
        Rect bounds;
    };
    const auto click = [](frmMain& f) { f.picStartBtn_Click(); };
    const auto changed = [](frmMain& f) { f.taskbarChanged(); };
    const auto hotkey = [](frmMain& f) { f.hotkey_Pressed(); };
    const Case cases[] = {
        {"nothing moved: a click takes no copy", left, click, 0, ButtonPlace::Taskbar,
         Rect{12, 4, 52, 44}},
        {"centred since: a click moves the button first", centred, click, 1, ButtonPlace::Taskbar,
         Rect{380, 4, 420, 44}},
        {"the taskbar went to the top: the settings change moves it", top, changed, 1,
         ButtonPlace::Taskbar, Rect{12, 4, 52, 44}},
        {"nothing moved: a settings change takes no copy", left, changed, 0, ButtonPlace::Taskbar,
         Rect{12, 4, 52, 44}},
        {"the shell gone for good: the button's own place", ShellReport{}, click, 0,
         ButtonPlace::OwnPlace, Rect{0, 744, 60, 768}},
        {"nothing moved: the hotkey takes no copy", left, hotkey, 0, ButtonPlace::Taskbar,
         Rect{12, 4, 52, 44}},
        {"centred since: the hotkey moves the button first", centred, hotkey, 1,
         ButtonPlace::Taskbar, Rect{380, 4, 420, 44}},
        {"the shell gone for good: the hotkey leaves the button in its own place", ShellReport{},
         hotkey, 0, ButtonPlace::OwnPlace, Rect{0, 744, 60, 768}},
    };
    for (const Case& c : cases) {
        CallLog log;
        ScreenDesktop d;
        d.processes = {"KeskVLM.exe"};
        FakeShell s{log};
        s.shell = left;
        FakeMenu m{log};
        frmMain f{d, s, m, nullptr};
        f.Form_Load();
        ASSERT_EQ(d.reads.size(), 1u) << c.rule;
        s.shell = c.after;
        c.event(f);
        EXPECT_EQ(d.reads.size(), 1u + c.reads) << c.rule;
        EXPECT_EQ(f.state().picStartBtn.place, c.place) << c.rule;
        EXPECT_EQ(s.buttonBounds, c.bounds) << c.rule;
    }
}

TEST(TaskbarAttach, AStartButtonThatMovesAllTheTimeCostsOneCopyPerOpeningAndNoMore) {
    struct Case {
        const char* rule;
        std::function<void(frmMain&)> toggle; // shows the menu (and follows), then hides it
    };
    const Case cases[] = {
        {"clicks on the button", [](frmMain& f) { f.picStartBtn_Click(); }},
        {"the hotkey", [](frmMain& f) { f.hotkey_Pressed(); }},
    };
    for (const Case& c : cases) {
        CallLog log;
        ScreenDesktop d;
        d.processes = {"KeskVLM.exe"};
        FakeShell s{log};
        FakeMenu m{log};
        frmMain f{d, s, m, nullptr};
        s.shell = layout({0, 720, 1024, 768}, {win(0x102, "Start", {0, 724, 40, 764})});
        f.Form_Load();
        for (int i = 1; i <= 20; ++i) {
            s.shell->taskbars[0].children[0].rect = Rect{i * 10, 724, i * 10 + 40, 764};
            c.toggle(f);
            EXPECT_TRUE(m.visible) << c.rule;
            // Moving on while the menu is open costs nothing until it opens again.
            s.shell->taskbars[0].children[0].rect = Rect{i * 10 + 5, 724, i * 10 + 45, 764};
            c.toggle(f);
            EXPECT_FALSE(m.visible) << c.rule;
        }
        EXPECT_EQ(d.reads.size(), 21u) << c.rule;
        EXPECT_EQ(s.buttonBounds, (Rect{200, 4, 240, 44})) << c.rule;
    }
}

TEST(TaskbarAttach, NoChangeIsFollowedWhileTheButtonIsSwitchedOff) {
    CallLog log;
    ScreenDesktop d;
    d.processes = {"KeskVLM.exe"};
    FakeShell s{log};
    FakeMenu m{log};
    frmMain f{d, s, m, nullptr};
    s.shell = layout({0, 720, 1024, 768}, {win(0x102, "Start", {0, 724, 40, 764})});
    f.Form_Load();
    f.menuToggleVLM_Click();
    s.shell->taskbars[0].children[0].rect = Rect{300, 724, 340, 764};
    f.taskbarChanged();
    f.picStartBtn_Click();
    EXPECT_EQ(d.reads.size(), 1u);
    EXPECT_EQ(f.state().picStartBtn.place, ButtonPlace::MainWindow);
}

// --- The menu window by the taskbar's edge ---------------------------------------------------

class MenuByEdge : public test::MenuFixture {
  protected:
    frmVelora form{desk};
};

struct EdgeCase {
    const char* rule;
    ShellReport shell;
    // Expected in pixels; the window is 8535 by 8295 twips (569 by 553 pixels at 15).
    std::int32_t leftPixels;
    std::int32_t topPixels;
};

TEST_F(MenuByEdge, TheMenuStandsBesideTheTaskbar) {
    const EdgeCase cases[] = {
        {"bottom, centred start button: from its left, on the bar",
         layout({0, 720, 1024, 768}, {win(0x102, "Start", {380, 724, 420, 764})}), 380,
         768 - 553 - 48},
        {"bottom, start button in the right half: ending at its right",
         layout({0, 738, 1024, 768}, {win(0x102, "Start", {900, 738, 950, 768})}), 950 - 569,
         768 - 553 - 30},
        {"top: hanging from the bar",
         layout({0, 0, 1024, 40}, {win(0x102, "Start", {0, 0, 48, 40})}), 0, 40},
        {"left: beside the bar, level with the start button",
         layout({0, 0, 62, 768}, {win(0x102, "Start", {0, 100, 62, 140})}), 62, 100},
        {"left: moved up to stay on the screen",
         layout({0, 0, 62, 768}, {win(0x102, "Start", {0, 700, 62, 740})}), 62, 768 - 553},
        {"right: ending at the bar",
         layout({962, 0, 1024, 768}, {win(0x102, "Start", {962, 0, 1024, 40})}), 962 - 569, 0},
    };
    writeCatalogue(kSettings);
    for (const EdgeCase& c : cases) {
        desk.shell = c.shell;
        form.Form_Construct();
        const frmVeloraState& s = form.state();
        EXPECT_EQ(s.left, c.leftPixels * 15) << c.rule;
        EXPECT_EQ(s.top, c.topPixels * 15) << c.rule;
        EXPECT_EQ(s.menuTopPixels, c.topPixels) << c.rule;
    }
}

TEST_F(MenuByEdge, ThePointerMayGoBackToATaskbarOnAnyEdge) {
    struct Case {
        const char* rule;
        ShellReport shell;
        Point towardsBar; // the menu stays
        Point away;       // the menu hides
    };
    const Case cases[] = {
        {"top",
         layout({0, 0, 1024, 40}, {win(0x102, "Start", {0, 0, 48, 40})}),
         {20, 20},
         {20, 40 + 553}},
        {"left",
         layout({0, 0, 62, 768}, {win(0x102, "Start", {0, 100, 62, 140})}),
         {20, 120},
         {62 + 569, 120}},
        {"right",
         layout({962, 0, 1024, 768}, {win(0x102, "Start", {962, 0, 1024, 40})}),
         {1000, 20},
         {962 - 569 - 1, 20}},
    };
    writeCatalogue(kSettings);
    for (const Case& c : cases) {
        desk.shell = c.shell;
        form.Form_Construct();
        form.Show();
        desk.cursor = c.towardsBar;
        form.Timer_Mouse_Pos_Check_Timer();
        EXPECT_TRUE(form.state().visible) << c.rule;
        desk.cursor = c.away;
        form.Timer_Mouse_Pos_Check_Timer();
        EXPECT_FALSE(form.state().visible) << c.rule;
    }
}

TEST_F(MenuByEdge, DraggingTheHeadlineUnderATopBarKeepsTheMenuHangingFromIt) {
    desk.shell = layout({0, 0, 1024, 40}, {win(0x102, "Start", {0, 0, 48, 40})});
    writeCatalogue(kSettings);
    form.Form_Construct();
    const std::int32_t before = form.state().height;
    desk.cursor = {20, 100};
    form.lblHeadline_MouseMove(1, 0, 0, 0);
    EXPECT_NE(form.state().height, before) << "the drag resized";
    EXPECT_EQ(form.state().top, 40 * 15);
}

} // namespace
} // namespace kesk
