// A taskbar that shows up late, for the whole-program tests: a "Shell_TrayWnd" along the
// bottom of the screen with a "Button" start button at its left end, made the way a shell
// makes its own (created hidden and empty, the start button put in, then shown), and never
// announced with "TaskbarCreated".
//
//   fake_taskbar SECONDS      keeps the taskbar for that long (or until WM_CLOSE), then ends
//
// A press and release of the start button are counted in the window text of the taskbar
// ("clicks N"), so a test can tell whether a click reached the system start button.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

constexpr int kHeight = 30;
constexpr int kStartWidth = 64;
int clicks = 0;

LRESULT CALLBACK taskbarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            ++clicks;
            // The title stays empty: a shell's taskbar has none. The count goes on the
            // start button's neighbour instead.
            if (HWND count = GetDlgItem(hwnd, 2)) {
                SetWindowTextW(count, (L"clicks " + std::to_wstring(clicks)).c_str());
            }
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const long seconds = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 60;
    WNDCLASSW wc{};
    wc.lpfnWndProc = taskbarProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"Shell_TrayWnd";
    if (RegisterClassW(&wc) == 0) {
        return 1;
    }
    HWND taskbar =
        CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST, L"Shell_TrayWnd", L"",
                        WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    if (taskbar == nullptr) {
        return 1;
    }
    const int w = GetSystemMetrics(SM_CXSCREEN);
    const int h = GetSystemMetrics(SM_CYSCREEN);
    // The start button is the taskbar's first child, as the lookup expects.
    CreateWindowW(L"Button", L"Start", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, kStartWidth,
                  kHeight, taskbar, reinterpret_cast<HMENU>(1), wc.hInstance, nullptr);
    CreateWindowW(L"Static", L"clicks 0", WS_CHILD | WS_VISIBLE, kStartWidth + 8, 6, 120,
                  kHeight - 12, taskbar, reinterpret_cast<HMENU>(2), wc.hInstance, nullptr);
    // A moment between creating and showing, as a shell's start-up has.
    Sleep(300);
    SetWindowPos(taskbar, HWND_TOPMOST, 0, h - kHeight, w, kHeight,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);

    SetTimer(taskbar, 1, static_cast<UINT>(seconds > 0 ? seconds * 1000 : 60000), nullptr);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (m.message == WM_TIMER && m.hwnd == taskbar) {
            DestroyWindow(taskbar);
            continue;
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}
