// The whole program on a virtual desktop with a real taskbar, driven from
// outside as a user would: the taskbar button, the tray menu, a second copy,
// the about box and the shut-down.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "win32/messages.h"

namespace fs = std::filesystem;

namespace {

fs::path exeDir() {
    std::wstring buf(MAX_PATH, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    buf.resize(n);
    return fs::path(buf).parent_path();
}

struct Found {
    DWORD pid;
    const wchar_t* cls;
    bool visibleOnly;
    HWND hwnd;
};

BOOL CALLBACK findTop(HWND hwnd, LPARAM lp) {
    auto* f = reinterpret_cast<Found*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[128] = {};
    GetClassNameW(hwnd, cls, 128);
    if (pid == f->pid && std::wstring(cls) == f->cls &&
        (!f->visibleOnly || IsWindowVisible(hwnd) != FALSE)) {
        f->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND topWindow(DWORD pid, const wchar_t* cls, bool visibleOnly = false) {
    Found f{pid, cls, visibleOnly, nullptr};
    EnumWindows(findTop, reinterpret_cast<LPARAM>(&f));
    return f.hwnd;
}

template <class Pred> bool waitFor(Pred pred, DWORD ms = 10000) {
    for (DWORD waited = 0; waited < ms; waited += 50) {
        if (pred()) {
            return true;
        }
        Sleep(50);
    }
    return pred();
}

std::wstring textOf(HWND h) {
    wchar_t buf[256] = {};
    GetWindowTextW(h, buf, 256);
    return buf;
}

// A control's own text: asked of the control, as another process's edit
// control keeps it to itself.
std::wstring controlText(HWND h) {
    wchar_t buf[256] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(h, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000,
                        &ignored);
    return buf;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Whether the shell still holds the program's icon: changing an absent icon fails.
bool trayIconPresent(HWND owner) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = owner;
    nid.uID = 1;
    return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

void clickAt(POINT p, bool twice = false) {
    // Apart from the click before, so two clicks never make a double click.
    Sleep(GetDoubleClickTime() + 100);
    SetCursorPos(p.x, p.y);
    Sleep(50);
    for (int i = 0; i < (twice ? 2 : 1); ++i) {
        mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    }
}

void key(WORD vk) {
    keybd_event(static_cast<BYTE>(vk), 0, 0, 0);
    keybd_event(static_cast<BYTE>(vk), 0, KEYEVENTF_KEYUP, 0);
    Sleep(50);
}

COLORREF exchangeRedGreen(COLORREF c) {
    return RGB(GetGValue(c), GetRValue(c), GetBValue(c));
}

std::vector<COLORREF> screenArea(const RECT& r) {
    std::vector<COLORREF> out;
    HDC dc = GetDC(nullptr);
    for (LONG y = r.top; y < r.bottom; ++y) {
        for (LONG x = r.left; x < r.right; ++x) {
            out.push_back(GetPixel(dc, x, y) & 0xFFFFFF);
        }
    }
    ReleaseDC(nullptr, dc);
    return out;
}

// One copy of the program in a folder of its own, with the shipped catalogue
// and skin, started and waited for until its start-up has run.
class Program {
  public:
    explicit Program(const char* name, bool stage = true) {
        dir = fs::temp_directory_path() / (std::string("kesk-program-") + name);
        if (stage) {
            fs::remove_all(dir);
            fs::create_directories(dir);
            fs::copy_file(exeDir() / "KeskVLM.exe", dir / "KeskVLM.exe");
            const fs::path res(KESK_RESOURCES_DIR);
            std::error_code ec;
            fs::copy(res / "notFound.ico", dir / "notFound.ico", ec);
            fs::copy(res / "skin", dir / "skin", fs::copy_options::recursive, ec);
            // No stored height: the shut-down's write is then plain to see.
            std::string ini = readFile(res / "velora.ini");
            const auto at = ini.find("heightOffset=0");
            if (at != std::string::npos) {
                ini.erase(at, ini.find('\n', at) + 1 - at);
            }
            std::ofstream(dir / "velora.ini", std::ios::binary) << ini;
        }
    }
    ~Program() {
        if (pi.hProcess != nullptr) {
            if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(pi.hProcess, 99);
                WaitForSingleObject(pi.hProcess, 5000);
            }
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
    }
    bool start() {
        std::wstring cmd = L"\"" + (dir / "KeskVLM.exe").wstring() + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        return CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                              &si, &pi) != FALSE;
    }
    // Waits until the main window, the tray icon and the button are there.
    bool ready() {
        return waitFor([&] {
            main = topWindow(pi.dwProcessId, L"KeskVLM.frmMain");
            button = topWindow(pi.dwProcessId, L"KeskVLM.picStartBtn", true);
            return main != nullptr && button != nullptr && trayIconPresent(main);
        });
    }
    bool running() const { return WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }
    bool responds() const {
        DWORD_PTR r = 0;
        return SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r) != 0;
    }
    HWND menu(bool visibleOnly = true) const {
        return topWindow(pi.dwProcessId, L"KeskVLM.frmVelora", visibleOnly);
    }
    POINT buttonCentre() const {
        RECT r{};
        GetWindowRect(button, &r);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    // Pops the tray menu up as a right click on the icon does and picks the
    // entry `downs` steps from the top with the keyboard.
    bool chooseFromTrayMenu(int downs) {
        PostMessageW(main, kesk::win::msg::kTrayNotify, 1, WM_RBUTTONUP);
        if (!waitFor([&] { return topWindow(pi.dwProcessId, L"#32768", true) != nullptr; }, 5000)) {
            return false;
        }
        for (int i = 0; i < downs; ++i) {
            key(VK_DOWN);
        }
        key(VK_RETURN);
        return true;
    }

    fs::path dir;
    PROCESS_INFORMATION pi{};
    HWND main = nullptr;
    HWND button = nullptr;
};

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        taskbar = FindWindowW(L"Shell_TrayWnd", L"");
        startButton = taskbar != nullptr ? GetWindow(taskbar, GW_CHILD) : nullptr;
        if (taskbar == nullptr || startButton == nullptr || IsWindowVisible(taskbar) == FALSE) {
            GTEST_SKIP() << "no taskbar on this desktop";
        }
    }
    HWND taskbar = nullptr;
    HWND startButton = nullptr;
};

TEST_F(ProgramTest, TheButtonCoversTheStartButtonWithRedAndGreenExchanged) {
    Program p("button");
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.ready());
    // The caption is set back as the attach's last step. An earlier program on
    // this desktop may have left it so already: wait for the button's place too.
    RECT b{}, s{};
    const auto attached = [&] {
        GetWindowRect(p.button, &b);
        GetWindowRect(startButton, &s);
        return textOf(startButton) == L"start" && GetParent(p.button) == taskbar &&
               EqualRect(&b, &s);
    };
    EXPECT_TRUE(waitFor(attached, 5000));
    EXPECT_EQ(textOf(startButton), L"start");
    EXPECT_EQ(GetParent(p.button), taskbar);
    EXPECT_TRUE(EqualRect(&b, &s)) << b.left << "," << b.top << "," << b.right << "," << b.bottom;
    EXPECT_FALSE(IsWindowVisible(p.main));

    Sleep(300);
    const std::vector<COLORREF> shown = screenArea(s);
    ShowWindow(p.button, SW_HIDE);
    Sleep(300);
    const std::vector<COLORREF> system = screenArea(s);
    ShowWindow(p.button, SW_SHOWNA);
    std::size_t same = 0;
    std::size_t coloured = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        same += shown[i] == exchangeRedGreen(system[i]);
        coloured += GetRValue(system[i]) != GetGValue(system[i]);
    }
    // The caption may differ between the copy and the start button as it is now.
    EXPECT_GT(same, shown.size() * 3 / 4);
    if (coloured > 0) {
        EXPECT_NE(shown, system) << "a coloured start button changes colour in the copy";
    }
}

TEST_F(ProgramTest, ClicksShowAndHideTheMenuAndADoubleClickLeavesItHidden) {
    Program p("clicks");
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.ready());
    ASSERT_TRUE(waitFor([&] { return p.menu(false) != nullptr; }, 5000))
        << "start-up loads the menu window";
    EXPECT_EQ(p.menu(), nullptr) << "and leaves it hidden";
    clickAt(p.buttonCentre());
    EXPECT_TRUE(waitFor([&] { return p.menu() != nullptr; }, 5000)) << "a click shows the menu";
    clickAt(p.buttonCentre());
    EXPECT_TRUE(waitFor([&] { return p.menu() == nullptr; }, 5000)) << "a second click hides it";

    // The catalogue and the skin vanish while the program runs. Closing the
    // menu window unloads it (its height goes into a new catalogue); the next
    // click loads a fresh one, built from nothing.
    fs::remove(p.dir / "velora.ini");
    fs::remove_all(p.dir / "skin");
    clickAt(p.buttonCentre());
    ASSERT_TRUE(waitFor([&] { return p.menu() != nullptr; }, 5000));
    HWND before = p.menu();
    PostMessageW(before, WM_CLOSE, 0, 0);
    EXPECT_TRUE(waitFor([&] { return p.menu() == nullptr; }, 5000));
    EXPECT_NE(readFile(p.dir / "velora.ini").find("heightOffset=0"), std::string::npos);
    clickAt(p.buttonCentre());
    EXPECT_TRUE(waitFor([&] { return p.menu() != nullptr; }, 5000));
    EXPECT_NE(p.menu(), before) << "a fresh window";
    clickAt(p.buttonCentre());

    // A storm of clicks.
    for (int i = 0; i < 1000; ++i) {
        PostMessageW(p.button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        PostMessageW(p.button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    }
    EXPECT_TRUE(p.responds());
    EXPECT_TRUE(p.running());
    // Posted messages are handled in order: the tray menu comes up once every
    // click is through, and after an even number of them the menu is hidden. Each
    // click that shows the menu paints it, some 30 ms; a slow spell of a shared
    // machine has made the whole storm take over a minute.
    PostMessageW(p.main, kesk::win::msg::kTrayNotify, 1, WM_RBUTTONUP);
    EXPECT_TRUE(
        waitFor([&] { return topWindow(p.pi.dwProcessId, L"#32768", true) != nullptr; }, 240000));
    EXPECT_EQ(p.menu(), nullptr);
    key(VK_ESCAPE);
    EXPECT_TRUE(
        waitFor([&] { return topWindow(p.pi.dwProcessId, L"#32768", true) == nullptr; }, 5000));

    // Last, because the press it posts to the start button leaves this shell's
    // button holding the mouse: the next real click goes to the shell.
    clickAt(p.buttonCentre(), true);
    Sleep(500);
    EXPECT_EQ(p.menu(), nullptr) << "a double click leaves the menu hidden";
    EXPECT_TRUE(p.running());
    // The next click completes the shell's press and opens its start menu;
    // Escape closes it again.
    DWORD shell = 0;
    GetWindowThreadProcessId(taskbar, &shell);
    clickAt(p.buttonCentre());
    waitFor([&] { return topWindow(shell, L"#32768", true) != nullptr; }, 2000);
    key(VK_ESCAPE);
    key(VK_ESCAPE);
}

TEST_F(ProgramTest, ExitFromTheTrayMenuStoresTheHeightRemovesTheIconAndEnds) {
    Program p("exit");
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.ready());
    ASSERT_EQ(readFile(p.dir / "velora.ini").find("heightOffset"), std::string::npos);
    HWND main = p.main;
    // "Exit" is the last entry, below the separator.
    ASSERT_TRUE(p.chooseFromTrayMenu(4));
    ASSERT_EQ(WaitForSingleObject(p.pi.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 1234;
    GetExitCodeProcess(p.pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(trayIconPresent(main));
    EXPECT_NE(readFile(p.dir / "velora.ini").find("heightOffset=0"), std::string::npos);
}

TEST_F(ProgramTest, ASecondCopyShowsItsMessageAndEndsWhileTheFirstRunsOn) {
    Program first("twice");
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(first.ready());
    Program second("twice", false);
    ASSERT_TRUE(second.start());
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] {
        box = topWindow(second.pi.dwProcessId, L"#32770", true);
        return box != nullptr;
    }));
    EXPECT_EQ(textOf(box), L"Error");
    EXPECT_EQ(textOf(GetDlgItem(box, 0xFFFF)), L"Sorry, aber KeskVLM ist schon gestartet!");
    EXPECT_EQ(topWindow(second.pi.dwProcessId, L"KeskVLM.picStartBtn"), nullptr);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(WaitForSingleObject(second.pi.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(first.running());
    EXPECT_TRUE(first.responds());
    EXPECT_TRUE(trayIconPresent(first.main));
}

TEST_F(ProgramTest, TheAboutBoxShowsItsTextsAndClosesOnAKey) {
    Program p("about");
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.ready());
    ASSERT_TRUE(p.chooseFromTrayMenu(3));
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] {
        box = topWindow(p.pi.dwProcessId, L"KeskVLM.frmSplash", true);
        return box != nullptr;
    }));
    RECT client{};
    GetClientRect(box, &client);
    // 7380 by 4185 twips at 15 twips a pixel.
    EXPECT_EQ(client.right, 492);
    EXPECT_EQ(client.bottom, 279);
    EXPECT_EQ(controlText(FindWindowExW(box, nullptr, L"Edit", nullptr)),
              L"The KeskVLM developers\r\nkeskvlm.example.org");
    // The button waits while the box is open.
    clickAt(p.buttonCentre());
    Sleep(300);
    EXPECT_EQ(p.menu(), nullptr);
    SetForegroundWindow(box);
    key('K');
    EXPECT_TRUE(waitFor([&] { return !IsWindow(box); }, 5000)) << "any key closes the box";
    EXPECT_TRUE(p.running());
}

} // namespace
