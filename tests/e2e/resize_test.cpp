// The menu window's height through the real program: a drag on the headline with the real
// mouse, and the height stored when a click on the bare window unloads the menu.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

fs::path programDir() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(buf.size() * 2);
    }
    return fs::path(buf).parent_path();
}

template <class P> bool waitFor(P done, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!done()) {
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

struct Find {
    DWORD pid;
    const wchar_t* cls;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND hwnd, LPARAM lp) {
    auto* f = reinterpret_cast<Find*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[128] = {};
    GetClassNameW(hwnd, cls, 128);
    if (pid == f->pid && std::wstring(cls) == f->cls) {
        f->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A window of the process: top-level, or a child of the taskbar (where the button goes).
HWND windowOf(DWORD pid, const wchar_t* cls) {
    Find f{pid, cls, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&f));
    if (f.found == nullptr) {
        if (HWND tray = FindWindowW(L"Shell_TrayWnd", L""); tray != nullptr) {
            EnumChildWindows(tray, matchWindow, reinterpret_cast<LPARAM>(&f));
        }
    }
    return f.found;
}

// One mouse event at a screen point. Buttons carry their point as well: Wine may otherwise
// place a press where the target last saw the pointer, not where it is.
void mouse(DWORD flags, POINT screen) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in.mi.dx =
        static_cast<LONG>(std::lround(screen.x * 65535.0 / (GetSystemMetrics(SM_CXSCREEN) - 1)));
    in.mi.dy =
        static_cast<LONG>(std::lround(screen.y * 65535.0 / (GetSystemMetrics(SM_CYSCREEN) - 1)));
    SendInput(1, &in, sizeof in);
    waitFor(
        [&] {
            POINT now{};
            GetCursorPos(&now);
            return now.x == screen.x && now.y == screen.y;
        },
        1000);
    Sleep(150);
}

RECT rectOf(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

std::wstring storedOffset(const fs::path& catalogue) {
    wchar_t buf[64] = {};
    GetPrivateProfileStringW(L"Window", L"heightOffset", L"", buf, 64, catalogue.c_str());
    return buf;
}

class Program {
  public:
    explicit Program(const fs::path& dir) {
        std::wstring cmd = L"\"" + (dir / "KeskVLM.exe").wstring() + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        started_ = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  dir.c_str(), &si, &pi_) != FALSE;
    }
    ~Program() {
        if (!started_) {
            return;
        }
        if (HWND main = windowOf(pi_.dwProcessId, L"KeskVLM.frmMain"); main != nullptr) {
            PostMessageW(main, WM_CLOSE, 0, 0);
        }
        if (WaitForSingleObject(pi_.hProcess, 10000) != WAIT_OBJECT_0) {
            TerminateProcess(pi_.hProcess, 99);
        }
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    bool started() const { return started_; }
    DWORD pid() const { return pi_.dwProcessId; }

  private:
    bool started_ = false;
    PROCESS_INFORMATION pi_{};
};

TEST(Resize, DraggingTheHeadlineUpMakesTheMenuTallerAndUnloadStoresIt) {
    const fs::path dir = fs::temp_directory_path() / "kesk-e2e-resize";
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    fs::copy_file(programDir() / "KeskVLM.exe", dir / "KeskVLM.exe");
    const fs::path res(KESK_RESOURCES_DIR);
    fs::copy_file(res / "notFound.ico", dir / "notFound.ico");
    fs::copy(res / "skin", dir / "skin", fs::copy_options::recursive);
    const fs::path catalogue = dir / "velora.ini";
    std::ofstream(catalogue, std::ios::binary)
        << "[Window]\r\nheightOffset=0\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n";

    HWND tray = FindWindowW(L"Shell_TrayWnd", L"");
    ASSERT_NE(tray, nullptr) << "needs a desktop with a taskbar";
    const RECT taskbar = rectOf(tray);

    Program program(dir);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(
        waitFor([&] { return windowOf(program.pid(), L"KeskVLM.frmMain") != nullptr; }, 15000));
    // The menu shows on a click on the program's taskbar button (or is shown already).
    HWND menu = nullptr;
    const auto menuShown = [&] {
        menu = windowOf(program.pid(), L"KeskVLM.frmVelora");
        return menu != nullptr && IsWindowVisible(menu) != FALSE;
    };
    if (!waitFor(menuShown, 2000)) {
        HWND button = windowOf(program.pid(), L"KeskVLM.picStartBtn");
        ASSERT_NE(button, nullptr) << "neither the menu nor the taskbar button";
        const RECT b = rectOf(button);
        const POINT middle{(b.left + b.right) / 2, (b.top + b.bottom) / 2};
        mouse(0, middle);
        mouse(MOUSEEVENTF_LEFTDOWN, middle);
        mouse(MOUSEEVENTF_LEFTUP, middle);
        ASSERT_TRUE(waitFor(menuShown, 5000)) << "the menu did not show";
    }
    // Wine has one DPI for every monitor: the screen's is the menu's.
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(dpi, 96) << "the figures below are for 96 dpi";
    const RECT placed = rectOf(menu);
    ASSERT_EQ(placed.bottom, taskbar.top);

    // Press on the middle of the headline (6315 x 375 twips at 60, 30: pixels 4..425, 2..27).
    POINT p{placed.left + 214, placed.top + 14};
    mouse(0, p);
    mouse(MOUSEEVENTF_LEFTDOWN, p);
    mouse(0, {p.x + 1, p.y});
    const RECT held = rectOf(menu);
    p.y -= 10;
    mouse(0, p);
    // The window follows once the program has taken the move; on a busy machine that
    // can be after the pointer is there.
    waitFor([&] { return rectOf(menu).top != held.top; }, 3000);
    const RECT taller = rectOf(menu);
    mouse(MOUSEEVENTF_LEFTUP, p);

    EXPECT_EQ(held.top, placed.top) << "pressing the headline keeps the window where it is";
    EXPECT_EQ(taller.bottom - taller.top, held.bottom - held.top + 10);
    EXPECT_EQ(taller.bottom, taskbar.top) << "the bottom stays on the taskbar";
    EXPECT_EQ(taller.left, 0);
    EXPECT_TRUE(IsWindowVisible(menu)) << "the pointer never left the menu";

    // The offset in twips: the headline's middle one pixel above the pointer, rounded to the
    // even twip, from the window's top as placed.
    const double newTop = 15.0 * (placed.top + 14 - 1) - 187.5;
    const long firstStep = std::lround(std::nearbyint(newTop)) - 15L * placed.top;
    const long expected = 150 - firstStep;
    EXPECT_EQ(storedOffset(catalogue), L"0") << "only unloading stores the height";

    // A click on the bare window beside the address label unloads the menu.
    const POINT bare{taller.left + 565, taller.top + 20};
    mouse(0, bare);
    mouse(MOUSEEVENTF_LEFTDOWN, bare);
    mouse(MOUSEEVENTF_LEFTUP, bare);
    std::wstring stored;
    EXPECT_TRUE(waitFor(
        [&] {
            stored = storedOffset(catalogue);
            return stored == std::to_wstring(expected);
        },
        5000))
        << "expected " << expected << ", stored " << std::stol(L"0" + stored);
    EXPECT_TRUE(waitFor([&] { return !menuShown(); }, 2000));
}

} // namespace
