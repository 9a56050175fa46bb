// Type to find: which items a query matches, in which order, and how a Launches value reads.

#include "menu/finder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using kesk::finder::Candidate;
using kesk::finder::Finder;
using kesk::finder::MatchKind;

namespace {

struct RankCase {
    const char* rule;
    std::vector<Candidate> items;
    std::string query;
    std::vector<std::size_t> expected; // items, best first
};

void PrintTo(const RankCase& c, std::ostream* os) {
    *os << c.rule;
}

class Ranking : public testing::TestWithParam<RankCase> {};

TEST_P(Ranking, OffersTheItemsInTheirOrder) {
    const RankCase& c = GetParam();
    Finder f;
    f.setItems(c.items);
    std::vector<std::size_t> got;
    for (const auto& m : f.find(c.query)) {
        got.push_back(m.item);
    }
    EXPECT_EQ(got, c.expected) << c.rule;
}

Candidate item(const char* name, const char* target = "", std::uint32_t launches = 0) {
    return Candidate{name, target, launches};
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Ranking,
    testing::Values(
        RankCase{
            "exact name before prefix", {item("Notepad++"), item("Notepad")}, "notepad", {1, 0}},
        RankCase{"prefix before word start", {item("My Notes"), item("Notes app")}, "not", {1, 0}},
        RankCase{
            "word start before initials", {item("Tiny Mixer"), item("Open tm file")}, "tm", {1, 0}},
        RankCase{"initials find words", {item("Paint"), item("Task Manager")}, "tm", {1}},
        RankCase{"initials before anywhere", {item("Atmos"), item("Tea Mug")}, "tm", {1, 0}},
        RankCase{"anywhere before target name",
                 {item("Editor", "C:\\bin\\calc.exe"), item("Pocalc")},
                 "calc",
                 {1, 0}},
        RankCase{"target file name", {item("Editor", "C:\\Windows\\notepad.exe")}, "notep", {0}},
        RankCase{"target folders are not searched",
                 {item("Editor", "C:\\Notes\\edit.exe")},
                 "notes",
                 {}},
        RankCase{"target after a slash", {item("Shell", "/usr/bin/bash")}, "bash", {0}},
        RankCase{"case does not count", {item("NOTEPAD")}, "NoTePaD", {0}},
        RankCase{"accents of the name do not count",
                 {item("\xC3\x9C"
                       "ber")},
                 "uber",
                 {0}},
        RankCase{"accents of the query do not count",
                 {item("Uber")},
                 "\xC3\xBC"
                 "ber",
                 {0}},
        RankCase{"extended Latin folds",
                 {item("\xC5\x81\xC3\xB3"
                       "d\xC5\xBA")},
                 "lodz",
                 {0}},
        RankCase{"sharp s is ss",
                 {item("Stra\xC3\x9F"
                       "e")},
                 "strasse",
                 {0}},
        RankCase{"decomposed accent",
                 {item("U\xCC\x88"
                       "ber")},
                 "uber",
                 {0}},
        RankCase{"Cyrillic capitals", {item("\xD0\x9F\xD0\xB0\xD0\xBC")}, "\xD0\xBF", {0}},
        RankCase{"ties go to the more started",
                 {item("Notes", "", 1), item("Notepad", "", 5), item("Noten", "", 3)},
                 "not",
                 {1, 2, 0}},
        RankCase{"then to catalogue order",
                 {item("Notes", "", 2), item("Notepad", "", 2), item("Noten", "", 2)},
                 "not",
                 {0, 1, 2}},
        RankCase{"a better match beats more starts",
                 {item("My note", "", 900), item("Notepad", "", 0)},
                 "note",
                 {1, 0}},
        RankCase{"empty query matches nothing", {item("A"), item("B")}, "", {}},
        RankCase{"no match", {item("Paint")}, "zzz", {}},
        RankCase{"query longer than every name", {item("Ab")}, std::string(10000, 'a'), {}},
        RankCase{"invalid bytes compare as they are", {item("x\xFFy")}, "\xFF", {0}},
        RankCase{"punctuation splits words", {item("open-office")}, "off", {0}}));

struct KindCase {
    const char* rule;
    const char* name;
    const char* target;
    const char* query;
    MatchKind kind;
};

class Kinds : public testing::TestWithParam<KindCase> {};

TEST_P(Kinds, NameTheBestMatch) {
    const KindCase& c = GetParam();
    Finder f;
    f.setItems({item(c.name, c.target)});
    EXPECT_EQ(f.matchOf(0, kesk::finder::fold(c.query)), c.kind) << c.rule;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Kinds,
    testing::Values(KindCase{"exact", "Paint", "", "paint", MatchKind::Exact},
                    KindCase{"prefix", "Paint", "", "pa", MatchKind::Prefix},
                    KindCase{"word start", "MS Paint", "", "pa", MatchKind::WordStart},
                    KindCase{"initials", "Task Manager", "", "tm", MatchKind::Initials},
                    KindCase{"initials in part", "Task Manager Plus", "", "tm",
                             MatchKind::Initials},
                    KindCase{"anywhere", "Paint", "", "int", MatchKind::Anywhere},
                    KindCase{"target name", "X", "C:\\a\\paint.exe", "int", MatchKind::TargetName},
                    KindCase{"none", "X", "", "y", MatchKind::None}));

struct CountCase {
    const char* rule;
    const char* value;
    std::uint32_t count;
};

class LaunchCounts : public testing::TestWithParam<CountCase> {};

TEST_P(LaunchCounts, ReadSoundly) {
    EXPECT_EQ(kesk::finder::launchCountOf(GetParam().value), GetParam().count) << GetParam().rule;
}

INSTANTIATE_TEST_SUITE_P(
    Values, LaunchCounts,
    testing::Values(CountCase{"plain", "17", 17}, CountCase{"zero", "0", 0},
                    CountCase{"blanks around", " 4 ", 4}, CountCase{"empty", "", 0},
                    CountCase{"negative", "-3", 0}, CountCase{"plus sign", "+3", 0},
                    CountCase{"text", "often", 0}, CountCase{"digits then text", "12x", 0},
                    CountCase{"fraction", "1.5", 0}, CountCase{"largest", "2000000000", 2000000000},
                    CountCase{"one beyond the largest", "2000000001", 0},
                    CountCase{"huge", "99999999999999999999999999", 0}));

TEST(LaunchCounts, AnotherStartNeverOverflows) {
    EXPECT_EQ(kesk::finder::oneMoreLaunch(0), 1u);
    EXPECT_EQ(kesk::finder::oneMoreLaunch(kesk::finder::kMaxLaunches - 1),
              kesk::finder::kMaxLaunches);
    EXPECT_EQ(kesk::finder::oneMoreLaunch(kesk::finder::kMaxLaunches), kesk::finder::kMaxLaunches);
}

struct TypingCase {
    const char* rule;
    std::vector<std::string> queries; // as typed, one per keystroke
};

class Typing : public testing::TestWithParam<TypingCase> {};

// Each answer while typing is what a fresh search for that query gives.
TEST_P(Typing, FindsWhatAFreshSearchFinds) {
    const std::vector<Candidate> items = {item("Notepad", "C:\\n.exe"), item("My Notes"),
                                          item("Task Manager", "C:\\taskmgr.exe"),
                                          item("\xC3\x9C"
                                               "ber"),
                                          item("Tm", "", 4)};
    Finder typed;
    typed.setItems(items);
    for (const std::string& q : GetParam().queries) {
        Finder fresh;
        fresh.setItems(items);
        std::vector<std::pair<std::size_t, MatchKind>> a;
        std::vector<std::pair<std::size_t, MatchKind>> b;
        for (const auto& m : typed.find(q)) {
            a.emplace_back(m.item, m.kind);
        }
        for (const auto& m : fresh.find(q)) {
            b.emplace_back(m.item, m.kind);
        }
        EXPECT_EQ(a, b) << GetParam().rule << ": " << q;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Typing,
    testing::Values(TypingCase{"lengthening", {"n", "no", "not", "note"}},
                    TypingCase{"Backspace widens again", {"note", "not", "no", "n"}},
                    TypingCase{"a new start", {"no", "ta", "tm"}},
                    TypingCase{"emptied and typed again", {"t", "", "t", "tm"}},
                    TypingCase{"an accent completes a character",
                               {"\xC3", "\xC3\x9C",
                                "\xC3\x9C"
                                "b"}}));

TEST(Ranking, FollowsCountsThatChange) {
    Finder f;
    f.setItems({item("Notes"), item("Notepad")});
    f.setLaunches(1, 3);
    const auto found = f.find("not");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].item, 1u);
}

} // namespace
