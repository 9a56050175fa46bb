#include "support/appinfo.h"

#include <mutex>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include "win32/wtext.h"

#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kesk::app {

namespace {

struct Overrides {
    std::mutex lock;
    std::string directory;
    std::string exeName;
};

Overrides& overrides() {
    static Overrides o;
    return o;
}

// Full path of the running executable, UTF-8; empty if the system will not say.
std::string executablePath() {
#ifdef _WIN32
    // The path can be longer than MAX_PATH; GetModuleFileNameW truncates
    // silently and says so only by filling the whole buffer.
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) {
            return {};
        }
        if (n < buf.size()) {
            return win::narrow(std::wstring_view(buf.data(), n));
        }
        if (buf.size() >= 32768 * 2) {
            return {};
        }
        buf.resize(buf.size() * 2);
    }
#else
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<std::size_t>(n) < buf.size()) {
            return std::string(buf.data(), static_cast<std::size_t>(n));
        }
        if (buf.size() >= 65536) {
            return {};
        }
        buf.resize(buf.size() * 2);
    }
#endif
}

std::size_t lastSeparator(std::string_view path) {
#ifdef _WIN32
    return path.find_last_of("\\/");
#else
    return path.find_last_of('/');
#endif
}

} // namespace

std::string directory() {
    {
        auto& o = overrides();
        const std::lock_guard guard(o.lock);
        if (!o.directory.empty()) {
            return o.directory;
        }
    }
    const std::string path = executablePath();
    const auto sep = lastSeparator(path);
    if (sep == std::string::npos) {
        return {};
    }
    // A program in a drive's root keeps no trailing separator ("C:"), so that
    // directory() + "\velora.ini" stays a valid path everywhere.
    return path.substr(0, sep);
}

std::string exeName() {
    {
        auto& o = overrides();
        const std::lock_guard guard(o.lock);
        if (!o.exeName.empty()) {
            return o.exeName;
        }
    }
    const std::string path = executablePath();
    const auto sep = lastSeparator(path);
    std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name;
}

void overrideForTests(const std::string& dir, const std::string& exeBaseName) {
    auto& o = overrides();
    const std::lock_guard guard(o.lock);
    o.directory = dir;
    o.exeName = exeBaseName;
}

} // namespace kesk::app
