#pragma once
// Whether another program changed the files the menu is built from since the menu was
// built: the catalogue first, then the skin's files. A file our own save wrote is no
// outside change, and a catalogue that is gone for a moment (an editor that saves by
// deleting and renaming) is waited for before the menu gives up what it shows.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/fileio.h"

namespace kesk {

class OutsideChanges {
  public:
    using StampOf = std::function<std::optional<fileio::FileStamp>(const std::string&)>;
    using IsOwnWrite = std::function<bool(const std::string&, const fileio::FileStamp&)>;

    // How long a catalogue that vanished is waited for before the menu is rebuilt without it.
    static constexpr std::int64_t kMissingGraceMs = 2000;

    struct Verdict {
        bool rebuild = false;
        // When to look again although nothing was heard (a vanished catalogue); 0: no need.
        std::int64_t recheckMs = 0;
    };

    // Takes the files' stamps as they are now as what the menu shows. The first path is
    // the catalogue.
    void record(std::vector<std::string> paths, const StampOf& stampOf);

    // Compares the files with what the menu shows, at `nowMs` on a steady clock.
    Verdict check(std::int64_t nowMs, const StampOf& stampOf, const IsOwnWrite& isOwnWrite);

  private:
    struct Watched {
        std::string path;
        std::optional<fileio::FileStamp> stamp;
    };
    std::vector<Watched> shown_;
    std::optional<std::int64_t> catalogueMissingSince_;
};

} // namespace kesk
