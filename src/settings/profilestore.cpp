#include "settings/profilestore.h"

#include "platform/fileio.h"
#include "platform/own_writes.h"

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <optional>

namespace kesk::ini {

// Why this cache is never stale, yet a build does not parse the catalogue
// once per key.
//
// A build asks for about six values per item, each through a fresh object
// that must see the file as it is at that moment. Parsing the file for every
// call makes a build quadratic in the number of items. So the parsed file is
// kept process-wide, keyed on its path, together with the file's stamp (size,
// modification time, the file system's change time, inode or creation time) and its bytes.
//
// Each call first takes the wall clock, then the file's stamp. A stamp that
// differs from the kept one means the file changed: read and parse it again.
// An equal stamp proves an equal file only once the file's modification time
// lies a clock tick or more behind the moment of the stat: a later write then
// gets a later time. Until then (the file was written moments ago; the same
// problem git calls "racily clean") a second write within the same tick could
// keep size and time, so such an entry is "unsettled": every call reads the
// bytes and compares them with the kept ones, and only reuses the parse when
// they are equal. The first such check made a tick after the modification
// settles the entry; from then on a call costs one stat and a lookup.
//
// The tick is taken generously: 100 ms when the file system stores fractions
// of a second (NTFS and ext4 timestamps advance in steps of 16 ms or less),
// 2 s when the time is a whole second (FAT stores even seconds).
//
// Our own writes go through update(), which drops the entry; the next call
// reads the new file (unsettled, so checked by content until it settles).
//
// A ReadSnapshot goes one step further for a build: one check is enough for
// all the build's reads, which then see one version of the file. Nothing is
// kept open for that, so no other program's save is ever refused.

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kFineTick = kTicksPerSecond / 10;
constexpr std::int64_t kCoarseTick = 2 * kTicksPerSecond;
constexpr std::size_t kMaxEntries = 8;

struct Entry {
    std::string path;
    fileio::FileStamp stamp;
    std::string bytes;
    std::shared_ptr<const Profile> profile;
    bool settled = false;
};

std::mutex cacheMutex;
std::list<Entry> cache; // most recently used first
std::atomic<std::uint64_t> parses{0};

// The path a ReadSnapshot stands for; `verified` once a load under it has
// checked the kept entry against the file.
struct ActiveSnapshot {
    std::string path;
    bool verified = false;
};
std::optional<ActiveSnapshot> activeSnapshot;
// The number of the verified snapshot that stands now (0: none), readable
// without the lock; every snapshot that becomes verified gets a new one.
std::atomic<std::uint64_t> standingSnapshot{0};
std::uint64_t lastSnapshotNumber = 0;

bool settledAt(const fileio::FileStamp& st, std::int64_t clock) {
    const std::int64_t tick = (st.modified % kTicksPerSecond) != 0 ? kFineTick : kCoarseTick;
    return clock - st.modified >= tick;
}

std::list<Entry>::iterator findEntry(const std::string& path) {
    for (auto it = cache.begin(); it != cache.end(); ++it) {
        if (it->path == path) {
            return it;
        }
    }
    return cache.end();
}

void forget(const std::string& path) {
    const auto it = findEntry(path);
    if (it != cache.end()) {
        cache.erase(it);
    }
}

FileView loadChecked(const std::string& path) {
    const std::int64_t clock = fileio::nowTicks();
    const auto st = fileio::stat(path);
    auto it = findEntry(path);
    if (!st) {
        if (it != cache.end()) {
            cache.erase(it);
        }
        // A directory or an unreachable entry reads as nothing, exactly like a missing file.
        return {};
    }
    if (it != cache.end() && &it->profile->codePage() != &ansiCodePage()) {
        cache.erase(it); // read with a code page that is no longer the system's
        it = cache.end();
    }
    if (it != cache.end() && it->stamp == *st && it->settled) {
        cache.splice(cache.begin(), cache, it);
        return {FileState::Present, it->profile};
    }
    auto bytes = fileio::readAll(path, kMaxFileBytes);
    if (!bytes) {
        if (it != cache.end()) {
            cache.erase(it);
        }
        return {FileState::Unreadable, nullptr};
    }
    const bool settled = bytes->size() == st->size && settledAt(*st, clock);
    if (it != cache.end() && it->stamp == *st && it->bytes == *bytes) {
        it->settled = settled;
        cache.splice(cache.begin(), cache, it);
        return {FileState::Present, it->profile};
    }
    if (it != cache.end()) {
        cache.erase(it);
    }
    auto profile = std::make_shared<const Profile>(Profile::parse(*bytes));
    parses.fetch_add(1, std::memory_order_relaxed);
    cache.push_front(Entry{path, *st, std::move(*bytes), profile, settled});
    if (cache.size() > kMaxEntries) {
        cache.pop_back();
    }
    return {FileState::Present, std::move(profile)};
}

FileView loadLocked(const std::string& path) {
    const bool snapshot = activeSnapshot && activeSnapshot->path == path;
    if (snapshot && activeSnapshot->verified) {
        const auto it = findEntry(path);
        if (it != cache.end()) {
            cache.splice(cache.begin(), cache, it);
            return {FileState::Present, it->profile, standingSnapshot.load()};
        }
    }
    FileView view = loadChecked(path);
    if (snapshot) {
        activeSnapshot->verified = view.state == FileState::Present;
        standingSnapshot.store(activeSnapshot->verified ? ++lastSnapshotNumber : 0);
        view.snapshotVersion = standingSnapshot.load();
    }
    return view;
}

void dropSnapshot(const std::string& path) {
    if (activeSnapshot && activeSnapshot->path == path) {
        activeSnapshot->verified = false;
        standingSnapshot.store(0);
    }
}

} // namespace

ReadSnapshot::ReadSnapshot(const std::string& path) {
    std::lock_guard<std::mutex> lock(cacheMutex);
    if (activeSnapshot || path.empty()) {
        return;
    }
    activeSnapshot = ActiveSnapshot{path, false};
    owner_ = true;
}

ReadSnapshot::~ReadSnapshot() {
    if (owner_) {
        std::lock_guard<std::mutex> lock(cacheMutex);
        activeSnapshot.reset();
        standingSnapshot.store(0);
    }
}

FileView load(const std::string& path) {
    std::lock_guard<std::mutex> lock(cacheMutex);
    return loadLocked(path);
}

UpdateResult update(const std::string& path, bool createMissing,
                    const std::function<bool(Profile&)>& edit) {
    std::lock_guard<std::mutex> lock(cacheMutex);
    const FileView view = loadLocked(path);
    Profile copy;
    if (view.state == FileState::Unreadable) {
        return UpdateResult::Failed; // what cannot be read cannot be edited without damage
    }
    if (view.state == FileState::Present) {
        copy = *view.profile;
    } else if (!createMissing) {
        return UpdateResult::Unchanged;
    }
    if (!edit(copy)) {
        return UpdateResult::Unchanged;
    }
    const std::string bytes = copy.serialize();
    forget(path);
    dropSnapshot(path);
    if (!fileio::writeAtomic(path, bytes)) {
        return UpdateResult::Failed;
    }
    fileio::noteOwnWrite(path);
    return UpdateResult::Written;
}

std::uint64_t snapshotVersion() noexcept {
    return standingSnapshot.load(std::memory_order_acquire);
}

std::uint64_t parseCountForTests() {
    return parses.load();
}

} // namespace kesk::ini
