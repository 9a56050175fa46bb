#pragma once
// Drives a running KeskVLM from outside, the way a user's clicks reach it: finding its
// windows, starting and ending copies of it, real mouse and keyboard input. The whole-program
// tests, the start-up benchmark and the package probe share this one copy. Windows only.

#ifndef _WIN32
#error "kesk_driver.h drives Windows programs"
#endif

#include <windows.h>

#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "win32/messages.h"

namespace kesk::driver {

inline constexpr wchar_t kMainClass[] = L"KeskVLM.frmMain";
inline constexpr wchar_t kMenuClass[] = L"KeskVLM.frmVelora";
inline constexpr wchar_t kButtonClass[] = L"KeskVLM.picStartBtn";
inline constexpr wchar_t kAboutClass[] = L"KeskVLM.frmSplash";
// Popup menus (the tray menu, the shell's start menu) and message boxes.
inline constexpr wchar_t kPopupMenuClass[] = L"#32768";
inline constexpr wchar_t kDialogClass[] = L"#32770";
inline constexpr wchar_t kTaskbarClass[] = L"Shell_TrayWnd";

// The folder of the running program (its helpers and the program under test lie there).
inline std::filesystem::path exeDir() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(buf.size() * 2);
    }
    return std::filesystem::path(buf).parent_path();
}

inline bool hasClass(HWND hwnd, const wchar_t* cls) {
    wchar_t name[128] = {};
    GetClassNameW(hwnd, name, 128);
    return std::wcscmp(name, cls) == 0;
}

inline DWORD processOf(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

struct WindowQuery {
    DWORD pid = 0; // 0: any process
    const wchar_t* cls = nullptr;
    bool visibleOnly = false;
    HWND found = nullptr;
};

inline BOOL CALLBACK matchWindow(HWND hwnd, LPARAM lp) {
    auto* q = reinterpret_cast<WindowQuery*>(lp);
    if ((q->pid == 0 || processOf(hwnd) == q->pid) && hasClass(hwnd, q->cls) &&
        (!q->visibleOnly || IsWindowVisible(hwnd) != FALSE)) {
        q->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A top-level window of the class, of process `pid` (0: of any process).
inline HWND topWindow(DWORD pid, const wchar_t* cls, bool visibleOnly = false) {
    WindowQuery q{pid, cls, visibleOnly, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

struct HostQuery {
    DWORD pid = 0;
    const wchar_t* cls = nullptr;
    HWND found = nullptr;
};

inline BOOL CALLBACK searchHost(HWND hwnd, LPARAM lp) {
    auto* q = reinterpret_cast<HostQuery*>(lp);
    if (hasClass(hwnd, kTaskbarClass) || hasClass(hwnd, kMainClass)) {
        WindowQuery child{q->pid, q->cls, false, nullptr};
        EnumChildWindows(hwnd, matchWindow, reinterpret_cast<LPARAM>(&child));
        q->found = child.found;
    }
    return q->found == nullptr ? TRUE : FALSE;
}

// A window of the class anywhere: top level, or a child of a taskbar or of the program's
// main window (where the button lies while it is switched off).
inline HWND windowAnywhere(DWORD pid, const wchar_t* cls) {
    if (HWND top = topWindow(pid, cls)) {
        return top;
    }
    HostQuery q{pid, cls, nullptr};
    EnumWindows(searchHost, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

struct TaskbarQuery {
    HWND found = nullptr;
};

inline BOOL CALLBACK matchShownTaskbar(HWND hwnd, LPARAM lp) {
    RECT r{};
    if (hasClass(hwnd, kTaskbarClass) && IsWindowVisible(hwnd) != FALSE &&
        GetWindowRect(hwnd, &r) != FALSE && r.right > r.left && r.bottom > r.top &&
        GetWindow(hwnd, GW_CHILD) != nullptr) {
        reinterpret_cast<TaskbarQuery*>(lp)->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The taskbar a user sees: a shown one with a size and a start button. A desktop may also
// hold a hidden, empty one.
inline HWND shownTaskbar() {
    TaskbarQuery q;
    EnumWindows(matchShownTaskbar, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

// Asks until `pred` holds or `ms` milliseconds have passed; the last answer counts.
template <class Pred> bool waitFor(Pred pred, DWORD ms = 10000) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!pred()) {
        if (GetTickCount64() >= end) {
            return pred();
        }
        Sleep(20);
    }
    return true;
}

inline std::wstring textOf(HWND hwnd) {
    wchar_t buf[256] = {};
    GetWindowTextW(hwnd, buf, 256);
    return buf;
}

// A control's own text: asked of the control, as another process's edit control keeps it to
// itself.
inline std::wstring controlText(HWND hwnd) {
    wchar_t buf[256] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG,
                        5000, &ignored);
    return buf;
}

// The screen's colours (0xBBGGRR) inside `r`, row by row.
inline std::vector<COLORREF> screenArea(const RECT& r) {
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

inline RECT rectOf(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

// A window can be shown at no size for a moment while it is put in its place.
inline bool hasArea(HWND hwnd) {
    const RECT r = rectOf(hwnd);
    return r.right > r.left && r.bottom > r.top;
}

inline POINT centreOf(const RECT& r) {
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Within a pixel: where a window is drawn may round differently from where it was asked to be.
inline bool closeTo(LONG a, LONG b) {
    return std::labs(a - b) <= 1;
}

inline bool nearRect(const RECT& a, const RECT& b) {
    return closeTo(a.left, b.left) && closeTo(a.top, b.top) && closeTo(a.right, b.right) &&
           closeTo(a.bottom, b.bottom);
}

// A window shown at `where`: the button is moved into its place before it is shown there, and
// a click while it is still hidden would reach what lies under it.
inline bool shownAt(HWND hwnd, const RECT& where) {
    return hwnd != nullptr && IsWindowVisible(hwnd) != FALSE && nearRect(rectOf(hwnd), where);
}

// "(left,top)-(right,bottom)", for a failure's message.
inline std::string showRect(const RECT& r) {
    std::ostringstream s;
    s << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
    return s.str();
}

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Whether the shell still holds the program's icon: changing an absent icon fails.
inline bool trayIconPresent(HWND owner) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = owner;
    nid.uID = 1;
    return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

// --- Processes -------------------------------------------------------------------------------

// Starts a command line in `dir` (empty: this program's own); a zeroed record on failure.
// How many processes of that executable name (any case) run now.
inline int processCount(const std::wstring& exeName) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int n = 0;
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    for (BOOL ok = Process32FirstW(snap, &e); ok != FALSE; ok = Process32NextW(snap, &e)) {
        n += _wcsicmp(e.szExeFile, exeName.c_str()) == 0 ? 1 : 0;
    }
    CloseHandle(snap);
    return n;
}

inline PROCESS_INFORMATION startProcess(const std::wstring& commandLine,
                                        const std::filesystem::path& dir = {}, DWORD flags = 0) {
    std::wstring cmd = commandLine;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, flags, nullptr,
                       dir.empty() ? nullptr : dir.c_str(), &si, &pi) == FALSE) {
        pi = PROCESS_INFORMATION{};
    }
    return pi;
}

// Ends a started process if it still runs and lets go of its handles.
inline void endProcess(PROCESS_INFORMATION& pi) {
    if (pi.hProcess == nullptr) {
        return;
    }
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    pi = PROCESS_INFORMATION{};
}

// --- Input ---------------------------------------------------------------------------------

// One mouse event at a screen point. Buttons carry their point as well: Wine may otherwise
// place a press where the target last saw the pointer, not where it is.
inline void mouse(DWORD flags, POINT screen) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in.mi.dx =
        static_cast<LONG>(std::lround(screen.x * 65535.0 / (GetSystemMetrics(SM_CXSCREEN) - 1)));
    in.mi.dy =
        static_cast<LONG>(std::lround(screen.y * 65535.0 / (GetSystemMetrics(SM_CYSCREEN) - 1)));
    SendInput(1, &in, sizeof in);
}

// One mouse event, then a wait until the pointer is there and the program under it has had
// a moment to act: for drags, whose steps must each be seen.
inline void mouseSettled(DWORD flags, POINT screen) {
    mouse(flags, screen);
    waitFor(
        [&] {
            POINT now{};
            GetCursorPos(&now);
            return now.x == screen.x && now.y == screen.y;
        },
        1000);
    Sleep(150);
}

// A left click (or a double click) at a screen point, apart from any click before it so that
// two clicks never join into a double click.
inline constexpr DWORD kPressMs = 80;

inline void clickAt(POINT p, bool twice = false) {
    Sleep(GetDoubleClickTime() + 100);
    mouse(0, p);
    waitFor(
        [&] {
            POINT now{};
            GetCursorPos(&now);
            return now.x == p.x && now.y == p.y;
        },
        1000);
    Sleep(50);
    // A person holds the button down for a moment; the program under the pointer may act on
    // the press before the release arrives.
    for (int i = 0; i < (twice ? 2 : 1); ++i) {
        mouse(MOUSEEVENTF_LEFTDOWN, p);
        Sleep(kPressMs);
        mouse(MOUSEEVENTF_LEFTUP, p);
        if (twice && i == 0) {
            Sleep(kPressMs);
        }
    }
}

// Input through the X server itself, for what only the screen's own stacking decides: which
// window a click lands on. Wine runs Unix programs started from Windows ones, but hands back
// no process to wait for: the caller says how long the commands take. False when xdotool
// could not be started.
inline bool xdotool(const std::wstring& commands, DWORD takesMs) {
    // Z: is the Unix root in every Wine prefix.
    std::wstring cmd = L"Z:\\usr\\bin\\xdotool " + commands;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi) == FALSE) {
        return false;
    }
    if (pi.hProcess != nullptr) {
        WaitForSingleObject(pi.hProcess, takesMs + 10000);
        endProcess(pi);
    } else {
        Sleep(takesMs + 300);
    }
    return true;
}

// A left click (or a double click) at a screen point through the X server, with a person's
// timing.
inline bool xClickAt(POINT p, bool twice = false) {
    Sleep(GetDoubleClickTime() + 100);
    std::wstring commands = L"mousemove " + std::to_wstring(p.x) + L" " + std::to_wstring(p.y) +
                            L" sleep 0.1 mousedown 1 sleep 0.08 mouseup 1";
    if (twice) {
        commands += L" sleep 0.08 mousedown 1 sleep 0.08 mouseup 1";
    }
    return xdotool(commands, twice ? 340 : 180);
}

inline void key(WORD vk) {
    INPUT in[2] = {};
    in[0].type = INPUT_KEYBOARD;
    in[0].ki.wVk = vk;
    in[1] = in[0];
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof in[0]);
    Sleep(50);
}

// Keys pressed together and let go in the reverse order, as a person presses a combination.
inline void pressKeys(const std::vector<WORD>& keys) {
    std::vector<INPUT> in;
    for (const WORD k : keys) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k;
        in.push_back(i);
    }
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = *it;
        i.ki.dwFlags = KEYEVENTF_KEYUP;
        in.push_back(i);
    }
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

// Text typed key by key: small letters, digits and blanks by their keys (the keyboard's layout
// makes them characters, as for a person), anything else as the character itself.
inline void typeText(const std::wstring& text) {
    for (const wchar_t c : text) {
        INPUT in[2] = {};
        in[0].type = INPUT_KEYBOARD;
        if ((c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L' ') {
            in[0].ki.wVk = static_cast<WORD>(c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c);
        } else {
            in[0].ki.wScan = static_cast<WORD>(c);
            in[0].ki.dwFlags = KEYEVENTF_UNICODE;
        }
        in[1] = in[0];
        in[1].ki.dwFlags |= KEYEVENTF_KEYUP;
        SendInput(2, in, sizeof in[0]);
        Sleep(50);
    }
}

inline std::wstring quoted(const std::filesystem::path& p) {
    return L"\"" + p.wstring() + L"\"";
}

// A fresh folder under the temporary directory holding a copy of the program beside the
// shipped catalogue, skin and fallback icon, as a user unpacks it. `resources` is the folder
// they are copied from.
inline std::filesystem::path stageProgram(const std::string& name,
                                          const std::filesystem::path& resources) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kesk-" + name);
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    fs::copy_file(exeDir() / "KeskVLM.exe", dir / "KeskVLM.exe");
    fs::copy_file(resources / "notFound.ico", dir / "notFound.ico", ec);
    fs::copy_file(resources / "velora.ini", dir / "velora.ini", ec);
    fs::copy(resources / "skin", dir / "skin", fs::copy_options::recursive, ec);
    return dir;
}

// One copy of the program in its folder, started and watched until its start-up has run;
// a copy still running at the end is closed, then ended.
class Program {
  public:
    explicit Program(std::filesystem::path folder) : dir(std::move(folder)) {}
    ~Program() {
        if (pi.hProcess != nullptr && running() && main != nullptr) {
            PostMessageW(main, WM_CLOSE, 0, 0);
            WaitForSingleObject(pi.hProcess, 5000);
        }
        endProcess(pi);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool start() {
        pi = startProcess(quoted(dir / "KeskVLM.exe"), dir);
        return pi.hProcess != nullptr;
    }
    // Waits until the main window, the tray icon and the shown button are there.
    bool ready(DWORD ms = 10000) {
        return waitFor(
            [&] {
                main = topWindow(pi.dwProcessId, kMainClass);
                button = topWindow(pi.dwProcessId, kButtonClass, true);
                return main != nullptr && button != nullptr && hasArea(button) &&
                       trayIconPresent(main);
            },
            ms);
    }
    bool running() const { return WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }
    bool responds() const {
        DWORD_PTR r = 0;
        return SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r) != 0;
    }
    HWND menu(bool visibleOnly = true) const {
        return topWindow(pi.dwProcessId, kMenuClass, visibleOnly);
    }
    POINT buttonCentre() const { return centreOf(rectOf(button)); }
    // Pops the tray menu up as a right click on the icon does and picks the entry `downs`
    // steps from the top with the keyboard.
    bool chooseFromTrayMenu(int downs) {
        PostMessageW(main, kesk::win::msg::kTrayNotify, 1, WM_RBUTTONUP);
        if (!waitFor([&] { return topWindow(pi.dwProcessId, kPopupMenuClass, true) != nullptr; },
                     5000)) {
            return false;
        }
        for (int i = 0; i < downs; ++i) {
            key(VK_DOWN);
        }
        key(VK_RETURN);
        return true;
    }

    std::filesystem::path dir;
    PROCESS_INFORMATION pi{};
    HWND main = nullptr;
    HWND button = nullptr;
};

// --- Another process's controls and memory ------------------------------------------------

// A block of memory inside another process: list-view messages that carry a record want it
// in the process that owns the control.
class RemoteMemory {
  public:
    RemoteMemory(HANDLE process, SIZE_T size)
        : process_(process), size_(size),
          at_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    ~RemoteMemory() {
        if (at_ != nullptr) {
            VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
        }
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    bool valid() const { return at_ != nullptr; }
    LPARAM address() const { return reinterpret_cast<LPARAM>(at_); }
    bool write(const void* data, SIZE_T n) {
        SIZE_T done = 0;
        return n <= size_ && WriteProcessMemory(process_, at_, data, n, &done) != FALSE &&
               done == n;
    }
    bool read(void* data, SIZE_T n) const {
        SIZE_T done = 0;
        return n <= size_ && ReadProcessMemory(process_, at_, data, n, &done) != FALSE && done == n;
    }

  private:
    HANDLE process_;
    SIZE_T size_;
    void* at_;
};

struct ChildQuery {
    const wchar_t* cls = nullptr;
    std::vector<HWND> found;
};

inline BOOL CALLBACK collectChild(HWND hwnd, LPARAM lp) {
    auto* q = reinterpret_cast<ChildQuery*>(lp);
    if (hasClass(hwnd, q->cls)) {
        q->found.push_back(hwnd);
    }
    return TRUE;
}

// Every window of the class below `top`, at any depth, in the platform's order.
inline std::vector<HWND> descendants(HWND top, const wchar_t* cls) {
    ChildQuery q{cls, {}};
    EnumChildWindows(top, collectChild, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

// The start button's screen rectangle as the helper fake_shell wrote it into its taskbar's
// "Static" child; false on any other window.
inline bool fakeShellStartRect(HWND taskbar, RECT& out) {
    const std::vector<HWND> notes = descendants(taskbar, L"Static");
    if (notes.empty()) {
        return false;
    }
    std::wistringstream in(controlText(notes.front()));
    return static_cast<bool>(in >> out.left >> out.top >> out.right >> out.bottom);
}

// Sends a message that another process answers, waiting as long as it takes up to `ms`; 0
// when the window did not answer.
inline LRESULT sendWaiting(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT ms = 120000) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(hwnd, msg, wParam, lParam, SMTO_NORMAL, ms, &result) != 0
               ? static_cast<LRESULT>(result)
               : 0;
}

struct BalloonQuery {
    std::vector<HWND> found;
};

inline BOOL CALLBACK collectBalloon(HWND hwnd, LPARAM lp) {
    if (hasClass(hwnd, TOOLTIPS_CLASSW) && IsWindowVisible(hwnd) != FALSE &&
        (GetWindowLongW(hwnd, GWL_STYLE) & TTS_BALLOON) != 0 &&
        processOf(hwnd) != GetCurrentProcessId()) {
        reinterpret_cast<BalloonQuery*>(lp)->found.push_back(hwnd);
    }
    return TRUE;
}

// The texts of the balloons the shell shows now, read from the shell's own tooltip windows;
// empty when it shows none or they cannot be read.
inline std::vector<std::wstring> shownBalloons() {
    BalloonQuery q;
    EnumWindows(collectBalloon, reinterpret_cast<LPARAM>(&q));
    std::vector<std::wstring> texts;
    for (HWND balloon : q.found) {
        HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE,
                                     FALSE, processOf(balloon));
        if (process == nullptr) {
            continue;
        }
        {
            // One block in the shell's process: the tool's record and the text it points to.
            struct Block {
                TTTOOLINFOW tool;
                wchar_t text[1024];
            };
            RemoteMemory scratch(process, sizeof(Block));
            Block b{};
            b.tool.cbSize = sizeof b.tool;
            b.tool.lpszText = reinterpret_cast<wchar_t*>(
                scratch.address() + static_cast<LPARAM>(offsetof(Block, text)));
            Block back{};
            if (scratch.valid() && scratch.write(&b, sizeof b) &&
                sendWaiting(balloon, TTM_ENUMTOOLSW, 0, scratch.address(), 5000) != 0 &&
                scratch.read(&back, sizeof back)) {
                back.text[1023] = L'\0';
                texts.emplace_back(back.text);
            }
        }
        CloseHandle(process);
    }
    return texts;
}

// The number of builds the menu window has run (its presenter's count); -1 when it does not
// answer.
inline long long buildsOf(HWND menu) {
    static const UINT message = RegisterWindowMessageW(kesk::win::msg::kBuildsName);
    DWORD_PTR result = 0;
    if (message == 0 ||
        SendMessageTimeoutW(menu, message, 0, 0, SMTO_ABORTIFHUNG, 10000, &result) == 0) {
        return -1;
    }
    return static_cast<long long>(result);
}

inline int listCount(HWND list) {
    return static_cast<int>(sendWaiting(list, LVM_GETITEMCOUNT, 0, 0));
}

// The image number entry `item` of another process's list view shows (I_IMAGENONE when it
// shows none); false when it could not be read. `scratch` lies in the list's process and
// holds at least one LVITEMW.
inline bool listItemImage(HWND list, RemoteMemory& scratch, int item, int& image) {
    LVITEMW lv{};
    lv.mask = LVIF_IMAGE;
    lv.iItem = item;
    if (!scratch.write(&lv, sizeof lv) ||
        sendWaiting(list, LVM_GETITEMW, 0, scratch.address()) == 0 ||
        !scratch.read(&lv, sizeof lv)) {
        return false;
    }
    image = lv.iImage;
    return true;
}

struct MemoryUse {
    double workingSetKiB = 0;
    double privateKiB = 0;
};

inline MemoryUse memoryOf(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc),
                             sizeof pmc) == FALSE) {
        return {};
    }
    // Wine leaves PrivateUsage at 0; the commit charge is the same figure on Windows.
    const SIZE_T own = pmc.PrivateUsage != 0 ? pmc.PrivateUsage : pmc.PagefileUsage;
    return {static_cast<double>(pmc.WorkingSetSize) / 1024.0, static_cast<double>(own) / 1024.0};
}

// The modules `process` has loaded, by lower-case file name with their image sizes in KiB;
// empty when they cannot be listed.
inline std::vector<std::pair<std::wstring, double>> modulesOf(HANDLE process) {
    std::vector<std::pair<std::wstring, double>> out;
    HMODULE modules[1024];
    DWORD needed = 0;
    if (EnumProcessModules(process, modules, sizeof modules, &needed) == FALSE) {
        return out;
    }
    const DWORD n = std::min<DWORD>(needed / sizeof(HMODULE), 1024);
    for (DWORD i = 0; i < n; ++i) {
        wchar_t name[MAX_PATH] = {};
        MODULEINFO info{};
        if (GetModuleBaseNameW(process, modules[i], name, MAX_PATH) == 0 ||
            GetModuleInformation(process, modules[i], &info, sizeof info) == FALSE) {
            continue;
        }
        std::wstring key = name;
        for (wchar_t& c : key) {
            c = static_cast<wchar_t>(towlower(c));
        }
        out.emplace_back(key, static_cast<double>(info.SizeOfImage) / 1024.0);
    }
    return out;
}

// Whether `process` has the module `name` (lower case, e.g. L"ole32.dll") loaded.
inline bool hasModule(HANDLE process, const std::wstring& name) {
    for (const auto& [loaded, kib] : modulesOf(process)) {
        if (loaded == name) {
            return true;
        }
    }
    return false;
}

} // namespace kesk::driver
