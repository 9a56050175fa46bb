#pragma once
// The file side of the profile engine: every call sees the file as it is on
// disk now, and a file that did not change is not parsed again.

#include "settings/profile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kesk::ini {

enum class FileState { Missing, Unreadable, Present };

struct FileView {
    FileState state = FileState::Missing;
    std::shared_ptr<const Profile> profile; // set when Present
    // Nonzero when the view is a ReadSnapshot's: as long as snapshotVersion()
    // still gives this number, the view is the snapshot and can be used again
    // without a load.
    std::uint64_t snapshotVersion = 0;
};

// Files above this size are not read (a read gives nothing, a write is refused).
inline constexpr std::uint64_t kMaxFileBytes = 64ull * 1024 * 1024;

// The file at `path` as it is now.
FileView load(const std::string& path);

enum class UpdateResult {
    Written,
    Unchanged, // the edit changed nothing, or a missing file was not to be made
    Failed     // the file could not be read, or the new file could not be written
};

// Applies `edit` to the file as it is now and writes the result atomically if
// the edit changed it. A missing file starts empty when `createMissing`,
// otherwise nothing happens. After a failure the file is as it was.
UpdateResult update(const std::string& path, bool createMissing,
                    const std::function<bool(Profile&)>& edit);

// A build reads thousands of keys and wants them from one version of the
// file. While a ReadSnapshot lives, the first load of its path checks the file
// as always, and every later load answers from that parse without asking the
// file system again. Nothing is held open: another program can open, write,
// rename or delete the file at any moment; its change is seen by the next
// snapshot (the next build). Our own update() of the path drops the snapshot,
// so our write is seen at once. One path at a time; a snapshot taken while
// another lives snapshots nothing.
class ReadSnapshot {
  public:
    explicit ReadSnapshot(const std::string& path);
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

  private:
    bool owner_ = false;
};

// The number of the snapshot that stands now; 0 when none does.
std::uint64_t snapshotVersion() noexcept;

// Tests and benchmarks: how many times a file was parsed since start.
std::uint64_t parseCountForTests();

} // namespace kesk::ini
