#pragma once
// Where this process loads DLLs from. The program imports only kernel32 and the C runtime
// directly; every other DLL is bound on first use, after the search has been limited here, so
// that nothing in the program's own folder (a Downloads folder, a shared stick) or in the
// current directory is ever loaded as a DLL.

namespace kesk::win {

enum class DllSearch {
    // Only the system folder (SetDefaultDllDirectories).
    SystemFolderOnly,
    // Windows 7 without the update that brought SetDefaultDllDirectories: the current directory
    // is left out, the standard order is kept otherwise.
    CurrentDirectoryDropped,
};

// The first thing the program does, before any DLL but kernel32 and the C runtime is loaded.
DllSearch restrictDllSearch() noexcept;

} // namespace kesk::win
