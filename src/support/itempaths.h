#pragma once
// From a path value as the catalogue stores it to the path the program uses.
//
// Values are stored as the user wrote them and expanded only when used, so a
// catalogue moves with the program: "%USERPROFILE%\notes.txt" names each
// user's own file, and "%KESKDIR%" and relative paths name the program's own
// folder whatever drive letter a removable stick gets. A relative path is
// never taken against the current directory, which is wherever the program
// was started from (System32 when started at log-on).
//
// Some values must never reach the file system: a device name makes a check
// read from the device, "\\.\" and "\\?\" paths bypass every rule of path
// names, and "file:stream" opens an alternate stream the user never sees.
// Those are refused, as is a value that grows beyond what the platform can
// name or whose ".." climbs above its root; a refused value shows its item as
// missing.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kesk {
class Desktop;
}

namespace kesk::paths {

// The longest path the platform can name, in UTF-16 code units.
inline constexpr std::size_t kMaxPathUnits = 32767;

// The program's own variable: its folder.
inline constexpr std::string_view kProgramFolderVariable = "KESKDIR";

// What a path value is resolved against: the program's folder (without a
// trailing separator, "E:\Tools\KeskVLM"; a drive's root may be "E:" or "E:\")
// and the environment (a variable's value, or none when it is not set).
struct PathContext {
    std::string programFolder;
    std::function<std::optional<std::string>(const std::string& name)> variable;
};

enum class PathProblem {
    None,
    Empty,         // nothing to use
    TooLong,       // beyond kMaxPathUnits after expansion
    LeavesRoot,    // ".." above the drive's or share's root
    DriveRelative, // "C:name": relative to a per-drive directory nobody can see
    Device,        // a device name in some component, or a "\\.\" or "\\?\" path
    Stream,        // an alternate data stream ("file:stream")
    Malformed      // characters no file name can hold
};

struct ResolvedPath {
    std::string path; // the path to use; empty unless problem is None
    PathProblem problem = PathProblem::None;
    bool ok() const noexcept { return problem == PathProblem::None; }
};

// Expands every %NAME% whose variable is set (KESKDIR always is). A name that
// is not set stays as written, its % signs included. Nothing when the result
// would be longer than kMaxPathUnits: never a silently shortened value.
std::optional<std::string> expandVariables(std::string_view text, const PathContext& context);

// The path a stored Target, Icon or Workdir value names: variables expanded,
// "/" read as "\", a relative path taken against the program's folder (one
// starting with "\" against its root), "." and ".." applied, then checked. A
// full path stored as such is only checked and used exactly as written.
ResolvedPath resolveItemPath(std::string_view stored, const PathContext& context);

// The problem of a full path as it stands (no expansion, no joining).
PathProblem checkFullPath(std::string_view path);

// True for "\\host\share..." paths: reaching them may take the network's
// time. The host's name, empty when `path` is not such a path.
std::string uncHost(std::string_view path);

// True when `name` (one path component) is a device of the platform: CON,
// PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, with or without extension
// and trailing blanks or dots, in any letter case.
bool isDeviceName(std::string_view name);

// The value a dropped file `full` is stored as when drops are kept portable:
// a path in or below the program's folder becomes relative to it ("tools\x.exe");
// one elsewhere on the program's drive climbs out of it ("..\Data\x.doc");
// anything else (another drive, a share, a path that cannot be expressed so)
// stays full. Letter case is ignored when comparing folders, as the platform does.
std::string portableDropValue(std::string_view full, std::string_view programFolder);

// True for an address the shell starts by its scheme ("https://host/x",
// "mailto:ann@example.org", "shell:Downloads"): it names no file and is passed
// on as written (variables expanded). "file:" addresses are not among them:
// they name files and must pass the checks of paths.
bool isAddress(std::string_view text);

// The context the desktop gives: its program folder and its environment.
PathContext contextOf(Desktop& desktop);

// How long a check waits for a network host before the item counts as missing.
inline constexpr std::int32_t kHostWaitMs = 2500;

// The path a stored value names, ready for the file system: resolved, not
// refused, and not on a network host that does not answer within `waitMs`.
// Nothing otherwise, and the item it belongs to is missing.
std::optional<std::string> checkablePath(Desktop& desktop, std::string_view stored,
                                         std::int32_t waitMs);

} // namespace kesk::paths
