#include "support/mdFiles.h"

#ifdef _WIN32
#include "win32/wtext.h"

#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kesk {

void splitPath(std::string_view path, std::string& root, std::string& directory,
               std::string& fileName, std::string& baseName, std::string& extension) {
    // "\" and "." never occur inside a multi-byte UTF-8 sequence, so byte
    // positions are safe here.
    const auto p = path.rfind('\\');
    const bool network = path.substr(0, 2) == "\\\\";

    if (p != std::string_view::npos && network && p == 1) {
        // A bare server name: nothing but the root.
        root.assign(path);
        directory.clear();
        fileName.clear();
        baseName.clear();
        extension.clear();
        return;
    }

    if (p != std::string_view::npos) {
        directory.assign(path.substr(0, p));
        fileName.assign(path.substr(p + 1));
        const auto d = fileName.rfind('.');
        if (d != std::string::npos) {
            baseName.assign(fileName, 0, d);
            extension.assign(fileName, d + 1);
        } else {
            baseName = fileName;
            extension.clear();
        }
    } else {
        directory.assign(path);
        fileName.clear();
        baseName.clear();
        extension.clear();
    }

    if (directory.size() >= 2 && directory[0] == '\\' && directory[1] == '\\') {
        const auto c = directory.find('\\', 2);
        root = c == std::string::npos ? directory : directory.substr(0, c);
        return;
    }
    if (directory.size() == 2 && directory[1] == ':') {
        directory += '\\';
    }
    if (directory.size() >= 3 && directory[1] == ':' && directory[2] == '\\') {
        root = directory.substr(0, 2);
    }
}

bool fileExists(std::string_view path) noexcept {
    // An embedded NUL would silently shorten the name to another file's.
    if (path.empty() || path.find('\0') != std::string_view::npos) {
        return false;
    }
    try {
#ifdef _WIN32
        const std::wstring wide = win::widen(path);
        if (wide.empty()) {
            return false;
        }
        // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open. The
        // generous share mode asks only whether reading is possible now, not
        // whether others may keep the file open; a file held with share mode 0
        // still fails with a sharing violation.
        HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return false;
        }
        // Device names (CON, NUL, COM1, pipes) open too but are no files.
        const bool isFile = GetFileType(h) == FILE_TYPE_DISK;
        CloseHandle(h);
        return isFile;
#else
        const std::string name(path);
        // O_NONBLOCK: a FIFO must not hang the menu's build.
        const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        struct stat st {};
        const bool isFile = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        close(fd);
        return isFile;
#endif
    } catch (...) {
        return false;
    }
}

std::filesystem::path pathFromUtf8(std::string_view utf8) {
#ifdef _WIN32
    return std::filesystem::path(win::widen(utf8));
#else
    return std::filesystem::path(std::string(utf8));
#endif
}

} // namespace kesk
