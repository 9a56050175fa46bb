#pragma once
// Small functions on file names and files. Paths are UTF-8 text; the
// catalogue keeps Windows paths, so splitPath works on "\" whatever the
// platform.

#include <filesystem>
#include <string>
#include <string_view>

namespace kesk {

// Cuts a full path into root, directory, file name, base name and extension.
// All outputs except `root` are always written. `root` is written only when
// the path has a drive ("C:") or network server ("\\server") root; otherwise
// it keeps what the caller put there. The directory keeps no trailing "\",
// except a drive's root directory ("C:\").
void splitPath(std::string_view path, std::string& root, std::string& directory,
               std::string& fileName, std::string& baseName, std::string& extension);

// True only if `path` names a file that can be opened for reading right now.
// A directory, a device, a locked or unreadable file, an empty name or a
// malformed one (an embedded NUL, characters the file system refuses) give
// false. Never throws.
bool fileExists(std::string_view path) noexcept;

// A UTF-8 path as the platform's path type (UTF-16 on Windows), so files with
// any name can be opened through the wide API.
std::filesystem::path pathFromUtf8(std::string_view utf8);

} // namespace kesk
