#pragma once
// Where this process loads DLLs from. The program imports only kernel32 and the C runtime
// directly; every other DLL is bound on first use, after the search has been limited here, so
// that nothing in the program's own folder (a Downloads folder, a shared stick) or in the
// current directory is ever loaded as a DLL.

#include <windows.h>

namespace kesk::win {

enum class DllSearch {
    // Only the system folder (SetDefaultDllDirectories).
    SystemFolderOnly,
    // Windows 7 without the update that brought SetDefaultDllDirectories: the current directory
    // is left out, and the program's delayed DLLs are loaded by their full path in the system
    // folder (loadDelayedFromSystemFolder).
    CurrentDirectoryDropped,
};

// The first thing the program does, before any DLL but kernel32 and the C runtime is loaded.
DllSearch restrictDllSearch() noexcept;

// How a delayed DLL is loaded where the search cannot be limited: `name` (as the program's
// delay-import table names it) from the system folder, by full path, and from nowhere else.
// nullptr for comctl32, whose version 6 the manifest's activation context finds by name only
// (the caller loads it by name), and for a name that is not a plain file name or a DLL the
// system folder lacks (the caller fails the load).
HMODULE loadDelayedFromSystemFolder(const char* name) noexcept;

} // namespace kesk::win
