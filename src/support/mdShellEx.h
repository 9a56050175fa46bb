#pragma once
// Starting things through the platform shell: the one way the program starts
// a program, a document or a folder.

#include "support/errors.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kesk {

// A window handle as an opaque number, so portable code can pass owners along.
using OwnerHandle = std::uintptr_t;

// Platform show commands used here.
inline constexpr std::int32_t kShowHide = 0;
inline constexpr std::int32_t kShowNormal = 1;
inline constexpr std::int32_t kShowDefault = 10;

// The platform shell's "open this" service. Texts are UTF-8; an empty text
// stands for "none". Returns the shell's result: above 32 (or negative) on
// success, a failure code 0 to 32 otherwise.
class ShellExecutor {
  public:
    using Done = std::function<void(std::intptr_t result)>;

    virtual ~ShellExecutor() = default;
    virtual std::intptr_t execute(OwnerHandle owner, const std::string& operation,
                                  const std::string& file, const std::string& parameters,
                                  const std::string& directory, std::int32_t showCommand) = 0;
    // As execute, where the shell may take its time (a program on a network path that does
    // not answer, an association slow to start) without holding the caller: `done` gets the
    // result afterwards, on the caller's thread. By default at once.
    virtual void executeThen(OwnerHandle owner, const std::string& operation,
                             const std::string& file, const std::string& parameters,
                             const std::string& directory, std::int32_t showCommand, Done done) {
        done(execute(owner, operation, file, parameters, directory, showCommand));
    }
};

// Hands `file` to the shell with `operation` ("open"). A file whose path
// contains ".exe" (any case) is started hidden when parameters or a working
// directory are given; without both it always opens in a normal window.
// Returns true when the shell took the request. On failure `error` (when
// given) receives the error record; nothing is thrown, whatever the shell does.
bool shellOpenFile(ShellExecutor& shell, const std::string& file, std::int32_t showCommand,
                   const std::string& parameters, const std::string& workingDirectory,
                   const std::string& operation, OwnerHandle owner,
                   ErrorRecord* error = nullptr) noexcept;

// shellOpenFile through executeThen: `done` hears whether the shell took the request and, when
// it did not, the error record. Nothing is thrown.
using ShellOpened = std::function<void(bool started, const ErrorRecord& error)>;
void shellOpenFileThen(ShellExecutor& shell, const std::string& file, std::int32_t showCommand,
                       const std::string& parameters, const std::string& workingDirectory,
                       const std::string& operation, OwnerHandle owner, ShellOpened done) noexcept;

// The error record for a shell failure code r (0 to 32): number and
// description from the shell-error table, source "<exe name>.ZOvava".
ErrorRecord shellErrorRecord(std::int32_t r);

// Where "Open file location" takes the user: the folder the shell's file window opens on and
// the entry it selects there (a full path; empty: the folder itself, nothing selected).
struct FileLocation {
    std::string folder;
    std::string selected;
    bool operator==(const FileLocation&) const = default;
};

// True for a shell shortcut file (a name ending in ".lnk", any case).
bool isShortcut(const std::string& path) noexcept;

// The location shown for the file or folder at `path`, a full path. A shortcut leads to its
// target when `linkTarget` names one that exists (`linkTargetExists`) and is not the shortcut
// itself; a broken, unreadable or self-pointing shortcut is shown in its own folder, so the
// command always ends somewhere. A drive or share root has no folder above it: it is opened
// itself.
FileLocation fileLocationOf(const std::string& path, const std::optional<std::string>& linkTarget,
                            bool linkTargetExists);

// The parameters that make the shell's file window show `location`.
std::string folderWindowParameters(const FileLocation& location);

} // namespace kesk
