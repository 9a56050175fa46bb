// The process list, for the single-instance count, and the shell's file window for "Open file
// location".
#include "win32/desktop_win32.h"

#include "support/mdShellEx.h"
#include "win32/wtext.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <mutex>
#include <optional>
#include <thread>

namespace kesk::win {

std::vector<std::string> Win32Desktop::processNames() {
    std::vector<std::string> names;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) {
        return names;
    }
    try {
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL ok = Process32FirstW(snap, &entry); ok != 0; ok = Process32NextW(snap, &entry)) {
            names.push_back(narrow(entry.szExeFile));
        }
    } catch (...) {
        // Whatever was listed before the failure.
    }
    CloseHandle(snap);
    return names;
}

namespace {

struct FolderWindow {
    std::mutex lock;
    std::wstring program; // empty: the system's
};

FolderWindow& folderWindow() {
    static FolderWindow f;
    return f;
}

// The system's file window is explorer.exe in the Windows folder (the system's, not a user's
// own on a terminal server), named in full so that no program of that name elsewhere on the
// search path is started instead.
std::wstring folderWindowProgram() {
    {
        FolderWindow& f = folderWindow();
        const std::lock_guard<std::mutex> guard(f.lock);
        if (!f.program.empty()) {
            return f.program;
        }
    }
    wchar_t dir[MAX_PATH + 1] = {};
    const UINT n = GetSystemWindowsDirectoryW(dir, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) {
        return L"explorer.exe";
    }
    return std::wstring(dir, n) + L"\\explorer.exe";
}

bool exists(const std::wstring& path) noexcept {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The path a shortcut file stores; none when the file cannot be read as a shortcut or names
// no file-system path. Only the file is read: no search for a target that moved, which can
// take long and ask the user.
std::optional<std::wstring> shortcutTarget(const std::wstring& path) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))) ||
        link == nullptr) {
        return std::nullopt;
    }
    std::optional<std::wstring> target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        file != nullptr) {
        if (SUCCEEDED(file->Load(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE))) {
            wchar_t buf[MAX_PATH + 1] = {};
            if (link->GetPath(buf, MAX_PATH + 1, nullptr, 0) == S_OK && buf[0] != L'\0') {
                target = std::wstring(buf);
            }
        }
        file->Release();
    }
    link->Release();
    return target;
}

void showLocationNow(const std::wstring& path) noexcept {
    try {
        // Gone since the command was offered: nothing to show, and nothing to tell.
        if (!exists(path)) {
            return;
        }
        const HRESULT com =
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        struct ComGuard {
            HRESULT hr;
            ~ComGuard() {
                if (SUCCEEDED(hr)) {
                    CoUninitialize();
                }
            }
        } comGuard{com};
        const std::string full = narrow(path);
        std::optional<std::string> linkTarget;
        bool linkTargetExists = false;
        if (isShortcut(full)) {
            if (const std::optional<std::wstring> t = shortcutTarget(path)) {
                linkTarget = narrow(*t);
                linkTargetExists = exists(*t);
            }
        }
        const std::wstring parameters =
            widen(folderWindowParameters(fileLocationOf(full, linkTarget, linkTargetExists)));
        ShellExecuteW(nullptr, L"open", folderWindowProgram().c_str(), parameters.c_str(), nullptr,
                      SW_SHOWNORMAL);
    } catch (...) {
        // A shell that cannot be started leaves the user where they were.
    }
}

} // namespace

void Win32Desktop::showFileLocation(const std::string& path) {
    try {
        std::thread(showLocationNow, widen(path)).detach();
    } catch (...) {
        // No thread: the command does nothing rather than hold the window.
    }
}

void setFolderWindowProgram(const std::wstring& program) {
    FolderWindow& f = folderWindow();
    const std::lock_guard<std::mutex> guard(f.lock);
    f.program = program;
}

} // namespace kesk::win
