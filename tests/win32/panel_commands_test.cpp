// The context panel's "Open file location" and "Run as administrator" with the real shell: the
// file window's program is replaced by a helper that records the parameters it was given (the
// folder and the selected entry), and items started elevated record their own arguments.
#include "win32/menu_view.h"

#include "support/appinfo.h"
#include "win32/desktop_test_pictures.h"
#include "win32/desktop_win32.h"
#include "win32/window_test_support.h"
#include "win32/wtext.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace kesk::test {
namespace {

namespace fs = std::filesystem;

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

// A shell shortcut at `link` to `target`, saved as the shell saves one.
bool makeShortcut(const fs::path& link, const fs::path& target) {
    IShellLinkW* sl = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&sl)))) {
        return false;
    }
    bool ok = SUCCEEDED(sl->SetPath(target.wstring().c_str()));
    IPersistFile* pf = nullptr;
    ok = ok && SUCCEEDED(sl->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf)));
    if (pf != nullptr) {
        ok = ok && SUCCEEDED(pf->Save(link.wstring().c_str(), TRUE));
        pf->Release();
    }
    sl->Release();
    return ok;
}

class PanelCommandsShell : public ::testing::Test {
  protected:
    ComScope com;
    TempDir dir{"panelcmd"};
    fs::path report;
    win::Win32Desktop desk;

    void SetUp() override {
        stageShippedSkin(dir.path());
        app::overrideForTests(u8(dir.path()), "KeskVLM");
        report = dir / "report.txt";
        SetEnvironmentVariableW(L"KESK_ARGDUMP_OUT", report.wstring().c_str());
        ASSERT_TRUE(fs::exists(argdump())) << "argdump.exe must be built beside the tests";
        win::setFolderWindowProgram(argdump().wstring());
    }
    void TearDown() override {
        win::setFolderWindowProgram(L"");
        SetEnvironmentVariableW(L"KESK_ARGDUMP_OUT", nullptr);
        app::overrideForTests("", "");
    }

    static fs::path argdump() { return moduleDirectory() / "argdump.exe"; }

    // The recorded lines of the next report ("arg=...", "cwd=..."); empty when none came.
    std::vector<std::string> awaitReport() {
        // The report is there once it can be read whole: it ends with a line break.
        Bytes b;
        if (!waitFor(
                [&] {
                    if (!fs::exists(report)) {
                        return false;
                    }
                    b = readBytes(report);
                    return !b.empty() && b.back() == '\n';
                },
                20000)) {
            return {};
        }
        std::vector<std::string> lines;
        std::istringstream in(std::string(b.begin(), b.end()));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        std::error_code ec;
        fs::remove(report, ec);
        return lines;
    }
    // The arguments after the program's own name.
    static std::vector<std::string> argsOf(const std::vector<std::string>& lines) {
        std::vector<std::string> args;
        bool first = true;
        for (const std::string& l : lines) {
            if (l.rfind("arg=", 0) == 0) {
                if (!first) {
                    args.push_back(l.substr(4));
                }
                first = false;
            }
        }
        return args;
    }
};

TEST_F(PanelCommandsShell, TheFileWindowGetsTheFolderAndTheSelectedEntryByRule) {
    writeText(dir / "a b.txt", "text");
    fs::create_directories(dir / "sub dir");
    struct Case {
        const char* rule;
        std::function<fs::path(const fs::path& d)> make; // gives the path asked for
        std::string selected;                            // relative to the folder
    };
    const std::vector<Case> cases = {
        {"a file is selected in its folder", [](const fs::path& d) { return d / "a b.txt"; },
         "a b.txt"},
        {"a folder is selected in the one above", [](const fs::path& d) { return d / "sub dir"; },
         "sub dir"},
        {"a shortcut leads to its target",
         [](const fs::path& d) {
             EXPECT_TRUE(makeShortcut(d / "to file.lnk", d / "a b.txt"));
             return d / "to file.lnk";
         },
         "a b.txt"},
        {"a broken shortcut is shown in its own folder",
         [](const fs::path& d) {
             writeText(d / "gone.txt", "soon gone");
             EXPECT_TRUE(makeShortcut(d / "broken.lnk", d / "gone.txt"));
             fs::remove(d / "gone.txt");
             return d / "broken.lnk";
         },
         "broken.lnk"},
        {"a shortcut to itself is shown in its own folder",
         [](const fs::path& d) {
             writeText(d / "self.lnk", "placeholder");
             EXPECT_TRUE(makeShortcut(d / "self.lnk", d / "self.lnk"));
             return d / "self.lnk";
         },
         "self.lnk"},
        {"a file that is no shortcut at all is shown in its own folder",
         [](const fs::path& d) {
             writeText(d / "garbage.lnk", std::string(300, '\x7f'));
             return d / "garbage.lnk";
         },
         "garbage.lnk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        std::error_code ec;
        fs::remove(report, ec);
        const fs::path asked = c.make(dir.path());
        desk.showFileLocation(u8(asked));
        const std::vector<std::string> lines = awaitReport();
        const std::vector<std::string> args = argsOf(lines);
        std::string seen;
        for (const std::string& l : lines) {
            seen += l + " | ";
        }
        ASSERT_EQ(args.size(), 1u)
            << "the folder window was not started with one parameter: " << seen;
        EXPECT_EQ(lower(args[0]), lower("/select," + u8(dir / c.selected)));
    }
}

// The panel in the real window: the rows are hit where they are drawn, a greyed row does
// nothing, and both commands reach the shell.
class PanelCommandsView : public PanelCommandsShell {
  protected:
    frmVelora presenter{desk};
    win::MenuView view{presenter};

    void open(const std::string& items) {
        writeText(dir / "velora.ini",
                  "[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n" + items);
        ASSERT_TRUE(view.create());
        view.load();
        ASSERT_FALSE(presenter.state().lastBuildFailed);
        presenter.Show();
        view.render();
        pump();
    }
    static std::string item(const std::string& name, const std::string& target,
                            const std::string& param = "", const std::string& workdir = "") {
        return "[" + name + "]\nName=" + name + "\nTarget=" + target + "\nParam=" + param +
               "\nWorkdir=" + workdir + "\nIcon=\nGroup=Tools\n";
    }
    void rightClickEntry(int i) {
        RECT r{LVIR_ICON, 0, 0, 0};
        SendMessageW(view.listView(0), LVM_GETITEMRECT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&r));
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        PostMessageW(view.listView(0), WM_RBUTTONDOWN, MK_RBUTTON, at);
        PostMessageW(view.listView(0), WM_RBUTTONUP, 0, at);
        pump();
    }
    void clickCommand(std::size_t k) {
        const RECT r = view.menuLabelRect(k);
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(view.panelMenu(), WM_MOUSEMOVE, 0, at);
        SendMessageW(view.panelMenu(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(view.panelMenu(), WM_LBUTTONUP, 0, at);
        pump();
    }
};

TEST_F(PanelCommandsView, CommandsReachTheShellOrAreGreyedByRule) {
    writeText(dir / "notes.txt", "text");
    fs::create_directories(dir / "work dir");
    open(item("Dump", u8(argdump()), "alpha \"b c\"", u8(dir / "work dir")) +
         item("Notes", "notes.txt") + item("Site", "https://example.org/"));
    ASSERT_EQ(SendMessageW(view.listView(0), LVM_GETITEMCOUNT, 0, 0), 3);
    struct Case {
        const char* rule;
        int entry;
        std::size_t command;
        std::vector<std::string> args; // what the helper records; empty: nothing starts
        std::string cwd;
    };
    const std::vector<Case> cases = {
        {"the location of a relative target",
         1,
         kPanelCommandFileLocation,
         {"/select," + u8(dir / "notes.txt")},
         ""},
        {"elevated start with the item's parameters and folder",
         0,
         kPanelCommandRunAsAdministrator,
         {"alpha", "b c"},
         u8(dir / "work dir")},
        {"an address has no location", 2, kPanelCommandFileLocation, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        std::error_code ec;
        fs::remove(report, ec);
        presenter.Show();
        view.render();
        rightClickEntry(c.entry);
        ASSERT_TRUE(IsWindowVisible(view.panelMenu()));
        const bool offered = !c.args.empty();
        EXPECT_EQ(presenter.state().lblMenu[c.command].enabled, offered);
        clickCommand(c.command);
        if (!offered) {
            // Greyed: the click does nothing, the panel stays for another choice.
            EXPECT_TRUE(IsWindowVisible(view.panelMenu()));
            EXPECT_TRUE(IsWindowVisible(view.hwnd()));
            clickCommand(kPanelCommandClose);
            EXPECT_FALSE(IsWindowVisible(view.panelMenu()));
            continue;
        }
        EXPECT_FALSE(IsWindowVisible(view.panelMenu()));
        EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(view.hwnd()); }, 3000));
        const std::vector<std::string> lines = awaitReport();
        std::vector<std::string> args = argsOf(lines);
        for (std::string& a : args) {
            a = lower(a);
        }
        std::vector<std::string> expected = c.args;
        for (std::string& a : expected) {
            a = lower(a);
        }
        EXPECT_EQ(args, expected);
        if (!c.cwd.empty()) {
            bool found = false;
            for (const std::string& l : lines) {
                found = found || lower(l) == lower("cwd=" + c.cwd);
            }
            EXPECT_TRUE(found) << "not started in " << c.cwd;
        }
    }
}

} // namespace
} // namespace kesk::test
