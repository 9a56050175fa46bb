#include "win32/dll_search.h"

#include <delayimp.h>

#include <cstring>

namespace kesk::win {

namespace {
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD flags);

FARPROC WINAPI onDelayLoad(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary || info == nullptr) {
        return nullptr;
    }
    if (const HMODULE module = loadDelayedFromSystemFolder(info->szDll)) {
        return reinterpret_cast<FARPROC>(module);
    }
    if (info->szDll != nullptr && lstrcmpiA(info->szDll, "comctl32.dll") == 0) {
        return nullptr; // the standard load, which the activation context redirects
    }
    // Not in the system folder: fail as the loader does for a DLL it cannot find, rather than
    // let the standard order look beside the program.
    ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
    RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
    return nullptr;
}
} // namespace

HMODULE loadDelayedFromSystemFolder(const char* name) noexcept {
    if (name == nullptr || lstrcmpiA(name, "comctl32.dll") == 0) {
        return nullptr;
    }
    const std::size_t length = std::strlen(name);
    if (length == 0 || length > 64 || std::strpbrk(name, "\\/:") != nullptr) {
        return nullptr;
    }
    wchar_t path[MAX_PATH];
    const UINT folder = GetSystemDirectoryW(path, MAX_PATH);
    if (folder == 0 || folder + 1 + length >= MAX_PATH) {
        return nullptr;
    }
    path[folder] = L'\\';
    // Names in the delay-import table are ASCII.
    for (std::size_t i = 0; i <= length; ++i) {
        path[folder + 1 + i] = static_cast<wchar_t>(static_cast<unsigned char>(name[i]));
    }
    // By full path, and what it imports is looked for beside it first, not beside the program.
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

DllSearch restrictDllSearch() noexcept {
    // kernel32 is in every process before its first line runs; the function is looked up
    // because Windows 7 without KB2533623 lacks it, and a program importing it would not load.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto setDefault =
        kernel == nullptr
            ? nullptr
            : reinterpret_cast<SetDefaultDllDirectoriesFn>(
                  reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    // Loads that ask for the standard order explicitly (LOAD_WITH_ALTERED_SEARCH_PATH, as some
    // system components do) leave the current directory out too.
    SetDllDirectoryW(L"");
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != 0) {
        return DllSearch::SystemFolderOnly;
    }
    // The program's own delayed DLLs then come from the system folder by full path.
    __pfnDliNotifyHook2 = onDelayLoad;
    return DllSearch::CurrentDirectoryDropped;
}

} // namespace kesk::win

// The delay-import descriptors of the delayed DLLs are gathered, in name order, from the
// sections ".text$2" of their import libraries (32 bytes each, 4-byte aligned on x86, 16 on x64);
// this empty one, sorted right after them and aligned no further, ends the table that the build
// points the program's delay-import directory at (cmake/pe-delay-directory.py).
__attribute__((section(".text$2z"), used, aligned(4)))
const unsigned char kesk_delay_import_table_end[32] = {};
