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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../tests/support/kesk_driver.h"

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

using kesk::driver::endProcess;
using kesk::driver::exeDir;
using kesk::driver::topWindow;
using kesk::driver::trayIconPresent;

PROCESS_INFORMATION start(const std::wstring& commandLine, const fs::path& dir) {
    return kesk::driver::startProcess(commandLine, dir, CREATE_NO_WINDOW);
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
        endProcess(b);

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
            endProcess(p);
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
            endProcess(idle);
        }
        PostMessageW(main, WM_CLOSE, 0, 0);
        WaitForSingleObject(p.hProcess, 10000);
        endProcess(p);
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
