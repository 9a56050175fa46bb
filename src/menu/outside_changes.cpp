#include "menu/outside_changes.h"

#include <utility>

namespace kesk {

void OutsideChanges::record(std::vector<std::string> paths, const StampOf& stampOf) {
    shown_.clear();
    shown_.reserve(paths.size());
    for (std::string& path : paths) {
        std::optional<fileio::FileStamp> stamp = stampOf(path);
        shown_.push_back(Watched{std::move(path), stamp});
    }
    catalogueMissingSince_.reset();
}

OutsideChanges::Verdict OutsideChanges::check(std::int64_t nowMs, const StampOf& stampOf,
                                              const IsOwnWrite& isOwnWrite) {
    if (shown_.empty()) {
        return {};
    }
    std::vector<std::optional<fileio::FileStamp>> now;
    now.reserve(shown_.size());
    for (const Watched& w : shown_) {
        now.push_back(stampOf(w.path));
    }
    // An editor's save may delete the catalogue before it renames the new one into place:
    // the menu keeps what it shows until the file is back or stays gone.
    if (shown_.front().stamp && !now.front()) {
        if (!catalogueMissingSince_) {
            catalogueMissingSince_ = nowMs;
        }
        const std::int64_t gone = nowMs - *catalogueMissingSince_;
        if (gone >= 0 && gone < kMissingGraceMs) {
            return Verdict{false, kMissingGraceMs - gone};
        }
        return Verdict{true, 0};
    }
    catalogueMissingSince_.reset();
    bool changed = false;
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        if (now[i] == shown_[i].stamp) {
            continue;
        }
        if (now[i] && isOwnWrite(shown_[i].path, *now[i])) {
            shown_[i].stamp = now[i]; // our own save: the menu already shows it
            continue;
        }
        changed = true;
    }
    return Verdict{changed, 0};
}

} // namespace kesk
