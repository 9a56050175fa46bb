// The main window's presenter: start-up, the taskbar button, the tray menu,
// the about box and the shut-down, against recording ports.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/appinfo.h"
#include "tray/frmMain.h"
#include "tray/mdGraphics.h"
#include "tray_fakes.h"

namespace kesk {
namespace {

using test::CallLog;
using test::FakeMenu;
using test::FakeShell;
using test::ScreenDesktop;

class FrmMainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app::overrideForTests("C:\\Kesk", "KeskVLM");
        desktop.processes = {"System", "explorer.exe", "KeskVLM.exe"};
    }
    void TearDown() override { app::overrideForTests("", ""); }

    // Index of the first log entry equal to `what`, or -1.
    long at(const std::string& what) const {
        const auto it = std::find(log.begin(), log.end(), what);
        return it == log.end() ? -1 : static_cast<long>(it - log.begin());
    }
    long count(const std::string& what) const {
        return static_cast<long>(std::count(log.begin(), log.end(), what));
    }
    std::vector<std::string> logFrom(long index) const { return {log.begin() + index, log.end()}; }

    CallLog log;
    ScreenDesktop desktop;
    FakeShell shell{log};
    FakeMenu menu{log};
    std::function<void()> compDate = [this] { log.push_back("compdate"); };
    frmMain main{desktop, shell, menu, [this] { compDate(); }};
};

// --- Start-up ---------------------------------------------------------------------------------

TEST_F(FrmMainTest, StartUpRunsItsStepsInOrderAndBuildsTheMenuTwice) {
    main.Form_Load();
    ASSERT_FALSE(main.state().refused);
    EXPECT_EQ(at("compdate"), 0);
    const long hide = at("main.hide");
    const long taskList = at("main.hideFromTaskList");
    const long tray = at("tray.add");
    const long attach = at("button.toMain");
    const long caption = at("text(512)=start");
    const long build = at("menu.construct");
    EXPECT_TRUE(0 < hide && hide < taskList && taskList < tray && tray < attach &&
                attach < caption && caption < build)
        << ::testing::PrintToString(log);
    EXPECT_EQ(build, static_cast<long>(log.size()) - 1);
    EXPECT_EQ(menu.builds, 2) << "loading builds, then start-up's own build";
    EXPECT_FALSE(menu.visible);
    EXPECT_FALSE(main.state().menuBarVisible);
    EXPECT_TRUE(main.state().menuToggleVLMChecked);
    EXPECT_EQ(count("terminate"), 0);
}

TEST_F(FrmMainTest, TheStepsAfterHidingRunOnLaterTurnsAndNotAfterAShutDown) {
    struct Case {
        const char* name;
        std::function<void(frmMain&)> meanwhile;
        bool started;
    };
    const Case cases[] = {
        {"nothing meanwhile: the same start-up as at once", [](frmMain&) {}, true},
        {"the shut-down meanwhile: no icon, no button, no build",
         [](frmMain& f) { f.menuBarExit_Click(); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CallLog steps;
        FakeShell deferring{steps};
        FakeMenu menus{steps};
        deferring.deferSteps = true;
        frmMain f{desktop, deferring, menus, [] {}};
        f.Form_Load();
        EXPECT_EQ(steps.back(), "later");
        EXPECT_EQ(deferring.steps.size(), 3u);
        EXPECT_FALSE(deferring.trayIconPresent);
        EXPECT_EQ(menus.builds, 0);
        c.meanwhile(f);
        deferring.runSteps();
        EXPECT_EQ(menus.builds, c.started ? 2 : 0);
        EXPECT_EQ(deferring.added.hWnd != 0, c.started);
        EXPECT_EQ(deferring.buttonParent == deferring.taskbar, c.started);
    }
}

TEST_F(FrmMainTest, ASecondCopyShowsItsMessageAndShutsDownWithoutStarting) {
    struct Case {
        std::vector<std::string> processes;
        bool refused;
    };
    const Case cases[] = {
        {{"KeskVLM.exe"}, false},
        {{"KeskVLM.exe", "KeskVLM.exe"}, true},
        {{"keskvlm.exe", "KESKVLM.EXE"}, true},
        {{"KeskVLM.exe", "OldKeskVLM.exe"}, true},
        {{"KeskVLM.exe", "KeskVLM2.exe"}, false},
        {{}, false},
    };
    for (const Case& c : cases) {
        CallLog caseLog;
        ScreenDesktop d;
        d.processes = c.processes;
        FakeShell s{caseLog};
        FakeMenu m{caseLog};
        frmMain f{d, s, m, nullptr};
        f.Form_Load();
        EXPECT_EQ(f.state().refused, c.refused) << ::testing::PrintToString(c.processes);
        if (c.refused) {
            const std::vector<std::string> expected = {
                "message[Error] Sorry, aber KeskVLM ist schon gestartet!", "tray.remove",
                "menu.unload(not loaded)", "main.unload", "terminate"};
            EXPECT_EQ(caseLog, expected);
            ASSERT_EQ(s.removed.size(), 1u);
            EXPECT_EQ(s.removed[0], TrayIconData{}) << "no icon was installed to remove";
            EXPECT_EQ(m.builds, 0);
        } else {
            EXPECT_NE(std::find(caseLog.begin(), caseLog.end(), "menu.construct"), caseLog.end());
        }
    }
}

TEST_F(FrmMainTest, ARenamedProgramCountsOnlyCopiesOfItsOwnName) {
    app::overrideForTests("C:\\Kesk", "Launcher");
    desktop.processes = {"KeskVLM.exe", "KeskVLM.exe", "Launcher.exe"};
    main.Form_Load();
    EXPECT_FALSE(main.state().refused);
}

TEST_F(FrmMainTest, AFailedBuildDateStampDoesNotStopTheStartUp) {
    compDate = [] { raiseError(errnum::PathFileAccess, "read-only directory"); };
    main.Form_Load();
    ASSERT_TRUE(main.state().compDateFailure.has_value());
    EXPECT_EQ(main.state().compDateFailure->number, errnum::PathFileAccess);
    EXPECT_TRUE(shell.trayIconPresent);
    EXPECT_EQ(at("menu.construct") >= 0, true);
}

TEST_F(FrmMainTest, AFailingBuildLeavesTheTrayAndTheButtonInPlace) {
    menu.failBuilds = true;
    main.Form_Load();
    EXPECT_TRUE(shell.trayIconPresent);
    EXPECT_EQ(main.state().picStartBtn.place, ButtonPlace::Taskbar);
    main.picStartBtn_Click(); // a show that fails again must not escape
    EXPECT_EQ(count("terminate"), 0);
}

TEST_F(FrmMainTest, TheTrayIconCarriesTheTitleAsItsTip) {
    main.Form_Load();
    EXPECT_EQ(shell.added.szTip, "KeskVLM");
    EXPECT_EQ(shell.added.hWnd, shell.notificationWindow());
    EXPECT_EQ(shell.added.uCallbackMessage, shell.notificationMessage());
    EXPECT_EQ(shell.added.hIcon, shell.programIcon());
    EXPECT_EQ(shell.added.uID, 1u);
}

// --- The taskbar button ---------------------------------------------------------------------

TEST_F(FrmMainTest, AttachCopiesTheStartButtonWithRedAndGreenExchanged) {
    shell.startButtonRect = Rect{10, 700, 60, 730}; // 50 by 30, away from the origin
    desktop.pixel = [](std::int32_t x, std::int32_t y) {
        return static_cast<Colour>((x & 0xFF) | ((y & 0xFF) << 8) | (0x40 << 16));
    };
    main.Form_Load();
    const StartButtonState& b = main.state().picStartBtn;
    EXPECT_EQ(b.place, ButtonPlace::Taskbar);
    EXPECT_EQ(shell.buttonParent, shell.taskbar);
    EXPECT_EQ(b.bounds, (Rect{0, 0, 50, 30}));
    EXPECT_EQ(shell.buttonBounds, (Rect{0, 0, 50, 30}));
    EXPECT_EQ(main.state().startBtnRect, shell.startButtonRect);
    ASSERT_EQ(desktop.reads.size(), 1u) << "one block read";
    EXPECT_EQ(desktop.reads[0], shell.startButtonRect);
    ASSERT_EQ(b.picture.width, 50);
    ASSERT_EQ(b.picture.height, 30);
    EXPECT_EQ(shell.buttonPicture, b.picture);
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{49, 0}, std::pair{0, 29},
                               std::pair{49, 29}, std::pair{17, 11}}) {
        // Screen red is the column, green the row; the copy has them exchanged.
        const Colour expected =
            static_cast<Colour>(((700 + y) & 0xFF) | ((10 + x) << 8) | (0x40 << 16));
        EXPECT_EQ(b.picture.at(x, y), toArgb(expected)) << x << "," << y;
    }
}

TEST_F(FrmMainTest, TheCopyIsTakenWhileTheButtonIsHiddenAndTheCaptionReadsVLM) {
    shell.startButtonText = "Begin";
    main.Form_Load();
    EXPECT_EQ(shell.captionsWhenCopied, std::vector<std::string>{"VLM"});
    EXPECT_EQ(shell.startButtonText, "start") << "whatever it read before";
    const long hidden = at("button.hide");
    const long painted = at("paint(512)");
    const long picture = at("button.picture");
    const long shown = at("button.show");
    const long start = at("text(512)=start");
    ASSERT_GE(hidden, 0) << ::testing::PrintToString(log);
    EXPECT_TRUE(at("text(512)=VLM") < painted && hidden < painted && painted < picture &&
                picture < shown && shown < start)
        << ::testing::PrintToString(log);
    EXPECT_TRUE(shell.buttonVisible);
}

TEST_F(FrmMainTest, UnreadableOrUndeliveredScreenPointsComeOutWhite) {
    desktop.pixel = [](std::int32_t x, std::int32_t) {
        return x == 0 ? Colour{-1} : Colour{0x0000FF00};
    };
    desktop.truncateTo = 53 * 29; // the last row never arrives
    main.Form_Load();
    const Bitmap& p = main.state().picStartBtn.picture;
    ASSERT_EQ(p.width, 53);
    ASSERT_EQ(p.height, 30);
    EXPECT_EQ(p.at(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(p.at(1, 0), 0xFFFF0000u) << "green came out red";
    EXPECT_EQ(p.at(20, 29), 0xFFFFFFFFu);
}

TEST_F(FrmMainTest, WithoutAUsableTaskbarTheButtonTakesItsOwnPlace) {
    struct Case {
        const char* what;
        std::function<void(FakeShell&)> arrange;
    };
    const Case cases[] = {
        {"no taskbar window", [](FakeShell& s) { s.taskbar = 0; }},
        {"hidden taskbar", [](FakeShell& s) { s.taskbarVisible = false; }},
        {"empty taskbar rectangle", [](FakeShell& s) { s.taskbarRect = Rect{}; }},
        {"no start button", [](FakeShell& s) { s.startButton = 0; }},
        {"empty start button",
         [](FakeShell& s) {
             s.startButtonRect = Rect{0, 748, 0, 748};
         }},
        {"rectangles unreadable", [](FakeShell& s) { s.rectQueriesFail = true; }},
    };
    for (const Case& c : cases) {
        CallLog caseLog;
        ScreenDesktop d;
        d.metrics = ScreenMetrics{640, 480, 15.0, 15.0};
        d.processes = {"KeskVLM.exe"};
        FakeShell s{caseLog};
        FakeMenu m{caseLog};
        c.arrange(s);
        frmMain f{d, s, m, nullptr};
        f.Form_Load();
        const StartButtonState& b = f.state().picStartBtn;
        EXPECT_EQ(b.place, ButtonPlace::OwnPlace) << c.what;
        EXPECT_EQ(s.buttonParent, 0u) << c.what;
        EXPECT_FALSE(s.buttonInMain) << c.what;
        EXPECT_EQ(s.buttonBounds, (Rect{0, 456, 60, 480})) << c.what;
        EXPECT_TRUE(s.buttonVisible) << c.what;
        EXPECT_TRUE(s.buttonPicture.empty()) << c.what << ": draws its own face";
        EXPECT_TRUE(d.reads.empty()) << c.what;
        EXPECT_EQ(m.builds, 2) << c.what;
        // The menu stays reachable through the button.
        f.picStartBtn_Click();
        EXPECT_TRUE(m.visible) << c.what;
    }
}

TEST_F(FrmMainTest, TheOwnPlaceScalesWithTheScreen) {
    shell.taskbar = 0;
    desktop.metrics = ScreenMetrics{1280, 1024, 12.0, 12.0};
    main.Form_Load();
    EXPECT_EQ(main.state().picStartBtn.bounds, (Rect{0, 994, 75, 1024}));
}

TEST_F(FrmMainTest, AnAbsurdStartButtonRectangleIsHeldToTheScreen) {
    shell.taskbarRect = Rect{0, 0, 100000, 100000};
    shell.startButtonRect = Rect{0, 0, 100000, 100000};
    main.Form_Load();
    const Bitmap& p = main.state().picStartBtn.picture;
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.height, 768);
    ASSERT_EQ(desktop.reads.size(), 1u);
    EXPECT_EQ(desktop.reads[0], (Rect{0, 0, 1024, 768}));
}

TEST_F(FrmMainTest, ClicksToggleTheMenuAndThousandsOfThemKeepItConsistent) {
    main.Form_Load();
    main.picStartBtn_Click();
    EXPECT_TRUE(menu.visible);
    main.picStartBtn_Click();
    EXPECT_FALSE(menu.visible);
    for (int i = 0; i < 1000; ++i) {
        main.picStartBtn_Click();
        ASSERT_EQ(menu.visible, i % 2 == 0) << "click " << i;
    }
    EXPECT_EQ(count("menu.show"), 501);
    EXPECT_EQ(count("menu.hide"), 501);
    EXPECT_EQ(menu.builds, 2) << "showing a loaded window does not build again";
}

TEST_F(FrmMainTest, ADoubleClickOpensTheStartMenuAndLeavesTheMenuHidden) {
    main.Form_Load();
    const long before = static_cast<long>(log.size());
    main.picStartBtn_Click(); // the first click of the double click
    main.picStartBtn_DblClick();
    EXPECT_FALSE(menu.visible);
    EXPECT_EQ(logFrom(before), (std::vector<std::string>{"menu.show", "click(512)", "menu.hide"}));
}

TEST_F(FrmMainTest, DraggingOverTheButtonShowsTheMenuEveryTime) {
    main.Form_Load();
    for (int i = 0; i < 3; ++i) {
        main.picStartBtn_OLEDragOver();
        EXPECT_TRUE(menu.visible) << i;
    }
    menu.unload();
    main.picStartBtn_OLEDragOver();
    EXPECT_TRUE(menu.visible) << "an unloaded window is loaded and shown";
}

TEST_F(FrmMainTest, TogglingTheButtonOffAndOnTakesAFreshCopy) {
    main.Form_Load();
    main.picStartBtn_Click();
    main.menuToggleVLM_Click();
    EXPECT_FALSE(main.state().menuToggleVLMChecked);
    EXPECT_TRUE(shell.buttonInMain);
    EXPECT_EQ(main.state().picStartBtn.place, ButtonPlace::MainWindow);
    EXPECT_FALSE(menu.loaded);
    EXPECT_EQ(count("menu.unload(stores height)"), 1);
    EXPECT_FALSE(main.trayMenu()[0].checked);

    shell.startButtonText = "Begin";
    shell.startButtonRect = Rect{0, 740, 70, 768};
    main.menuToggleVLM_Click();
    EXPECT_TRUE(main.state().menuToggleVLMChecked);
    EXPECT_TRUE(main.trayMenu()[0].checked);
    EXPECT_EQ(shell.buttonParent, shell.taskbar);
    EXPECT_EQ(main.state().picStartBtn.picture.width, 70);
    EXPECT_EQ(main.state().picStartBtn.picture.height, 28);
    EXPECT_EQ(desktop.reads.size(), 2u);
    EXPECT_EQ(shell.startButtonText, "start");
}

TEST_F(FrmMainTest, OpenStartMenuClicksTheStartButtonOfTheLastAttach) {
    main.menuBarWSM_Click(); // before any attach: to window 0
    main.Form_Load();
    main.menuBarWSM_Click();
    EXPECT_EQ(shell.clicks, (std::vector<WindowId>{0, 512}));
}

// --- A taskbar that is hidden, late or raised over the button ------------------------------------

TEST_F(FrmMainTest, TheLookupPassesOverHiddenAndEmptyTaskbars) {
    struct Case {
        const char* rule;
        std::vector<WindowId> hidden;
        bool shown; // the usable taskbar 0x100 exists after the hidden ones
        ButtonPlace place;
    };
    const Case cases[] = {
        {"a hidden, empty taskbar before the shown one is passed over",
         {0x500},
         true,
         ButtonPlace::Taskbar},
        {"several hidden ones are all passed over", {0x500, 0x600}, true, ButtonPlace::Taskbar},
        {"only hidden ones: the button takes its own place", {0x500}, false, ButtonPlace::OwnPlace},
        {"the shown one alone is found", {}, true, ButtonPlace::Taskbar},
    };
    for (const Case& c : cases) {
        CallLog caseLog;
        ScreenDesktop d;
        d.processes = {"KeskVLM.exe"};
        FakeShell s{caseLog};
        FakeMenu m{caseLog};
        s.hiddenTaskbars = c.hidden;
        if (!c.shown) {
            s.taskbar = 0;
        }
        frmMain f{d, s, m, nullptr};
        f.Form_Load();
        EXPECT_EQ(f.state().picStartBtn.place, c.place) << c.rule;
        if (c.place == ButtonPlace::Taskbar) {
            EXPECT_EQ(f.state().hTaskbar, 0x100u) << c.rule;
            EXPECT_EQ(f.state().hWinStartBtn, 0x200u) << c.rule;
            EXPECT_EQ(s.buttonParent, 0x100u) << c.rule;
            EXPECT_EQ(d.reads, std::vector<Rect>{s.startButtonRect}) << c.rule;
            EXPECT_FALSE(f.state().watchingForTaskbar) << c.rule;
        } else {
            EXPECT_TRUE(d.reads.empty()) << c.rule;
            EXPECT_TRUE(f.state().watchingForTaskbar) << c.rule;
            EXPECT_TRUE(s.watching) << c.rule;
        }
    }
}

TEST_F(FrmMainTest, ALateTaskbarIsCoveredOnceItShowsAndTheWatchEnds) {
    shell.taskbarVisible = false;
    shell.taskbarRect = Rect{};
    main.Form_Load();
    ASSERT_EQ(main.state().picStartBtn.place, ButtonPlace::OwnPlace);
    ASSERT_TRUE(shell.watching);

    // Created, not shown yet: nothing moves.
    main.taskbarAppeared();
    EXPECT_EQ(main.state().picStartBtn.place, ButtonPlace::OwnPlace);
    EXPECT_TRUE(desktop.reads.empty());
    EXPECT_TRUE(shell.watching);

    shell.taskbarVisible = true;
    shell.taskbarRect = Rect{0, 738, 1024, 768};
    main.taskbarAppeared();
    EXPECT_EQ(main.state().picStartBtn.place, ButtonPlace::Taskbar);
    EXPECT_EQ(shell.buttonParent, shell.taskbar);
    EXPECT_EQ(shell.buttonBounds, (Rect{0, 0, 53, 30}));
    EXPECT_FALSE(main.state().picStartBtn.picture.empty());
    EXPECT_EQ(shell.startButtonText, "start");
    EXPECT_FALSE(shell.watching) << "the watch ends once the button is attached";
    EXPECT_EQ(shell.watchCalls, (std::vector<bool>{true, false}));

    const auto reads = desktop.reads.size();
    main.taskbarAppeared();
    EXPECT_EQ(desktop.reads.size(), reads) << "an attached button is not taken again";
}

TEST_F(FrmMainTest, ATaskbarShowingUpIsLeftAloneWhereTheButtonMustNotMove) {
    struct Case {
        const char* rule;
        std::function<void(frmMain&)> before;
    };
    const Case cases[] = {
        {"the button switched off stays in the main window",
         [](frmMain& f) { f.menuToggleVLM_Click(); }},
        {"nothing happens during the shut-down", [](frmMain& f) { f.menuBarExit_Click(); }},
    };
    for (const Case& c : cases) {
        CallLog caseLog;
        ScreenDesktop d;
        d.processes = {"KeskVLM.exe"};
        FakeShell s{caseLog};
        FakeMenu m{caseLog};
        s.taskbarVisible = false;
        frmMain f{d, s, m, nullptr};
        f.Form_Load();
        c.before(f);
        EXPECT_FALSE(s.watching) << c.rule << ": the watch ended";
        s.taskbarVisible = true;
        f.taskbarAppeared();
        EXPECT_TRUE(d.reads.empty()) << c.rule;
        EXPECT_NE(f.state().picStartBtn.place, ButtonPlace::Taskbar) << c.rule;
    }
}

TEST_F(FrmMainTest, ARefusedSecondCopyNeverWatchesForATaskbar) {
    desktop.processes = {"KeskVLM.exe", "KeskVLM.exe"};
    shell.taskbarVisible = false;
    main.Form_Load();
    ASSERT_TRUE(main.state().refused);
    shell.taskbarVisible = true;
    main.taskbarAppeared();
    EXPECT_TRUE(shell.watchCalls.empty());
    EXPECT_TRUE(desktop.reads.empty());
}

TEST_F(FrmMainTest, AClosedStartMenuRaisesTheButtonOnlyWhereItCoversTheStartButton) {
    struct Case {
        const char* rule;
        std::function<void(FakeShell&)> arrange;
        std::function<void(frmMain&)> after;
        int raises;
    };
    const auto none = [](auto&) {};
    const Case cases[] = {
        {"over the start button it goes back on top", none, none, 1},
        {"in its own place there is no taskbar to bury it", [](FakeShell& s) { s.taskbar = 0; },
         none, 0},
        {"switched off it stays out of sight", none, [](frmMain& f) { f.menuToggleVLM_Click(); },
         0},
        {"not during the shut-down", none, [](frmMain& f) { f.menuBarExit_Click(); }, 0},
    };
    for (const Case& c : cases) {
        CallLog caseLog;
        ScreenDesktop d;
        d.processes = {"KeskVLM.exe"};
        FakeShell s{caseLog};
        FakeMenu m{caseLog};
        c.arrange(s);
        frmMain f{d, s, m, nullptr};
        f.Form_Load();
        c.after(f);
        f.menuBarWSM_Click();
        f.systemStartMenuClosed();
        EXPECT_EQ(s.raises, c.raises) << c.rule;
    }
}

TEST_F(FrmMainTest, ADoubleClickIsAWholeClickOnTheStartButtonAndTheButtonComesBackOnTop) {
    main.Form_Load();
    const long before = static_cast<long>(log.size());
    main.picStartBtn_Click();
    main.picStartBtn_DblClick();
    main.systemStartMenuClosed(); // the shell's start menu has closed
    EXPECT_EQ(logFrom(before),
              (std::vector<std::string>{"menu.show", "click(512)", "menu.hide", "button.raise"}));
    main.picStartBtn_Click();
    EXPECT_TRUE(menu.visible) << "the next click shows the menu";
}

// --- The tray ------------------------------------------------------------------------------------

TEST_F(FrmMainTest, OnlyTheRightButtonsReleaseOpensTheTrayMenu) {
    main.Form_Load();
    struct Case {
        TrayMouse message;
        bool opens;
        const char* what;
    };
    const Case cases[] = {
        {TrayMouse::Move, false, "move"},
        {TrayMouse::LeftDown, false, "left down"},
        {TrayMouse::LeftUp, false, "left up"},
        {TrayMouse::LeftDoubleClick, false, "left double click"},
        {TrayMouse::RightDown, false, "right down"},
        {TrayMouse::RightUp, true, "right up"},
        {TrayMouse::RightDoubleClick, false, "right double"},
        {TrayMouse::Other, false, "middle button, or no mouse message"},
    };
    for (const Case& c : cases) {
        shell.menusShown.clear();
        main.pic1_MouseMove(c.message);
        EXPECT_EQ(shell.menusShown.size(), c.opens ? 1u : 0u) << c.what;
    }
}

TEST_F(FrmMainTest, TheTrayMenuHasItsEntriesInOrder) {
    main.Form_Load();
    main.pic1_MouseMove(TrayMouse::RightUp);
    ASSERT_EQ(shell.menusShown.size(), 1u);
    const std::vector<TrayMenuEntry> expected = {
        {TrayCommand::ToggleVLM, "VLM button", true, false},
        {TrayCommand::OpenStartMenu, "Open Windows Start Menu", false, false},
        {TrayCommand::About, "About", false, false},
        {TrayCommand::None, "-", false, true},
        {TrayCommand::Exit, "Exit", false, false},
    };
    EXPECT_EQ(shell.menusShown[0], expected);
}

TEST_F(FrmMainTest, TrayMenuEntriesRunTheirActions) {
    main.Form_Load();
    shell.menuChoice = TrayCommand::OpenStartMenu;
    main.pic1_MouseMove(TrayMouse::RightUp);
    EXPECT_EQ(shell.clicks, std::vector<WindowId>{512});

    shell.menuChoice = TrayCommand::ToggleVLM;
    main.pic1_MouseMove(TrayMouse::RightUp);
    EXPECT_FALSE(main.state().menuToggleVLMChecked);

    shell.menuChoice = TrayCommand::About;
    main.pic1_MouseMove(TrayMouse::RightUp);
    EXPECT_EQ(count("about.show"), 1);

    shell.menuChoice = TrayCommand::None;
    main.pic1_MouseMove(TrayMouse::RightUp);
    EXPECT_EQ(count("terminate"), 0);

    shell.menuChoice = TrayCommand::Exit;
    main.pic1_MouseMove(TrayMouse::RightUp);
    EXPECT_EQ(count("terminate"), 1);
}

TEST_F(FrmMainTest, ShutDownRemovesTheIconThenUnloadsTheMenuThenTheMainWindowThenEnds) {
    for (int how = 0; how < 2; ++how) {
        CallLog caseLog;
        ScreenDesktop d;
        d.processes = {"KeskVLM.exe"};
        FakeShell s{caseLog};
        FakeMenu m{caseLog};
        frmMain f{d, s, m, nullptr};
        f.Form_Load();
        f.picStartBtn_Click();
        const auto before = static_cast<long>(caseLog.size());
        if (how == 0) {
            f.menuBarExit_Click();
        } else {
            f.Form_QueryUnload(); // log-off, system shut-down, any close
        }
        EXPECT_EQ((std::vector<std::string>{caseLog.begin() + before, caseLog.end()}),
                  (std::vector<std::string>{"tray.remove", "menu.unload(stores height)",
                                            "main.unload", "terminate"}))
            << how;
        ASSERT_EQ(s.removed.size(), 1u);
        EXPECT_EQ(s.removed[0], s.added) << "the record as it was installed";
        EXPECT_FALSE(s.trayIconPresent);
    }
}

TEST_F(FrmMainTest, ShutDownGoesOnPastFailingStepsAndRunsOnlyOnce) {
    main.Form_Load();
    shell.throwOnRemove = true;
    // Unloading the main window asks to close it once more.
    shell.onUnloadMain = [this] { main.Form_QueryUnload(); };
    main.menuBarExit_Click();
    EXPECT_EQ(count("tray.remove"), 1);
    EXPECT_EQ(count("menu.unload(stores height)"), 1);
    EXPECT_EQ(count("main.unload"), 1);
    EXPECT_EQ(count("terminate"), 1);
    // Events that still arrive change nothing.
    main.picStartBtn_Click();
    main.pic1_MouseMove(TrayMouse::RightUp);
    EXPECT_FALSE(menu.visible);
    EXPECT_TRUE(shell.menusShown.empty());
}

TEST_F(FrmMainTest, ANewTaskbarGetsTheIconAndTheButtonBack) {
    main.Form_Load();
    const TrayIconData installed = shell.added;
    shell.trayIconPresent = false; // went with the old taskbar
    shell.taskbar = 0x110;
    shell.startButton = 0x210;
    main.taskbarCreated();
    EXPECT_TRUE(shell.trayIconPresent);
    EXPECT_EQ(shell.added, installed);
    EXPECT_EQ(main.state().hTaskbar, 0x110u);
    EXPECT_EQ(shell.buttonParent, 0x110u);

    main.menuToggleVLM_Click(); // button off
    const auto reads = desktop.reads.size();
    main.taskbarCreated();
    EXPECT_EQ(desktop.reads.size(), reads) << "a button switched off stays off";
    EXPECT_TRUE(shell.buttonInMain);
}

// --- The about box -----------------------------------------------------------------------------

TEST_F(FrmMainTest, AboutOpensTheBoxWhiteOverTheSkinBackground) {
    desktop.addPicture("C:\\Kesk\\skin\\Velora_BG.bmp", 800, 600, 0xFF102030u);
    main.Form_Load();
    bool seen = false;
    shell.whileAboutOpen = [&](frmSplash& splash) {
        seen = true;
        const frmSplashState& st = splash.state();
        EXPECT_TRUE(st.loaded);
        EXPECT_EQ(st.controls[lblVersion].text, "Version 0.0.59");
        EXPECT_EQ(st.controls[lblVersion].foreColour, kColourWhite);
        EXPECT_EQ(st.backPicture.width, 492);
        EXPECT_EQ(st.backPicture.height, 279);
        splash.Form_KeyPress('q');
    };
    main.menuAbout_Click();
    EXPECT_TRUE(seen);
    EXPECT_FALSE(main.state().aboutOpen);
}

TEST_F(FrmMainTest, ABrokenBackgroundPictureStillOpensTheAboutBox) {
    desktop.addCorruptPicture("C:\\Kesk\\skin\\Velora_BG.bmp");
    main.Form_Load();
    bool seen = false;
    shell.whileAboutOpen = [&](frmSplash& splash) {
        seen = true;
        EXPECT_TRUE(splash.state().backPicture.empty());
        EXPECT_EQ(splash.state().backColour, kSplashDesignBackColour);
    };
    main.menuAbout_Click();
    EXPECT_TRUE(seen);
}

TEST_F(FrmMainTest, WhileTheAboutBoxIsOpenTheButtonAndTheTrayIconAreIgnored) {
    main.Form_Load();
    shell.whileAboutOpen = [&](frmSplash&) {
        EXPECT_TRUE(main.state().aboutOpen);
        const auto before = log.size();
        for (int i = 0; i < 1000; ++i) {
            main.picStartBtn_Click();
        }
        main.picStartBtn_DblClick();
        main.picStartBtn_OLEDragOver();
        main.pic1_MouseMove(TrayMouse::RightUp);
        main.menuAbout_Click();
        EXPECT_EQ(log.size(), before) << ::testing::PrintToString(log);
    };
    main.menuAbout_Click();
    EXPECT_FALSE(menu.visible);
    EXPECT_EQ(count("about.show"), 1);
    // Closed: the button works again.
    main.picStartBtn_Click();
    EXPECT_TRUE(menu.visible);
}

TEST_F(FrmMainTest, ALogOffWhileTheAboutBoxIsOpenStillShutsDown) {
    main.Form_Load();
    shell.whileAboutOpen = [&](frmSplash&) { main.Form_QueryUnload(); };
    main.menuAbout_Click();
    EXPECT_EQ(count("terminate"), 1);
}

} // namespace
} // namespace kesk
