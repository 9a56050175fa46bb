#include "platform/own_writes.h"

#include <map>
#include <mutex>

namespace kesk::fileio {

namespace {

// A handful of paths at most (the catalogue and the skin's files): no bound is needed
// beyond the last write per path.
std::mutex ownMutex;
std::map<std::string, FileStamp>& ownStamps() {
    static std::map<std::string, FileStamp> stamps;
    return stamps;
}

} // namespace

void noteOwnWrite(const std::string& path) {
    const std::optional<FileStamp> now = stat(path);
    const std::lock_guard<std::mutex> lock(ownMutex);
    if (now) {
        ownStamps()[path] = *now;
    } else {
        ownStamps().erase(path);
    }
}

bool isOwnWrite(const std::string& path, const FileStamp& stamp) {
    const std::lock_guard<std::mutex> lock(ownMutex);
    const auto it = ownStamps().find(path);
    return it != ownStamps().end() && it->second == stamp;
}

} // namespace kesk::fileio
