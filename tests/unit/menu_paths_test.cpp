// Stored paths as the menu uses them: taken against the program's folder,
// variables expanded when used, refused values never put to the file system
// or the shell, and drops stored relative when the catalogue asks for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/fileio.h"
#include "settings/clsINIFile.h"
#include "support/mdShellEx.h"
#include "unit/menu_fixture.h"

namespace kesk::test {
namespace {

struct Launch {
    std::string file, parameters, directory;
    bool operator==(const Launch&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Launch& l) {
    return os << "{" << l.file << " | " << l.parameters << " | " << l.directory << "}";
}

class RecordingShell : public ShellExecutor {
  public:
    std::vector<Launch> launches;
    std::intptr_t execute(OwnerHandle, const std::string&, const std::string& file,
                          const std::string& parameters, const std::string& directory,
                          std::int32_t) override {
        launches.push_back({file, parameters, directory});
        return 42;
    }
};

constexpr const char* kStick = "F:\\Portable\\KeskVLM";

class MenuPathsTest : public MenuFixture {
  protected:
    RecordingShell shell;
    std::optional<frmVelora> w;

    void SetUp() override {
        MenuFixture::SetUp();
        desk.folder = kStick;
        desk.environment = {{"USERPROFILE", "C:\\Users\\ann"}, {"BIG", std::string(40'000, 'x')}};
        desk.silentHosts = {"gone"};
    }

    static std::string entry(const std::string& section, const std::string& target,
                             const std::string& param, const std::string& workdir,
                             const std::string& icon = "") {
        return "[" + section + "]\nName=" + section + "\nTarget=" + target + "\nParam=" + param +
               "\nWorkdir=" + workdir + "\nIcon=" + icon + "\nGroup=Tools\n";
    }
    void start(const std::string& items, const std::string& window = "heightOffset=0\n") {
        writeCatalogue("[Window]\n" + window + "[SmallIconSize]\nWidth=16\nHeight=16\n" + items);
        w.emplace(desk);
        w->setShell(&shell, 1);
        w->Form_Load();
        ASSERT_FALSE(w->state().lastBuildFailed) << w->state().lastBuildError.description;
        w->Show();
    }
    void clickFirst() {
        w->setEntrySelected(0, 0, true);
        w->lstViewA_MouseDown(0, 1, 0, 100, 600);
        w->lstViewA_ItemClick(0, 0);
    }
    bool asked(const std::string& what) const {
        const auto has = [&](const std::vector<std::string>& v) {
            return std::any_of(v.begin(), v.end(), [&](const std::string& p) {
                return p.find(what) != std::string::npos;
            });
        };
        return has(desk.readChecks) || has(desk.picturesAsked) || has(desk.iconCountAsked) ||
               has(desk.extractAsked) || has(desk.shellAsked);
    }
};

TEST_F(MenuPathsTest, StartsGiveTheShellResolvedPathsOrNothing) {
    struct Row {
        const char* rule;
        std::string target, param, workdir;
        std::optional<Launch> expected; // none: nothing started
        std::int32_t error = 0;
    };
    const std::string exe = std::string(kStick) + "\\tools\\a.exe";
    const std::vector<Row> rows = {
        {"relative values are taken against the program's folder", "tools\\a.exe", "-v", ".",
         Launch{exe, "-v", kStick}},
        {"KESKDIR names the program's folder", "%KESKDIR%\\tools\\a.exe", "", "%KESKDIR%\\..",
         Launch{exe, "", "F:\\Portable"}},
        {"variables are expanded in Param", "C:\\x.exe", "/f \"%USERPROFILE%\\a b\" %NOSUCH%", "",
         Launch{"C:\\x.exe", "/f \"C:\\Users\\ann\\a b\" %NOSUCH%", ""}},
        {"an empty Target still goes to the shell", "", "", "", Launch{"", "", ""}},
        {"an address goes as written", "https://example.org/%KESK_NONE%", "", "",
         Launch{"https://example.org/%KESK_NONE%", "", ""}},
        {"a device is never started", "C:\\x\\NUL.exe", "", "", std::nullopt, errnum::FileNotFound},
        {"a stream is never started", "C:\\x.exe:hidden", "", "", std::nullopt,
         errnum::FileNotFound},
        {"a device as Workdir", "C:\\x.exe", "", "COM1", std::nullopt, errnum::PathNotFound},
        {"dot-dot above the drive as Workdir", "C:\\x.exe", "", "..\\..\\..", std::nullopt,
         errnum::PathNotFound},
        {"a silent host is not waited for", "\\\\gone\\share\\x.exe", "", "", std::nullopt,
         errnum::FileNotFound},
        {"a Param beyond the bound", "C:\\x.exe", "%BIG%", "", std::nullopt, errnum::FileNotFound},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rule);
        shell.launches.clear();
        start(entry("Item", r.target, r.param, r.workdir));
        desk.hostChecks.clear();
        clickFirst();
        if (r.expected) {
            ASSERT_EQ(shell.launches.size(), 1u);
            EXPECT_EQ(shell.launches[0], *r.expected);
            EXPECT_TRUE(w->lastLaunchStarted());
        } else {
            EXPECT_TRUE(shell.launches.empty());
            EXPECT_FALSE(w->lastLaunchStarted());
            EXPECT_EQ(w->lastLaunchError().number, r.error);
        }
        EXPECT_FALSE(w->state().visible);
        // A click runs on the window's thread: no host is waited for there.
        for (const auto& check : desk.hostChecks) {
            EXPECT_EQ(check.second, 0) << check.first;
        }
    }
}

TEST_F(MenuPathsTest, ChecksAndPicturesUseResolvedPathsAndNeverTouchRefusedOnes) {
    struct Row {
        const char* rule;
        std::string target, icon;
        bool red;
        std::string neverAsked; // a text no file-system call may contain
    };
    desk.addExe(std::string(kStick) + "\\tools\\a.exe", 0xFF00FF00u);
    desk.addPicture(std::string(kStick) + "\\pics\\a.png", 32, 32, 0xFF0000FFu);
    const std::vector<Row> rows = {
        {"a relative Target exists from the program's folder", "tools\\a.exe", "", false, ""},
        {"a relative Icon is read from the program's folder", "tools\\a.exe", "pics\\a.png", false,
         ""},
        {"a device Target is red and never opened", "CON", "", true, "CON"},
        {"a device Icon is never read", "tools\\a.exe", "C:\\LPT1.ico", false, "LPT1"},
        {"a raw device path is never read", "\\\\.\\PhysicalDrive0", "", true, "PhysicalDrive"},
        {"a stream is never read", "tools\\a.exe:evil", "", true, "evil"},
        {"a Target on a silent host is red and never opened", "\\\\gone\\s\\a.exe", "", true,
         "gone"},
        {"an Icon on a silent host is never read", "tools\\a.exe", "\\\\GONE\\s\\a.ico", false,
         "GONE"},
        {"a Target expanding beyond the bound is red", "%BIG%", "", true, "xxxx"},
        {"dot-dot above the drive is red", "..\\..\\..\\a.exe", "", true, "a.exe"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rule);
        desk.readChecks.clear();
        desk.picturesAsked.clear();
        desk.iconCountAsked.clear();
        desk.extractAsked.clear();
        desk.shellAsked.clear();
        start(entry("Item", r.target, "", "", r.icon));
        ASSERT_EQ(w->state().lstViewA[0].entries.size(), 1u);
        EXPECT_EQ(w->state().lstViewA[0].entries[0].red, r.red);
        if (!r.neverAsked.empty()) {
            EXPECT_FALSE(asked(r.neverAsked));
        }
    }
    // The icon file won over the program's own icon where one was given.
    start(entry("Item", "tools\\a.exe", "", "", "pics\\a.png"));
    EXPECT_EQ(w->state().menuItems.back().IconSource, IconFromIconFile);
}

TEST_F(MenuPathsTest, DropsAreStoredRelativeOnlyWhenTheCatalogueAsks) {
    struct Row {
        const char* rule;
        std::string window;
        std::string dropped;
        std::string stored;
    };
    const std::string inside = std::string(kStick) + "\\tools\\t.exe";
    const std::vector<Row> rows = {
        {"RelativeDrops=1, below the folder", "RelativeDrops=1\n", inside, "tools\\t.exe"},
        {"RelativeDrops=1, elsewhere on the drive", "RelativeDrops=1\n", "F:\\Docs\\d.doc",
         "..\\..\\Docs\\d.doc"},
        {"RelativeDrops=1, another drive", "RelativeDrops=1\n", "C:\\Apps\\c.exe",
         "C:\\Apps\\c.exe"},
        {"RelativeDrops=0 stores full paths", "RelativeDrops=0\n", inside, inside},
        {"no RelativeDrops stores full paths", "", inside, inside},
        {"a value that is no number stores full paths", "RelativeDrops=99999999999999\n", inside,
         inside},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rule);
        start("", r.window);
        w->lstViewA_OLEDragDrop(1, {r.dropped});
        clsINIFile ini;
        ini.setFilename(catalogue::cataloguePath());
        std::vector<std::string> sections;
        ini.getSectionList(sections);
        ASSERT_FALSE(sections.empty());
        EXPECT_EQ(ini.getString(sections.back(), "Target"), r.stored);
    }
}

TEST_F(MenuPathsTest, EditorColoursResolvedPathsWithoutWaitingForHosts) {
    struct Row {
        const char* rule;
        std::int16_t field;
        std::string text;
        bool red;
    };
    desk.files.insert(std::string(kStick) + "\\tools\\a.exe");
    desk.directories.insert("C:\\Users\\ann");
    writeSkin("[COLORS]\nLIST_BOX_BG=FFFFFF\nLIST_BOX_FG=000000\nLIST_BOX_ERR=0000FF\n");
    const std::vector<Row> rows = {
        {"a relative Target that exists", 1, "tools\\a.exe", false},
        {"a KESKDIR Target that exists", 1, "%KESKDIR%\\tools\\a.exe", false},
        {"a Workdir from a variable", 3, "%USERPROFILE%", false},
        {"a device", 1, "NUL", true},
        {"a stream", 4, "tools\\a.exe:s", true},
        {"a silent host", 1, "\\\\gone\\s\\a.exe", true},
        {"Param is never coloured", 2, "NUL", false},
    };
    start(entry("Item", "tools\\a.exe", "", ""));
    w->setEntrySelected(0, 0, true);
    w->lstViewA_MouseDown(0, 2, 0, 100, 600);
    w->lstViewA_ItemClick(0, 0);
    w->lblMenu_Click(0);
    ASSERT_TRUE(w->state().containerEditItem.visible);
    ASSERT_NE(w->state().listBoxErrColor, w->state().listBoxForeColor);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rule);
        desk.hostChecks.clear();
        w->txtEditItem_Change(r.field, r.text);
        const auto& f = w->state().txtEditItem[static_cast<std::size_t>(r.field)];
        EXPECT_EQ(f.foreColour, r.red ? w->state().listBoxErrColor : w->state().listBoxForeColor);
        for (const auto& check : desk.hostChecks) {
            EXPECT_EQ(check.second, 0) << check.first;
        }
    }
}

} // namespace
} // namespace kesk::test
