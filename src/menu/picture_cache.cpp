#include "menu/picture_cache.h"

#include <utility>

namespace kesk {

namespace {

// 2 s in 100-ns ticks: longer than any file system's time stamp resolution.
constexpr std::int64_t kSettledTicks = 20'000'000;

void appendNumber(std::string& id, std::uint64_t value) {
    id += std::to_string(value);
    id += '|';
}

} // namespace

std::optional<PictureCacheKey> pictureCacheKey(PictureSourceKind kind, const std::string& path,
                                               std::int32_t size,
                                               const std::optional<fileio::FileStamp>& stamp,
                                               std::int64_t now) {
    if (!stamp || now - stamp->modified < kSettledTicks || now - stamp->changed < kSettledTicks) {
        return std::nullopt;
    }
    PictureCacheKey key;
    key.kind = kind;
    key.path = path;
    key.size = size;
    key.stamp = *stamp;
    return key;
}

std::string PictureCache::idOf(const PictureCacheKey& key) {
    std::string id;
    id.reserve(key.path.size() + 96);
    appendNumber(id, static_cast<std::uint64_t>(key.kind));
    appendNumber(id, static_cast<std::uint32_t>(key.size));
    appendNumber(id, key.stamp.size);
    appendNumber(id, static_cast<std::uint64_t>(key.stamp.modified));
    appendNumber(id, static_cast<std::uint64_t>(key.stamp.changed));
    appendNumber(id, key.stamp.identity);
    appendNumber(id, key.stamp.readOnly ? 1u : 0u);
    // The path last: whatever it holds cannot run into the numbers before it.
    id += key.path;
    return id;
}

std::size_t PictureCache::costOf(const PictureCacheKey& key,
                                 const CachedPicture& picture) noexcept {
    // Pictures dominate; the rest is the bookkeeping of one entry, roughly.
    return (picture.large.pixels.size() + picture.topLeft.pixels.size()) * sizeof(Pixel) +
           2 * key.path.size() + 256;
}

const CachedPicture* PictureCache::find(const PictureCacheKey& key) {
    const auto it = index_.find(idOf(key));
    if (it == index_.end()) {
        return nullptr;
    }
    entries_.splice(entries_.begin(), entries_, it->second);
    return &it->second->picture;
}

void PictureCache::put(const PictureCacheKey& key, CachedPicture picture) {
    std::string id = idOf(key);
    const std::size_t cost = costOf(key, picture);
    if (const auto it = index_.find(id); it != index_.end()) {
        bytes_ -= it->second->cost;
        entries_.erase(it->second);
        index_.erase(it);
    }
    if (cost > bound_) {
        return;
    }
    while (!entries_.empty() && bytes_ + cost > bound_) {
        const Entry& last = entries_.back();
        bytes_ -= last.cost;
        index_.erase(last.id);
        entries_.pop_back();
    }
    entries_.push_front(Entry{id, cost, std::move(picture)});
    index_.emplace(std::move(id), entries_.begin());
    bytes_ += cost;
}

} // namespace kesk
