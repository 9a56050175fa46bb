#pragma once
// Item pictures as work that can run away from the window's thread: a build hands its items'
// picture questions to a PictureService as jobs, and takes the answers back, in any batches,
// through frmVelora::picturesArrived. What a job's answer is, is decided here, once, for
// every thread: PictureResolver walks the sources in their order (the item's picture file,
// the first icon of its program, the shell's icon, none) and keeps what it read in a cache.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "menu/picture_cache.h"
#include "platform/desktop.h"

namespace kesk {

// Where an item's picture came from; the values index iconSourceTexts.
enum IconSourceCode : std::int16_t {
    IconFromExe = 0,
    IconFromIconFile = 1,
    IconFromSystem = 2,
    IconNotFound = 3,
};

struct PictureJob {
    std::size_t position = 0; // the job's place in its build's list, from 0
    std::size_t item = 0;     // the record's index in menuItems
    std::string Icon;
    std::string Target;
    // The large picture's side in pixels: the DPI decides it, and every source is asked for
    // its own image of that size.
    std::int32_t size = 32;
};

struct PictureResult {
    std::uint64_t generation = 0;
    std::size_t position = 0;
    std::size_t item = 0;
    std::int16_t source = IconNotFound;
    // The target cannot be opened as a file for reading (the entry is red).
    bool targetMissing = true;
    // IconFromIconFile: the picture scaled to the job's size; IconFromExe and
    // IconFromSystem: the icon at the job's size, with its transparency.
    Bitmap large;
    // IconFromIconFile: the picture's top-left part at its own size, what painting it onto
    // the large scratch surface shows.
    Bitmap topLeft;
};

// Carries out picture jobs somewhere else and hands the results back later.
class PictureService {
  public:
    virtual ~PictureService() = default;
    // Replaces every earlier job with `jobs`, which are answered in their order; their
    // results carry `generation`. Results of older generations that are still to come are
    // stale: the service drops what it can and the presenter drops the rest.
    virtual void submit(std::vector<PictureJob> jobs, std::uint64_t generation) = 0;
};

// Answers jobs through one Desktop, on the thread that owns it. Not thread-safe.
class PictureResolver {
  public:
    // Without a cache every source is read every time.
    PictureResolver(Desktop& desktop, PictureCache* cache) : desktop_(desktop), cache_(cache) {}

    // The job's answer; `generation` is left 0 for the caller to fill.
    PictureResult resolve(const PictureJob& job);

    // The first icon stored in the file at `path`, `size` pixels square; false when it holds
    // none.
    bool iconFromExe(const std::string& path, std::int32_t size, Bitmap& out);
    // The shell's icon for `path`, `size` pixels square; false for a path of blanks (the shell
    // is then not asked) or when the shell gives none.
    bool iconFromSystem(const std::string& path, std::int32_t size, Bitmap& out);

    // How many times a source was read (not answered from the cache) since this resolver
    // was made: what shows whether unchanged sources are read again.
    std::uint64_t sourcesRead() const noexcept { return sourcesRead_; }

  private:
    // The source's picture, through the cache where the file's stamp allows.
    template <class Read>
    const CachedPicture& lookUp(PictureSourceKind kind, const std::string& path, std::int32_t size,
                                const std::optional<fileio::FileStamp>& stamp, Read read);

    Desktop& desktop_;
    PictureCache* cache_;
    CachedPicture scratch_;
    std::uint64_t sourcesRead_ = 0;
};

} // namespace kesk
