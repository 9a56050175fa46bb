#pragma once
// The files this process wrote itself, each with the stamp its last write left. A watcher
// that sees such a file change can then tell the program's own save from another program's.

#include <string>

#include "platform/fileio.h"

namespace kesk::fileio {

// Remembers the stamp `path` has now as one of our own writes.
void noteOwnWrite(const std::string& path);

// Whether `stamp` is what our last write of `path` left.
bool isOwnWrite(const std::string& path, const FileStamp& stamp);

} // namespace kesk::fileio
