// A program on a stick: its folder reached through two drive letters and the
// process started from another current directory. Relative and %KESKDIR%
// values name the stick's files from either letter, variables are expanded
// when used, drops are stored relative when the catalogue asks, and no read
// of ours refuses another program's save. The folders and letters are made
// from Linux before the run (tests/win32/portable_run.sh).
#include "menu/frmVelora.h"
#include "settings/clsINIFile.h"
#include "settings/profilestore.h"
#include "support/appinfo.h"
#include "support/itempaths.h"
#include "support/mdShellEx.h"
#include "win32/desktop_test_pictures.h"
#include "win32/desktop_win32.h"
#include "win32/shell_win32.h"
#include "win32/wtext.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kesk::test {
namespace {

std::string lowerPath(std::string s) {
    for (char& c : s) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : (c == '/' ? '\\' : c);
    }
    while (s.size() > 3 && s.back() == '\\') {
        s.pop_back();
    }
    return s;
}

std::wstring moduleDirectory() {
    wchar_t buf[4096];
    const DWORD n = GetModuleFileNameW(nullptr, buf, 4096);
    std::wstring path(buf, n);
    return path.substr(0, path.find_last_of(L"\\/"));
}

void writeText(const std::string& path, const std::string& text) {
    HANDLE h = CreateFileW(win::widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD put = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
    CloseHandle(h);
}

std::string readText(const std::string& path) {
    HANDLE h = CreateFileW(win::widen(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string text;
    if (h != INVALID_HANDLE_VALUE) {
        char buf[4096];
        DWORD got = 0;
        while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) {
            text.append(buf, got);
        }
        CloseHandle(h);
    }
    return text;
}

class StickPaths : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("KESK_PORTABLE_WORK") == nullptr) {
            GTEST_SKIP() << "needs the drive letters of tests/win32/portable_run.sh";
        }
        wchar_t cwd[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, cwd);
        oldCwd_ = cwd;
        // Started at log-on, the program's current directory is the system folder.
        ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\windows\\system32"));
        SetEnvironmentVariableW(L"KESK_TOOLS", L"tools");
    }
    void TearDown() override {
        app::overrideForTests("", "");
        if (!oldCwd_.empty()) {
            SetCurrentDirectoryW(oldCwd_.c_str());
        }
        SetEnvironmentVariableW(L"KESK_TOOLS", nullptr);
        SetEnvironmentVariableW(L"KESK_ARGDUMP_OUT", nullptr);
    }

    // The program's folder through `letter` ("M:").
    static std::string programFolder(const std::string& letter) { return letter + "\\KeskVLM"; }

    static std::string catalogue(const std::string& window, const std::string& items) {
        return "[Window]\r\nheightOffset=0\r\n" + window +
               "[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n" + items;
    }

    ComScope com;
    std::wstring oldCwd_;
};

TEST_F(StickPaths, RelativeAndKeskdirValuesNameTheSticksFilesFromEitherLetter) {
    struct Row {
        const char* rule;
        std::string stored;
        std::string under; // the file named, below the letter
    };
    const std::vector<Row> rows = {
        {"relative to the program's folder", "tools\\hello.txt", "\\KeskVLM\\tools\\hello.txt"},
        {"KESKDIR", "%KESKDIR%\\tools\\hello.txt", "\\KeskVLM\\tools\\hello.txt"},
        {"a variable of the environment", "%KESK_TOOLS%\\hello.txt", "\\KeskVLM\\tools\\hello.txt"},
        {"a folder beside the program's", "..\\data\\d.txt", "\\data\\d.txt"},
        {"the root of the program's drive", "\\data\\d.txt", "\\data\\d.txt"},
    };
    for (const std::string letter : {"M:", "N:"}) {
        app::overrideForTests(programFolder(letter), "KeskVLM");
        win::Win32Desktop desk;
        ASSERT_EQ(lowerPath(desk.programFolder()), lowerPath(programFolder(letter)));
        for (const Row& r : rows) {
            SCOPED_TRACE(letter + " " + r.rule);
            const auto path = paths::checkablePath(desk, r.stored, paths::kHostWaitMs);
            ASSERT_TRUE(path);
            EXPECT_EQ(lowerPath(*path), lowerPath(letter + r.under));
            EXPECT_TRUE(desk.canOpenForReading(*path));
        }
        // The same text taken against the current directory names nothing.
        EXPECT_FALSE(desk.canOpenForReading("tools\\hello.txt"));
        // A device is never reached.
        EXPECT_FALSE(paths::checkablePath(desk, "tools\\NUL", paths::kHostWaitMs));
        EXPECT_FALSE(paths::checkablePath(desk, "\\\\.\\PhysicalDrive0", paths::kHostWaitMs));
    }
}

TEST_F(StickPaths, AnItemStartsFromEitherLetterWithItsValuesExpanded) {
    const std::wstring helper = moduleDirectory() + L"\\argdump.exe";
    ASSERT_NE(GetFileAttributesW(helper.c_str()), INVALID_FILE_ATTRIBUTES)
        << "argdump.exe must be built beside the tests";
    const std::string report = "M:\\data\\report.txt";
    SetEnvironmentVariableW(L"KESK_ARGDUMP_OUT", win::widen(report).c_str());
    ASSERT_TRUE(CopyFileW(helper.c_str(), L"M:\\KeskVLM\\tools\\argdump.exe", FALSE));
    for (const std::string letter : {"M:", "N:"}) {
        SCOPED_TRACE(letter);
        app::overrideForTests(programFolder(letter), "KeskVLM");
        writeText(programFolder(letter) + "\\velora.ini",
                  catalogue("", "[Dump]\r\nName=Dump\r\nTarget=tools\\argdump.exe\r\n"
                                "Param=%KESK_TOOLS% \"%KESKDIR%\"\r\nWorkdir=..\\data\r\n"
                                "Icon=\r\nGroup=Tools\r\n"));
        DeleteFileW(win::widen(report).c_str());
        win::Win32Desktop desk;
        win::Win32ShellExecutor shell;
        frmVelora presenter{desk};
        presenter.setShell(&shell, 0);
        presenter.Form_Load();
        ASSERT_FALSE(presenter.state().lastBuildFailed);
        ASSERT_EQ(presenter.state().lstViewA[0].entries.size(), 1u);
        EXPECT_FALSE(presenter.state().lstViewA[0].entries[0].red);
        presenter.setEntrySelected(0, 0, true);
        presenter.lstViewA_MouseDown(0, 1, 0, 100, 600);
        presenter.lstViewA_ItemClick(0, 0);
        ASSERT_TRUE(presenter.lastLaunchStarted()) << presenter.lastLaunchError().description;

        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (GetFileAttributesW(win::widen(report).c_str()) == INVALID_FILE_ATTRIBUTES &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::istringstream lines(readText(report));
        std::string line;
        std::string cwd;
        std::vector<std::string> args;
        while (std::getline(lines, line)) {
            if (line.rfind("cwd=", 0) == 0) {
                cwd = line.substr(4);
            } else if (line.rfind("arg=", 0) == 0) {
                args.push_back(line.substr(4));
            }
        }
        ASSERT_EQ(args.size(), 3u) << "argdump.exe did not report as expected";
        EXPECT_EQ(lowerPath(args[0]), lowerPath(letter + "\\KeskVLM\\tools\\argdump.exe"));
        EXPECT_EQ(args[1], "tools");
        EXPECT_EQ(lowerPath(args[2]), lowerPath(programFolder(letter)));
        EXPECT_EQ(lowerPath(cwd), lowerPath(letter + "\\data"));
    }
}

TEST_F(StickPaths, RelativeDropsStoreRelativePathsOnlyWhenAsked) {
    struct Row {
        const char* rule;
        std::string window;
        std::string stored;
    };
    const std::string dropped = "M:\\KeskVLM\\tools\\hello.txt";
    const std::vector<Row> rows = {
        {"RelativeDrops=1", "RelativeDrops=1\r\n", "tools\\hello.txt"},
        {"RelativeDrops=0", "RelativeDrops=0\r\n", dropped},
    };
    app::overrideForTests(programFolder("M:"), "KeskVLM");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rule);
        writeText("M:\\KeskVLM\\velora.ini", catalogue(r.window, ""));
        win::Win32Desktop desk;
        frmVelora presenter{desk};
        presenter.Form_Load();
        presenter.lstViewA_OLEDragDrop(2, {dropped});
        clsINIFile ini;
        ini.setFilename("M:\\KeskVLM\\velora.ini");
        EXPECT_EQ(ini.getString("hello", "Target"), r.stored);
        ASSERT_EQ(presenter.state().lstViewA[2].entries.size(), 1u);
        EXPECT_FALSE(presenter.state().lstViewA[2].entries[0].red);
    }
}

// A share whose host is not there. Wine has no network, so it answers at once (the item is
// then red because the file cannot be opened); what is tested here is that a host is asked
// once and its answer kept, so later checks never wait, and that local paths are never asked.
TEST_F(StickPaths, AHostIsAskedOnceAndItsAnswerKept) {
    app::overrideForTests(programFolder("M:"), "KeskVLM");
    win::Win32Desktop desk;
    const std::string gone = "\\\\kesk-no-such-host.invalid\\share\\a.exe";
    const bool first = desk.hostAnswers(gone, paths::kHostWaitMs);
    EXPECT_EQ(desk.hostAnswers(gone, 0), first);
    EXPECT_EQ(desk.hostAnswers("\\\\KESK-NO-SUCH-HOST.invalid\\other", 0), first);
    EXPECT_FALSE(desk.canOpenForReading(gone));
    EXPECT_TRUE(desk.hostAnswers("M:\\KeskVLM\\tools\\hello.txt", 0));
}

// While a build reads the catalogue, every way another program saves it succeeds.
TEST_F(StickPaths, AnotherProgramsSaveSucceedsWhileACatalogueIsRead) {
    const std::string path = "M:\\KeskVLM\\velora.ini";
    const std::wstring wpath = win::widen(path);
    const std::wstring temp = wpath + L".tmp";
    struct Row {
        const char* rule;
        std::function<bool()> save;
    };
    const std::vector<Row> rows = {
        {"open for writing without sharing",
         [&] {
             HANDLE h = CreateFileW(wpath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
             if (h == INVALID_HANDLE_VALUE) {
                 return false;
             }
             DWORD put = 0;
             const bool ok = WriteFile(h, "[S]\r\nk=2\r\n", 10, &put, nullptr) && put == 10;
             CloseHandle(h);
             return ok;
         }},
        {"rename a new file over it",
         [&] {
             HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
             if (h == INVALID_HANDLE_VALUE) {
                 return false;
             }
             CloseHandle(h);
             return MoveFileExW(temp.c_str(), wpath.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
         }},
        {"delete it", [&] { return DeleteFileW(wpath.c_str()) != 0; }},
    };
    app::overrideForTests(programFolder("M:"), "KeskVLM");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rule);
        writeText(path, "[S]\r\nk=1\r\n");
        const ini::ReadSnapshot snapshot(path);
        clsINIFile ini;
        ini.setFilename(path);
        ASSERT_EQ(ini.getString("S", "k"), "1");
        win::Win32Desktop desk;
        ASSERT_TRUE(desk.canOpenForReading(path));
        EXPECT_TRUE(r.save()) << "error " << GetLastError();
    }
}

} // namespace
} // namespace kesk::test
