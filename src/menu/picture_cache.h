#pragma once
// Finished item pictures, kept by what they came from, so that a build takes nothing again
// from a source that did not change: the second build at start-up and every rebuild find
// their pictures here. Bounded by the bytes of its pictures; the least recently used go first.

#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/desktop.h"
#include "platform/fileio.h"

namespace kesk {

// Which question a picture answers: the same file gives different pictures as a picture
// file, as a program's first icon and as the shell's icon for it.
enum class PictureSourceKind : std::uint8_t { IconFile, ExeIcon, ShellIcon };

struct PictureCacheKey {
    PictureSourceKind kind = PictureSourceKind::IconFile;
    std::string path;
    std::int32_t size = 0; // pixels of the picture asked for
    fileio::FileStamp stamp;
    bool operator==(const PictureCacheKey&) const = default;
};

// The key of `path`'s picture when its stamp can be told and is settled; none otherwise,
// and then the source must be read every time. A file written moments ago may change again
// within its time stamp's resolution without the stamp showing it.
std::optional<PictureCacheKey> pictureCacheKey(PictureSourceKind kind, const std::string& path,
                                               std::int32_t size,
                                               const std::optional<fileio::FileStamp>& stamp,
                                               std::int64_t now);

// What a source gave. `found` false is kept too: a program without icons is not asked again.
struct CachedPicture {
    bool found = false;
    Bitmap large;   // the picture as the large image list takes it, or the icon
    Bitmap topLeft; // a picture file's top-left part at its own size; empty for icons
    // The top-left part is the large picture itself (a picture file of the large size), and
    // is not kept twice.
    bool topLeftIsLarge = false;
};

class PictureCache {
  public:
    // 32 MB holds some 8,000 distinct 32 by 32 icons with their small parts.
    static constexpr std::size_t kDefaultBoundBytes = std::size_t{32} << 20;

    explicit PictureCache(std::size_t boundBytes = kDefaultBoundBytes) : bound_(boundBytes) {}

    // The kept picture, now the most recently used; nullptr when there is none.
    const CachedPicture* find(const PictureCacheKey& key);
    // Keeps `picture` under `key` (replacing what was there) and drops the least recently
    // used until the bound holds. A picture larger than the bound is not kept.
    void put(const PictureCacheKey& key, CachedPicture picture);

    std::size_t bytes() const noexcept { return bytes_; }
    std::size_t count() const noexcept { return entries_.size(); }
    std::size_t bound() const noexcept { return bound_; }
    // What one entry counts against the bound.
    static std::size_t costOf(const PictureCacheKey& key, const CachedPicture& picture) noexcept;

  private:
    struct Entry {
        std::string id;
        std::size_t cost = 0;
        CachedPicture picture;
    };
    static std::string idOf(const PictureCacheKey& key);

    std::size_t bound_;
    std::size_t bytes_ = 0;
    std::list<Entry> entries_; // most recently used first
    std::unordered_map<std::string, std::list<Entry>::iterator> index_;
};

} // namespace kesk
