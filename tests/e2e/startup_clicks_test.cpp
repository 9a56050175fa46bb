// The whole program with a large catalogue, clicked while it starts: the menu shows at once,
// its pictures follow, and clicks made meanwhile are never taken as something else (two of
// them as a double click, which would open the system's start menu).
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

fs::path ownDir() {
    std::wstring buf(MAX_PATH, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    buf.resize(n);
    return fs::path(buf).parent_path();
}

struct Search {
    DWORD pid;
    const wchar_t* cls;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND h, LPARAM lp) {
    auto* want = reinterpret_cast<Search*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    wchar_t name[128] = {};
    GetClassNameW(h, name, 128);
    if (owner == want->pid && std::wstring(name) == want->cls && IsWindowVisible(h) != FALSE) {
        want->found = h;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of class `cls` of process `pid`.
HWND visibleWindow(DWORD pid, const wchar_t* cls) {
    Search s{pid, cls, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

template <class Pred> bool waitFor(Pred pred, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!pred()) {
        if (GetTickCount64() >= end) {
            return pred();
        }
        Sleep(10);
    }
    return true;
}

void clickAt(POINT p) {
    SetCursorPos(p.x, p.y);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

class StartupClicksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        taskbar = FindWindowW(L"Shell_TrayWnd", L"");
        if (taskbar == nullptr || IsWindowVisible(taskbar) == FALSE) {
            GTEST_SKIP() << "no taskbar on this desktop";
        }
        GetWindowThreadProcessId(taskbar, &shell);
        dir = fs::temp_directory_path() / "kesk-startup-clicks";
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy_file(ownDir() / "KeskVLM.exe", dir / "KeskVLM.exe");
        const fs::path res(KESK_RESOURCES_DIR);
        fs::copy(res / "notFound.ico", dir / "notFound.ico");
        fs::copy(res / "skin", dir / "skin", fs::copy_options::recursive);
        static const char* const groups[] = {"Tools", "Applications", "Documents", "Scripts"};
        std::ofstream ini(dir / "velora.ini", std::ios::binary);
        ini << "[Window]\r\nheightOffset=0\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n";
        for (int i = 0; i < 3000; ++i) {
            ini << "[Item" << i << "]\r\nName=Notepad " << i
                << "\r\nTarget=C:\\windows\\notepad.exe\r\nParam=\r\nWorkdir=\r\nIcon=\r\nGroup="
                << groups[i % 4] << "\r\n";
        }
    }
    void TearDown() override {
        if (pi.hProcess != nullptr) {
            TerminateProcess(pi.hProcess, 99);
            WaitForSingleObject(pi.hProcess, 5000);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    bool start() {
        std::wstring cmd = L"\"" + (dir / "KeskVLM.exe").wstring() + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        started = GetTickCount64();
        return CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                              &si, &pi) != FALSE;
    }
    // The button's centre once it is there, and not before 200 ms after the start.
    POINT buttonCentre() {
        HWND button = nullptr;
        waitFor(
            [&] {
                button = visibleWindow(pi.dwProcessId, L"KeskVLM.picStartBtn");
                return button != nullptr;
            },
            20000);
        const ULONGLONG soonest = started + 200;
        if (GetTickCount64() < soonest) {
            Sleep(static_cast<DWORD>(soonest - GetTickCount64()));
        }
        RECT r{};
        GetWindowRect(button, &r);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    HWND menu() const { return visibleWindow(pi.dwProcessId, L"KeskVLM.frmVelora"); }
    bool shellMenuShown() const { return visibleWindow(shell, L"#32768") != nullptr; }

    HWND taskbar = nullptr;
    DWORD shell = 0;
    fs::path dir;
    PROCESS_INFORMATION pi{};
    ULONGLONG started = 0;
};

TEST_F(StartupClicksTest, AClickSoonAfterTheStartShowsTheMenuWithinASecond) {
    ASSERT_TRUE(start());
    const POINT at = buttonCentre();
    clickAt(at);
    const ULONGLONG clicked = GetTickCount64();
    ASSERT_TRUE(waitFor([&] { return menu() != nullptr; }, 10000)) << "the menu never showed";
    const ULONGLONG shown = GetTickCount64() - clicked;
    EXPECT_LT(shown, 1000u) << "the menu showed " << shown << " ms after the click";
    EXPECT_FALSE(shellMenuShown());
}

TEST_F(StartupClicksTest, ClicksDuringTheStartNeverOpenTheSystemStartMenu) {
    ASSERT_TRUE(start());
    const POINT at = buttonCentre();
    // Three clicks, each further from the one before than a double click allows.
    std::string seen;
    for (int i = 0; i < 3; ++i) {
        clickAt(at);
        Sleep(GetDoubleClickTime() + 100);
        seen += menu() != nullptr ? "shown " : "hidden ";
    }
    // Whatever was queued is through once the program answers.
    DWORD_PTR r = 0;
    HWND main = visibleWindow(pi.dwProcessId, L"KeskVLM.picStartBtn");
    ASSERT_NE(SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &r), 0);
    Sleep(300);
    EXPECT_FALSE(shellMenuShown()) << "a click was taken as a double click";
    EXPECT_NE(menu(), nullptr) << "three clicks leave the menu shown; after each: " << seen;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

} // namespace
