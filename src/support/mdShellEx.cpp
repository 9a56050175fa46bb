#include "support/mdShellEx.h"

#include "support/appinfo.h"

#include <algorithm>

namespace kesk {

namespace {

// Shell failures without a run-time error of their own are numbered in the
// component's range: 0x80040418 + r.
constexpr std::int32_t kShellErrorBase = static_cast<std::int32_t>(0x80040418u - 0x100000000ll);

struct ShellFailure {
    std::int32_t number; // 0: keep the component-range number
    const char* description;
};

ShellFailure shellFailure(std::int32_t r) noexcept {
    switch (r) {
    case 0:
    case 8:
        return {errnum::OutOfMemory, "Out of memory"};
    case 2:
        return {errnum::FileNotFound, "File not found"};
    case 3:
        return {errnum::PathNotFound, "Path not found"};
    case 5:
        return {errnum::PathFileAccess, "Path/file access error"};
    case 11:
        return {0, "The executable file is invalid or corrupt"};
    case 26:
        return {errnum::PathFileAccess, "A sharing violation occurred."};
    case 27:
        return {0, "This file type does not have a valid file association."};
    case 28:
        return {286, "The file could not be opened due to time out. Please try again in a moment."};
    case 29:
        return {285, "The file could not be opened because the DDE transaction failed. Please try "
                     "again in a moment."};
    case 30:
        return {285, "The file could not be opened because the target application is busy. "
                     "Please try again in a moment."};
    case 31:
        return {0, "No application is associated with this file type."};
    case 32:
        return {errnum::DllNotFound, "The specified dynamic-link library was not found."};
    default:
        return {0, "An error occurred occurred whilst trying to open or print the selected file."};
    }
}

bool containsExe(const std::string& file) noexcept {
    static constexpr char kExe[] = ".EXE";
    for (std::size_t i = 0; i + 4 <= file.size(); ++i) {
        bool match = true;
        for (std::size_t k = 0; k < 4 && match; ++k) {
            char c = file[i + k];
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
            match = c == kExe[k];
        }
        if (match) {
            return true;
        }
    }
    return false;
}

bool isSeparator(char c) noexcept {
    return c == '\\' || c == '/';
}

char foldedPathChar(char c) noexcept {
    if (c == '/') {
        return '\\';
    }
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The same path as the file system sees it: names without regard to case, either separator.
bool samePath(const std::string& a, const std::string& b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldedPathChar(a[i]) != foldedPathChar(b[i])) {
            return false;
        }
    }
    return true;
}

// How many leading characters name the root: "C:\" 3, "\\server\share" up to the
// separator after the share, "\" 1; 0 for a relative path.
std::size_t rootLength(const std::string& p) noexcept {
    if (p.size() >= 2 && isSeparator(p[0]) && isSeparator(p[1])) {
        std::size_t i = 2;
        for (int part = 0; part < 2; ++part) {
            while (i < p.size() && !isSeparator(p[i])) {
                ++i;
            }
            if (part == 0 && i < p.size()) {
                ++i;
            }
        }
        return i;
    }
    if (p.size() >= 2 && p[1] == ':') {
        return (p.size() >= 3 && isSeparator(p[2])) ? 3 : 2;
    }
    return (!p.empty() && isSeparator(p[0])) ? 1 : 0;
}

FileLocation locationOf(std::string path) {
    const std::size_t root = rootLength(path);
    while (path.size() > std::max<std::size_t>(root, 1) && isSeparator(path.back())) {
        path.pop_back();
    }
    if (path.size() <= root) {
        return FileLocation{path, {}};
    }
    const std::size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos || cut + 1 < root) {
        return FileLocation{{}, path};
    }
    // The folder keeps a drive root's separator ("C:\"), not any other one.
    return FileLocation{path.substr(0, std::max(cut, root)), path};
}

std::string errorSource() {
    return app::exeName() + ".ZOvava";
}

} // namespace

ErrorRecord shellErrorRecord(std::int32_t r) {
    const ShellFailure f = shellFailure(r);
    return ErrorRecord{f.number != 0 ? f.number : kShellErrorBase + r, errorSource(),
                       f.description};
}

bool isShortcut(const std::string& path) noexcept {
    static constexpr char kLnk[] = ".lnk";
    if (path.size() < 4) {
        return false;
    }
    for (std::size_t k = 0; k < 4; ++k) {
        if (foldedPathChar(path[path.size() - 4 + k]) != kLnk[k]) {
            return false;
        }
    }
    return true;
}

FileLocation fileLocationOf(const std::string& path, const std::optional<std::string>& linkTarget,
                            bool linkTargetExists) {
    if (isShortcut(path) && linkTarget && !linkTarget->empty() && linkTargetExists &&
        !samePath(*linkTarget, path)) {
        return locationOf(*linkTarget);
    }
    return locationOf(path);
}

std::string folderWindowParameters(const FileLocation& location) {
    // A quoted text must not end in a backslash, which would escape its closing quote: a drive
    // root ("C:\", no blanks possible) goes unquoted.
    const auto quoted = [](const std::string& p) {
        return (!p.empty() && isSeparator(p.back())) ? p : "\"" + p + "\"";
    };
    if (location.selected.empty()) {
        return quoted(location.folder);
    }
    return "/select," + quoted(location.selected);
}

namespace {

// Any path with ".exe" in it counts as a program, and a program gets show command 0 whenever
// parameters or a working directory come with it; the caller's show command reaches documents
// only, and without both the request always opens in a normal window.
std::int32_t showCommandFor(const std::string& file, std::int32_t showCommand,
                            const std::string& parameters, const std::string& workingDirectory) {
    if (parameters.empty() && workingDirectory.empty()) {
        return kShowNormal;
    }
    return containsExe(file) ? kShowHide : showCommand;
}

// The shell call itself failed: what went wrong, rather than a made-up shell code.
ErrorRecord callFailure(std::exception_ptr failure) noexcept {
    ErrorRecord error;
    skipOnError([&] {
        error = recordOf(failure);
        error.source = errorSource();
    });
    return error;
}

bool takeResult(std::intptr_t result, ErrorRecord* error) noexcept {
    // The full width of the result decides: on 64-bit Windows a success value
    // is never cut down to a failure code.
    if (result < 0 || result > 32) {
        return true;
    }
    if (error != nullptr) {
        const auto r = static_cast<std::int32_t>(result);
        ErrorRecord rec;
        if (!skipOnError([&] { rec = shellErrorRecord(r); })) {
            // Only memory exhaustion gets here; the number still tells the cause.
            const ShellFailure f = shellFailure(r);
            rec.number = f.number != 0 ? f.number : kShellErrorBase + r;
        }
        *error = std::move(rec);
    }
    return false;
}

// Tells `done`, if anyone listens; a listener's failure stays its own.
void tell(const ShellOpened& done, bool started, const ErrorRecord& error) noexcept {
    if (done) {
        skipOnError([&] { done(started, error); });
    }
}

} // namespace

bool shellOpenFile(ShellExecutor& shell, const std::string& file, std::int32_t showCommand,
                   const std::string& parameters, const std::string& workingDirectory,
                   const std::string& operation, OwnerHandle owner, ErrorRecord* error) noexcept {
    std::intptr_t result = 0;
    try {
        result = shell.execute(owner, operation, file, parameters, workingDirectory,
                               showCommandFor(file, showCommand, parameters, workingDirectory));
    } catch (...) {
        if (error != nullptr) {
            *error = callFailure(std::current_exception());
        }
        return false;
    }
    return takeResult(result, error);
}

void shellOpenFileThen(ShellExecutor& shell, const std::string& file, std::int32_t showCommand,
                       const std::string& parameters, const std::string& workingDirectory,
                       const std::string& operation, OwnerHandle owner, ShellOpened done) noexcept {
    try {
        shell.executeThen(owner, operation, file, parameters, workingDirectory,
                          showCommandFor(file, showCommand, parameters, workingDirectory),
                          [done](std::intptr_t result) {
                              // Never thrown back into the shell call: the request was taken.
                              ErrorRecord error;
                              const bool started = takeResult(result, &error);
                              tell(done, started, error);
                          });
    } catch (...) {
        tell(done, false, callFailure(std::current_exception()));
    }
}

} // namespace kesk
