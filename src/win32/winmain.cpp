// Entry point of KeskVLM.exe: one process, one hidden main window, one UI thread.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

#include <string>

#include "support/appinfo.h"
#include "support/mdCompDateUpdate.h"
#include "win32/codepage_win32.h"
#include "win32/desktop_win32.h"
#include "win32/dll_search.h"
#include "win32/dpi.h"
#include "win32/folder_watch.h"
#include "win32/hotkey_window.h"
#include "win32/main_window.h"
#include "win32/menu_port.h"
#include "win32/wtext.h"

namespace {

// A system module the windows bind on first use, loaded now from the system folder; the
// reference is kept for the life of the process, as the binding would keep it.
void loadSystemModule(const wchar_t* name) noexcept {
    wchar_t folder[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return;
    }
    try {
        const std::wstring path = std::wstring(folder, n) + L"\\" + name;
        LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    } catch (...) {
        // No memory for a path: the module is bound on first use instead.
    }
}

// What the windows load on first use (the shell for the tray icon, the common controls for
// the menu's lists, GDI's blending), loaded before the first window exists: once the windows
// exist, their thread answers at once.
void loadModulesBeforeWindows() noexcept {
    loadSystemModule(L"shell32.dll");
    loadSystemModule(L"msimg32.dll");
    // Version 6, found through the manifest's activation context, as the lists want it.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything binds a DLL beyond kernel32 and the C runtime: from here on, DLLs come
    // from the system folder only, never from the program's folder or the current directory.
    kesk::win::restrictDllSearch();
    // The manifest has normally made the process DPI aware already; this covers a copy whose
    // manifest was lost or overridden.
    kesk::win::enableDpiAwareness();
    kesk::win::installSystemCodePage(); // files without a byte order mark are in it
    // OLE (the drop targets) loads its modules and starts its threads here, before the first
    // window: once the windows exist, their thread answers at once from the start.
    const bool ole = SUCCEEDED(OleInitialize(nullptr));
    loadModulesBeforeWindows();

    // The window's thread reads a picture only now and then: it keeps no decoder at idle.
    kesk::win::Win32Desktop desktop(kesk::win::DecoderUse::PerPicture);
    kesk::win::MenuPort menu(desktop);
    // The build date is stamped on every start; its text is not used.
    kesk::win::MainWindow main(desktop, menu, [] { kesk::updateCompDate(); });
    if (!main.create(LoadIconW(instance, MAKEINTRESOURCEW(1)))) {
        return 1;
    }
    menu.setOwner(main.hwnd());
    menu.setLater([&main](std::function<void()> step) { main.later(std::move(step)); });
    menu.setSaveFailedReport(
        [&main](const std::string& folder) { main.presenter().saveFailed(folder); });
    // The hotkey shows the menu, on the monitor under the pointer, or hides it.
    kesk::win::HotkeyWindow hotkey(
        [&main] { main.presenter().hotkey_Pressed(); },
        [&main](const std::string& combination) { main.presenter().hotkeyRefused(combination); });
    menu.setHotkeyReport([&hotkey](const std::string& combination) { hotkey.apply(combination); });
    // The whole start-up; a second copy ends the process inside it.
    main.load();

    // Edits that other programs make to the catalogue or the skin show without a refresh.
    const std::wstring folder = kesk::win::widen(kesk::app::directory());
    kesk::win::FolderWatch watch;
    watch.start({folder, folder + L"\\skin"}, [&menu] { return menu.outsideChange(); });

    // The shut-down ends the process from inside a handler; this loop only
    // returns if the thread is told to quit some other way. Between messages it waits on the
    // folder watch too.
    MSG msg{};
    for (bool quit = false; !quit;) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                break;
            }
            // The menu sees its keys first, as a dialog does.
            if (menu.view() != nullptr && menu.view()->translateKey(msg)) {
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (!quit) {
            watch.wait(INFINITE);
        }
    }
    if (ole) {
        OleUninitialize();
    }
    return static_cast<int>(msg.wParam);
}
