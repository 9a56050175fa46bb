#include "menu/picture_jobs.h"

#include <utility>

namespace kesk {

namespace {

bool isBlank(const std::string& text) noexcept {
    return text.find_first_not_of(' ') == std::string::npos;
}

} // namespace

template <class Read>
const CachedPicture& PictureResolver::lookUp(PictureSourceKind kind, const std::string& path,
                                             const std::optional<fileio::FileStamp>& stamp,
                                             Read read) {
    std::optional<PictureCacheKey> key;
    if (cache_ != nullptr) {
        key = pictureCacheKey(kind, path, kItemPictureSize, stamp, fileio::nowTicks());
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

bool PictureResolver::iconFromExe(const std::string& path, Bitmap& out) {
    if (desktop_.iconCount(path) > 0 && desktop_.extractIcon(path, 0, kItemPictureSize, out)) {
        return true;
    }
    out = Bitmap{};
    return false;
}

bool PictureResolver::iconFromSystem(const std::string& path, Bitmap& out) {
    // A path of blanks is never put to the shell.
    if (!isBlank(path) && desktop_.shellIcon(path, kItemPictureSize, out)) {
        return true;
    }
    out = Bitmap{};
    return false;
}

PictureResult PictureResolver::resolve(const PictureJob& job) {
    PictureResult r;
    r.position = job.position;
    r.item = job.item;
    r.targetMissing = !desktop_.canOpenForReading(job.Target);

    const auto stampOf = [this](const std::string& path) {
        return cache_ != nullptr ? desktop_.fileStamp(path) : std::nullopt;
    };

    // A missing picture file fails to load just as it fails to exist: no separate
    // existence check, which would cost one more file system call per item.
    if (!job.Icon.empty()) {
        const CachedPicture& file =
            lookUp(PictureSourceKind::IconFile, job.Icon, stampOf(job.Icon), [&](CachedPicture& c) {
                Picture picture;
                const PictureRequest request{kItemPictureSize, kItemPictureSize, kItemPictureSize,
                                             kItemPictureSize};
                // A picture that exists but cannot be decoded gives no image at all, so the
                // item falls through to the next source.
                if (desktop_.loadPicture(job.Icon, request, picture) == PictureError::None &&
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

    const std::optional<fileio::FileStamp> targetStamp = stampOf(job.Target);
    const CachedPicture& exe =
        lookUp(PictureSourceKind::ExeIcon, job.Target, targetStamp,
               [&](CachedPicture& c) { c.found = iconFromExe(job.Target, c.large); });
    if (exe.found) {
        r.source = IconFromExe;
        r.large = exe.large;
        return r;
    }

    {
        const CachedPicture& shell =
            lookUp(PictureSourceKind::ShellIcon, job.Target, targetStamp,
                   [&](CachedPicture& c) { c.found = iconFromSystem(job.Target, c.large); });
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
