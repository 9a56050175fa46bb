// Entry point of KeskVLM.exe: one process, one hidden main window, one UI thread.
#include <windows.h>

#include "menu/frmVelora.h"
#include "support/errors.h"
#include "win32/desktop_win32.h"
#include "win32/menu_view.h"
#include "win32/window.h"

#include <memory>

namespace {

constexpr wchar_t kMainClass[] = L"KeskVLM.frmMain";

// The hidden main window: it lives for the whole run, and closing it ends the program.
class MainWindow final : public kesk::win::Window {
  public:
    bool create(HINSTANCE instance) {
        if (!registerClass(kMainClass, CS_HREDRAW | CS_VREDRAW, nullptr,
                           LoadIconW(instance, MAKEINTRESOURCEW(1)))) {
            return false;
        }
        // A tool window, so it never shows in the task list.
        return Window::create(WS_EX_TOOLWINDOW, kMainClass, L"KeskVLM", WS_OVERLAPPEDWINDOW,
                              CW_USEDEFAULT, CW_USEDEFAULT, 320, 200, nullptr) != nullptr;
    }

  protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        switch (msg) {
        case WM_CLOSE:
            DestroyWindow(hwnd());
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return defaultProc(msg, wParam, lParam);
        }
    }
};

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

    MainWindow main;
    if (!main.create(instance)) {
        return 1;
    }

    // Until the start-up sequence takes this over, the program shows the menu at once, built
    // from the catalogue and the skin beside the executable. A failed build leaves what it
    // did; the program runs on either way.
    kesk::win::Win32Desktop desktop;
    kesk::frmVelora presenter(desktop);
    kesk::win::MenuView menu(presenter);
    if (menu.create(main.hwnd())) {
        kesk::guardEvent([&] {
            menu.load();
            ShowWindow(menu.hwnd(), SW_SHOWNOACTIVATE);
        });
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
