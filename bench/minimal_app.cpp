// The least a program of KeskVLM's kind holds under the same Windows: one window, four icon
// list views sharing an image list, and a tray icon. bench_responsiveness starts it and
// compares KeskVLM's memory at idle with its memory. It runs until its window is closed.
#ifdef _WIN32
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

namespace {

constexpr wchar_t kClass[] = L"KeskBench.Minimal";
constexpr UINT kTrayMessage = WM_APP + 1;

LRESULT CALLBACK minimalProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace

int main() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = minimalProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClass;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    if (RegisterClassW(&wc) == 0) {
        return 1;
    }
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, kClass, L"minimal", WS_POPUP, 0, 0, 640, 480,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    HIMAGELIST images = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 1, 16);
    const HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
    ImageList_AddIcon(images, icon);
    for (int k = 0; k < 4; ++k) {
        HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                    WS_CHILD | WS_VISIBLE | LVS_ICON | LVS_SHAREIMAGELISTS, k * 160,
                                    0, 160, 480, window, nullptr, instance, nullptr);
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
    }
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = window;
    nid.uID = 1;
    nid.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    nid.uCallbackMessage = kTrayMessage;
    nid.hIcon = icon;
    lstrcpynW(nid.szTip, L"minimal", ARRAYSIZE(nid.szTip));
    Shell_NotifyIconW(NIM_ADD, &nid);

    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    Shell_NotifyIconW(NIM_DELETE, &nid);
    ImageList_Destroy(images);
    return 0;
}
#else
#include <cstdio>

int main() {
    std::puts("bench_minimal_app is a Windows program; build it with a Windows preset");
    return 0;
}
#endif
