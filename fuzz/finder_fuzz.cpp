// Fuzz target for type to find: any names, targets and queries are ranked without a crash, and
// what comes back is sound: each item at most once, every one a real match, best first.
//
// Input: byte 0 is the number of items (up to 31); then items and the query, separated by
// byte 0x1F: name, target, name, target, ..., query.

#include "menu/finder.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t count = data[0] % 32;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<std::string> parts;
    while (true) {
        const std::size_t cut = rest.find('\x1F');
        parts.emplace_back(rest.substr(0, cut));
        if (cut == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(cut + 1);
    }
    std::vector<kesk::finder::Candidate> items;
    for (std::size_t k = 0; k < count; ++k) {
        kesk::finder::Candidate c;
        c.name = 2 * k < parts.size() ? parts[2 * k] : std::string();
        c.target = 2 * k + 1 < parts.size() ? parts[2 * k + 1] : std::string();
        c.launches = static_cast<std::uint32_t>(k * 7 % 3);
        items.push_back(c);
    }
    const std::string query = parts.back();

    // Every folded form is at most as long as what it replaces, so a query cannot blow up.
    const std::string folded = kesk::finder::fold(query);
    check(folded.size() <= query.size(), "fold never grows");

    kesk::finder::Finder f;
    f.setItems(items);
    const auto found = f.find(query);
    std::vector<bool> seen(items.size(), false);
    for (std::size_t k = 0; k < found.size(); ++k) {
        const auto& m = found[k];
        check(m.item < items.size(), "a found item exists");
        check(!seen[m.item], "an item is found once");
        seen[m.item] = true;
        check(m.kind != kesk::finder::MatchKind::None, "a found item matches");
        check(f.matchOf(m.item, folded) == m.kind, "the kind is the item's");
        if (k > 0) {
            check(found[k - 1].kind <= m.kind, "better matches first");
        }
    }
    // Whatever is not found does not match.
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (!seen[k]) {
            check(f.matchOf(k, folded) == kesk::finder::MatchKind::None, "unfound items miss");
        }
    }
    // Typed key by key, the answer is the same as at once.
    kesk::finder::Finder typed;
    typed.setItems(items);
    for (std::size_t k = 1; k < query.size(); k += 1 + k / 4) {
        typed.find(query.substr(0, k));
    }
    const auto again = typed.find(query);
    check(again.size() == found.size(), "typing finds as many");
    for (std::size_t k = 0; k < again.size() && k < found.size(); ++k) {
        check(again[k].item == found[k].item && again[k].kind == found[k].kind,
              "typing finds the same in the same order");
    }
    (void)kesk::finder::launchCountOf(query);
    return 0;
}
