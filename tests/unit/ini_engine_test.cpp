// The profile engine on in-memory files: how it reads, where it writes, and
// that every line a write does not change comes back byte for byte.

#include "settings/profile.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using kesk::ini::Profile;

namespace {

std::optional<std::string> read(const std::string& file, const std::string& sect,
                                const std::string& key) {
    const Profile p = Profile::parse(file);
    const auto v = p.readKey(sect, key);
    return v ? std::optional<std::string>(std::string(*v)) : std::nullopt;
}

struct ReadCase {
    const char* what;
    std::string file;
    std::string sect;
    std::string key;
    std::optional<std::string> expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.what;
}

class ReadKey : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadKey, FindsWhatThePlatformFinds) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(read(c.file, c.sect, c.key), c.expected) << c.what;
}

const std::optional<std::string> none;

// Lookup
INSTANTIATE_TEST_SUITE_P(
    Lookup, ReadKey,
    testing::Values(ReadCase{"plain", "[S]\r\nk=v\r\n", "S", "k", "v"},
                    ReadCase{"section case", "[Window]\r\nk=v\r\n", "wINDOW", "k", "v"},
                    ReadCase{"key case", "[S]\r\nHeightOffset=5\r\n", "S", "heightoffset", "5"},
                    ReadCase{"value keeps case", "[S]\r\nk=MiXeD\r\n", "S", "K", "MiXeD"},
                    ReadCase{"non-ASCII case", "[Übersicht]\r\nSchlüssel=1\r\n", "übersicht",
                             "SCHLÜSSEL", "1"},
                    ReadCase{"CR line ends", "[S]\rk=v\rj=w\r", "S", "j", "w"},
                    ReadCase{"LF line ends", "[S]\nk=v\nj=w\n", "S", "j", "w"},
                    ReadCase{"no final line break", "[S]\r\nk=v", "S", "k", "v"},
                    ReadCase{"split at the first =", "[S]\r\nk=a=b\r\n", "S", "k", "a=b"},
                    ReadCase{"empty key name", "[S]\r\n=val\r\n", "S", "", "val"},
                    ReadCase{"empty value", "[S]\r\nk=\r\n", "S", "k", ""},
                    ReadCase{"missing key", "[S]\r\nk=v\r\n", "S", "x", none},
                    ReadCase{"missing section", "[S]\r\nk=v\r\n", "T", "k", none},
                    ReadCase{"key of the next section", "[S]\r\n[T]\r\nk=v\r\n", "S", "k", none},
                    ReadCase{"before the first header", "k=v\r\n[S]\r\n", "S", "k", none},
                    ReadCase{"line without = is no key", "[S]\r\nk\r\n", "S", "k", none},
                    ReadCase{"empty file", "", "S", "k", none},
                    ReadCase{"arguments trimmed", "[S]\r\nk=v\r\n", "  S  ", " k ", "v"},
                    ReadCase{"empty section name", "[]\r\nk=v\r\n", "", "k", "v"}));

// Only spaces are trimmed from the names a caller passes; the file's names lose every blank.
INSTANTIATE_TEST_SUITE_P(
    ArgumentTrimming, ReadKey,
    testing::Values(
        ReadCase{"tab before the section argument", "[S]\r\nk=v\r\n", "\tS", "k", none},
        ReadCase{"tab after the section argument", "[S]\r\nk=v\r\n", "S\t", "k", none},
        ReadCase{"tab inside the spaces of an argument", "[S]\r\nk=v\r\n", " \tS ", "k", none},
        ReadCase{"tab before the key argument", "[S]\r\nk=v\r\n", "S", "\tk", none},
        ReadCase{"tab after the key argument", "[S]\r\nk=v\r\n", "S", "k\t", none},
        ReadCase{"control character ends a section argument", "[S]\r\nk=v\r\n", "S\x01", "k", none},
        ReadCase{"control character ends a key argument", "[S]\r\nk=v\r\n", "S", "\x01k", none},
        ReadCase{"control character kept in the file's names too", "[S\x01]\r\n\x01k=v\r\n",
                 "S\x01", "\x01k", "v"}));

// Quotes and blanks
INSTANTIATE_TEST_SUITE_P(
    QuotesAndBlanks, ReadKey,
    testing::Values(ReadCase{"blanks around key and value", "[S]\r\n \t k \t= \t v w \t\r\n", "S",
                             "k", "v w"},
                    ReadCase{"double quotes", "[S]\r\nk=\"  v  \"\r\n", "S", "k", "  v  "},
                    ReadCase{"single quotes", "[S]\r\nk='v'\r\n", "S", "k", "v"},
                    ReadCase{"quotes after trimming", "[S]\r\nk=  \"v\"  \r\n", "S", "k", "v"},
                    ReadCase{"mismatched quotes stay", "[S]\r\nk=\"v'\r\n", "S", "k", "\"v'"},
                    ReadCase{"one quote stays", "[S]\r\nk=\"\r\n", "S", "k", "\""},
                    ReadCase{"only one pair removed", "[S]\r\nk=\"\"v\"\"\r\n", "S", "k", "\"v\""},
                    ReadCase{"empty quoted", "[S]\r\nk=\"\"\r\n", "S", "k", ""},
                    ReadCase{"quotes kept in names", "[S]\r\n\"k\"=v\r\n", "S", "\"k\"", "v"},
                    ReadCase{"inner quote kept", "[S]\r\nk=a\"b\r\n", "S", "k", "a\"b"}));

// Headers and comments
INSTANTIATE_TEST_SUITE_P(
    HeadersAndComments, ReadKey,
    testing::Values(ReadCase{"indented header", "  [S]\r\nk=v\r\n", "S", "k", "v"},
                    ReadCase{"blanks inside brackets", "[ \tS  ]\r\nk=v\r\n", "S", "k", "v"},
                    ReadCase{"text after ] ignored", "[S] trailing\r\nk=v\r\n", "S", "k", "v"},
                    ReadCase{"name ends at first ]", "[a]b]\r\nk=v\r\n", "a", "k", "v"},
                    ReadCase{"header without ]", "[S\r\nk=v\r\n", "S", "k", "v"},
                    ReadCase{"[ alone is the empty name", "[\r\nk=v\r\n", "", "k", "v"},
                    ReadCase{"comment not a key", "[S]\r\n;k=v\r\n", "S", ";k", none},
                    ReadCase{"indented comment", "[S]\r\n  ;k=v\r\n", "S", ";k", none},
                    ReadCase{"; inside a key", "[S]\r\na;b=v\r\n", "S", "a;b", "v"},
                    ReadCase{"# is no comment", "[S]\r\n#k=v\r\n", "S", "#k", "v"},
                    ReadCase{"no inline comment", "[S]\r\nk=v ; note\r\n", "S", "k", "v ; note"},
                    ReadCase{"commented header is no header", "[S]\r\n;[T]\r\nk=v\r\n", "S", "k",
                             "v"}));

// Duplicates
INSTANTIATE_TEST_SUITE_P(
    Duplicates, ReadKey,
    testing::Values(ReadCase{"first key wins", "[S]\r\nk=1\r\nK=2\r\n", "S", "k", "1"},
                    ReadCase{"first section wins", "[S]\r\nk=1\r\n[s]\r\nk=2\r\n", "S", "k", "1"},
                    ReadCase{"second section not searched", "[S]\r\na=1\r\n[S]\r\nk=2\r\n", "S",
                             "k", none}));

// ---------------------------------------------------------------------------
// Writes: the whole resulting file is compared.

struct WriteCase {
    const char* what;
    std::string before;
    std::function<bool(Profile&)> op;
    std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.what;
}

class Write : public testing::TestWithParam<WriteCase> {};

TEST_P(Write, ChangesOnlyWhatItMust) {
    const WriteCase& c = GetParam();
    Profile p = Profile::parse(c.before);
    const bool changed = c.op(p);
    EXPECT_EQ(p.serialize(), c.after) << c.what;
    EXPECT_EQ(changed, c.before != c.after) << c.what;
}

auto setKey(std::string s, std::string k, std::string v) {
    return [=](Profile& p) { return p.writeKey(s, k, v); };
}
auto delKey(std::string s, std::string k) {
    return [=](Profile& p) { return p.deleteKey(s, k); };
}
auto delSect(std::string s) {
    return [=](Profile& p) { return p.deleteSection(s); };
}
auto setSect(std::string s, std::vector<std::string> lines) {
    return [=](Profile& p) { return p.writeSection(s, lines); };
}

INSTANTIATE_TEST_SUITE_P(
    WritePlacement, Write,
    testing::Values(
        WriteCase{"replace keeps spelling, place and spacing", "[S]\r\n  Key =old\r\nz=1\r\n",
                  setKey("s", "KEY", "new"), "[S]\r\n  Key =new\r\nz=1\r\n"},
        WriteCase{"value written verbatim", "[S]\r\nk=v\r\n", setKey("S", "k", " \"q\" "),
                  "[S]\r\nk= \"q\" \r\n"},
        WriteCase{"same value writes nothing", "[S]\r\nk=v\r\n", setKey("S", "k", "v"),
                  "[S]\r\nk=v\r\n"},
        WriteCase{"empty value keeps the key", "[S]\r\nk=v\r\n", setKey("S", "k", ""),
                  "[S]\r\nk=\r\n"},
        WriteCase{"new key after the last key, before comments and blanks",
                  "[S]\r\na=1\r\n; c\r\n\r\n[T]\r\n", setKey("S", "b", "2"),
                  "[S]\r\na=1\r\nb=2\r\n; c\r\n\r\n[T]\r\n"},
        WriteCase{"new key in a section without keys", "[S]\r\n\r\n[T]\r\n", setKey("S", "k", "v"),
                  "[S]\r\nk=v\r\n\r\n[T]\r\n"},
        WriteCase{"new key goes to the first of duplicate sections", "[S]\r\na=1\r\n[S]\r\nb=2\r\n",
                  setKey("S", "c", "3"), "[S]\r\na=1\r\nc=3\r\n[S]\r\nb=2\r\n"},
        WriteCase{"new key where the last line has no line break", "[S]\r\na=1",
                  setKey("S", "b", "2"), "[S]\r\na=1\r\nb=2\r\n"},
        WriteCase{"new section at the end, no blank line before", "[S]\r\na=1\r\n",
                  setKey("T", "k", "v"), "[S]\r\na=1\r\n[T]\r\nk=v\r\n"},
        WriteCase{"new section after a missing final line break", "[S]\r\na=1",
                  setKey("T", "k", "v"), "[S]\r\na=1\r\n[T]\r\nk=v\r\n"},
        WriteCase{"new section in an empty file", "", setKey("T", "k", "v"), "[T]\r\nk=v\r\n"},
        WriteCase{"names written trimmed", "", setKey(" T ", " k ", "v"), "[T]\r\nk=v\r\n"},
        WriteCase{"LF file keeps its line ends", "[S]\na=1\n", setKey("S", "b", "2"),
                  "[S]\na=1\nb=2\r\n"},
        WriteCase{"replaced last line without line break ends in CR LF", "[S]\r\nk=v",
                  setKey("S", "k", "w"), "[S]\r\nk=w\r\n"},
        WriteCase{"same value on a last line without line break writes nothing", "[S]\r\nk=v",
                  setKey("S", "k", "v"), "[S]\r\nk=v"},
        WriteCase{"replaced line keeps its own line end", "[S]\nk=v\nj=1", setKey("S", "k", "w"),
                  "[S]\nk=w\nj=1"}));

// A name with a tab at either end could not be found again once written.
INSTANTIATE_TEST_SUITE_P(
    TabEdgedNames, Write,
    testing::Values(WriteCase{"write to a section with a leading tab refused", "[S]\r\nk=v\r\n",
                              setKey("\tS", "k", "w"), "[S]\r\nk=v\r\n"},
                    WriteCase{"write to a section with a trailing tab refused", "",
                              setKey("S\t", "k", "w"), ""},
                    WriteCase{"write of a key with a leading tab refused", "[S]\r\nk=v\r\n",
                              setKey("S", "\tk", "w"), "[S]\r\nk=v\r\n"},
                    WriteCase{"write of a key with a trailing tab refused", "[S]\r\n",
                              setKey("S", "k\t", "w"), "[S]\r\n"},
                    WriteCase{"section write with a tab-edged name refused", "[S]\r\nk=v\r\n",
                              setSect("\tS", {"a=1"}), "[S]\r\nk=v\r\n"},
                    WriteCase{"delete of a tab-edged key finds nothing", "[S]\r\nk=v\r\n",
                              delKey("S", "k\t"), "[S]\r\nk=v\r\n"},
                    WriteCase{"delete of a tab-edged section finds nothing", "[S]\r\nk=v\r\n",
                              delSect("\tS"), "[S]\r\nk=v\r\n"},
                    WriteCase{"tab inside a name written", "", setKey("a\tb", "c\td", "v"),
                              "[a\tb]\r\nc\td=v\r\n"},
                    WriteCase{"control character at the end of a name written", "",
                              setKey("S\x01", "k\x01", "v"), "[S\x01]\r\nk\x01=v\r\n"}));

INSTANTIATE_TEST_SUITE_P(
    Deletion, Write,
    testing::Values(
        WriteCase{"delete key removes its line only", "; top\r\n[S]\r\n a = 1 \r\nb=2\r\n",
                  delKey("s", "A"), "; top\r\n[S]\r\nb=2\r\n"},
        WriteCase{"delete missing key", "[S]\r\nb=2\r\n", delKey("S", "x"), "[S]\r\nb=2\r\n"},
        WriteCase{"delete key of missing section", "[S]\r\nb=2\r\n", delKey("T", "b"),
                  "[S]\r\nb=2\r\n"},
        WriteCase{"delete section removes every line of it",
                  "x\r\n[A]\r\na=1\r\n; c\r\n\r\n[S]\r\ns=1\r\n;c\r\nfree\r\n\r\n[B]\r\nb=1",
                  delSect("s"), "x\r\n[A]\r\na=1\r\n; c\r\n\r\n[B]\r\nb=1"},
        WriteCase{"delete last section", "[A]\r\na=1\r\n[S]\r\ns=1", delSect("S"),
                  "[A]\r\na=1\r\n"},
        WriteCase{"delete first of duplicate sections", "[S]\r\na=1\r\n[S]\r\nb=2\r\n",
                  delSect("S"), "[S]\r\nb=2\r\n"},
        WriteCase{"delete missing section", "[A]\r\n", delSect("S"), "[A]\r\n"}));

INSTANTIATE_TEST_SUITE_P(
    Sections, Write,
    testing::Values(WriteCase{"write section replaces its lines, keeps the blank separator",
                              "[S]\r\na=1\r\n;c\r\nb=2\r\n\r\n[T]\r\n",
                              setSect("S", {"x=1", "y=2"}), "[S]\r\nx=1\r\ny=2\r\n\r\n[T]\r\n"},
                    WriteCase{"write section creates it at the end", "[A]\r\n",
                              setSect("S", {"x=1"}), "[A]\r\n[S]\r\nx=1\r\n"},
                    WriteCase{"write section with no lines empties it", "[S]\r\na=1\r\n[T]\r\n",
                              setSect("S", {}), "[S]\r\n[T]\r\n"},
                    WriteCase{"write section leaves out blank and header lines", "",
                              setSect("S", {"a=1", "", "  ", "[X]", "free text"}),
                              "[S]\r\na=1\r\nfree text\r\n"},
                    WriteCase{"write section on a header without line break", "[S]",
                              setSect("S", {"a=1"}), "[S]\r\na=1\r\n"}));

// Names and values that would change the file's structure.
INSTANTIATE_TEST_SUITE_P(
    LineBreaksInText, Write,
    testing::Values(
        WriteCase{"CR LF in a value becomes a blank", "", setKey("S", "k", "a\r\n[X]\nb\rc"),
                  "[S]\r\nk=a [X] b c\r\n"},
        WriteCase{"line break in a key name", "", setKey("S", "k\r\nj", "v"), "[S]\r\nk j=v\r\n"},
        WriteCase{"line break in a section name", "", setKey("S\n[T", "k", "v"),
                  "[S [T]\r\nk=v\r\n"},
        WriteCase{"line break in a section line", "", setSect("S", {"a=1\r\n[T]"}),
                  "[S]\r\na=1 [T]\r\n"},
        WriteCase{"key starting with [ refused", "[S]\r\n", setKey("S", "[T", "v"), "[S]\r\n"},
        WriteCase{"key starting with ; refused", "[S]\r\n", setKey("S", ";c", "v"), "[S]\r\n"},
        WriteCase{"key holding = refused", "[S]\r\n", setKey("S", "a=b", "v"), "[S]\r\n"},
        WriteCase{"section holding ] refused", "", setKey("a]b", "k", "v"), ""}));

// ---------------------------------------------------------------------------
// Byte-exact round trip: every kind of write leaves untouched lines alone.

TEST(RoundTrip, UntouchedLinesSurviveEveryWrite) {
    const std::string head = "text before any section\r\n"
                             "; a comment\n"
                             "\r\n"
                             "   \t\r\n"
                             "[Window]  \r"
                             "  heightOffset   =  150   \r\n"
                             "# not a comment = kept\r\n"
                             "\r\n";
    const std::string tail = "[Other]\n"
                             "x = 'quoted'\r\n"
                             ";last comment, no line break";
    const std::string target = "[Target]\r\nkeep=1\r\n";
    const std::string file = head + target + tail;

    struct Op {
        const char* what;
        std::function<bool(Profile&)> op;
        std::string expectedTarget;
    };
    const std::vector<Op> ops = {
        {"replace", setKey("Target", "keep", "2"), "[Target]\r\nkeep=2\r\n"},
        {"add key", setKey("Target", "new", "v"), "[Target]\r\nkeep=1\r\nnew=v\r\n"},
        {"delete key", delKey("Target", "keep"), "[Target]\r\n"},
        {"delete section", delSect("Target"), ""},
        {"write section", setSect("Target", {"a=1", "b=2"}), "[Target]\r\na=1\r\nb=2\r\n"},
    };
    for (const Op& o : ops) {
        Profile p = Profile::parse(file);
        ASSERT_TRUE(o.op(p)) << o.what;
        EXPECT_EQ(p.serialize(), head + o.expectedTarget + tail) << o.what;
    }
    // A new section goes after everything, the missing final break is supplied.
    Profile p = Profile::parse(file);
    ASSERT_TRUE(p.writeKey("New", "k", "v"));
    EXPECT_EQ(p.serialize(), file + "\r\n[New]\r\nk=v\r\n");
}

TEST(RoundTrip, ParseAndSerializeIsIdentity) {
    const std::vector<std::string> files = {"",
                                            "\r\n",
                                            "\n\n\r\r\n",
                                            "[S]",
                                            "x",
                                            "[S]\r\nk=v",
                                            "\xEF\xBB\xBF[S]\r\nk=\xC3\xA4\r\n",
                                            std::string("[S]\r\nk=\0v\r\n", 12),
                                            "\xFF\xFE[\0S\0]\0\r\0\n\0",
                                            "[\xE4]\r\n\x81\x8D=1",
                                            "\xEF\xBB\xBF\xFF\xC3\r\n"};
    for (const auto& f : files) {
        EXPECT_EQ(Profile::parse(f).serialize(), f);
    }
}

// ---------------------------------------------------------------------------

TEST(ReadSection, DeliversKeysAsNameEqualsValueAndOtherLinesTrimmed) {
    const Profile p = Profile::parse(
        "[S]\r\n  a = 1 \r\n; c\r\n\r\nfree  text  \r\nb='2'\r\n\tc\t=\tx = y\t\r\n[T]\r\nt=1\r\n");
    EXPECT_EQ(p.readSection("s"),
              (std::vector<std::string>{"a=1", "free  text", "b='2'", "c=x = y"}));
    EXPECT_TRUE(p.readSection("missing").empty());
    EXPECT_TRUE(Profile::parse("[S]\r\n[T]\r\nt=1").readSection("S").empty());
}

TEST(BadInput, HugeAndStrangeFilesParseToDefinedResults) {
    std::string many;
    for (int i = 0; i < 100000; ++i) {
        many += "[S" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n";
    }
    const Profile p = Profile::parse(many);
    EXPECT_EQ(p.readKey("S99999", "k"), std::optional<std::string_view>("99999"));

    const std::string longLine = "[S]\r\nk=" + std::string(1 << 20, 'x') + "\r\n";
    const Profile q = Profile::parse(longLine);
    ASSERT_TRUE(q.readKey("S", "k").has_value());
    EXPECT_EQ(q.readKey("S", "k")->size(), std::size_t{1} << 20);

    std::string binary;
    for (int i = 0; i < 4096; ++i) {
        binary.push_back(static_cast<char>((i * 7919) & 0xFF));
    }
    Profile b = Profile::parse(binary);
    EXPECT_EQ(b.serialize(), binary);
    ASSERT_TRUE(b.writeKey("New", "k", "v"));
    EXPECT_EQ(b.serialize().substr(0, binary.size()), binary);
}

} // namespace
