// The process list, for the single-instance count.
#include "win32/desktop_win32.h"

#include "win32/wtext.h"

#include <tlhelp32.h>

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

} // namespace kesk::win
