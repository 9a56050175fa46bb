#include "platform/fileio.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <utility>

#ifdef _WIN32
#include "win32/wtext.h"

#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kesk::fileio {

namespace {

std::mutex hookMutex;
std::function<bool(WriteStep)> stepHook;

bool stepDone(WriteStep step) {
    std::function<bool(WriteStep)> hook;
    {
        std::lock_guard<std::mutex> lock(hookMutex);
        hook = stepHook;
    }
    return !hook || hook(step);
}

std::atomic<unsigned> tempCounter{0};

// 100-ns ticks between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kUnixEpochTicks = 116444736000000000LL;

#ifdef _WIN32

using win::narrow;
using win::widen;

std::int64_t ticksOf(const FILETIME& ft) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) |
                                     ft.dwLowDateTime);
}

struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    Handle() = default;
    explicit Handle(HANDLE v) : h(v) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { close(); }
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
    void close() {
        if (ok()) {
            CloseHandle(h);
            h = INVALID_HANDLE_VALUE;
        }
    }
    HANDLE release() { return std::exchange(h, INVALID_HANDLE_VALUE); }
};

#else

std::int64_t ticksOf(const struct timespec& ts) {
    return kUnixEpochTicks + static_cast<std::int64_t>(ts.tv_sec) * 10000000LL +
           static_cast<std::int64_t>(ts.tv_nsec) / 100;
}

struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int v) : fd(v) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { close(); }
    bool ok() const { return fd >= 0; }
    int close() {
        int rc = 0;
        if (fd >= 0) {
            rc = ::close(fd);
            fd = -1;
        }
        return rc;
    }
    int release() { return std::exchange(fd, -1); }
};

#endif

// Appended to the target's name: the temporary file lives beside its target,
// on the same volume, so the final rename cannot turn into a copy.
std::string tempSuffix() {
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    return ".~" + std::to_string(pid) + "-" + std::to_string(tempCounter.fetch_add(1)) + ".tmp";
}

} // namespace

void setWriteStepHookForTests(std::function<bool(WriteStep)> hook) {
    std::lock_guard<std::mutex> lock(hookMutex);
    stepHook = std::move(hook);
}

std::int64_t nowTicks() {
    const auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return kUnixEpochTicks + since1970.count() / 100;
}

namespace {

constexpr std::size_t kPlainPathLimit = 260; // UTF-16 units, with the terminating NUL

std::size_t utf16Units(std::string_view utf8) {
    std::size_t units = 0;
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if ((b & 0xC0) != 0x80) {
            units += (b & 0xF8) == 0xF0 ? 2 : 1; // a 4-byte sequence is a surrogate pair
        }
    }
    return units;
}

bool equalsAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

// A name the plain form reads differently from what it is: one that ends in a
// dot or a space loses them, "." and ".." climb, a device name is the device.
bool plainFormChanges(std::string_view name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ') {
        return true;
    }
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.remove_suffix(1);
    }
    for (const char* device : {"con", "prn", "aux", "nul"}) {
        if (equalsAscii(stem, device)) {
            return true;
        }
    }
    return stem.size() == 4 &&
           (equalsAscii(stem.substr(0, 3), "com") || equalsAscii(stem.substr(0, 3), "lpt")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

bool everyNamePlain(std::string_view names) {
    while (!names.empty()) {
        const std::size_t end = names.find('\\');
        if (plainFormChanges(names.substr(0, end))) {
            return false;
        }
        if (end == std::string_view::npos) {
            break;
        }
        names.remove_prefix(end + 1);
        if (names.empty()) {
            break; // a root's closing separator
        }
    }
    return true;
}

} // namespace

std::string withoutVerbatimPrefix(const std::string& path) {
    const std::string_view p(path);
    constexpr std::string_view verbatim = "\\\\?\\";
    constexpr std::string_view unc = "UNC\\";
    if (p.size() <= verbatim.size() || p.substr(0, verbatim.size()) != verbatim) {
        return path;
    }
    const std::string_view rest = p.substr(verbatim.size());
    std::string plain;
    std::string_view names;
    if (equalsAscii(rest.substr(0, unc.size()), unc) && rest.size() > unc.size()) {
        plain = "\\\\" + std::string(rest.substr(unc.size()));
        names = rest.substr(unc.size());
    } else if (rest.size() >= 2 && rest[1] == ':' &&
               ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z')) &&
               (rest.size() == 2 || rest[2] == '\\')) {
        plain = std::string(rest);
        names = rest.size() > 3 ? rest.substr(3) : std::string_view();
    } else {
        return path; // a volume by its GUID has no other name
    }
    if (utf16Units(plain) + 1 > kPlainPathLimit || !everyNamePlain(names)) {
        return path;
    }
    return plain;
}

#ifdef _WIN32

namespace {

// The file system's own change time (set by every write and every change of
// the file's data or attributes, and not settable by ordinary tools the way
// the modification time is) is reachable without opening the file only
// through the native query of a file's attributes.
struct NetworkOpenInfo {
    LARGE_INTEGER creationTime;
    LARGE_INTEGER lastAccessTime;
    LARGE_INTEGER lastWriteTime;
    LARGE_INTEGER changeTime;
    LARGE_INTEGER allocationSize;
    LARGE_INTEGER endOfFile;
    ULONG fileAttributes;
};

struct NtUnicodeString {
    USHORT length;
    USHORT maximumLength;
    PWSTR buffer;
};

struct NtObjectAttributes {
    ULONG length;
    HANDLE rootDirectory;
    NtUnicodeString* objectName;
    ULONG attributes;
    PVOID securityDescriptor;
    PVOID securityQualityOfService;
};

using DosPathToNtFn = BOOLEAN(WINAPI*)(PCWSTR, NtUnicodeString*, PWSTR*, PVOID);
using QueryFullAttributesFn = LONG(WINAPI*)(NtObjectAttributes*, NetworkOpenInfo*);
using FreeUnicodeStringFn = VOID(WINAPI*)(NtUnicodeString*);

struct NativeQuery {
    DosPathToNtFn toNt = nullptr;
    QueryFullAttributesFn query = nullptr;
    FreeUnicodeStringFn release = nullptr;
    bool ok() const { return toNt != nullptr && query != nullptr && release != nullptr; }
};

template <class F> F ntdllFunction(const char* name) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, name)));
}

const NativeQuery& nativeQuery() {
    static const NativeQuery q{ntdllFunction<DosPathToNtFn>("RtlDosPathNameToNtPathName_U"),
                               ntdllFunction<QueryFullAttributesFn>("NtQueryFullAttributesFile"),
                               ntdllFunction<FreeUnicodeStringFn>("RtlFreeUnicodeString")};
    return q;
}

constexpr ULONG kObjCaseInsensitive = 0x40;

// Nothing when the query is not available or fails for a reason other than
// the file's absence; the caller then asks the documented way.
std::optional<std::optional<FileStamp>> nativeStat(const std::wstring& path) {
    const NativeQuery& q = nativeQuery();
    if (!q.ok() || path.empty()) {
        return std::nullopt;
    }
    NtUnicodeString ntPath{};
    if (!q.toNt(path.c_str(), &ntPath, nullptr, nullptr)) {
        return std::nullopt;
    }
    NtObjectAttributes oa{sizeof(NtObjectAttributes), nullptr, &ntPath,
                          kObjCaseInsensitive,        nullptr, nullptr};
    NetworkOpenInfo info{};
    const LONG status = q.query(&oa, &info);
    q.release(&ntPath);
    constexpr LONG kNotFound = static_cast<LONG>(0xC0000034);     // object name not found
    constexpr LONG kPathNotFound = static_cast<LONG>(0xC000003A); // object path not found
    if (status == kNotFound || status == kPathNotFound) {
        return std::optional<FileStamp>{};
    }
    if (status < 0) {
        return std::nullopt;
    }
    if ((info.fileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::optional<FileStamp>{};
    }
    FileStamp s;
    s.size = static_cast<std::uint64_t>(info.endOfFile.QuadPart);
    s.modified = info.lastWriteTime.QuadPart;
    s.changed = info.changeTime.QuadPart;
    s.identity = static_cast<std::uint64_t>(info.creationTime.QuadPart);
    s.readOnly = (info.fileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    return std::optional<FileStamp>{s};
}

} // namespace

std::optional<FileStamp> stat(const std::string& path) {
    const std::wstring w = widen(path);
    if (auto native = nativeStat(w)) {
        return *native;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(w.c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    FileStamp s;
    s.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    s.modified = ticksOf(data.ftLastWriteTime);
    s.changed = ticksOf(data.ftCreationTime);
    s.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    return s;
}

std::optional<std::string> readAll(const std::string& path, std::uint64_t maxBytes) {
    Handle h(CreateFileW(widen(path).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.ok()) {
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h.h, &size) || size.QuadPart < 0 ||
        static_cast<std::uint64_t>(size.QuadPart) > maxBytes) {
        return std::nullopt;
    }
    std::string out;
    out.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t got = 0;
    while (got < out.size()) {
        DWORD chunk = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - got, 1u << 24));
        if (!ReadFile(h.h, out.data() + got, want, &chunk, nullptr)) {
            return std::nullopt;
        }
        if (chunk == 0) {
            break; // the file shrank while we read; what we have is what is there
        }
        got += chunk;
    }
    out.resize(got);
    return out;
}

namespace {

// Where an existing file or folder finally is, through every link on the way.
std::optional<std::wstring> finalPathOf(const std::wstring& path) {
    // No access asked: this opens what others hold locked too, and follows
    // links because FILE_FLAG_OPEN_REPARSE_POINT is not given.
    Handle h(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.ok()) {
        return std::nullopt;
    }
    std::wstring out(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD n = GetFinalPathNameByHandleW(h.h, out.data(), static_cast<DWORD>(out.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) {
            return std::nullopt;
        }
        if (n < out.size()) {
            out.resize(n);
            return widen(withoutVerbatimPrefix(narrow(out)));
        }
        out.assign(n, L'\0'); // n counts the terminating NUL when the buffer was short
    }
    return std::nullopt;
}

// The file a write must replace: for an existing path its final target, for a
// new file the final folder and the name. Nothing for a link that leads
// nowhere (dangling, a loop) or a folder that cannot be reached.
std::optional<std::wstring> writeTarget(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return finalPathOf(path); // the attributes are the link's own: it may still lead nowhere
    }
    const DWORD why = GetLastError();
    if (why != ERROR_FILE_NOT_FOUND) {
        return std::nullopt;
    }
    const std::size_t cut = path.find_last_of(L"\\/");
    const std::wstring folder = cut == std::wstring::npos ? L"." : path.substr(0, cut + 1);
    const std::wstring name = cut == std::wstring::npos ? path : path.substr(cut + 1);
    if (name.empty() || name == L"." || name == L"..") {
        return std::nullopt;
    }
    auto where = finalPathOf(folder);
    if (!where) {
        return std::nullopt;
    }
    if (where->empty() || (where->back() != L'\\' && where->back() != L'/')) {
        where->push_back(L'\\');
    }
    return *where + name;
}

} // namespace

bool writeAtomic(const std::string& path, std::string_view bytes) {
    const auto resolved = writeTarget(widen(path));
    if (!resolved) {
        return false;
    }
    const std::wstring& target = *resolved;
    const DWORD attrs = GetFileAttributesW(target.c_str());
    const bool exists = attrs != INVALID_FILE_ATTRIBUTES;
    if (exists && (attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        return false;
    }
    const std::wstring temp = target + widen(tempSuffix());
    Handle h(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr));
    if (!h.ok()) {
        return false;
    }
    auto abandon = [&] {
        h.close();
        DeleteFileW(temp.c_str());
        return false;
    };
    if (!stepDone(WriteStep::CreateTemp)) {
        return false; // as after a crash: the temporary file stays behind
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD wrote = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
        if (!WriteFile(h.h, bytes.data() + done, want, &wrote, nullptr) || wrote == 0) {
            return abandon();
        }
        done += wrote;
    }
    if (!stepDone(WriteStep::WriteData)) {
        return false;
    }
    if (!FlushFileBuffers(h.h)) {
        return abandon();
    }
    if (!stepDone(WriteStep::Flush)) {
        return false;
    }
    if (!CloseHandle(h.release())) {
        DeleteFileW(temp.c_str());
        return false;
    }
    if (!stepDone(WriteStep::Close)) {
        return false;
    }
    // ReplaceFileW keeps the target's attributes and security; a new file is a plain move.
    BOOL moved = FALSE;
    if (exists) {
        moved = ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                             nullptr, nullptr);
    }
    if (!moved) {
        moved = MoveFileExW(temp.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!moved) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return stepDone(WriteStep::Replace);
}

#else

std::optional<FileStamp> stat(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    FileStamp s;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.modified = ticksOf(st.st_mtim);
    s.changed = ticksOf(st.st_ctim);
    s.identity = static_cast<std::uint64_t>(st.st_ino);
    s.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    return s;
}

std::optional<std::string> readAll(const std::string& path, std::uint64_t maxBytes) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.ok()) {
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        return std::nullopt;
    }
    std::string out;
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::read(fd.fd, out.data() + got, out.size() - got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (n == 0) {
            break; // the file shrank while we read
        }
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return out;
}

namespace {

// The file a write must replace: for an existing path its final target, for a
// new file the final folder and the name. Nothing for a link that leads
// nowhere (dangling, a loop) or a folder that cannot be reached.
std::optional<std::string> writeTarget(const std::string& path) {
    struct stat own {};
    if (::lstat(path.c_str(), &own) == 0) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (real == nullptr) {
            return std::nullopt;
        }
        std::string out(real);
        std::free(real);
        return out;
    }
    if (errno != ENOENT) {
        return std::nullopt;
    }
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        return std::nullopt;
    }
    char* real = ::realpath(folder.c_str(), nullptr);
    if (real == nullptr) {
        return std::nullopt;
    }
    std::string out(real);
    std::free(real);
    if (out.empty() || out.back() != '/') {
        out.push_back('/');
    }
    return out + name;
}

} // namespace

bool writeAtomic(const std::string& path, std::string_view bytes) {
    const auto resolved = writeTarget(path);
    if (!resolved) {
        return false;
    }
    const std::string& target = *resolved;
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && (!S_ISREG(st.st_mode) || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)) {
        return false; // a rename would replace a read-only file; the platform refuses that
    }
    const std::string temp = target + tempSuffix();
    const mode_t mode = exists ? (st.st_mode & 07777) : 0666;
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!fd.ok()) {
        return false;
    }
    auto abandon = [&] {
        fd.close();
        ::unlink(temp.c_str());
        return false;
    };
    if (!stepDone(WriteStep::CreateTemp)) {
        return false; // as after a crash: the temporary file stays behind
    }
    if (exists) {
        (void)::fchmod(fd.fd, mode); // the umask must not narrow the file's permissions
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return abandon();
        }
        done += static_cast<std::size_t>(n);
    }
    if (!stepDone(WriteStep::WriteData)) {
        return false;
    }
    if (::fsync(fd.fd) != 0) {
        return abandon();
    }
    if (!stepDone(WriteStep::Flush)) {
        return false;
    }
    if (::close(fd.release()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    if (!stepDone(WriteStep::Close)) {
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const std::string dir = target.substr(0, target.find_last_of('/') + 1);
    Fd dfd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dfd.ok()) {
        (void)::fsync(dfd.fd);
    }
    return stepDone(WriteStep::Replace);
}

#endif

} // namespace kesk::fileio
