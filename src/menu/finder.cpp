#include "menu/finder.h"

#include <algorithm>
#include <array>

namespace kesk::finder {

namespace {

// The base letters of U+00C0..U+017F; "" keeps the character as it is.
constexpr std::array<const char*, 0x40> kLatin1 = {
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i",  "i",  // C0
    "d", "n", "o", "o", "o", "o", "o",  "",  "o", "u", "u", "u", "u", "y", "th", "ss", // D0
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i",  "i",  // E0
    "d", "n", "o", "o", "o", "o", "o",  "",  "o", "u", "u", "u", "u", "y", "th", "y",  // F0
};

struct Run {
    char32_t first;
    char32_t last;
    const char* base;
};
// Latin Extended-A comes in runs of capital and small letter pairs on one base letter.
constexpr std::array<Run, 22> kLatinExtendedA = {{
    {0x0100, 0x0105, "a"}, {0x0106, 0x010D, "c"},  {0x010E, 0x0111, "d"}, {0x0112, 0x011B, "e"},
    {0x011C, 0x0123, "g"}, {0x0124, 0x0127, "h"},  {0x0128, 0x0131, "i"}, {0x0132, 0x0133, "ij"},
    {0x0134, 0x0135, "j"}, {0x0136, 0x0138, "k"},  {0x0139, 0x0142, "l"}, {0x0143, 0x014B, "n"},
    {0x014C, 0x0151, "o"}, {0x0152, 0x0153, "oe"}, {0x0154, 0x0159, "r"}, {0x015A, 0x0161, "s"},
    {0x0162, 0x0167, "t"}, {0x0168, 0x0173, "u"},  {0x0174, 0x0175, "w"}, {0x0176, 0x0178, "y"},
    {0x0179, 0x017E, "z"}, {0x017F, 0x017F, "s"},
}};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// One character at `at`: its code point and length, or length 0 for a byte that does not
// start a valid sequence.
struct Decoded {
    char32_t c = 0;
    std::size_t length = 0;
};

Decoded decode(std::string_view s, std::size_t at) noexcept {
    const auto b = static_cast<unsigned char>(s[at]);
    if (b < 0x80) {
        return {b, 1};
    }
    std::size_t n = 0;
    char32_t c = 0;
    char32_t least = 0;
    if ((b & 0xE0) == 0xC0) {
        n = 2;
        c = b & 0x1F;
        least = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3;
        c = b & 0x0F;
        least = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4;
        c = b & 0x07;
        least = 0x10000;
    } else {
        return {};
    }
    if (s.size() - at < n) {
        return {};
    }
    for (std::size_t k = 1; k < n; ++k) {
        const auto t = static_cast<unsigned char>(s[at + k]);
        if ((t & 0xC0) != 0x80) {
            return {};
        }
        c = (c << 6) | (t & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return {};
    }
    return {c, n};
}

// Appends the folded form of `c`; false when `c` has none of its own (it is kept as written).
bool appendFolded(std::string& out, char32_t c) {
    if (c >= 'A' && c <= 'Z') {
        out.push_back(static_cast<char>(c - 'A' + 'a'));
        return true;
    }
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
        return true;
    }
    if (c >= 0x0300 && c <= 0x036F) {
        return true; // a combining accent of decomposed text
    }
    const char* base = "";
    if (c >= 0x00C0 && c <= 0x00FF) {
        base = kLatin1[c - 0x00C0];
    } else if (c >= 0x0100 && c <= 0x017F) {
        for (const Run& r : kLatinExtendedA) {
            if (c >= r.first && c <= r.last) {
                base = r.base;
                break;
            }
        }
    } else if ((c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) || (c >= 0x0410 && c <= 0x042F)) {
        appendUtf8(out, c + 0x20);
        return true;
    } else if (c >= 0x0400 && c <= 0x040F) {
        appendUtf8(out, c + 0x50);
        return true;
    }
    if (*base == '\0') {
        return false;
    }
    out += base;
    return true;
}

// A word ends at blanks and punctuation; letters of other scripts belong to words.
bool separates(char c) noexcept {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80) {
        return false;
    }
    return !((b >= 'a' && b <= 'z') || (b >= '0' && b <= '9'));
}

std::size_t charLength(std::string_view s, std::size_t at) noexcept {
    const Decoded d = decode(s, at);
    return d.length == 0 ? 1 : d.length;
}

} // namespace

std::string fold(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const Decoded d = decode(text, at);
        if (d.length == 0) {
            out.push_back(text[at]);
            ++at;
            continue;
        }
        if (!appendFolded(out, d.c)) {
            out.append(text.substr(at, d.length));
        }
        at += d.length;
    }
    return out;
}

std::string_view targetFileName(std::string_view target) noexcept {
    const std::size_t cut = target.find_last_of("\\/");
    return cut == std::string_view::npos ? target : target.substr(cut + 1);
}

std::uint32_t launchCountOf(std::string_view value) noexcept {
    // Blanks around the number are the file's layout, not part of the value.
    const std::size_t first = value.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return 0;
    }
    value = value.substr(first, value.find_last_not_of(" \t") - first + 1);
    std::uint64_t n = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') {
            return 0;
        }
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
        if (n > kMaxLaunches) {
            return 0;
        }
    }
    return static_cast<std::uint32_t>(n);
}

std::uint32_t oneMoreLaunch(std::uint32_t count) noexcept {
    return count >= kMaxLaunches ? kMaxLaunches : count + 1;
}

void Finder::setItems(const std::vector<Candidate>& items) {
    items_.clear();
    lastQuery_.clear();
    lastFound_.clear();
    items_.reserve(items.size());
    for (const Candidate& c : items) {
        Prepared p;
        p.name = fold(c.name);
        p.target = fold(targetFileName(c.target));
        p.launches = std::min(c.launches, kMaxLaunches);
        bool inWord = false;
        for (std::size_t at = 0; at < p.name.size();) {
            const std::size_t n = charLength(p.name, at);
            if (separates(p.name[at])) {
                inWord = false;
            } else if (!inWord) {
                inWord = true;
                if (at > 0) {
                    p.wordStarts.push_back(static_cast<std::uint32_t>(at));
                }
                p.initials.append(p.name, at, n);
            }
            at += n;
        }
        items_.push_back(std::move(p));
    }
}

void Finder::setLaunches(std::size_t item, std::uint32_t launches) noexcept {
    if (item < items_.size()) {
        items_[item].launches = std::min(launches, kMaxLaunches);
    }
}

MatchKind Finder::matchOf(std::size_t item, std::string_view q) const noexcept {
    if (item >= items_.size() || q.empty()) {
        return MatchKind::None;
    }
    const Prepared& p = items_[item];
    const std::string_view name = p.name;
    if (name == q) {
        return MatchKind::Exact;
    }
    if (name.starts_with(q)) {
        return MatchKind::Prefix;
    }
    for (const std::uint32_t at : p.wordStarts) {
        if (name.substr(at).starts_with(q)) {
            return MatchKind::WordStart;
        }
    }
    if (std::string_view(p.initials).starts_with(q)) {
        return MatchKind::Initials;
    }
    if (name.find(q) != std::string_view::npos) {
        return MatchKind::Anywhere;
    }
    if (p.target.find(q) != std::string::npos) {
        return MatchKind::TargetName;
    }
    return MatchKind::None;
}

std::vector<Match> Finder::find(std::string_view query) {
    std::vector<Match> found;
    const std::string q = fold(query);
    if (q.empty()) {
        lastQuery_.clear();
        lastFound_.clear();
        return found;
    }
    const bool narrowing = !lastQuery_.empty() && q.starts_with(lastQuery_);
    std::vector<std::size_t> matched;
    const auto consider = [&](std::size_t k) {
        const MatchKind kind = matchOf(k, q);
        if (kind != MatchKind::None) {
            found.push_back({k, kind});
            matched.push_back(k);
        }
    };
    if (narrowing) {
        for (const std::size_t k : lastFound_) {
            consider(k);
        }
    } else {
        for (std::size_t k = 0; k < items_.size(); ++k) {
            consider(k);
        }
    }
    lastQuery_ = q;
    lastFound_ = std::move(matched);
    // By kind first, in one pass; then, where counts differ, by count. Stable: among equal
    // kinds and counts the catalogue's order stays.
    std::array<std::vector<Match>, static_cast<std::size_t>(MatchKind::None)> byKind;
    for (const Match& m : found) {
        byKind[static_cast<std::size_t>(m.kind)].push_back(m);
    }
    found.clear();
    for (std::vector<Match>& bucket : byKind) {
        const auto more = [this](const Match& a, const Match& b) {
            return items_[a.item].launches > items_[b.item].launches;
        };
        if (!std::is_sorted(bucket.begin(), bucket.end(), more)) {
            std::stable_sort(bucket.begin(), bucket.end(), more);
        }
        found.insert(found.end(), bucket.begin(), bucket.end());
    }
    return found;
}

} // namespace kesk::finder
