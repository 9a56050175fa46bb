// Whether paths exist and files can be opened, their stamps, and what stored
// path values are resolved against.
#include "win32/desktop_win32.h"

#include "support/appinfo.h"
#include "support/itempaths.h"
#include "win32/wtext.h"

#include <shlwapi.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace kesk::win {

namespace {

// What is known about network hosts. Asking a host that does not answer
// blocks the asking thread for as long as the network's own time-out (often
// more than 20 s), so each host is asked once, on a thread of its own that
// nobody waits for beyond the caller's limit; the answer is kept a while.
struct HostState {
    bool asking = false;
    bool answered = false;
    std::chrono::steady_clock::time_point at;
};

struct Hosts {
    std::mutex lock;
    std::condition_variable changed;
    std::map<std::string, HostState> known;
};

Hosts& hosts() {
    // Never destroyed: a probe still running at exit must find it.
    static Hosts* h = new Hosts;
    return *h;
}

constexpr std::chrono::minutes kKeepAnswered{5};
constexpr std::chrono::seconds kKeepSilent{30};

std::string hostKey(std::string host) {
    for (char& c : host) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return host;
}

void probeHost(const std::string& key, const std::wstring& share) {
    // Any answer, "no such share" or "access denied" included, shows the host is there;
    // the network's own failures say it is not.
    bool answered = GetFileAttributesW(share.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!answered) {
        switch (GetLastError()) {
        case ERROR_BAD_NETPATH:
        case ERROR_NETNAME_DELETED:
        case ERROR_SEM_TIMEOUT:
        case ERROR_NO_NETWORK:
        case ERROR_NETWORK_UNREACHABLE:
        case ERROR_HOST_UNREACHABLE:
            break;
        default:
            answered = true;
        }
    }
    Hosts& h = hosts();
    {
        const std::lock_guard guard(h.lock);
        HostState& s = h.known[key];
        s.asking = false;
        s.answered = answered;
        s.at = std::chrono::steady_clock::now();
    }
    h.changed.notify_all();
}

// "\\host\share" of a UNC path (its first two components).
std::string shareOf(const std::string& path) {
    std::string p = path;
    for (char& c : p) {
        c = c == '/' ? '\\' : c;
    }
    const std::size_t host = p.find('\\', 2);
    if (host == std::string::npos) {
        return p;
    }
    const std::size_t share = p.find('\\', host + 1);
    return share == std::string::npos ? p : p.substr(0, share);
}

} // namespace

bool Win32Desktop::canOpenForReading(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    try {
        // A directory cannot be opened this way (no backup semantics), so it counts as absent.
        // Sharing everything: a check must never make another program's save fail.
        HANDLE f = CreateFileW(widen(path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

std::string Win32Desktop::programFolder() {
    try {
        return fileio::withoutVerbatimPrefix(app::directory());
    } catch (...) {
        return {};
    }
}

std::optional<std::string> Win32Desktop::environmentVariable(const std::string& name) {
    try {
        const std::wstring wname = widen(name);
        std::wstring value(256, L'\0');
        for (int attempt = 0; attempt < 3; ++attempt) {
            SetLastError(ERROR_SUCCESS);
            const DWORD n = GetEnvironmentVariableW(wname.c_str(), value.data(),
                                                    static_cast<DWORD>(value.size()));
            if (n == 0) {
                if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                    return std::nullopt;
                }
                return std::string(); // set, but empty
            }
            if (n < value.size()) {
                value.resize(n);
                return narrow(value);
            }
            value.assign(n, L'\0'); // n counts the terminating NUL when the buffer was short
        }
        return std::nullopt; // changing under us: as if not set
    } catch (...) {
        return std::nullopt;
    }
}

bool Win32Desktop::hostAnswers(const std::string& path, std::int32_t waitMs) {
    try {
        const std::string host = paths::uncHost(path);
        if (host.empty()) {
            return true;
        }
        const std::string key = hostKey(host);
        Hosts& h = hosts();
        std::unique_lock guard(h.lock);
        HostState& s = h.known[key];
        const auto now = std::chrono::steady_clock::now();
        const bool fresh =
            s.at.time_since_epoch().count() != 0 &&
            now - s.at < (s.answered ? std::chrono::steady_clock::duration(kKeepAnswered)
                                     : std::chrono::steady_clock::duration(kKeepSilent));
        if (!s.asking && fresh) {
            return s.answered;
        }
        if (!s.asking) {
            s.asking = true;
            s.answered = false;
            s.at = now;
            try {
                std::thread(probeHost, key, widen(shareOf(path))).detach();
            } catch (...) {
                s.asking = false; // no thread: not known to answer, asked again next time
                return false;
            }
        }
        // Every caller's wait ends by the time the first ask is waitMs old: a silent host
        // costs a build one wait, not one per item.
        const auto deadline = s.at + std::chrono::milliseconds(std::max(0, waitMs));
        h.changed.wait_until(guard, deadline, [&h, &key] { return !h.known[key].asking; });
        const HostState& after = h.known[key];
        if (after.asking) {
            return false;
        }
        return after.answered;
    } catch (...) {
        return false;
    }
}

} // namespace kesk::win
