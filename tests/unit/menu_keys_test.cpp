// The menu by keys: a query finds and selects, keys move across the four lists, start, open the
// context panel and walk the editor; every start counts in the item's section.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/fileio.h"
#include "settings/clsINIFile.h"
#include "support/mdShellEx.h"
#include "unit/menu_fixture.h"

namespace kesk::test {
namespace {

class RecordingShell : public ShellExecutor {
  public:
    std::vector<std::string> files;
    std::vector<std::string> verbs;
    std::intptr_t execute(OwnerHandle, const std::string& verb, const std::string& file,
                          const std::string&, const std::string&, std::int32_t) override {
        files.push_back(file);
        verbs.push_back(verb);
        return 42;
    }
};

// One thing the user does: a key (with Shift or not) or typed text, character by character.
struct Step {
    std::optional<MenuKey> key;
    bool shift = false;
    std::string text;
};
Step key(MenuKey k, bool shift = false) {
    return Step{k, shift, {}};
}
Step type(std::string text) {
    return Step{std::nullopt, false, std::move(text)};
}

std::string repeated(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

using Cursor = std::pair<std::size_t, std::size_t>;

// What a row checks; what it leaves unset is not checked.
struct Expect {
    std::optional<Cursor> cursor;
    std::optional<std::string> query;
    std::optional<bool> visible;
    std::optional<std::vector<std::string>> started;
    std::optional<std::vector<std::string>> verbs;
    std::optional<KeyFocus> focus;
    std::optional<std::int16_t> hover;
    std::optional<std::int16_t> editorFocus;
    Expect at(std::size_t list, std::size_t entry) const {
        Expect e = *this;
        e.cursor = Cursor{list, entry};
        return e;
    }
    Expect queryIs(std::string q) const {
        Expect e = *this;
        e.query = std::move(q);
        return e;
    }
    Expect shown(bool v) const {
        Expect e = *this;
        e.visible = v;
        return e;
    }
    Expect starts(std::vector<std::string> files) const {
        Expect e = *this;
        e.started = std::move(files);
        return e;
    }
    Expect startsAs(std::vector<std::string> v) const {
        Expect e = *this;
        e.verbs = std::move(v);
        return e;
    }
    Expect keysIn(KeyFocus f) const {
        Expect e = *this;
        e.focus = f;
        return e;
    }
    Expect highlights(std::int16_t k) const {
        Expect e = *this;
        e.hover = k;
        return e;
    }
    Expect editorAt(std::int16_t k) const {
        Expect e = *this;
        e.editorFocus = k;
        return e;
    }
};
const Expect expect;

struct KeyCase {
    const char* rule;
    std::vector<Step> steps;
    Expect expect;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.rule;
}

constexpr const char* kKeysSettings =
    "[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n";

// Lists: Tools [Calc, Notes, Notepad], Applications [Paint, Task Manager], Documents [],
// Scripts [Backup].
std::string keysCatalogue() {
    auto item = [](const std::string& name, const std::string& group, const std::string& target) {
        return "[" + name + "]\nName=" + name + "\nTarget=" + target + "\nGroup=" + group + "\n";
    };
    return std::string(kKeysSettings) + item("Calc", "Tools", "D:\\Apps\\calc.exe") +
           item("Notes", "Tools", "D:\\Apps\\notes.exe") +
           item("Notepad", "Tools", "C:\\Windows\\notepad.exe") +
           item("Paint", "Applications", "D:\\Apps\\paint.exe") +
           item("Task Manager", "Applications", "C:\\Windows\\taskmgr.exe") +
           item("Backup", "Scripts", "D:\\Scripts\\backup.cmd");
}

class KeysBase : public MenuFixture {
  protected:
    RecordingShell shell;
    std::optional<frmVelora> w;

    void start(const std::string& text) {
        writeCatalogue(text);
        w.emplace(desk);
        w->setShell(&shell, 1);
        w->Form_Load();
        ASSERT_FALSE(w->state().lastBuildFailed) << w->state().lastBuildError.description;
        w->Show();
        w->shownFromKeyboard();
    }
    void run(const std::vector<Step>& steps) {
        for (const Step& s : steps) {
            if (s.key) {
                w->Form_KeyDown(*s.key, s.shift);
            }
            // One UTF-8 character per key press, as the window hands them on.
            for (std::size_t i = 0; i < s.text.size();) {
                std::size_t n = 1;
                while (i + n < s.text.size() &&
                       (static_cast<unsigned char>(s.text[i + n]) & 0xC0) == 0x80) {
                    ++n;
                }
                w->Form_KeyPress(s.text.substr(i, n));
                i += n;
            }
        }
    }
};

class MenuKeys : public KeysBase, public testing::WithParamInterface<KeyCase> {};

TEST_P(MenuKeys, TableOfRules) {
    const KeyCase& c = GetParam();
    start(keysCatalogue());
    run(c.steps);
    const Expect& e = c.expect;
    const frmVeloraState& s = w->state();
    if (e.cursor) {
        EXPECT_EQ(w->keyCursor(), e.cursor) << c.rule;
        std::size_t selected = 0;
        for (const ListViewState& l : s.lstViewA) {
            for (const ListEntry& entry : l.entries) {
                selected += entry.selected ? 1 : 0;
            }
        }
        EXPECT_EQ(selected, 1u) << c.rule << ": one entry selected in all four lists";
    }
    if (e.query) {
        EXPECT_EQ(s.query, *e.query) << c.rule;
    }
    if (e.visible) {
        EXPECT_EQ(s.visible, *e.visible) << c.rule;
    }
    if (e.started) {
        EXPECT_EQ(shell.files, *e.started) << c.rule;
    }
    if (e.verbs) {
        EXPECT_EQ(shell.verbs, *e.verbs) << c.rule;
    }
    if (e.focus) {
        EXPECT_EQ(w->keyFocus(), *e.focus) << c.rule;
    }
    if (e.hover) {
        EXPECT_EQ(s.menuHoverIndex, e.hover) << c.rule;
    }
    if (e.editorFocus) {
        EXPECT_EQ(s.editorFocus, *e.editorFocus) << c.rule;
    }
}

using K = MenuKey;

INSTANTIATE_TEST_SUITE_P(
    Query, MenuKeys,
    testing::Values(
        KeyCase{"typing selects the best match, ties in catalogue order",
                {type("not")},
                expect.at(0, 1).queryIs("not")},
        KeyCase{"the whole name beats a prefix", {type("notepad")}, expect.at(0, 2)},
        KeyCase{"initials across lists", {type("tm")}, expect.at(1, 1)},
        KeyCase{"the target's file name", {type("taskmgr")}, expect.at(1, 1)},
        KeyCase{"upper case finds the same", {type("PAINT")}, expect.at(1, 0)},
        KeyCase{"Backspace edits the query",
                {type("notep"), key(K::Backspace), key(K::Backspace)},
                expect.at(0, 1).queryIs("not")},
        KeyCase{"Backspace on no query does nothing",
                {key(K::Backspace)},
                expect.queryIs("").shown(true)},
        KeyCase{"no match keeps the query", {type("zzz")}, expect.queryIs("zzz").shown(true)},
        KeyCase{"Esc clears the query and keeps the menu",
                {type("cal"), key(K::Escape)},
                expect.at(0, 0).queryIs("").shown(true)},
        KeyCase{"a second Esc hides the menu",
                {type("cal"), key(K::Escape), key(K::Escape)},
                expect.shown(false).starts({})},
        KeyCase{"Enter starts the best match and hides",
                {type("paint"), key(K::Enter)},
                expect.queryIs("").shown(false).starts({"D:\\Apps\\paint.exe"})},
        KeyCase{"Enter without a selection starts nothing",
                {key(K::Enter)},
                expect.shown(true).starts({})},
        KeyCase{"control characters are no query", {type("\x01\x1b")}, expect.queryIs("")},
        KeyCase{"a query stops at 255 characters",
                {type(std::string(300, 'a'))},
                expect.queryIs(std::string(255, 'a'))},
        KeyCase{"a query of 10,000 characters stops at 255 and the menu stays",
                {type(std::string(10000, 'x')), key(K::Down)},
                expect.queryIs(std::string(255, 'x')).shown(true)},
        KeyCase{"characters beyond any code page are query text",
                {type("\xE6\x97\xA5\xF0\x9F\x98\x80")},
                expect.queryIs("\xE6\x97\xA5\xF0\x9F\x98\x80").shown(true)},
        KeyCase{"Backspace takes a whole character back",
                {type("n\xF0\x9F\x98\x80"), key(K::Backspace)},
                expect.queryIs("n")},
        KeyCase{"the 255 characters are characters, not bytes",
                {type(repeated("\xC3\xBC", 300))},
                expect.queryIs(repeated("\xC3\xBC", 255))}));

INSTANTIATE_TEST_SUITE_P(
    Moving, MenuKeys,
    testing::Values(
        KeyCase{"the first move selects the first entry", {key(K::Down)}, expect.at(0, 0)},
        KeyCase{"Down within a list", {key(K::Down), key(K::Down)}, expect.at(0, 1)},
        KeyCase{"Up stops at the top", {key(K::Down), key(K::Up)}, expect.at(0, 0)},
        KeyCase{"Down stops at the bottom",
                {key(K::Down), key(K::Down), key(K::Down), key(K::Down), key(K::Down)},
                expect.at(0, 2)},
        KeyCase{"Right to the same height of the next list",
                {key(K::Down), key(K::Down), key(K::Right)},
                expect.at(1, 1)},
        KeyCase{"Right to a shorter list takes its last",
                {key(K::Down), key(K::End), key(K::Right)},
                expect.at(1, 1)},
        KeyCase{"Right passes an empty list", {type("task"), key(K::Right)}, expect.at(3, 0)},
        KeyCase{"Left from the first list stays", {key(K::Down), key(K::Left)}, expect.at(0, 0)},
        KeyCase{"Left passes an empty list back", {type("backup"), key(K::Left)}, expect.at(1, 0)},
        KeyCase{"End and Home", {key(K::Down), key(K::End)}, expect.at(0, 2)},
        KeyCase{"Home after End", {key(K::Down), key(K::End), key(K::Home)}, expect.at(0, 0)},
        KeyCase{"Page Down stops at the last", {key(K::Down), key(K::PageDown)}, expect.at(0, 2)},
        KeyCase{"Page Up stops at the first",
                {key(K::Down), key(K::End), key(K::PageUp)},
                expect.at(0, 0)},
        KeyCase{"Enter starts the entry moved to",
                {key(K::Down), key(K::Right), key(K::Enter)},
                expect.shown(false).starts({"D:\\Apps\\paint.exe"})}));

INSTANTIATE_TEST_SUITE_P(
    PanelAndEditor, MenuKeys,
    testing::Values(KeyCase{"the context key opens the panel on its first command",
                            {key(K::Down), key(K::ContextMenu)},
                            expect.keysIn(KeyFocus::Panel).highlights(0)},
                    KeyCase{"the context key without a selection opens nothing",
                            {key(K::ContextMenu)},
                            expect.keysIn(KeyFocus::Lists)},
                    KeyCase{"arrows move the panel's highlight",
                            {key(K::Down), key(K::ContextMenu), key(K::Down), key(K::Down)},
                            expect.keysIn(KeyFocus::Panel).highlights(2)},
                    KeyCase{"Up from the first command wraps to the last",
                            {key(K::Down), key(K::ContextMenu), key(K::Up)},
                            expect.highlights(kPanelCommandRunAsAdministrator)},
                    KeyCase{"Home after Up goes back to the first",
                            {key(K::Down), key(K::ContextMenu), key(K::Up), key(K::Home)},
                            expect.highlights(0)},
                    // The targets are not on the fake disk, so "Open file location" is greyed.
                    KeyCase{"Down steps over a greyed command",
                            {key(K::Down), key(K::ContextMenu), key(K::Down), key(K::Down),
                             key(K::Down), key(K::Down)},
                            expect.highlights(kPanelCommandRunAsAdministrator)},
                    KeyCase{"Up steps over a greyed command",
                            {key(K::Down), key(K::ContextMenu), key(K::End), key(K::Up)},
                            expect.highlights(kPanelCommandClose)},
                    KeyCase{"Down from the last command wraps to the first",
                            {key(K::Down), key(K::ContextMenu), key(K::End), key(K::Down)},
                            expect.highlights(0)},
                    KeyCase{"a greyed command's letter does nothing",
                            {key(K::Down), key(K::ContextMenu), type("o")},
                            expect.keysIn(KeyFocus::Panel).highlights(0).shown(true).starts({})},
                    KeyCase{"a runs as administrator, counted as a start",
                            {key(K::Down), key(K::ContextMenu), type("a")},
                            expect.shown(false).starts({"D:\\Apps\\calc.exe"}).startsAs({"runas"})},
                    KeyCase{"Enter on Run as administrator",
                            {key(K::Down), key(K::ContextMenu), key(K::End), key(K::Enter)},
                            expect.shown(false).startsAs({"runas"})},
                    KeyCase{"f refreshes and closes the panel",
                            {key(K::Down), key(K::ContextMenu), type("f")},
                            expect.shown(true).keysIn(KeyFocus::Lists).starts({})},
                    KeyCase{"c closes the panel",
                            {key(K::Down), key(K::ContextMenu), type("C")},
                            expect.shown(true).keysIn(KeyFocus::Lists).starts({})},
                    KeyCase{"the lists stay still while the panel has the keys",
                            {key(K::Down), key(K::ContextMenu), key(K::Right)},
                            expect.at(0, 0)},
                    KeyCase{"Esc closes the panel only",
                            {key(K::Down), key(K::ContextMenu), key(K::Escape)},
                            expect.shown(true).keysIn(KeyFocus::Lists)},
                    KeyCase{"Enter on the first command opens the editor on its first field",
                            {key(K::Down), key(K::ContextMenu), key(K::Enter)},
                            expect.keysIn(KeyFocus::Editor).editorAt(0)},
                    KeyCase{"a command's letter runs it",
                            {key(K::Down), key(K::ContextMenu), type("e")},
                            expect.keysIn(KeyFocus::Editor)},
                    KeyCase{
                        "Tab goes down the editor as the fields stand",
                        {key(K::Down), key(K::ContextMenu), type("e"), key(K::Tab), key(K::Tab)},
                        expect.editorAt(3)},
                    KeyCase{"Shift+Tab from the first field wraps to Abort",
                            {key(K::Down), key(K::ContextMenu), type("e"), key(K::Tab, true)},
                            expect.editorAt(kEditorAbort)},
                    KeyCase{"Esc in the editor is Abort",
                            {key(K::Down), key(K::ContextMenu), type("e"), key(K::Escape)},
                            expect.shown(true).keysIn(KeyFocus::Lists)},
                    KeyCase{"Enter in the editor is OK",
                            {key(K::Down), key(K::ContextMenu), type("e"), key(K::Enter)},
                            expect.shown(true).starts({}).keysIn(KeyFocus::Lists)}));

// Each command's underlined letter: one per row, and no two rows alike.
struct LetterCase {
    const char* rule;
    std::int16_t row;
    const char* caption;
    std::size_t at; // the byte underlined
};

class CommandLetters : public testing::TestWithParam<LetterCase> {};

TEST_P(CommandLetters, TableOfRules) {
    const LetterCase& c = GetParam();
    FakeDesktop desk;
    frmVelora w(desk);
    const std::vector<std::size_t> letters = w.commandLetters();
    ASSERT_EQ(letters.size(), w.state().lblMenu.size());
    const auto row = static_cast<std::size_t>(c.row);
    EXPECT_EQ(w.state().lblMenu.at(row).caption, c.caption) << c.rule;
    EXPECT_EQ(letters.at(row), c.at) << c.rule;
    // No other row's letter is this one's.
    const auto lower = [&](std::size_t k) {
        return static_cast<char>(
            std::tolower(static_cast<unsigned char>(w.state().lblMenu[k].caption.at(letters[k]))));
    };
    for (std::size_t k = 0; k < letters.size(); ++k) {
        if (k != row) {
            ASSERT_NE(letters[k], std::string::npos) << w.state().lblMenu[k].caption;
            EXPECT_NE(lower(k), lower(row)) << c.rule << ": clashes with row " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CommandLetters,
    testing::Values(LetterCase{"Edit takes E", kPanelCommandEdit, "Edit", 0},
                    LetterCase{"Remove takes R", kPanelCommandRemove, "Remove", 0},
                    LetterCase{"Refresh all takes f, R and e being taken", kPanelCommandRefreshAll,
                               "Refresh all", 2},
                    LetterCase{"Close menu takes C", kPanelCommandClose, "Close menu", 0},
                    LetterCase{"Open file location takes O", kPanelCommandFileLocation,
                               "Open file location", 0},
                    LetterCase{"Run as administrator takes the a of administrator",
                               kPanelCommandRunAsAdministrator, "Run as administrator", 7}));

class PanelByKeys : public KeysBase {};

TEST_F(PanelByKeys, OpenFileLocationByItsLetterWhenTheTargetIsThere) {
    desk.files.insert("D:\\Apps\\calc.exe");
    start(keysCatalogue());
    run({key(MenuKey::Down), key(MenuKey::ContextMenu), key(MenuKey::End), key(MenuKey::Up)});
    EXPECT_EQ(w->state().menuHoverIndex, kPanelCommandFileLocation) << "no longer greyed";
    run({type("o")});
    EXPECT_EQ(desk.locationsShown, std::vector<std::string>{"D:\\Apps\\calc.exe"});
    EXPECT_FALSE(w->state().visible);
    EXPECT_TRUE(shell.files.empty()) << "nothing started";
}

// --- Counting starts ----------------------------------------------------------------------------

struct CountCase {
    const char* rule;
    const char* stored; // the Launches line's value before; nullptr for none
    int starts;
    const char* expected; // the value after
};

class LaunchCount : public KeysBase {};

class LaunchCountRules : public MenuFixture, public testing::WithParamInterface<CountCase> {};

TEST_P(LaunchCountRules, WrittenInTheItemsSection) {
    const CountCase& c = GetParam();
    std::string text = std::string(kSettings) + "[Notes]\nName=Notes\nTarget=D:\\n.exe\n";
    if (c.stored != nullptr) {
        text += std::string("Launches=") + c.stored + "\n";
    }
    text += "Group=Tools\n; kept as it is\n";
    writeFile(catalogue::cataloguePath(), text);
    RecordingShell shell;
    frmVelora w(desk);
    w.setShell(&shell, 1);
    w.Form_Load();
    for (int i = 0; i < c.starts; ++i) {
        w.Show();
        w.lstViewA_MouseDown(0, 1, 0, 0, 0);
        w.lstViewA_ItemClick(0, 0);
    }
    clsINIFile ini;
    ini.setFilename(catalogue::cataloguePath());
    EXPECT_EQ(ini.getString("Notes", "Launches"), c.expected) << c.rule;
    const std::string after = fileio::readAll(catalogue::cataloguePath(), 1 << 20).value_or("");
    EXPECT_NE(after.find("; kept as it is"), std::string::npos) << c.rule << ": the file is kept";
}

INSTANTIATE_TEST_SUITE_P(
    Values, LaunchCountRules,
    testing::Values(CountCase{"a first start writes 1", nullptr, 1, "1"},
                    CountCase{"each start counts", "4", 3, "7"},
                    CountCase{"negative counts from 0", "-5", 1, "1"},
                    CountCase{"text counts from 0", "often", 1, "1"},
                    CountCase{"huge counts from 0", "99999999999999999999", 1, "1"},
                    CountCase{"the largest stays", "2000000000", 1, "2000000000"},
                    CountCase{"no start writes nothing", "3", 0, "3"}));

// A shell that answers when the test says so, as the real one does from its own thread.
class LateShell : public ShellExecutor {
  public:
    std::vector<Done> waiting;
    std::intptr_t execute(OwnerHandle, const std::string&, const std::string&, const std::string&,
                          const std::string&, std::int32_t) override {
        return 42;
    }
    void executeThen(OwnerHandle, const std::string&, const std::string&, const std::string&,
                     const std::string&, std::int32_t, Done done) override {
        waiting.push_back(std::move(done));
    }
};

TEST_F(MenuFixture, AStartTheShellAnswersLateIsCountedForItsItemWhateverHappenedMeanwhile) {
    // Each case has an item of its own: this run's counts outlive a window.
    const auto item = [](const std::string& section) {
        return "[" + section + "]\nName=" + section + "\nTarget=D:\\" + section +
               ".exe\nGroup=Tools\n";
    };
    using Meanwhile = std::function<void(std::optional<frmVelora>&, const std::string& started)>;
    struct Case {
        const char* rule;
        Meanwhile meanwhile;
        std::intptr_t answer;
        const char* count; // the started item's Launches afterwards; "" for none
        bool started;
    };
    const Meanwhile nothing = [](std::optional<frmVelora>&, const std::string&) {};
    const Meanwhile otherFirst = [&](std::optional<frmVelora>& w, const std::string& started) {
        writeFile(catalogue::cataloguePath(),
                  std::string(kSettings) + item("Other") + item(started));
        w->Form_Construct();
    };
    const Meanwhile removed = [&](std::optional<frmVelora>& w, const std::string&) {
        writeFile(catalogue::cataloguePath(), std::string(kSettings) + item("Other"));
        w->Form_Construct();
    };
    const Meanwhile gone = [](std::optional<frmVelora>& w, const std::string&) { w.reset(); };
    const Case cases[] = {
        {"nothing meanwhile", nothing, 42, "1", true},
        {"a rebuild put another item first: counted by its section", otherFirst, 42, "1", true},
        {"the item removed meanwhile: nothing counted", removed, 42, "", true},
        {"the shell refused: not counted", nothing, 2, "", false},
        {"the window went meanwhile: nothing at all", gone, 42, "", false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        const std::string section = "Late" + std::to_string(n++);
        writeFile(catalogue::cataloguePath(), std::string(kSettings) + item(section));
        LateShell shell;
        std::optional<frmVelora> w(std::in_place, desk);
        w->setShell(&shell, 1);
        w->Form_Load();
        w->Show();
        w->lstViewA_MouseDown(0, 1, 0, 0, 0);
        w->lstViewA_ItemClick(0, 0);
        ASSERT_EQ(shell.waiting.size(), 1u);
        EXPECT_FALSE(w->state().visible) << "the menu went at once";
        c.meanwhile(w, section);
        shell.waiting[0](c.answer);
        clsINIFile ini;
        ini.setFilename(catalogue::cataloguePath());
        EXPECT_EQ(ini.getString(section, "Launches"), c.count);
        EXPECT_EQ(ini.getString("Other", "Launches"), "");
        if (w) {
            EXPECT_EQ(w->lastLaunchStarted(), c.started);
            if (!c.started) {
                EXPECT_EQ(w->lastLaunchError().number, errnum::FileNotFound);
            }
        }
    }
}

TEST_F(LaunchCount, ThreeStartsPutAnItemAheadOfAnEqualMatch) {
    start(keysCatalogue());
    run({type("not")});
    ASSERT_EQ(w->keyCursor(), (Cursor{0, 1})); // Notes, first in the catalogue
    for (int i = 0; i < 3; ++i) {
        w->Show();
        run({type("notepad"), key(MenuKey::Enter)});
    }
    w->Form_Construct();
    w->Show();
    run({type("not")});
    EXPECT_EQ(w->keyCursor(), (Cursor{0, 2})) << "Notepad, started three times";
    EXPECT_EQ(w->launchesOf(4), 3u);
}

TEST_F(LaunchCount, RunAsAdministratorCounts) {
    start(keysCatalogue());
    run({type("paint"), key(MenuKey::ContextMenu), type("a")});
    ASSERT_EQ(shell.verbs, std::vector<std::string>{"runas"});
    clsINIFile ini;
    ini.setFilename(catalogue::cataloguePath());
    EXPECT_EQ(ini.getString("Paint", "Launches"), "1");
    EXPECT_EQ(w->launchesOf(5), 1u) << "records 0 and 1 are the settings sections";
}

TEST_F(LaunchCount, OnReadOnlyMediaTheCountIsKeptForTheRun) {
    // A name of its own: the counts of this run are kept by section name.
    writeCatalogue(std::string(kSettings) +
                   "[ReadOnlyItem]\nName=Ro\nTarget=D:\\r.exe\nGroup=Tools\n");
    const std::string before = fileio::readAll(catalogue::cataloguePath(), 1 << 20).value_or("");
    std::filesystem::permissions(std::filesystem::u8path(catalogue::cataloguePath()),
                                 std::filesystem::perms::owner_read,
                                 std::filesystem::perm_options::replace);
    w.emplace(desk);
    w->setShell(&shell, 1);
    w->Form_Load();
    w->Show();
    w->lstViewA_MouseDown(0, 1, 0, 0, 0);
    w->lstViewA_ItemClick(0, 0);
    EXPECT_EQ(shell.files.size(), 1u) << "the failed write does not stop the start";
    EXPECT_EQ(fileio::readAll(catalogue::cataloguePath(), 1 << 20).value_or(""), before);
    // A new window of the same run (the menu is unloaded and loaded again) still knows it.
    w.emplace(desk);
    w->Form_Load();
    EXPECT_EQ(w->launchesOf(2), 1u);
    std::filesystem::permissions(std::filesystem::u8path(catalogue::cataloguePath()),
                                 std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add);
}

TEST_F(LaunchCount, AWriteHandedElsewhereRunsThere) {
    start(keysCatalogue());
    std::vector<std::function<void()>> jobs;
    w->setBackgroundWork([&jobs](std::function<void()> job) { jobs.push_back(std::move(job)); });
    run({type("calc"), key(MenuKey::Enter)});
    ASSERT_EQ(jobs.size(), 1u);
    clsINIFile ini;
    ini.setFilename(catalogue::cataloguePath());
    EXPECT_EQ(ini.getString("Calc", "Launches"), "") << "not written on the window's thread";
    jobs.front()();
    EXPECT_EQ(ini.getString("Calc", "Launches"), "1");
}

TEST_F(LaunchCount, AKeyboardMenuHidesWhenItLosesActivationAndAMouseMenuDoesNot) {
    start(keysCatalogue());
    w->Form_Deactivate();
    EXPECT_FALSE(w->state().visible);
    w->Show();
    w->Form_Deactivate();
    EXPECT_TRUE(w->state().visible);
}

} // namespace
} // namespace kesk::test
