#pragma once
// Type to find: which items a typed query matches, and in which order they are offered.
//
// An item matches by the best of these, in this order: its whole name, the start of its
// name, the start of a later word of its name, the initials of its words ("tm" for "Task
// Manager"), anywhere in its name, anywhere in its target's file name. Case and accents
// count for nothing ("uber" finds "Über"). Equal matches go to the item started more often,
// then to the one earlier in the catalogue.
//
// All text is UTF-8; bytes that are not valid UTF-8 are compared as they are.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kesk::finder {

enum class MatchKind : std::uint8_t {
    Exact,
    Prefix,
    WordStart,
    Initials,
    Anywhere,
    TargetName,
    None,
};

// Lower case without accents: Latin-1 and Latin Extended-A letters become their base letters
// (ß "ss", Æ "ae", Œ "oe", Þ "th"), Greek and Cyrillic capitals their small letters.
std::string fold(std::string_view text);

// The file name of a target: what follows its last backslash or slash.
std::string_view targetFileName(std::string_view target) noexcept;

// The number a Launches value stands for: plain decimal digits up to kMaxLaunches. Anything
// else (a sign, text, a number too large) is 0, so a damaged value starts counting afresh.
inline constexpr std::uint32_t kMaxLaunches = 2'000'000'000;
std::uint32_t launchCountOf(std::string_view value) noexcept;
// One more start, held at kMaxLaunches.
std::uint32_t oneMoreLaunch(std::uint32_t count) noexcept;

// The longest query taken, in characters: enough for any name a catalogue can hold.
inline constexpr std::size_t kMaxQueryChars = 255;

struct Candidate {
    std::string name;
    std::string target;
    std::uint32_t launches = 0;
};

struct Match {
    std::size_t item = 0; // position in the candidates given to setItems
    MatchKind kind = MatchKind::None;
};

class Finder {
  public:
    // Takes the items in catalogue order and prepares them for queries.
    void setItems(const std::vector<Candidate>& items);
    // An item's count changed (it was started): the order of equal matches follows it.
    void setLaunches(std::size_t item, std::uint32_t launches) noexcept;
    std::size_t size() const noexcept { return items_.size(); }

    // How item `item` matches the folded query `query`.
    MatchKind matchOf(std::size_t item, std::string_view foldedQuery) const noexcept;
    // Every matching item, best first. An empty query (after folding) matches nothing.
    // Typing only lengthens a query, and whatever matches the longer one matches the shorter
    // one too: a query that extends the last one searches the last one's matches only.
    std::vector<Match> find(std::string_view query);

  private:
    struct Prepared {
        std::string name;   // folded
        std::string target; // folded file name of the target
        std::string initials;
        std::vector<std::uint32_t> wordStarts; // byte offsets of later words in name
        std::uint32_t launches = 0;
    };
    std::vector<Prepared> items_;
    std::string lastQuery_;              // folded; empty: no narrowing
    std::vector<std::size_t> lastFound_; // the items it matched, in catalogue order
};

} // namespace kesk::finder
