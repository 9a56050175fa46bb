// Start-up and response of the whole program, measured from outside on a
// desktop with a taskbar, each against a baseline taken in the same run:
//   - process start to tray icon ready, against a bare process start of the
//     system's command interpreter (cmd /c exit) to its end;
//   - a click on the taskbar button to the menu window visible, against a
//     message round trip to the program's main window;
//   - the working set at idle, against the command interpreter idling.
#ifdef _WIN32
#include <windows.h>

#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

fs::path exeDir() {
    std::wstring buf(MAX_PATH, L'\0');
    buf.resize(GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size())));
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
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
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

bool trayIconPresent(HWND owner) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = owner;
    nid.uID = 1;
    return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

PROCESS_INFORMATION start(const std::wstring& commandLine, const fs::path& dir) {
    std::wstring cmd = commandLine;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                       dir.empty() ? nullptr : dir.c_str(), &si, &pi) == FALSE) {
        pi = PROCESS_INFORMATION{};
    }
    return pi;
}

void finish(PROCESS_INFORMATION& pi) {
    if (pi.hProcess == nullptr) {
        return;
    }
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(pi.hProcess, 0);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    pi = PROCESS_INFORMATION{};
}

double workingSetKiB(HANDLE process) {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    return GetProcessMemoryInfo(process, &pmc, sizeof pmc) != FALSE
               ? static_cast<double>(pmc.WorkingSetSize) / 1024.0
               : 0.0;
}

fs::path stage() {
    const fs::path dir = fs::temp_directory_path() / "kesk-bench-startup";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path bin = exeDir();
    fs::copy_file(bin / "KeskVLM.exe", dir / "KeskVLM.exe");
    std::error_code ec;
    fs::copy_file(bin / "velora.ini", dir / "velora.ini", ec);
    fs::copy_file(bin / "notFound.ico", dir / "notFound.ico", ec);
    fs::copy(bin / "skin", dir / "skin", fs::copy_options::recursive, ec);
    return dir;
}

} // namespace

int main() {
    if (FindWindowW(L"Shell_TrayWnd", L"") == nullptr) {
        std::puts("no taskbar: run this on a desktop with one");
        return 1;
    }
    const fs::path dir = stage();
    const std::wstring program = L"\"" + (dir / "KeskVLM.exe").wstring() + L"\"";
    constexpr int kStarts = 5;
    constexpr int kClicks = 40;

    std::vector<double> bare;
    std::vector<double> ready;
    std::vector<double> roundTrip;
    std::vector<double> click;
    double idleOurs = 0;
    double idleBare = 0;
    for (int run = 0; run < kStarts; ++run) {
        // Baseline: a bare process start of the command interpreter to its end.
        Clock::time_point t0 = Clock::now();
        PROCESS_INFORMATION b = start(L"cmd.exe /c exit", {});
        if (b.hProcess != nullptr) {
            WaitForSingleObject(b.hProcess, 30000);
            bare.push_back(msSince(t0));
        }
        finish(b);

        t0 = Clock::now();
        PROCESS_INFORMATION p = start(program, dir);
        HWND main = nullptr;
        while (msSince(t0) < 30000) {
            main = topWindow(p.dwProcessId, L"KeskVLM.frmMain");
            if (main != nullptr && trayIconPresent(main)) {
                break;
            }
            main = nullptr;
            Sleep(1);
        }
        if (main == nullptr) {
            std::puts("the program did not get ready");
            finish(p);
            return 1;
        }
        ready.push_back(msSince(t0));

        // The button comes right after the icon in the start-up.
        HWND button = nullptr;
        t0 = Clock::now();
        while (button == nullptr && msSince(t0) < 10000) {
            button = topWindow(p.dwProcessId, L"KeskVLM.picStartBtn", true);
            Sleep(1);
        }
        if (run == 0 && button != nullptr) {
            // The pointer rests on the button, as after a real click, so the
            // auto-hide leaves the shown menu alone.
            RECT r{};
            GetWindowRect(button, &r);
            SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
            for (int i = 0; i < kClicks; ++i) {
                DWORD_PTR ignored = 0;
                t0 = Clock::now();
                SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
                roundTrip.push_back(msSince(t0));

                const bool wasVisible =
                    topWindow(p.dwProcessId, L"KeskVLM.frmVelora", true) != nullptr;
                t0 = Clock::now();
                PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
                PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
                while (msSince(t0) < 5000 && (topWindow(p.dwProcessId, L"KeskVLM.frmVelora",
                                                        true) != nullptr) == wasVisible) {
                    Sleep(0);
                }
                if (!wasVisible) {
                    click.push_back(msSince(t0));
                }
            }
            // Idle: the menu hidden, two seconds of nothing.
            if (topWindow(p.dwProcessId, L"KeskVLM.frmVelora", true) != nullptr) {
                PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
                PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
            }
            PROCESS_INFORMATION idle = start(L"cmd.exe /c pause", {});
            Sleep(2000);
            idleOurs = workingSetKiB(p.hProcess);
            idleBare = workingSetKiB(idle.hProcess);
            finish(idle);
        }
        PostMessageW(main, WM_CLOSE, 0, 0);
        WaitForSingleObject(p.hProcess, 10000);
        finish(p);
    }

    const double mb = median(bare), mr = median(ready), mt = median(roundTrip), mc = median(click);
    std::printf("%-34s %10s %10s %8s\n", "measure (median)", "baseline", "KeskVLM", "ratio");
    std::printf("%-34s %8.1fms %8.1fms %8.2f\n", "start to tray icon ready", mb, mr, mr / mb);
    std::printf("%-34s %8.2fms %8.2fms %8.2f\n", "click to menu visible", mt, mc, mc / mt);
    std::printf("%-34s %7.0fKiB %7.0fKiB %8.2f\n", "working set at idle", idleBare, idleOurs,
                idleBare > 0 ? idleOurs / idleBare : 0.0);
    std::printf("(%d starts, %zu shows, %zu round trips)\n", kStarts, click.size(),
                roundTrip.size());
    return 0;
}
#else
#include <cstdio>

int main() {
    std::puts("bench_startup measures the Windows program; build it with a Windows preset");
    return 0;
}
#endif
