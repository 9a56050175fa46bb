// Using the menu window: clicks and launching, the context panel, the item
// editor and dropping files, against the fake desktop and a recording shell.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/fileio.h"
#include "settings/clsINIFile.h"
#include "support/mdShellEx.h"
#include "unit/menu_fixture.h"
#include "unit/recording_shell.h"

namespace kesk::test {
namespace {

constexpr OwnerHandle kOwner = 0x1234;
std::string menuPicture() {
    return catalogue::ownFilePath(catalogue::kSkinMenuBackgroundFile);
}
std::string editPicture() {
    return catalogue::ownFilePath(catalogue::kSkinEditBackgroundFile);
}

class MenuUseTest : public MenuFixture {
  public: // the cases' own steps reach in through a reference
    RecordingShell shell;
    std::optional<frmVelora> w;

    // Sections: 0 Window, 1 SmallIconSize, 2 Calc (Tools), 3 Notes (Tools),
    // 4 Paint (Applications), 5 Report (Documents).
    std::string standard() {
        return std::string(kSettings) +
               full("Calc", "Tools", "D:\\Apps\\calc.exe", "-x 1", "D:\\W") +
               full("Notes", "Tools", "D:\\Program Files\\notes.exe", "", "") +
               full("Paint", "Applications", "D:\\Apps\\paint.exe", "/p", "") +
               full("Report", "Documents", "D:\\Docs\\report.doc", "", "D:\\Docs");
    }
    static std::string full(const std::string& section, const std::string& group,
                            const std::string& target, const std::string& param,
                            const std::string& workdir) {
        return "[" + section + "]\nName=" + section + "\nTarget=" + target + "\nParam=" + param +
               "\nWorkdir=" + workdir + "\nIcon=\nGroup=" + group + "\n";
    }

    void start(const std::string& catalogueText) {
        writeCatalogue(catalogueText);
        w.emplace(desk);
        w->setShell(&shell, kOwner);
        w->Form_Load();
        ASSERT_FALSE(w->state().lastBuildFailed) << w->state().lastBuildError.description;
        w->Show();
    }
    const frmVeloraState& s() { return w->state(); }

    // A press with `button` on entry `entry` of list `list`, then the click;
    // the list selects the entry at the press, as the real one does.
    void click(std::size_t list, std::size_t entry, std::int16_t button, double y = 600) {
        for (std::size_t i = 0; i < s().lstViewA[list].entries.size(); ++i) {
            w->setEntrySelected(list, i, i == entry);
        }
        w->lstViewA_MouseDown(list, button, 0, 100, y);
        w->lstViewA_ItemClick(list, entry);
    }

    static std::string readFile(const std::string& path) {
        return fileio::readAll(path, 1 << 24).value_or("<unreadable>");
    }
    static std::string crlf(const std::string& text) {
        std::string out;
        for (char c : text) {
            if (c == '\n') {
                out += '\r';
            }
            out += c;
        }
        return out;
    }
    std::string catalogueText() { return readFile(catalogue::cataloguePath()); }
    std::vector<std::string> sections() {
        clsINIFile ini;
        ini.setFilename(catalogue::cataloguePath());
        std::vector<std::string> list;
        ini.getSectionList(list);
        return list;
    }
    std::string value(const std::string& sect, const std::string& key) {
        clsINIFile ini;
        ini.setFilename(catalogue::cataloguePath());
        return ini.getString(sect, key);
    }
    std::vector<std::string> texts(std::size_t list) {
        std::vector<std::string> out;
        for (const ListEntry& e : s().lstViewA[list].entries) {
            out.push_back(e.text + (e.selected ? "*" : ""));
        }
        return out;
    }
};

// --- Clicks and launching ------------------------------------------------------------------------

TEST_F(MenuUseTest, ClicksStartHideOrOpenThePanelByButton) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::size_t, std::int16_t>> clicks; // (entry of Tools, button)
        std::vector<std::string> started;
        bool visible;
        bool panel;
    };
    const std::vector<Case> cases = {
        {"left", {{0, 1}}, {"D:\\Apps\\calc.exe"}, false, false},
        {"right", {{1, 2}}, {}, true, true},
        {"middle", {{0, 4}}, {}, true, false},
        {"no press", {{0, 0}}, {}, true, false},
        {"right then left on another",
         {{0, 2}, {1, 1}},
         {"D:\\Program Files\\notes.exe"},
         false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        shell.launches.clear();
        start(standard());
        for (const auto& [entry, button] : c.clicks) {
            click(0, entry, button);
            EXPECT_EQ(s().lastMouseButton, 0);
            EXPECT_EQ(s().currentList, std::optional<std::size_t>(0));
        }
        std::vector<std::string> started;
        for (const Launch& l : shell.launches) {
            started.push_back(l.file);
        }
        EXPECT_EQ(started, c.started);
        EXPECT_EQ(s().visible, c.visible);
        EXPECT_EQ(s().pbMenu.visible, c.panel);
    }
}

TEST_F(MenuUseTest, LaunchPassesTheItemsFieldsAsReadAndHidesEvenWhenTheStartFails) {
    struct Case {
        std::size_t list, entry;
        std::intptr_t shellResult;
        Launch expected;
        bool started;
    };
    const std::vector<Case> cases = {
        {0, 0, 42, {kOwner, "open", "D:\\Apps\\calc.exe", "-x 1", "D:\\W", 0}, true},
        // A Target with blanks goes unquoted; empty Param and Workdir as empty texts.
        {0, 1, 42, {kOwner, "open", "D:\\Program Files\\notes.exe", "", "", 1}, true},
        {2, 0, 42, {kOwner, "open", "D:\\Docs\\report.doc", "", "D:\\Docs", kShowDefault}, true},
        {1, 0, 2, {kOwner, "open", "D:\\Apps\\paint.exe", "/p", "", 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.file);
        shell.launches.clear();
        shell.result = c.shellResult;
        start(standard());
        click(c.list, c.entry, 1);
        ASSERT_EQ(shell.launches.size(), 1u);
        EXPECT_EQ(shell.launches[0], c.expected);
        EXPECT_EQ(w->lastLaunchStarted(), c.started);
        EXPECT_FALSE(s().visible);
        EXPECT_FALSE(s().pbMenu.visible);
    }
    EXPECT_EQ(w->lastLaunchError().number, errnum::FileNotFound);
}

TEST_F(MenuUseTest, FindSelectedItemTakesTheLastSelectedEntryOfTheClickedList) {
    start(standard());
    EXPECT_EQ(w->findSelectedItem(), MenuItem{}); // no list clicked yet
    click(0, 0, 4);
    EXPECT_EQ(w->findSelectedItem().Section, "Calc");
    w->setEntrySelected(0, 1, true);
    EXPECT_EQ(w->findSelectedItem().Section, "Notes"); // two selected: the lower one
    EXPECT_EQ(w->findSelectedItem().ID, "ID 3");
    w->setEntrySelected(0, 0, false);
    w->setEntrySelected(0, 1, false);
    EXPECT_EQ(w->findSelectedItem(), MenuItem{});
}

// --- The context panel ---------------------------------------------------------------------------

TEST_F(MenuUseTest, PanelOpensAtThePressWithTheItemsNameAndItsPicture) {
    desk.addPicture(menuPicture(), 300, 300, 0xFF00FF00u);
    start(standard() +
          full("A very long name of an item that does not fit", "Scripts", "x", "", ""));
    click(3, 0, 2, 1234.5);
    EXPECT_EQ(s().lastMouseY, 1234);
    EXPECT_TRUE(s().pbMenu.visible);
    EXPECT_EQ(s().pbMenu.left, 0);
    EXPECT_EQ(s().pbMenu.top, 1234);
    EXPECT_EQ(s().lblMenuHeadline.caption, "A very long name of an item that does not fit");
    // The picture's top left at the panel's size in pixels (2730 x 2235 twips).
    EXPECT_EQ(s().pbMenuPicture.width, 182);
    EXPECT_EQ(s().pbMenuPicture.height, 149);

    // A press low in the list: the panel stays whole inside the window.
    click(0, 1, 2, 8000);
    EXPECT_EQ(s().pbMenu.top, s().height - 2235);
    EXPECT_EQ(s().lblMenuHeadline.caption, "Notes");

    // Without its picture, or without a selection, the panel keeps what it had.
    desk.pictures.erase(menuPicture());
    w->setEntrySelected(0, 1, false);
    w->lstViewA_MouseDown(0, 2, 0, 0, 300);
    w->lstViewA_ItemClick(0, 1);
    EXPECT_TRUE(s().pbMenu.visible);
    EXPECT_EQ(s().pbMenu.top, 300);
    EXPECT_EQ(s().lblMenuHeadline.caption, "Notes");
    EXPECT_EQ(s().pbMenuPicture.width, 182);

    // A press beyond what the height can hold keeps the last height.
    w->lstViewA_MouseDown(0, 2, 0, 0, 1e9);
    EXPECT_EQ(s().lastMouseButton, 2);
    EXPECT_EQ(s().lastMouseY, 300);
}

TEST_F(MenuUseTest, HighlightFollowsTheMouseAndIsResetByABuild) {
    start(standard());
    click(0, 0, 2);
    const auto opaque = [this] {
        std::vector<int> out;
        for (std::size_t k = 0; k < 4; ++k) {
            if (!s().lblMenu[k].transparent) {
                out.push_back(static_cast<int>(k));
            }
        }
        return out;
    };
    struct Step {
        std::int16_t move; // -1: a build ("Refresh all")
        std::vector<int> opaque;
        std::optional<std::int16_t> hover;
    };
    const std::vector<Step> steps = {
        {0, {0}, 0}, {1, {1}, 1}, {1, {1}, 1}, {7, {1}, 1}, {-1, {}, std::nullopt},
        {1, {1}, 1}, {3, {3}, 3},
    };
    for (const Step& st : steps) {
        SCOPED_TRACE(st.move);
        if (st.move < 0) {
            w->lblMenu_Click(2);
        } else {
            w->lblMenu_MouseMove(st.move);
        }
        EXPECT_EQ(opaque(), st.opaque);
        EXPECT_EQ(s().menuHoverIndex, st.hover);
    }
}

TEST_F(MenuUseTest, PanelCommandsAndTheirGuards) {
    struct Case {
        const char* name;
        std::int16_t command;
        // Between opening the panel on Calc and the command.
        std::function<void(MenuUseTest&)> meanwhile;
        std::vector<std::string> tools; // Tools list after the command
        bool catalogueUnchanged;
    };
    const std::vector<Case> cases = {
        {"remove", 1, nullptr, {"Notes"}, false},
        {"remove with nothing selected",
         1,
         [](MenuUseTest& t) { t.w->setEntrySelected(0, 0, false); },
         {"Calc", "Notes"},
         true},
        {"remove after the selection moved",
         1,
         [](MenuUseTest& t) {
             t.w->setEntrySelected(0, 0, false);
             t.w->setEntrySelected(0, 1, true);
         },
         {"Calc", "Notes*"},
         true},
        {"remove after a rebuild",
         1,
         [](MenuUseTest& t) { t.w->Form_Construct(); },
         {"Calc", "Notes"},
         true},
        {"close", 3, nullptr, {"Calc*", "Notes"}, true},
        {"unknown", 9, nullptr, {"Calc*", "Notes"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(standard());
        const std::string before = catalogueText();
        click(0, 0, 2);
        if (c.meanwhile) {
            c.meanwhile(*this);
        }
        const std::int32_t builds = s().buildCount;
        w->lblMenu_Click(c.command);
        EXPECT_FALSE(s().pbMenu.visible);
        EXPECT_EQ(texts(0), c.tools);
        EXPECT_EQ(catalogueText() == before, c.catalogueUnchanged);
        if (c.command == 1 && !c.catalogueUnchanged) {
            EXPECT_EQ(sections(), (std::vector<std::string>{"Window", "SmallIconSize", "Notes",
                                                            "Paint", "Report"}));
            // The keys after the removed section moved up by one.
            EXPECT_EQ(s().lstViewA[0].entries[0].key, "ID 2");
            EXPECT_EQ(s().buildCount, builds + 1);
        }
    }
}

TEST_F(MenuUseTest, RefreshAllShowsAHandEditedCatalogue) {
    start(standard());
    click(0, 0, 2);
    writeCatalogue(std::string(kSettings) + full("Fresh", "Tools", "y", "", ""));
    w->lblMenu_Click(2);
    EXPECT_EQ(texts(0), std::vector<std::string>{"Fresh"});
    EXPECT_FALSE(s().pbMenu.visible);
}

// --- The item editor -----------------------------------------------------------------------------

TEST_F(MenuUseTest, EditorShowsTheItemAndColoursPathsAsTheyAreTyped) {
    writeSkin("[COLORS]\nLIST_BOX_FG=000001\nLIST_BOX_ERR=0000FF\n");
    desk.addExe("D:\\Apps\\calc.exe", 0xFF00FF00u);
    desk.directories.insert("D:\\W");
    desk.addPicture(editPicture(), 600, 400, 0xFF0000FFu);
    start(standard() + "[Odd]\nName=Shown differently\nTarget=D:\\gone.exe\nGroup=Scripts\n");
    constexpr Colour fore = 0x000001;
    constexpr Colour err = 0x0000FF;

    click(0, 0, 2);
    w->lblMenu_Click(0);
    ASSERT_TRUE(s().containerEditItem.visible);
    EXPECT_FALSE(s().pbMenu.visible);
    EXPECT_EQ(s().lblItemEditHeadline.caption, " Calc");
    const std::vector<std::string> shown = {"Calc", "D:\\Apps\\calc.exe", "-x 1", "D:\\W",
                                            "",     "Icon from EXE"};
    const std::vector<Colour> colours = {fore, fore, fore, fore, err, fore};
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(s().txtEditItem[k].caption, shown[k]) << k;
        EXPECT_EQ(s().txtEditItem[k].foreColour, colours[k]) << k;
    }
    EXPECT_EQ(s().containerEditItemPicture.width, 437); // 6555 twips

    // Typing into Target: red until the text names an existing path.
    const std::vector<std::pair<std::string, Colour>> typing = {
        {"D:\\Apps\\calc.ex", err}, {"D:\\Apps\\calc.exe", fore}, {"", err}};
    for (const auto& [text, colour] : typing) {
        w->txtEditItem_Change(1, text);
        EXPECT_EQ(s().txtEditItem[1].foreColour, colour) << text;
    }
    // Fields without a path check never turn red.
    w->txtEditItem_Change(2, "missing");
    EXPECT_EQ(s().txtEditItem[2].foreColour, fore);

    // The headline names the section, even when Name differs; the fallback's text.
    w->cmdAbort_Click();
    click(3, 0, 2);
    w->lblMenu_Click(0);
    EXPECT_EQ(s().lblItemEditHeadline.caption, " Odd");
    EXPECT_EQ(s().txtEditItem[0].caption, "Shown differently");
    EXPECT_EQ(s().txtEditItem[5].caption, "Error! No icon!");
}

TEST_F(MenuUseTest, OkWritesOnlyWhatChangedAndAbortWritesNothing) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::int16_t, std::string>> edits;
        bool ok;
        std::string calcAfter; // the Calc section's lines afterwards
        bool rebuilt;
    };
    const std::string calc = "[Calc]\nName=Calc\nTarget=D:\\Apps\\calc.exe\nParam=-x 1\n"
                             "Workdir=D:\\W\nIcon=\nGroup=Tools\n";
    const std::vector<Case> cases = {
        {"param only",
         {{2, "-y 2"}},
         true,
         "[Calc]\nName=Calc\nTarget=D:\\Apps\\calc.exe\nParam=-y 2\nWorkdir=D:\\W\nIcon=\n"
         "Group=Tools\n",
         true},
        {"letter case of Name",
         {{0, "calc"}},
         true,
         "[Calc]\nName=calc\nTarget=D:\\Apps\\calc.exe\nParam=-x 1\nWorkdir=D:\\W\nIcon=\n"
         "Group=Tools\n",
         true},
        {"emptied Workdir, Icon set",
         {{3, ""}, {4, "C:\\i.ico"}},
         true,
         "[Calc]\nName=Calc\nTarget=D:\\Apps\\calc.exe\nParam=-x 1\nWorkdir=\nIcon=C:\\i.ico\n"
         "Group=Tools\n",
         true},
        {"typed back to the same", {{1, "x"}, {1, "D:\\Apps\\calc.exe"}}, true, calc, true},
        {"icon source text is never saved", {{5, "changed"}}, true, calc, true},
        {"nothing", {}, true, calc, true},
        {"abort", {{2, "-y 2"}}, false, calc, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(standard());
        const std::string before = catalogueText();
        click(0, 0, 2);
        w->lblMenu_Click(0);
        for (const auto& [field, text] : c.edits) {
            w->txtEditItem_Change(field, text);
        }
        const std::int32_t builds = s().buildCount;
        if (c.ok) {
            w->cmdOK_Click();
        } else {
            w->cmdAbort_Click();
        }
        EXPECT_FALSE(s().containerEditItem.visible);
        EXPECT_EQ(s().buildCount, builds + (c.rebuilt ? 1 : 0));
        std::string expected = before;
        expected.replace(expected.find("[Calc]"), crlf(calc).size(), crlf(c.calcAfter));
        EXPECT_EQ(catalogueText(), expected);
    }
}

TEST_F(MenuUseTest, OkNeverWritesIntoAnotherOrAnEmptySection) {
    struct Case {
        const char* name;
        std::function<void(MenuUseTest&)> beforeOpen;
        std::function<void(MenuUseTest&)> beforeOk;
        std::string expectedParamOfCalc; // "-" when the section is gone
        std::string expectedParamOfNotes;
    };
    const std::vector<Case> cases = {
        {"selection moved to Notes: the edit stays Calc's", nullptr,
         [](MenuUseTest& t) { t.click(0, 1, 4); }, "edited", ""},
        {"a rebuild cleared the selection", nullptr, [](MenuUseTest& t) { t.w->Form_Construct(); },
         "edited", ""},
        {"opened with nothing selected", [](MenuUseTest& t) { t.w->setEntrySelected(0, 0, false); },
         nullptr, "-x 1", ""},
        {"section deleted by hand", nullptr,
         [](MenuUseTest&) {
             clsINIFile ini;
             ini.setFilename(catalogue::cataloguePath());
             ini.deleteSection("Calc");
         },
         "-", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(standard());
        click(0, 0, 2);
        if (c.beforeOpen) {
            c.beforeOpen(*this);
        }
        w->lblMenu_Click(0);
        w->txtEditItem_Change(2, "edited");
        if (c.beforeOk) {
            c.beforeOk(*this);
        }
        w->cmdOK_Click();
        const std::vector<std::string> names = sections();
        const bool calcThere = std::find(names.begin(), names.end(), "Calc") != names.end();
        EXPECT_EQ(calcThere ? value("Calc", "Param") : "-", c.expectedParamOfCalc);
        EXPECT_EQ(value("Notes", "Param"), c.expectedParamOfNotes);
        EXPECT_EQ(std::count(names.begin(), names.end(), ""), 0);
        EXPECT_EQ(catalogueText().find("[]"), std::string::npos);
    }
}

// --- Dropping files ------------------------------------------------------------------------------

TEST_F(MenuUseTest, DropsWriteOneSectionPerPathAndSelectTheLastEntry) {
    struct Case {
        const char* name;
        std::size_t list;
        std::vector<std::string> paths;
        std::string appended;             // text added at the end of the catalogue
        std::vector<std::string> entries; // the receiving list afterwards
    };
    const std::vector<Case> cases = {
        {"one program",
         1,
         {"D:\\Apps\\tool.exe"},
         "[tool]\nName=tool\nTarget=D:\\Apps\\tool.exe\nIcon=\nGroup=Applications\n",
         {"Paint", "tool*"}},
        {"three at once, in drop order",
         3,
         {"C:\\b.cmd", "C:\\a.cmd", "C:\\c.cmd"},
         "[b]\nName=b\nTarget=C:\\b.cmd\nIcon=\nGroup=Scripts\n"
         "[a]\nName=a\nTarget=C:\\a.cmd\nIcon=\nGroup=Scripts\n"
         "[c]\nName=c\nTarget=C:\\c.cmd\nIcon=\nGroup=Scripts\n",
         {"b", "a", "c*"}},
        {"last dot only",
         2,
         {"D:\\Docs\\report.final.doc"},
         "[report.final]\nName=report.final\nTarget=D:\\Docs\\report.final.doc\nIcon=\n"
         "Group=Documents\n",
         {"Report", "report.final*"}},
        {"a folder",
         2,
         {"D:\\Work\\Projects"},
         "[Projects]\nName=Projects\nTarget=D:\\Work\\Projects\nIcon=\nGroup=Documents\n",
         {"Report", "Projects*"}},
        {"same base name twice: the last wins",
         0,
         {"C:\\one\\x.exe", "C:\\two\\x.bat"},
         "[x]\nName=x\nTarget=C:\\two\\x.bat\nIcon=\nGroup=Tools\n",
         {"Calc", "Notes", "x*"}},
        {"names holding = and a line break",
         0,
         {"C:\\a=b.txt", "C:\\two\nlines.txt"},
         "[a=b]\nName=a=b\nTarget=C:\\a=b.txt\nIcon=\nGroup=Tools\n"
         "[two lines]\nName=two lines\nTarget=C:\\two lines.txt\nIcon=\nGroup=Tools\n",
         {"Calc", "Notes", "a=b", "two lines*"}},
        {"no base name, or one the file cannot hold: nothing for those paths",
         0,
         {"D:\\", "C:\\home\\.profile", "C:\\x\\ .txt", "C:\\br]cket.txt", "C:\\ok.txt"},
         "[ok]\nName=ok\nTarget=C:\\ok.txt\nIcon=\nGroup=Tools\n",
         {"Calc", "Notes", "ok*"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(standard());
        const std::string before = catalogueText();
        w->lstViewA_OLEDragDrop(c.list, c.paths);
        EXPECT_EQ(catalogueText(), before + crlf(c.appended));
        EXPECT_EQ(texts(c.list), c.entries);
    }
}

TEST_F(MenuUseTest, DropOntoAnExistingSectionUpdatesItInPlace) {
    struct Case {
        const char* path;
        const char* section;
    };
    for (const Case& c : {Case{"E:\\New\\calc.exe", "Calc"}, Case{"E:\\New\\CALC.EXE", "Calc"}}) {
        SCOPED_TRACE(c.path);
        start(standard());
        w->lstViewA_OLEDragDrop(3, {c.path});
        const std::string base = std::string(c.path).substr(7, 4);
        EXPECT_EQ(sections()[2], c.section); // keeps its place
        EXPECT_EQ(value(c.section, "Name"), base);
        EXPECT_EQ(value(c.section, "Target"), c.path);
        EXPECT_EQ(value(c.section, "Param"), "-x 1");
        EXPECT_EQ(value(c.section, "Workdir"), "D:\\W");
        EXPECT_EQ(value(c.section, "Group"), "Scripts");
        EXPECT_EQ(texts(0), std::vector<std::string>{"Notes"});
        EXPECT_EQ(texts(3), std::vector<std::string>{base + "*"});
    }
}

TEST_F(MenuUseTest, DropNamedLikeASettingsSectionKeepsTheSettingsWorking) {
    start("[Window]\nheightOffset=150\n[SmallIconSize]\nWidth=24\nHeight=24\n");
    w->lstViewA_OLEDragDrop(0, {"C:\\cfg\\Window.ini"});
    EXPECT_EQ(value("Window", "heightOffset"), "150");
    EXPECT_EQ(texts(0), std::vector<std::string>{"Window*"});
    EXPECT_EQ(s().heightOffset, 150);
    EXPECT_EQ(s().lstViewA[0].height, 7605);
}

TEST_F(MenuUseTest, DropsWithoutAnythingToWrite) {
    start(standard());
    const std::string before = catalogueText();
    const std::int32_t builds = s().buildCount;
    w->lstViewA_OLEDragDrop(0, {});
    w->lstViewA_OLEDragDrop(7, {"C:\\x.txt"});
    EXPECT_EQ(catalogueText(), before);
    EXPECT_EQ(s().buildCount, builds);

    // Onto an empty list whose only path is refused: the list stays empty.
    w->lstViewA_OLEDragDrop(3, {"C:\\only]one.txt"});
    EXPECT_EQ(catalogueText(), before);
    EXPECT_TRUE(s().lstViewA[3].entries.empty());

    // pbMenu takes no drop; it beeps at every drag-over notification.
    w->pbMenu_OLEDragOver();
    w->pbMenu_OLEDragOver();
    EXPECT_EQ(desk.beeps, 2);
}

TEST_F(MenuUseTest, LongAndNonAnsiPathsAreStoredAndStartedWithoutLoss) {
    const std::vector<std::string> paths = {
        "C:\\" + std::string(243, 'd') + "\\long.exe", // 255 characters: read back whole
        "C:\\\xD0\x94\xD0\xBE\xD0\xBA\\\xE6\x96\x87\xE6\x9B\xB8.txt", // Cyrillic, CJK
        "C:\\caf\xC3\xA9\\\xF0\x9F\x98\x80.lnk",                      // outside the BMP
    };
    ASSERT_EQ(paths[0].size(), 255u);
    start(standard());
    const std::string tooLong = "C:\\" + std::string(290, 'e') + "\\x.exe";
    std::vector<std::string> dropped = paths;
    dropped.insert(dropped.begin() + 1, tooLong); // would be read back cut: not taken
    w->lstViewA_OLEDragDrop(2, dropped);
    ASSERT_EQ(s().lstViewA[2].entries.size(), 4u);
    EXPECT_EQ(catalogueText().find("eeeee"), std::string::npos);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(i);
        shell.launches.clear();
        w->Show();
        click(2, i + 1, 1);
        ASSERT_EQ(shell.launches.size(), 1u);
        EXPECT_EQ(shell.launches[0].file, paths[i]);
    }
    EXPECT_EQ(s().lstViewA[2].entries[2].text, "\xE6\x96\x87\xE6\x9B\xB8");
}

TEST_F(MenuUseTest, FiveHundredFilesInOneDrop) {
    start(std::string(kSettings));
    std::vector<std::string> paths;
    for (int i = 0; i < 500; ++i) {
        paths.push_back("C:\\many\\file" + std::to_string(i) + ".txt");
    }
    w->lstViewA_OLEDragDrop(1, paths);
    const auto& entries = s().lstViewA[1].entries;
    ASSERT_EQ(entries.size(), 500u);
    EXPECT_EQ(entries.front().text, "file0");
    EXPECT_EQ(entries.back().text, "file499");
    EXPECT_TRUE(entries.back().selected);
    EXPECT_EQ(sections().size(), 502u);
    EXPECT_EQ(value("file250", "Target"), "C:\\many\\file250.txt");
}

} // namespace
} // namespace kesk::test
