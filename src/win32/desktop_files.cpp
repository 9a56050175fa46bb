// Whether paths exist and files can be opened, and their stamps.
#include "win32/desktop_win32.h"

#include "win32/wtext.h"

#include <shlwapi.h>

namespace kesk::win {

bool Win32Desktop::canOpenForReading(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    try {
        // A directory cannot be opened this way (no backup semantics), so it counts as absent.
        HANDLE f =
            CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) {
            return false;
        }
        CloseHandle(f);
        return true;
    } catch (...) {
        return false;
    }
}

bool Win32Desktop::pathExists(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    try {
        return PathFileExistsW(widen(path).c_str()) != 0;
    } catch (...) {
        return false;
    }
}

std::optional<fileio::FileStamp> Win32Desktop::fileStamp(const std::string& path) {
    try {
        return fileio::stat(path);
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace kesk::win
