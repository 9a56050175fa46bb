// The catalogue where users put it: kept as a symbolic link into another
// folder, or in a folder that cannot be written. The folders are made from
// Linux before the run (tests/win32/links_run.sh) and named by KESK_LINKS_WORK;
// the script also checks afterwards that the link is still a link.
#include "menu/frmVelora.h"
#include "settings/clsINIFile.h"
#include "support/appinfo.h"
#include "win32/desktop_test_pictures.h"
#include "win32/desktop_win32.h"
#include "win32/main_window.h"
#include "win32/menu_port.h"
#include "win32/window_test_support.h"
#include "win32/wtext.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kesk::test {
namespace {

namespace fs = std::filesystem;

// The prepared folders, as Windows sees them through the drive that maps "/".
std::optional<fs::path> workFolder() {
    const char* unix = std::getenv("KESK_LINKS_WORK");
    if (unix == nullptr || *unix != '/') {
        return std::nullopt;
    }
    std::string path = std::string("Z:") + unix;
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return fs::path(win::widen(path));
}

std::string textOf(const fs::path& p) {
    const Bytes b = readBytes(p);
    return std::string(b.begin(), b.end());
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        names.push_back(win::narrow(e.path().filename().wstring()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every file named velora.ini below `root`.
std::vector<fs::path> cataloguesBelow(const fs::path& root) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        if (_wcsicmp(it->path().filename().c_str(), L"velora.ini") == 0) {
            found.push_back(it->path());
        }
    }
    return found;
}

class CatalogueWhereUsersPutIt : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto work = workFolder();
        if (!work) {
            GTEST_SKIP() << "needs the folders of tests/win32/links_run.sh";
        }
        work_ = *work;
    }
    void TearDown() override { app::overrideForTests("", ""); }

    ComScope com;
    fs::path work_;
};

TEST_F(CatalogueWhereUsersPutIt, ADropThroughALinkedCatalogueWritesTheLinksTarget) {
    const fs::path prog = work_ / "prog";
    const fs::path sync = work_ / "sync";
    app::overrideForTests(win::narrow(prog.wstring()), "KeskVLM");
    win::Win32Desktop desk;
    frmVelora presenter{desk};
    presenter.Form_Load();
    ASSERT_FALSE(presenter.state().lastBuildFailed) << presenter.state().lastBuildError.number;
    ASSERT_NE(textOf(sync / "velora.ini").find("[Notes]"), std::string::npos);

    presenter.lstViewA_OLEDragDrop(2, {"C:\\windows\\notepad.exe"});
    const std::string after = textOf(sync / "velora.ini");
    EXPECT_NE(after.find("[notepad]"), std::string::npos) << after;
    EXPECT_NE(after.find("Target=C:\\windows\\notepad.exe"), std::string::npos) << after;
    EXPECT_NE(after.find("[Notes]"), std::string::npos) << after;
    // The menu shows what the link leads to.
    ASSERT_EQ(presenter.state().lstViewA[2].entries.size(), 1u);
    EXPECT_EQ(presenter.state().lstViewA[2].entries[0].text, "notepad");

    // The same through the one way the program writes its files.
    clsINIFile ini;
    ini.setFilename(win::narrow((prog / "velora.ini").wstring()));
    ini.setValue("Window", "heightOffset", "150");
    EXPECT_EQ(ini.failedWrites(), 0u);
    EXPECT_NE(textOf(sync / "velora.ini").find("heightOffset=150"), std::string::npos);
    // No temporary file stays behind, neither beside the link nor beside its target.
    EXPECT_EQ(namesIn(prog), (std::vector<std::string>{"notFound.ico", "skin", "velora.ini"}));
    EXPECT_EQ(namesIn(sync), std::vector<std::string>{"velora.ini"});
}

TEST_F(CatalogueWhereUsersPutIt, AReadOnlyFolderFailsVisiblyOnceAndKeepsTheFile) {
    const fs::path folder = work_ / "ro";
    const fs::path catalogue = folder / "velora.ini";
    const std::string before = textOf(catalogue);
    ASSERT_NE(before.find("[Notes]"), std::string::npos);
    // Without a folder that refuses writes this test would prove nothing.
    {
        const fs::path probe = folder / "probe.tmp";
        HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_EQ(h, INVALID_HANDLE_VALUE) << "the folder accepts new files";
    }
    app::overrideForTests(win::narrow(folder.wstring()), "KeskVLM");

    win::Win32Desktop desk;
    win::MenuPort menu(desk);
    win::MainWindow main(desk, menu, [] {});
    int terminations = 0;
    std::vector<std::string> balloons;
    main.terminate = [&] { ++terminations; };
    main.showMessage = [](const std::string&, const std::string&) {};
    main.showBalloonForTests = [&](const std::string& title, const std::string& text) {
        balloons.push_back(title + ": " + text);
        return true;
    };
    ASSERT_TRUE(main.create(LoadIconW(nullptr, IDI_APPLICATION)));
    menu.setOwner(main.hwnd());
    menu.setSaveFailedReport(
        [&main](const std::string& where) { main.presenter().saveFailed(where); });
    main.load();
    ASSERT_TRUE(waitFor([&] { return !main.startingUp(); }));
    ASSERT_FALSE(main.presenter().state().refused);
    menu.construct();
    frmVelora* presenter = menu.presenter();
    ASSERT_NE(presenter, nullptr);
    const auto shown = presenter->state().lstViewA[0].entries;
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(balloons.empty());

    // A drop: told once, naming the folder.
    presenter->lstViewA_OLEDragDrop(2, {"C:\\windows\\notepad.exe"});
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(balloons[0], "KeskVLM: KeskVLM could not save to " + win::narrow(folder.wstring()) +
                               ". Your change was not saved.");
    EXPECT_EQ(textOf(catalogue), before);
    EXPECT_TRUE(presenter->state().lstViewA[2].entries.empty()); // what is on disk

    // The editor's OK: fails as well, and says nothing more.
    presenter->setEntrySelected(0, 0, true);
    presenter->lstViewA_MouseDown(0, 2, 0, 0, 0);
    presenter->lstViewA_ItemClick(0, 0);
    presenter->lblMenu_Click(0);
    ASSERT_TRUE(presenter->state().containerEditItem.visible);
    presenter->txtEditItem_Change(0, "Renamed");
    presenter->cmdOK_Click();
    EXPECT_EQ(balloons.size(), 1u);
    EXPECT_EQ(textOf(catalogue), before);
    ASSERT_EQ(presenter->state().lstViewA[0].entries.size(), 1u);
    EXPECT_EQ(presenter->state().lstViewA[0].entries[0].text, "Notes");

    // The program runs on: nothing ended it, the menu still builds from the file.
    EXPECT_EQ(terminations, 0);
    EXPECT_TRUE(IsWindow(main.hwnd()));
    menu.construct();
    ASSERT_EQ(menu.presenter(), presenter);
    EXPECT_FALSE(presenter->state().lastBuildFailed);
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"notFound.ico", "skin", "velora.ini"}));

    // Nothing was quietly redirected into the user's virtual store.
    wchar_t local[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local)));
    EXPECT_TRUE(cataloguesBelow(fs::path(local) / L"VirtualStore").empty());
}

} // namespace
} // namespace kesk::test
