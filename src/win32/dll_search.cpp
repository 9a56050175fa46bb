#include "win32/dll_search.h"

#include <windows.h>

namespace kesk::win {

namespace {
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD flags);
} // namespace

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
    return DllSearch::CurrentDirectoryDropped;
}

} // namespace kesk::win

// The delay-import descriptors of the delayed DLLs are gathered, in name order, from the
// sections ".text$2" of their import libraries; this empty one, sorted right after them, ends
// the table that the build points the program's delay-import directory at
// (cmake/pe-delay-directory.py).
__attribute__((section(".text$2z"), used, aligned(16)))
const unsigned char kesk_delay_import_table_end[32] = {};
