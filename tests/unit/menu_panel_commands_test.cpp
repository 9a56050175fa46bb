// The context panel's "Open file location" and "Run as administrator", against the fake desktop
// (which records the locations it was asked to show) and a recording shell.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/mdShellEx.h"
#include "unit/menu_fixture.h"
#include "unit/recording_shell.h"

namespace kesk::test {
namespace {

constexpr OwnerHandle kOwner = 0x4321;
constexpr Colour kMenuFg = 0x00563412; // MENU_FG as the skin writes it
constexpr Colour kGreyed = 0x00ABCDEF; // the fake's system colour 17

class PanelCommandsTest : public MenuFixture {
  protected:
    RecordingShell shell;
    std::optional<frmVelora> w;

    void SetUp() override {
        MenuFixture::SetUp();
        desk.systemColours[17] = kGreyed;
        writeSkin("[COLORS]\nLIST_BOX_BG=FFFFFF\nLIST_BOX_FG=000000\nMENU_FG=563412\n");
    }

    void start(const std::string& target, const std::string& param = "",
               const std::string& workdir = "") {
        writeCatalogue(std::string(kSettings) + "[Item]\nName=Item\nTarget=" + target +
                       "\nParam=" + param + "\nWorkdir=" + workdir + "\nIcon=\nGroup=Tools\n");
        w.emplace(desk);
        w->setShell(&shell, kOwner);
        w->Form_Load();
        ASSERT_FALSE(w->state().lastBuildFailed) << w->state().lastBuildError.description;
        ASSERT_EQ(w->state().lstViewA[0].entries.size(), 1u);
        w->Show();
    }
    const frmVeloraState& s() { return w->state(); }
    // A desktop as the fixture made it, for a case to script afresh.
    void freshDesktop() {
        desk = FakeDesktop{};
        desk.systemColours[17] = kGreyed;
        desk.addPicture(own(catalogue::kFallbackIconFile), 32, 32, kFallbackPixel);
        desk.addPicture(own(catalogue::kSkinBackgroundFile), 200, 100, 0xFF000080u);
    }
    void press(std::int16_t button) {
        w->setEntrySelected(0, 0, true);
        w->lstViewA_MouseDown(0, button, 0, 100, 600);
        w->lstViewA_ItemClick(0, 0);
    }
};

TEST_F(PanelCommandsTest, RowsBelowTheFourKeepTheirPlaces) {
    start("D:\\Apps\\calc.exe");
    const std::vector<std::string> captions = {"Edit",
                                               "Remove",
                                               "Refresh all",
                                               "Close menu",
                                               "Open file location",
                                               "Run as administrator"};
    ASSERT_EQ(s().lblMenu.size(), captions.size());
    for (std::size_t k = 0; k < captions.size(); ++k) {
        SCOPED_TRACE(captions[k]);
        const ControlState& l = s().lblMenu[k];
        EXPECT_EQ(l.caption, captions[k]);
        EXPECT_EQ(l.top, 360 + 300 * static_cast<std::int32_t>(k));
        EXPECT_EQ(l.left, 120);
        // Inside the panel, with the margin the four always had below the last.
        EXPECT_LE(l.left + l.width, s().pbMenu.width);
        EXPECT_LE(l.top + l.height + 120, s().pbMenu.height);
    }
    EXPECT_EQ(s().pbMenu.height, 360 + 300 * 6 + 75);
}

TEST_F(PanelCommandsTest, OpenFileLocationShowsTheResolvedTargetOrIsGreyed) {
    struct Case {
        const char* rule;
        std::string target;
        std::function<void(FakeDesktop&)> setup;
        std::vector<std::string> shown; // empty: greyed, nothing shown
    };
    const std::vector<Case> cases = {
        {"a file",
         "D:\\Apps\\calc.exe",
         [](FakeDesktop& d) { d.files.insert("D:\\Apps\\calc.exe"); },
         {"D:\\Apps\\calc.exe"}},
        {"a folder",
         "D:\\Docs",
         [](FakeDesktop& d) { d.directories.insert("D:\\Docs"); },
         {"D:\\Docs"}},
        {"relative to the program's folder",
         "tools\\x.exe",
         [](FakeDesktop& d) {
             d.folder = "E:\\Stick";
             d.files.insert("E:\\Stick\\tools\\x.exe");
         },
         {"E:\\Stick\\tools\\x.exe"}},
        {"a variable expanded",
         "%DATA%\\r.doc",
         [](FakeDesktop& d) {
             d.environment["DATA"] = "D:\\Data";
             d.files.insert("D:\\Data\\r.doc");
         },
         {"D:\\Data\\r.doc"}},
        {"a shortcut handed on as it is, for the platform to follow",
         "D:\\Links\\calc.lnk",
         [](FakeDesktop& d) { d.files.insert("D:\\Links\\calc.lnk"); },
         {"D:\\Links\\calc.lnk"}},
        {"an address is greyed",
         "https://example.org/x.exe",
         [](FakeDesktop& d) { d.files.insert("https://example.org/x.exe"); },
         {}},
        {"a missing file is greyed", "D:\\Apps\\gone.exe", [](FakeDesktop&) {}, {}},
        {"an empty target is greyed", "", [](FakeDesktop& d) { d.directories.insert(""); }, {}},
        {"a path above the drive's root is greyed",
         "..\\..\\..\\x.exe",
         [](FakeDesktop& d) {
             d.folder = "E:\\Stick";
             d.files.insert("E:\\x.exe");
         },
         {}},
        {"a silent network host is greyed, not waited for",
         "\\\\quiet\\share\\x.exe",
         [](FakeDesktop& d) {
             d.silentHosts.insert("quiet");
             d.files.insert("\\\\quiet\\share\\x.exe");
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        freshDesktop();
        c.setup(desk);
        shell.launches.clear();
        start(c.target);
        press(2);
        ASSERT_TRUE(s().pbMenu.visible);
        const bool offered = !c.shown.empty();
        const ControlState& row = s().lblMenu[kPanelCommandFileLocation];
        EXPECT_EQ(row.enabled, offered);
        EXPECT_EQ(row.foreColour, offered ? kMenuFg : kGreyed);
        // A greyed command takes no highlight either.
        w->lblMenu_MouseMove(kPanelCommandFileLocation);
        EXPECT_EQ(s().menuHoverIndex.has_value(), offered);

        w->lblMenu_Click(kPanelCommandFileLocation);
        EXPECT_EQ(desk.locationsShown, c.shown);
        // Shown: the menu makes way for the file window. Greyed: the click does nothing.
        EXPECT_EQ(s().pbMenu.visible, !offered);
        EXPECT_EQ(s().visible, !offered);
        EXPECT_TRUE(shell.launches.empty());
        EXPECT_TRUE(desk.messages.empty());
    }
}

TEST_F(PanelCommandsTest, AGreyedRowStaysGreyedThroughARebuildAndIsOfferedAgainLater) {
    start("D:\\Apps\\gone.exe");
    press(2);
    ASSERT_FALSE(s().lblMenu[kPanelCommandFileLocation].enabled);
    // The panel stays open through a rebuild (a skin changed from outside, say).
    w->Form_Construct();
    EXPECT_TRUE(s().pbMenu.visible);
    EXPECT_EQ(s().lblMenu[kPanelCommandFileLocation].foreColour, kGreyed);
    EXPECT_EQ(s().lblMenu[kPanelCommandRunAsAdministrator].foreColour, kMenuFg);
    // The file arrives: the next opening offers the command.
    desk.files.insert("D:\\Apps\\gone.exe");
    press(2);
    EXPECT_TRUE(s().lblMenu[kPanelCommandFileLocation].enabled);
    EXPECT_EQ(s().lblMenu[kPanelCommandFileLocation].foreColour, kMenuFg);
    w->lblMenu_Click(kPanelCommandFileLocation);
    EXPECT_EQ(desk.locationsShown, std::vector<std::string>{"D:\\Apps\\gone.exe"});
}

TEST_F(PanelCommandsTest, RunAsAdministratorStartsAsAClickDoesWithTheRunasVerb) {
    struct Case {
        const char* rule;
        std::string target, param, workdir;
        std::function<void(FakeDesktop&)> setup;
        Launch expected;
    };
    const std::vector<Case> cases = {
        {"a program with parameters and a folder (started hidden, as a click does)",
         "D:\\Apps\\calc.exe",
         "-x 1",
         "D:\\W",
         [](FakeDesktop&) {},
         {kOwner, "runas", "D:\\Apps\\calc.exe", "-x 1", "D:\\W", kShowHide}},
        {"a program alone in a normal window",
         "D:\\Apps\\calc.exe",
         "",
         "",
         [](FakeDesktop&) {},
         {kOwner, "runas", "D:\\Apps\\calc.exe", "", "", kShowNormal}},
        {"paths against the program's folder, variables expanded",
         "tools\\x.exe",
         "%DATA%\\f.txt",
         ".",
         [](FakeDesktop& d) {
             d.folder = "E:\\Stick";
             d.environment["DATA"] = "D:\\Data";
         },
         {kOwner, "runas", "E:\\Stick\\tools\\x.exe", "D:\\Data\\f.txt", "E:\\Stick", kShowHide}},
        {"a document with a folder keeps the caller's show command",
         "D:\\Docs\\r.doc",
         "",
         "D:\\Docs",
         [](FakeDesktop&) {},
         {kOwner, "runas", "D:\\Docs\\r.doc", "", "D:\\Docs", kShowDefault}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        freshDesktop();
        c.setup(desk);
        shell.launches.clear();
        start(c.target, c.param, c.workdir);
        press(2);
        w->lblMenu_Click(kPanelCommandRunAsAdministrator);
        ASSERT_EQ(shell.launches.size(), 1u);
        EXPECT_EQ(shell.launches[0], c.expected);
        EXPECT_FALSE(s().visible);
        EXPECT_FALSE(s().pbMenu.visible);
        // A left click on the same entry starts the same, only with the verb "open".
        w->Show();
        press(1);
        ASSERT_EQ(shell.launches.size(), 2u);
        Launch open = c.expected;
        open.operation = "open";
        EXPECT_EQ(shell.launches[1], open);
    }
}

TEST_F(PanelCommandsTest, ARefusedElevationShowsNothingAndTheMenuHides) {
    struct Case {
        const char* rule;
        std::intptr_t shellResult;
    };
    // What the shell answers when the user says no to elevation, or it cannot be had.
    const std::vector<Case> cases = {
        {"refused by the user", 5}, {"no such file", 2}, {"out of resources", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        shell.result = c.shellResult;
        start("D:\\Apps\\calc.exe");
        press(2);
        w->lblMenu_Click(kPanelCommandRunAsAdministrator);
        ASSERT_EQ(shell.launches.size(), 1u);
        shell.launches.clear();
        EXPECT_FALSE(w->lastLaunchStarted());
        EXPECT_FALSE(s().visible);
        EXPECT_FALSE(s().pbMenu.visible);
        EXPECT_TRUE(desk.messages.empty());
        EXPECT_EQ(desk.beeps, 0);
    }
}

TEST_F(PanelCommandsTest, CommandsActOnlyForTheItemThePanelWasOpenedFor) {
    struct Case {
        const char* rule;
        std::int16_t command;
    };
    const std::vector<Case> cases = {{"open file location", kPanelCommandFileLocation},
                                     {"run as administrator", kPanelCommandRunAsAdministrator}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        desk.files.insert("D:\\Apps\\calc.exe");
        desk.locationsShown.clear();
        shell.launches.clear();
        start("D:\\Apps\\calc.exe");
        press(2);
        // The selection went away (the list was clicked on its bare background).
        w->setEntrySelected(0, 0, false);
        w->lblMenu_Click(c.command);
        EXPECT_TRUE(desk.locationsShown.empty());
        EXPECT_TRUE(shell.launches.empty());
        EXPECT_FALSE(s().pbMenu.visible);
    }
}

} // namespace
} // namespace kesk::test
