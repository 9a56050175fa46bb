// shellOpenFile through the real shell: a helper program records the command
// line, working directory and show command it was started with.
#include "support/appinfo.h"
#include "support/mdShellEx.h"
#include "win32/shell_win32.h"
#include "win32/wtext.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kesk {
namespace {

struct Report {
    std::string cmdline;
    std::string cwd;
    int show = -2;
    std::vector<std::string> args;
};

std::wstring moduleDirectory() {
    wchar_t buf[4096];
    const DWORD n = GetModuleFileNameW(nullptr, buf, 4096);
    std::wstring path(buf, n);
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::string lowerNoTrailingSlash(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c == '/') {
            c = '\\';
        }
    }
    while (s.size() > 3 && s.back() == '\\') {
        s.pop_back();
    }
    return s;
}

std::string currentDirectory() {
    wchar_t buf[4096];
    const DWORD n = GetCurrentDirectoryW(4096, buf);
    return win::narrow(std::wstring_view(buf, n));
}

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t tmp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, tmp);
        root_ = std::wstring(tmp) + L"kesk_shell_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(root_.c_str(), nullptr);
        reportFile_ = root_ + L"\\report.txt";
        SetEnvironmentVariableW(L"KESK_ARGDUMP_OUT", reportFile_.c_str());
        argdump_ = moduleDirectory() + L"\\argdump.exe";
        ASSERT_NE(GetFileAttributesW(argdump_.c_str()), INVALID_FILE_ATTRIBUTES)
            << "argdump.exe must be built beside the tests";
        app::overrideForTests("", "KeskVLM");
    }

    void TearDown() override {
        app::overrideForTests("", "");
        SetEnvironmentVariableW(L"KESK_ARGDUMP_OUT", nullptr);
        removeTree(root_);
    }

    static void removeTree(const std::wstring& dir) {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = fd.cFileName;
                if (name == L"." || name == L"..") {
                    continue;
                }
                const std::wstring full = dir + L"\\" + name;
                if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                    removeTree(full);
                } else {
                    DeleteFileW(full.c_str());
                }
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryW(dir.c_str());
    }

    // Launches through the real shell and waits (bounded) for the helper's report.
    std::optional<Report> launch(const std::string& file, const std::string& params,
                                 const std::string& dir, bool* accepted = nullptr,
                                 ErrorRecord* err = nullptr) {
        DeleteFileW(reportFile_.c_str());
        win::Win32ShellExecutor shell;
        const bool ok = shellOpenFile(shell, file, kShowDefault, params, dir, "open", 0, err);
        if (accepted != nullptr) {
            *accepted = ok;
        }
        if (!ok) {
            return std::nullopt;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (GetFileAttributesW(reportFile_.c_str()) == INVALID_FILE_ATTRIBUTES) {
            if (std::chrono::steady_clock::now() > deadline) {
                return std::nullopt;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return readReport();
    }

    Report readReport() const {
        HANDLE h = CreateFileW(reportFile_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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
        Report r;
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("cmdline=", 0) == 0) {
                r.cmdline = line.substr(8);
            } else if (line.rfind("cwd=", 0) == 0) {
                r.cwd = line.substr(4);
            } else if (line.rfind("show=", 0) == 0) {
                r.show = std::stoi(line.substr(5));
            } else if (line.rfind("arg=", 0) == 0) {
                r.args.push_back(line.substr(4));
            }
        }
        return r;
    }

    std::string argdump() const { return win::narrow(argdump_); }
    std::string root() const { return win::narrow(root_); }

    std::wstring root_;
    std::wstring reportFile_;
    std::wstring argdump_;
};

TEST_F(ShellTest, ProgramWithoutParametersOrDirectory) {
    const auto r = launch(argdump(), "", "");
    ASSERT_TRUE(r) << "argdump.exe did not report";
    ASSERT_EQ(r->args.size(), 1u) << r->cmdline;
    EXPECT_EQ(lowerNoTrailingSlash(r->args[0]), lowerNoTrailingSlash(argdump()));
    EXPECT_EQ(lowerNoTrailingSlash(r->cwd), lowerNoTrailingSlash(currentDirectory()));
    EXPECT_EQ(r->show, kShowNormal);
}

TEST_F(ShellTest, ProgramWithParametersAndDirectory) {
    const auto r = launch(argdump(), R"(one "two words" three)", root());
    ASSERT_TRUE(r) << "argdump.exe did not report";
    ASSERT_EQ(r->args.size(), 4u) << r->cmdline;
    EXPECT_EQ(r->args[1], "one");
    EXPECT_EQ(r->args[2], "two words");
    EXPECT_EQ(r->args[3], "three");
    EXPECT_NE(r->cmdline.find(R"(one "two words" three)"), std::string::npos) << r->cmdline;
    EXPECT_EQ(lowerNoTrailingSlash(r->cwd), lowerNoTrailingSlash(root()));
    EXPECT_EQ(r->show, kShowHide);
}

TEST_F(ShellTest, ProgramInAFolderWithBlanksAndUnicode) {
    const std::wstring folder = root_ + L"\\dir with blanks \u00e4\u00f6";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring copy = folder + L"\\arg dump.exe";
    ASSERT_TRUE(CopyFileW(argdump_.c_str(), copy.c_str(), FALSE));
    const std::string target = win::narrow(copy);

    const auto r = launch(target, "x", win::narrow(folder));
    ASSERT_TRUE(r) << "the copy did not report";
    ASSERT_EQ(r->args.size(), 2u) << r->cmdline;
    EXPECT_EQ(lowerNoTrailingSlash(r->args[0]), lowerNoTrailingSlash(target));
    EXPECT_EQ(r->args[1], "x");
    EXPECT_EQ(lowerNoTrailingSlash(r->cwd), lowerNoTrailingSlash(win::narrow(folder)));
}

bool setDefaultValue(HKEY root, const std::wstring& subKey, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const LONG rc =
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

// Registers a file type for the test and removes it again. Windows reads a
// user's own types from HKCU\Software\Classes; Wine 8 reads only the machine's
// classes, so the type goes to both where allowed.
class TestFileType {
  public:
    TestFileType(const std::wstring& ext, const std::wstring& progId, const std::wstring& command)
        : ext_(ext), progId_(progId) {
        const std::wstring user = L"Software\\Classes\\";
        registered_ =
            setDefaultValue(HKEY_CURRENT_USER, user + ext, progId) &&
            setDefaultValue(HKEY_CURRENT_USER, user + progId + L"\\shell\\open\\command", command);
        machine_ = setDefaultValue(HKEY_CLASSES_ROOT, ext, progId) &&
                   setDefaultValue(HKEY_CLASSES_ROOT, progId + L"\\shell\\open\\command", command);
        registered_ = registered_ || machine_;
    }
    ~TestFileType() {
        const std::wstring user = L"Software\\Classes\\";
        RegDeleteTreeW(HKEY_CURRENT_USER, (user + ext_).c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, (user + progId_).c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, (user + ext_).c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, (user + progId_).c_str());
        if (machine_) {
            RegDeleteTreeW(HKEY_CLASSES_ROOT, ext_.c_str());
            RegDeleteTreeW(HKEY_CLASSES_ROOT, progId_.c_str());
            RegDeleteKeyW(HKEY_CLASSES_ROOT, ext_.c_str());
            RegDeleteKeyW(HKEY_CLASSES_ROOT, progId_.c_str());
        }
    }
    TestFileType(const TestFileType&) = delete;
    TestFileType& operator=(const TestFileType&) = delete;
    bool registered() const { return registered_; }

  private:
    std::wstring ext_, progId_;
    bool registered_ = false;
    bool machine_ = false;
};

// A document is opened by its file type's association.
TEST_F(ShellTest, DocumentOpensThroughItsAssociation) {
    const TestFileType type(L".kesktestdoc", L"KeskTest.Document", L"\"" + argdump_ + L"\" \"%1\"");
    ASSERT_TRUE(type.registered());

    const std::wstring doc = root_ + L"\\letter one.kesktestdoc";
    HANDLE h = CreateFileW(doc.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);

    bool accepted = false;
    ErrorRecord err;
    const auto r = launch(win::narrow(doc), "", "", &accepted, &err);
    EXPECT_TRUE(accepted) << err.number << " " << err.description;
    ASSERT_TRUE(r) << "the associated program did not report";
    ASSERT_EQ(r->args.size(), 2u) << r->cmdline;
    EXPECT_EQ(lowerNoTrailingSlash(r->args[1]), lowerNoTrailingSlash(win::narrow(doc)));
}

TEST_F(ShellTest, MissingFileFailsWithFileNotFound) {
    bool accepted = true;
    ErrorRecord err;
    const auto r = launch(root() + "\\no such program.exe", "", "", &accepted, &err);
    EXPECT_FALSE(accepted);
    EXPECT_FALSE(r);
    EXPECT_EQ(err.number, errnum::FileNotFound);
    EXPECT_EQ(err.description, "File not found");
    EXPECT_EQ(err.source, "KeskVLM.ZOvava");
}

// A window that hands the executor its answers, as the menu window does.
constexpr UINT kAnswer = WM_APP + 50;
win::Win32ShellExecutor* answering = nullptr;
LRESULT CALLBACK answerProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kAnswer && answering != nullptr) {
        answering->answer(wParam, lParam);
        return 0;
    }
    return DefWindowProcW(h, msg, wParam, lParam);
}

TEST_F(ShellTest, AStartOnItsOwnThreadIsAnsweredThroughTheWindowOnce) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = answerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KeskShellAnswerTest";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    win::Win32ShellExecutor shell;
    shell.notify(window, kAnswer);
    answering = &shell;
    struct Case {
        std::string file;
        bool started;
        std::int32_t error;
    };
    const Case cases[] = {
        {argdump(), true, 0},
        {root() + "\\no such program.exe", false, errnum::FileNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        DeleteFileW(reportFile_.c_str());
        int told = 0;
        bool started = !c.started;
        ErrorRecord error;
        shellOpenFileThen(shell, c.file, kShowDefault, "", "", "open", 0,
                          [&](bool s, const ErrorRecord& e) {
                              ++told;
                              started = s;
                              error = e;
                          });
        EXPECT_EQ(told, 0) << "the call returned before the shell answered";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (told == 0 && std::chrono::steady_clock::now() < deadline) {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&m);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(told, 1);
        EXPECT_EQ(started, c.started);
        EXPECT_EQ(error.number, c.error);
        if (c.started) {
            const auto deadline2 = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (GetFileAttributesW(reportFile_.c_str()) == INVALID_FILE_ATTRIBUTES &&
                   std::chrono::steady_clock::now() < deadline2) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            EXPECT_NE(GetFileAttributesW(reportFile_.c_str()), INVALID_FILE_ATTRIBUTES)
                << "the program ran";
        }
    }
    // An answer for a request nobody waits for any more changes nothing.
    shell.answer(12345, 42);
    answering = nullptr;
    DestroyWindow(window);
}

} // namespace
} // namespace kesk
