#include "menu/picture_jobs.h"

#include <utility>

#include "menu/dpi_sizes.h"
#include "support/itempaths.h"

namespace kesk {

namespace {

bool isBlank(const std::string& text) noexcept {
    return text.find_first_not_of(' ') == std::string::npos;
}

} // namespace

template <class Read>
const CachedPicture&
PictureResolver::lookUp(PictureSourceKind kind, const std::string& path, std::int32_t size,
                        const std::optional<fileio::FileStamp>& stamp, Read read) {
    std::optional<PictureCacheKey> key;
    if (cache_ != nullptr) {
        key = pictureCacheKey(kind, path, size, stamp, fileio::nowTicks());
        if (key) {
            if (const CachedPicture* kept = cache_->find(*key)) {
                return *kept;
            }
        }
    }
    scratch_ = CachedPicture{};
    ++sourcesRead_;
    read(scratch_);
    if (key) {
        cache_->put(*key, scratch_);
    }
    return scratch_;
}

bool PictureResolver::iconFromExe(const std::string& path, std::int32_t size, Bitmap& out) {
    if (size > 0 && desktop_.iconCount(path) > 0 && desktop_.extractIcon(path, 0, size, out)) {
        return true;
    }
    out = Bitmap{};
    return false;
}

bool PictureResolver::iconFromSystem(const std::string& path, std::int32_t size, Bitmap& out) {
    // A path of blanks is never put to the shell.
    if (size > 0 && !isBlank(path) && desktop_.shellIcon(path, size, out)) {
        return true;
    }
    out = Bitmap{};
    return false;
}

PictureResult PictureResolver::resolve(const PictureJob& job) {
    PictureResult r;
    r.position = job.position;
    r.item = job.item;
    // Stored values name paths only once resolved; a refused value, or one on a
    // network host that does not answer, is never put to the file system.
    const std::optional<std::string> target =
        paths::checkablePath(desktop_, job.Target, paths::kHostWaitMs);
    const std::optional<std::string> icon =
        job.Icon.empty() ? std::nullopt
                         : paths::checkablePath(desktop_, job.Icon, paths::kHostWaitMs);
    r.targetMissing = !target || !desktop_.canOpenForReading(*target);
    // A size no image list can have gives no picture (the fallback), never a huge allocation.
    const std::int32_t size = job.size;
    if (size <= 0 || size > kMaxPictureSize) {
        r.source = IconNotFound;
        return r;
    }

    const auto stampOf = [this](const std::string& path) {
        return cache_ != nullptr ? desktop_.fileStamp(path) : std::nullopt;
    };

    // A missing picture file fails to load just as it fails to exist: no separate
    // existence check, which would cost one more file system call per item.
    if (icon) {
        const CachedPicture& file =
            lookUp(PictureSourceKind::IconFile, *icon, size, stampOf(*icon), [&](CachedPicture& c) {
                Picture picture;
                const PictureRequest request{size, size, size, size};
                // A picture that exists but cannot be decoded gives no image at all, so the
                // item falls through to the next source.
                if (desktop_.loadPicture(*icon, request, picture) == PictureError::None &&
                    !picture.scaled.empty()) {
                    c.found = true;
                    c.large = std::move(picture.scaled);
                    c.topLeftIsLarge = picture.topLeft.width == c.large.width &&
                                       picture.topLeft.height == c.large.height &&
                                       picture.topLeft.pixels == c.large.pixels;
                    if (!c.topLeftIsLarge) {
                        c.topLeft = std::move(picture.topLeft);
                    }
                }
            });
        if (file.found) {
            r.source = IconFromIconFile;
            r.large = file.large;
            r.topLeft = file.topLeftIsLarge ? file.large : file.topLeft;
            return r;
        }
    }

    if (!target) {
        r.source = IconNotFound;
        return r;
    }
    const std::optional<fileio::FileStamp> targetStamp = stampOf(*target);
    const CachedPicture& exe =
        lookUp(PictureSourceKind::ExeIcon, *target, size, targetStamp,
               [&](CachedPicture& c) { c.found = iconFromExe(*target, size, c.large); });
    if (exe.found) {
        r.source = IconFromExe;
        r.large = exe.large;
        return r;
    }

    {
        const CachedPicture& shell =
            lookUp(PictureSourceKind::ShellIcon, *target, size, targetStamp,
                   [&](CachedPicture& c) { c.found = iconFromSystem(*target, size, c.large); });
        if (shell.found) {
            r.source = IconFromSystem;
            r.large = shell.large;
            return r;
        }
    }
    r.source = IconNotFound;
    return r;
}

} // namespace kesk
