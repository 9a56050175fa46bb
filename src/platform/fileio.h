#pragma once
// Whole-file reads, cheap change stamps and atomic replacement of a file.
// Paths are UTF-8; on Windows they go to the wide-character API unchanged in
// meaning, so any file name the user can create is reachable.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kesk::fileio {

// What a stat of a regular file tells about its content without reading it.
// Times are in 100-ns ticks since 1601 (the Windows file-time scale) on every
// platform, so they compare directly with nowTicks().
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    // The file system's change time (not the modification time). Where Windows
    // cannot be asked for it, the creation time stands in, which still differs
    // when the file was replaced by another.
    std::int64_t changed = 0;
    // The inode (POSIX) or the creation time (Windows); 0 where the change
    // time was not available either.
    std::uint64_t identity = 0;
    bool readOnly = false;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of a regular file; nothing for a missing file, a directory or a
// file that cannot be queried.
std::optional<FileStamp> stat(const std::string& path);

// The whole content of a regular file; nothing when the file is missing,
// unreadable, not a regular file or larger than maxBytes.
std::optional<std::string> readAll(const std::string& path, std::uint64_t maxBytes);

// The wall clock in the unit and epoch of FileStamp times.
std::int64_t nowTicks();

// The steps of writeAtomic, in order.
enum class WriteStep { CreateTemp, WriteData, Flush, Close, Replace };

// Replaces the file at `path` with `bytes` so that at every moment the path
// holds either the complete old content or the complete new one: the bytes go
// to a temporary file in the same directory, are flushed to the disk, and the
// temporary file is then renamed over the target. A read-only target, a
// missing directory or a target locked by another program leaves everything as
// it was and gives false.
//
// Users keep their files as links into synchronised folders, and a rename over
// a link would put a plain file in its place. So the target is the file the
// path finally leads to, through every symbolic link and junction on the way:
// the temporary file goes beside it and replaces it, and the links stay links.
// A path that leads nowhere (a dangling link, a link loop) or to a folder is
// refused. A hard-linked file is replaced like any other file: the path gets
// the new content, the file's other names keep the old one.
bool writeAtomic(const std::string& path, std::string_view bytes);

// A path as the platform reports a file's final location ("\\?\C:\x",
// "\\?\UNC\host\share\x") in the form every other program uses ("C:\x",
// "\\host\share\x"). A path too long for that form, or one the form
// cannot express, stays as it is: it is still valid as it stands.
std::string withoutVerbatimPrefix(const std::string& path);

// Tests only: called after each completed step; returning false abandons the
// write right there as a crash would (a temporary file may stay behind).
// An empty function removes the hook.
void setWriteStepHookForTests(std::function<bool(WriteStep)> hook);

} // namespace kesk::fileio
