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
    // Nonzero when the view came from a checked ReadHold on the path: as long
    // as heldVersion() still gives this number, the file is unchanged and the
    // view can be used again without a load.
    std::uint64_t heldVersion = 0;
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

// While a ReadHold lives, no other program can change the held file, so once
// one load has checked it, later loads of that path answer from the kept parse
// without asking the file system again. A build holds the catalogue for its
// thousands of reads. Where the file cannot be held (missing, open for writing
// elsewhere, a platform without binding sharing rules) every load checks the
// file as always. Our own update() of the path gives the hold up first, so the
// write can replace the file. One path is held at a time; a hold taken while
// another lives holds nothing.
class ReadHold {
  public:
    explicit ReadHold(const std::string& path);
    ~ReadHold();
    ReadHold(const ReadHold&) = delete;
    ReadHold& operator=(const ReadHold&) = delete;

  private:
    bool owner_ = false;
};

// The number of the checked hold that stands now; 0 when none does.
std::uint64_t heldVersion() noexcept;

// Tests and benchmarks: how many times a file was parsed since start.
std::uint64_t parseCountForTests();

} // namespace kesk::ini
