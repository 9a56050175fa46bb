// Finds, drives and measures a running KeskVLM from outside, the way a user's clicks reach it:
// through its windows. Used by the package tests and the soak test.
//
//   kesk_probe wait SECONDS              the main window exists
//   kesk_probe gone SECONDS              no main window exists (any more)
//   kesk_probe show-menu SECONDS         the menu window is shown (clicking the VLM button)
//   kesk_probe covers SECONDS            the VLM button covers the shown taskbar's start button
//   kesk_probe lists                     entries per group list, left to right: "lists 4 5 2 4"
//   kesk_probe close SECONDS             closes the main window; waits for the process to end
//   kesk_probe stats                     GDI and USER objects, handles and private memory
//   kesk_probe self-test                 the measuring of `stats`, checked on the probe itself
//   kesk_probe soak SHOWS REBUILDS LAUNCHES LAUNCH_CLASS CATALOGUE
//                                        drives the cycles; prints stats before, between and
//                                        after; LAUNCH_CLASS is the window class of what the
//                                        first entry starts, CATALOGUE the program's velora.ini
//
// Exit code 0 when the check holds, 1 when it does not, 2 on a wrong command line. Every
// line printed starts with "probe:" so scripts can pick them out of Wine's noise.
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "../support/kesk_driver.h"

namespace {

using kesk::driver::hasClass;
using kesk::driver::kButtonClass;
using kesk::driver::kMainClass;
using kesk::driver::kMenuClass;
using kesk::driver::windowAnywhere;

int failWith(const char* what) {
    std::printf("probe: FAIL %s\n", what);
    std::fflush(stdout);
    return 1;
}

template <class Pred> bool waitFor(double seconds, Pred pred) {
    return kesk::driver::waitFor(pred, static_cast<DWORD>(seconds * 1000.0));
}

BOOL CALLBACK collectLists(HWND hwnd, LPARAM lp) {
    if (hasClass(hwnd, L"SysListView32")) {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    }
    return TRUE;
}

// Entry counts of the group lists, ordered by their position from the left.
std::vector<long> listCounts(HWND menu) {
    std::vector<HWND> lists;
    EnumChildWindows(menu, collectLists, reinterpret_cast<LPARAM>(&lists));
    std::vector<std::pair<long, long>> byLeft;
    for (HWND l : lists) {
        RECT r{};
        GetWindowRect(l, &r);
        DWORD_PTR count = 0;
        SendMessageTimeoutW(l, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
        byLeft.emplace_back(r.left, static_cast<long>(count));
    }
    std::sort(byLeft.begin(), byLeft.end());
    std::vector<long> counts;
    for (const auto& p : byLeft) {
        counts.push_back(p.second);
    }
    return counts;
}

void clickButton(HWND button) {
    PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
}

// Toggles the menu as a click on the VLM button does. The button is always there: over the
// start button, in its own place without a taskbar, or switched off inside the main window
// (where a click still reaches it).
const char* toggleMenu() {
    if (HWND button = windowAnywhere(0, kButtonClass)) {
        clickButton(button);
        return "a click on the VLM button";
    }
    return "nothing";
}

bool menuVisible() {
    HWND menu = FindWindowW(kMenuClass, nullptr);
    return menu != nullptr && IsWindowVisible(menu);
}

struct Stats {
    long gdi = 0;
    long user = 0;
    long handles = 0;
    unsigned long long privateBytes = 0;
    long windows = 0;
    const char* gdiSource = "GetGuiResources";
    const char* userSource = "GetGuiResources";
};

struct WindowCount {
    DWORD pid;
    long count;
};

BOOL CALLBACK countChild(HWND hwnd, LPARAM lp) {
    auto* c = reinterpret_cast<WindowCount*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == c->pid) {
        ++c->count;
    }
    return TRUE;
}

// Top-level windows of the process and every child window anywhere (the button and the
// tray's window may live inside the taskbar, which belongs to another process).
BOOL CALLBACK countTop(HWND hwnd, LPARAM lp) {
    countChild(hwnd, lp);
    EnumChildWindows(hwnd, countChild, lp);
    return TRUE;
}

using NtQueryInformationProcessFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
using NtQuerySystemInformationFn = LONG(WINAPI*)(int, void*, ULONG, ULONG*);

template <class Fn> Fn ntdll(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

// One entry of the GDI handle table that the process environment block points to; Wine keeps
// that table in each process, Windows maps its shared one there.
struct GdiEntry {
    unsigned long long object;
    unsigned long owner;
    unsigned short unique;
    unsigned char type;
    unsigned char flags;
    unsigned long long user;
};
static_assert(sizeof(GdiEntry) == 24, "GDI table entries are 24 bytes on 64-bit Windows");
constexpr std::size_t kGdiTableEntries = 0x10000;

// Live GDI objects of the process: entries with a type. -1 when the table cannot be read
// (the layout below is that of 64-bit processes).
long gdiTableCount(HANDLE process, DWORD pid) {
    if (sizeof(void*) != 8) {
        return -1;
    }
    struct BasicInformation {
        void* reserved1;
        void* pebBaseAddress;
        void* reserved2[2];
        ULONG_PTR uniqueProcessId;
        void* reserved3;
    } info{};
    auto query = ntdll<NtQueryInformationProcessFn>("NtQueryInformationProcess");
    if (query == nullptr || query(process, 0, &info, sizeof info, nullptr) != 0) {
        return -1;
    }
    void* table = nullptr;
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, static_cast<char*>(info.pebBaseAddress) + 0xF8, &table,
                           sizeof table, &got) ||
        table == nullptr) {
        return -1;
    }
    std::vector<GdiEntry> entries(kGdiTableEntries);
    got = 0;
    ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(GdiEntry), &got);
    if (got == 0) {
        return -1;
    }
    long live = 0;
    for (std::size_t i = 0; i < got / sizeof(GdiEntry); ++i) {
        // Windows shares one table between processes: count only this process's entries.
        const unsigned owner = entries[i].owner & 0xFFFFu;
        if (entries[i].type != 0 && (owner == 0 || owner == (pid & 0xFFFFu))) {
            ++live;
        }
    }
    return live;
}

// Handles the process holds, from the system's handle list (GetProcessHandleCount does not
// answer for other processes under Wine).
long handleCount(DWORD pid) {
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT handle;
        void* object;
        ULONG access;
    };
    auto query = ntdll<NtQuerySystemInformationFn>("NtQuerySystemInformation");
    if (query == nullptr) {
        return -1;
    }
    std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(16 /* SystemHandleInformation */, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<LONG>(0xC0000004)) { // the list grew: try a larger buffer
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status != 0) {
            return -1;
        }
        ULONG count = 0;
        std::memcpy(&count, buffer.data(), sizeof count);
        const std::size_t first = sizeof(void*); // the count, padded to the entries' alignment
        const std::size_t fits = (buffer.size() - first) / sizeof(Entry);
        long mine = 0;
        for (std::size_t i = 0; i < std::min<std::size_t>(count, fits); ++i) {
            Entry e{};
            std::memcpy(&e, buffer.data() + first + i * sizeof(Entry), sizeof e);
            if (e.ownerPid == pid) {
                ++mine;
            }
        }
        return mine;
    }
    return -1;
}

// Committed private memory: what Windows reports as a process's private bytes.
unsigned long long privateBytes(HANDLE process) {
    unsigned long long total = 0;
    MEMORY_BASIC_INFORMATION mbi{};
    const char* address = nullptr;
    while (VirtualQueryEx(process, address, &mbi, sizeof mbi) == sizeof mbi) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) {
            total += mbi.RegionSize;
        }
        const char* next = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= address) {
            break;
        }
        address = next;
    }
    return total;
}

bool readStats(DWORD pid, Stats& out) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr) {
        return false;
    }
    out = Stats{};
    out.gdi = static_cast<long>(GetGuiResources(process, GR_GDIOBJECTS));
    out.user = static_cast<long>(GetGuiResources(process, GR_USEROBJECTS));
    if (out.gdi == 0) {
        out.gdi = gdiTableCount(process, pid);
        out.gdiSource = "handle-table";
    }
    out.handles = handleCount(pid);
    out.privateBytes = privateBytes(process);
    CloseHandle(process);
    WindowCount c{pid, 0};
    EnumWindows(countTop, reinterpret_cast<LPARAM>(&c));
    out.windows = c.count;
    if (out.user == 0) {
        out.user = out.windows;
        out.userSource = "windows";
    }
    return true;
}

void printStats(const char* label, const Stats& s) {
    std::printf("probe: %s gdi=%ld user=%ld handles=%ld private_kib=%llu windows=%ld"
                " (gdi from %s, user from %s)\n",
                label, s.gdi, s.user, s.handles, s.privateBytes / 1024, s.windows, s.gdiSource,
                s.userSource);
    std::fflush(stdout);
}

// The measuring itself, checked on this process: each new GDI object must count once.
int cmdSelfTest() {
    const DWORD pid = GetCurrentProcessId();
    Stats before;
    // The first reading sets up what the window enumeration needs; measure from the second.
    if (!readStats(pid, before) || !readStats(pid, before)) {
        return failWith("cannot read this process");
    }
    std::vector<HBRUSH> brushes;
    std::vector<HANDLE> events;
    for (int i = 0; i < 100; ++i) {
        brushes.push_back(CreateSolidBrush(RGB(i, 0, 0)));
        events.push_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    }
    std::vector<char*> blocks;
    for (int i = 0; i < 16; ++i) {
        auto* block = static_cast<char*>(
            VirtualAlloc(nullptr, 1 << 20, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        blocks.push_back(block);
    }
    Stats after;
    readStats(pid, after);
    printStats("self-before", before);
    printStats("self-after", after);
    for (HBRUSH b : brushes) {
        DeleteObject(b);
    }
    for (HANDLE e : events) {
        CloseHandle(e);
    }
    for (char* b : blocks) {
        VirtualFree(b, 0, MEM_RELEASE);
    }
    const bool gdiOk = after.gdi - before.gdi == 100;
    const bool handlesOk = after.handles - before.handles >= 100;
    const bool memoryOk = after.privateBytes - before.privateBytes >= 16ull << 20;
    std::printf("probe: self-test gdi %s, handles %s, private memory %s\n", gdiOk ? "ok" : "WRONG",
                handlesOk ? "ok" : "WRONG", memoryOk ? "ok" : "WRONG");
    return gdiOk && handlesOk && memoryOk ? 0 : 1;
}

DWORD mainPid() {
    HWND main = FindWindowW(kMainClass, nullptr);
    DWORD pid = 0;
    if (main != nullptr) {
        GetWindowThreadProcessId(main, &pid);
    }
    return pid;
}

double secondsArg(int argc, wchar_t** argv, int i, double fallback) {
    if (i < argc) {
        double v = std::wcstod(argv[i], nullptr);
        if (v > 0) {
            return v;
        }
    }
    return fallback;
}

long countArg(int argc, wchar_t** argv, int i) {
    return i < argc ? std::wcstol(argv[i], nullptr, 10) : 0;
}

int cmdShowMenu(double seconds) {
    if (FindWindowW(kMainClass, nullptr) == nullptr) {
        return failWith("no KeskVLM main window");
    }
    if (!menuVisible()) {
        toggleMenu();
    }
    if (!waitFor(seconds, menuVisible)) {
        return failWith("the menu window did not show");
    }
    std::printf("probe: menu shown\n");
    return 0;
}

// The VLM button lies over the start button of the taskbar the user sees, and is shown.
int cmdCovers(double seconds) {
    RECT b{};
    RECT s{};
    const bool covers = waitFor(seconds, [&] {
        HWND taskbar = kesk::driver::shownTaskbar();
        HWND start = taskbar != nullptr ? GetWindow(taskbar, GW_CHILD) : nullptr;
        HWND button = windowAnywhere(0, kButtonClass);
        if (start == nullptr || button == nullptr) {
            return false;
        }
        GetWindowRect(button, &b);
        GetWindowRect(start, &s);
        return IsWindowVisible(button) != FALSE && GetWindow(button, GW_OWNER) == taskbar &&
               EqualRect(&b, &s) != FALSE;
    });
    if (!covers) {
        std::printf("probe: FAIL the button (%ld,%ld)-(%ld,%ld) does not cover the start button "
                    "(%ld,%ld)-(%ld,%ld)\n",
                    b.left, b.top, b.right, b.bottom, s.left, s.top, s.right, s.bottom);
        return 1;
    }
    std::printf("probe: the button covers the start button\n");
    return 0;
}

int cmdLists() {
    HWND menu = FindWindowW(kMenuClass, nullptr);
    if (menu == nullptr) {
        return failWith("no menu window");
    }
    std::printf("probe: lists");
    for (long n : listCounts(menu)) {
        std::printf(" %ld", n);
    }
    std::printf("\n");
    return 0;
}

int cmdClose(double seconds) {
    HWND main = FindWindowW(kMainClass, nullptr);
    if (main == nullptr) {
        return failWith("no KeskVLM main window");
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    PostMessageW(main, WM_CLOSE, 0, 0);
    if (process == nullptr) {
        return waitFor(seconds, [] { return FindWindowW(kMainClass, nullptr) == nullptr; })
                   ? 0
                   : failWith("the main window stayed");
    }
    const DWORD waited = WaitForSingleObject(process, static_cast<DWORD>(seconds * 1000.0));
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (waited != WAIT_OBJECT_0) {
        return failWith("the process did not end");
    }
    std::printf("probe: ended with exit code %lu\n", static_cast<unsigned long>(code));
    return code == 0 ? 0 : 1;
}

int cmdStats() {
    DWORD pid = mainPid();
    Stats s;
    if (pid == 0 || !readStats(pid, s)) {
        return failWith("no KeskVLM process");
    }
    printStats("stats", s);
    return 0;
}

// A launch ends in a new process whose window class the caller names; each launched program
// is closed again so that only KeskVLM's own resources accumulate.
struct LaunchWatch {
    const wchar_t* cls;
    std::vector<HWND> found;
};

BOOL CALLBACK collectClass(HWND hwnd, LPARAM lp) {
    auto* w = reinterpret_cast<LaunchWatch*>(lp);
    if (hasClass(hwnd, w->cls)) {
        w->found.push_back(hwnd);
    }
    return TRUE;
}

std::vector<HWND> windowsOfClass(const wchar_t* cls) {
    LaunchWatch w{cls, {}};
    EnumWindows(collectClass, reinterpret_cast<LPARAM>(&w));
    return w.found;
}

// The list's first entry rectangle lives in the program's memory: ask for it through a buffer
// placed there. Falls back to a point near the list's top left corner.
POINT firstEntryCentre(HWND list) {
    POINT fallback{20, 12};
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                     PROCESS_QUERY_INFORMATION,
                                 FALSE, pid);
    if (process == nullptr) {
        return fallback;
    }
    void* remote =
        VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    RECT r{LVIR_BOUNDS, 0, 0, 0};
    POINT result = fallback;
    DWORD_PTR ok = 0;
    if (remote != nullptr && WriteProcessMemory(process, remote, &r, sizeof r, nullptr) &&
        SendMessageTimeoutW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(remote),
                            SMTO_ABORTIFHUNG, 2000, &ok) != 0 &&
        ok != 0 && ReadProcessMemory(process, remote, &r, sizeof r, nullptr)) {
        result = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    if (remote != nullptr) {
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return result;
}

bool launchFirstEntry(HWND menu, const wchar_t* launchClass, double seconds) {
    std::vector<HWND> lists;
    EnumChildWindows(menu, collectLists, reinterpret_cast<LPARAM>(&lists));
    if (lists.empty()) {
        return false;
    }
    std::sort(lists.begin(), lists.end(), [](HWND a, HWND b) {
        RECT ra{}, rb{};
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.left < rb.left;
    });
    // A click in the middle of the first entry of the first list: the list reports it to the
    // menu window as the user's click.
    HWND list = lists.front();
    const POINT at = firstEntryCentre(list);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    PostMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    std::vector<HWND> started;
    if (!waitFor(seconds, [&] {
            started = windowsOfClass(launchClass);
            return !started.empty();
        })) {
        return false;
    }
    for (HWND w : started) {
        PostMessageW(w, WM_CLOSE, 0, 0);
    }
    waitFor(seconds, [&] { return windowsOfClass(launchClass).empty(); });
    return true;
}

std::string readWhole(const wchar_t* path) {
    std::string data;
    if (FILE* f = _wfopen(path, L"rb")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) {
            data.append(buf, n);
        }
        std::fclose(f);
    }
    return data;
}

bool writeWhole(const wchar_t* path, const std::string& data) {
    FILE* f = _wfopen(path, L"wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

struct PanelSearch {
    HWND best;
    long bestArea;
};

// The entry's panel: the smallest visible panel of the menu window with the panel's shape
// (2730 by 2235 twips); the editor's and the groups' panels have other shapes.
BOOL CALLBACK findEntryPanel(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<PanelSearch*>(lp);
    RECT r{};
    if (!hasClass(hwnd, L"KeskVLM.Panel") || !IsWindowVisible(hwnd) || !GetClientRect(hwnd, &r)) {
        return TRUE;
    }
    const long w = r.right, h = r.bottom;
    const double shape = h > 0 ? static_cast<double>(w) / h : 0;
    if (shape > 1.15 && shape < 1.30 && (s->best == nullptr || w * h < s->bestArea)) {
        s->best = hwnd;
        s->bestArea = w * h;
    }
    return TRUE;
}

HWND entryPanel(HWND menu) {
    PanelSearch s{nullptr, 0};
    EnumChildWindows(menu, findEntryPanel, reinterpret_cast<LPARAM>(&s));
    return s.best;
}

std::vector<HWND> listsLeftToRight(HWND menu) {
    std::vector<HWND> lists;
    EnumChildWindows(menu, collectLists, reinterpret_cast<LPARAM>(&lists));
    std::sort(lists.begin(), lists.end(), [](HWND a, HWND b) {
        RECT ra{}, rb{};
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.left < rb.left;
    });
    return lists;
}

// "Refresh all" as the user reaches it: a right click on the first entry opens the entry's
// panel, a click on its third command rebuilds the menu. The click is sent, not posted, so the
// call returns when the build has run.
bool sendRebuild() {
    HWND menu = FindWindowW(kMenuClass, nullptr);
    if (menu == nullptr) {
        return false;
    }
    const std::vector<HWND> lists = listsLeftToRight(menu);
    if (lists.empty()) {
        return false;
    }
    const POINT at = firstEntryCentre(lists.front());
    PostMessageW(lists.front(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
    PostMessageW(lists.front(), WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    HWND panel = nullptr;
    if (!waitFor(5, [&] { return (panel = entryPanel(menu)) != nullptr; })) {
        return false;
    }
    RECT r{};
    GetClientRect(panel, &r);
    const double scale = r.right / 2730.0; // pixels per twip of the panel
    const LPARAM refresh = MAKELPARAM(static_cast<int>((120 + 2490 / 2) * scale),
                                      static_cast<int>((960 + 255 / 2) * scale));
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(panel, WM_LBUTTONDOWN, MK_LBUTTON, refresh, SMTO_ABORTIFHUNG, 10000,
                        &ignored);
    return SendMessageTimeoutW(panel, WM_LBUTTONUP, 0, refresh, SMTO_ABORTIFHUNG, 10000,
                               &ignored) != 0 &&
           waitFor(5, [&] { return !IsWindowVisible(panel); });
}

long entriesOfLastList() {
    HWND menu = FindWindowW(kMenuClass, nullptr);
    const std::vector<long> counts = menu != nullptr ? listCounts(menu) : std::vector<long>{};
    return counts.empty() ? -1 : counts.back();
}

// A rebuild message that nobody handles would count as done: prove that it reads the catalogue
// again by adding an entry to the last group, rebuilding, and taking it out again.
bool rebuildReadsCatalogue(const wchar_t* catalogue) {
    const std::string original = readWhole(catalogue);
    if (original.empty()) {
        return false;
    }
    const long before = entriesOfLastList();
    const std::string extra = "\r\n[SoakRebuildCheck]\r\nName=Soak check\r\nTarget=C:\\windows\r\n"
                              "Group=Scripts\r\n";
    bool ok = writeWhole(catalogue, original + extra) && sendRebuild() &&
              entriesOfLastList() == before + 1;
    ok = writeWhole(catalogue, original) && sendRebuild() && entriesOfLastList() == before && ok;
    return ok;
}

int cmdSoak(long shows, long rebuilds, long launches, const wchar_t* launchClass,
            const wchar_t* catalogue) {
    DWORD pid = mainPid();
    Stats before;
    if (pid == 0 || !readStats(pid, before)) {
        return failWith("no KeskVLM process");
    }
    printStats("before", before);
    bool complete = true;
    Stats warm; // the first checkpoint: Wine's and the program's one-time costs are paid
    bool warmTaken = false;
    const auto checkpoint = [&](const char* phase, long i, long total) {
        if (i % std::max(1L, total / 10) == 0) {
            Stats s;
            readStats(pid, s);
            if (!warmTaken) {
                warm = s;
                warmTaken = true;
            }
            const std::string label = std::string(phase) + "-" + std::to_string(i);
            printStats(label.c_str(), s);
        }
    };

    // Readings at every tenth of each phase show a trend apart from one-time costs.
    long shown = 0, hidden = 0;
    const char* route = "nothing";
    for (long i = 1; i <= shows; ++i) {
        route = toggleMenu();
        if (waitFor(5, menuVisible)) {
            ++shown;
        }
        toggleMenu();
        if (waitFor(5, [] { return !menuVisible(); })) {
            ++hidden;
        }
        checkpoint("show-hide", i, shows);
    }
    std::printf("probe: show/hide cycles %ld through %s: shown %ld, hidden %ld\n", shows, route,
                shown, hidden);
    complete = complete && shown == shows && hidden == shows;

    if (rebuilds > 0) {
        if (!menuVisible()) {
            toggleMenu();
            waitFor(5, menuVisible);
        }
        const bool real = catalogue != nullptr && rebuildReadsCatalogue(catalogue);
        std::printf("probe: a rebuild through \"Refresh all\" reads the catalogue again: %s\n",
                    real ? "yes" : "NO");
        complete = complete && real;
    }
    long rebuilt = 0;
    for (long i = 1; i <= rebuilds; ++i) {
        if (sendRebuild()) {
            ++rebuilt;
        }
        checkpoint("rebuild", i, rebuilds);
    }
    std::printf("probe: rebuilds %ld: done %ld\n", rebuilds, rebuilt);
    complete = complete && rebuilt == rebuilds;

    long launched = 0;
    for (long i = 1; i <= launches && launchClass != nullptr; ++i) {
        if (!menuVisible()) {
            toggleMenu();
            waitFor(5, menuVisible);
        }
        HWND menu = FindWindowW(kMenuClass, nullptr);
        if (menu != nullptr && launchFirstEntry(menu, launchClass, 10)) {
            ++launched;
        }
        checkpoint("launch", i, launches);
    }
    std::printf("probe: launches %ld: done %ld\n", launches, launched);
    complete = complete && launched == launches;
    Stats after;
    if (!readStats(pid, after)) {
        return failWith("KeskVLM ended during the soak");
    }
    printStats("after", after);
    std::printf("probe: growth gdi=%+ld user=%+ld handles=%+ld private_kib=%+lld\n",
                after.gdi - before.gdi, after.user - before.user, after.handles - before.handles,
                static_cast<long long>(after.privateBytes / 1024) -
                    static_cast<long long>(before.privateBytes / 1024));
    if (warmTaken) {
        std::printf("probe: growth after the first checkpoint gdi=%+ld user=%+ld handles=%+ld "
                    "private_kib=%+lld\n",
                    after.gdi - warm.gdi, after.user - warm.user, after.handles - warm.handles,
                    static_cast<long long>(after.privateBytes / 1024) -
                        static_cast<long long>(warm.privateBytes / 1024));
    }
    if (!complete) {
        return failWith("not every cycle was carried out");
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::printf(
            "probe: usage: kesk_probe wait|gone|show-menu|covers|lists|close|stats|soak ...\n");
        return 2;
    }
    const std::wstring cmd = argv[1];
    if (cmd == L"wait") {
        return waitFor(secondsArg(argc, argv, 2, 20),
                       [] { return FindWindowW(kMainClass, nullptr) != nullptr; })
                   ? (std::printf("probe: running\n"), 0)
                   : failWith("KeskVLM did not start");
    }
    if (cmd == L"gone") {
        return waitFor(secondsArg(argc, argv, 2, 20),
                       [] { return FindWindowW(kMainClass, nullptr) == nullptr; })
                   ? (std::printf("probe: not running\n"), 0)
                   : failWith("KeskVLM is still running");
    }
    if (cmd == L"show-menu") {
        return cmdShowMenu(secondsArg(argc, argv, 2, 20));
    }
    if (cmd == L"covers") {
        return cmdCovers(secondsArg(argc, argv, 2, 20));
    }
    if (cmd == L"lists") {
        return cmdLists();
    }
    if (cmd == L"close") {
        return cmdClose(secondsArg(argc, argv, 2, 20));
    }
    if (cmd == L"self-test") {
        return cmdSelfTest();
    }
    if (cmd == L"stats") {
        return cmdStats();
    }
    if (cmd == L"soak") {
        return cmdSoak(countArg(argc, argv, 2), countArg(argc, argv, 3), countArg(argc, argv, 4),
                       argc > 5 ? argv[5] : nullptr, argc > 6 ? argv[6] : nullptr);
    }
    std::printf("probe: unknown command\n");
    return 2;
}
