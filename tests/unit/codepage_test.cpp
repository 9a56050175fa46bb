// Code pages of files without a byte order mark: tables of single bytes and
// lead/trail pairs, read and written without losing a byte, and the engine
// on top of them. A small double-byte table stands in for the East Asian
// system code pages, which only the platform carries.

#include "settings/profile.h"
#include "settings/textcodec.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using kesk::ini::CodePage;
using kesk::ini::Encoding;
using kesk::ini::Profile;

namespace {

// Lead bytes 81..84. 81 40..7E: U+4E00 on; 82 A0..AF: hiragana from U+3041;
// 83 leads no pair at all; 84 5D (a trail that is ']' in ASCII): U+65E5; 84 5C
// (a '\'): U+6708. Single bytes A1..DF: half-width katakana; 80 undefined.
// Two mappings break the round trip and must be left out: 82 B0 names U+4E00
// a second time, and 85 41 is a pair whose first byte is no lead byte.
const CodePage& fakeDoubleByte() {
    static const CodePage page = [] {
        std::vector<CodePage::Mapping> m;
        for (unsigned t = 0x40; t <= 0x7E; ++t) {
            m.push_back({static_cast<std::uint16_t>(0x8100 + t), 0x4E00 + (t - 0x40)});
        }
        for (unsigned t = 0xA0; t <= 0xAF; ++t) {
            m.push_back({static_cast<std::uint16_t>(0x8200 + t), 0x3041 + (t - 0xA0)});
        }
        m.push_back({0x845D, 0x65E5});
        m.push_back({0x845C, 0x6708});
        for (unsigned b = 0xA1; b <= 0xDF; ++b) {
            m.push_back({static_cast<std::uint16_t>(b), 0xFF61 + (b - 0xA1)});
        }
        m.push_back({0x82B0, 0x4E00});
        m.push_back({0x8541, 0x5927});
        return CodePage(999, {0x81, 0x82, 0x83, 0x84}, m);
    }();
    return page;
}

// Makes the fake table the system's for one test.
class FakeSystemCodePage : public testing::Test {
  protected:
    FakeSystemCodePage() { kesk::ini::setAnsiCodePage(&fakeDoubleByte()); }
    ~FakeSystemCodePage() override { kesk::ini::setAnsiCodePage(nullptr); }
};

std::string decodeWith(const CodePage& page, std::string_view bytes) {
    std::string out;
    page.decode(bytes, out);
    return out;
}

struct DecodeCase {
    const char* rule;
    std::string bytes;
    std::string forCaller; // UTF-8, kept raw bytes shown as U+FFFD
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.rule;
}

class DoubleByteDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(DoubleByteDecode, ReadsPairsAndKeepsEveryByte) {
    const DecodeCase& c = GetParam();
    const std::string text = decodeWith(fakeDoubleByte(), c.bytes);
    EXPECT_EQ(kesk::ini::forCaller(text), c.forCaller) << c.rule;
    EXPECT_EQ(fakeDoubleByte().encode(text), c.bytes) << c.rule;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, DoubleByteDecode,
    testing::Values(
        DecodeCase{"a valid pair is one character", "a\x81\x40z", "a\xE4\xB8\x80z"},
        DecodeCase{"pairs of two lead bytes", "\x81\x7E\x82\xA0", "\xE4\xB8\xBE\xE3\x81\x81"},
        DecodeCase{"a single byte beside the pairs", "\xA1\xDF", "\xEF\xBD\xA1\xEF\xBE\x9F"},
        DecodeCase{"a trail that is ASCII ']' belongs to its pair", "[\x84\x5D]", "[\xE6\x97\xA5]"},
        DecodeCase{"an invalid trail leaves the lead raw and is read alone", "\x81\x20x",
                   "\xEF\xBF\xBD x"},
        DecodeCase{"a lead byte at the end stays raw", "ab\x81", "ab\xEF\xBF\xBD"},
        DecodeCase{"a lead byte without any pair stays raw", "\x83\x41",
                   "\xEF\xBF\xBD"
                   "A"},
        DecodeCase{"a lead before a pair: the pair still reads", "\x81\x81\x40",
                   "\xEF\xBF\xBD\xE4\xB8\x80"},
        DecodeCase{"an undefined single byte stays raw", "\x80", "\xEF\xBF\xBD"},
        DecodeCase{"a second mapping of one character is not taken", "\x82\xB0",
                   "\xEF\xBF\xBD\xEF\xBD\xB0"},
        DecodeCase{"a pair after a byte that is no lead byte is not taken", "\x85\x41",
                   "\xEF\xBF\xBD"
                   "A"},
        DecodeCase{"a trail byte alone is an ordinary byte", "\x40\x5D", "@]"}));

TEST(CodePageTable, EveryTwoAndThreeByteSequenceComesBackUnchanged) {
    const CodePage& page = fakeDoubleByte();
    std::string bytes(3, '\0');
    for (unsigned a = 0x7E; a < 0x100; ++a) {
        for (unsigned b = 0; b < 0x100; ++b) {
            for (const unsigned c : {0x00u, 0x40u, 0x5Du, 0x81u, 0xA1u, 0xFFu}) {
                bytes[0] = static_cast<char>(a);
                bytes[1] = static_cast<char>(b);
                bytes[2] = static_cast<char>(c);
                const std::string text = decodeWith(page, bytes);
                ASSERT_TRUE(kesk::ini::isValidUtf8(kesk::ini::forCaller(text)));
                ASSERT_EQ(page.encode(text), bytes) << a << " " << b << " " << c;
            }
        }
    }
}

TEST(CodePageTable, MapsOnlyWhatGoesBothWays) {
    const CodePage& page = fakeDoubleByte();
    EXPECT_TRUE(page.isLeadByte(0x81));
    EXPECT_FALSE(page.isLeadByte(0x85));
    EXPECT_EQ(page.pair(0x81, 0x40), std::optional<char32_t>(0x4E00));
    EXPECT_EQ(page.pair(0x82, 0xB0), std::nullopt);
    EXPECT_EQ(page.single(0x81), std::nullopt); // a lead byte is nothing alone
    EXPECT_EQ(page.single('A'), std::optional<char32_t>('A'));
    // A table cannot redefine ASCII, nor map to a surrogate.
    const CodePage odd(1, {}, {{0x41, 0x00C4}, {0x80, 0xDC81}, {0x81, 0x0041}});
    EXPECT_EQ(odd.single('A'), std::optional<char32_t>('A'));
    EXPECT_EQ(odd.single(0x80), std::nullopt);
    EXPECT_EQ(odd.single(0x81), std::nullopt);
    EXPECT_EQ(odd.encode("\xC3\x84"), std::nullopt);
}

struct EncodeCase {
    const char* rule;
    std::string text; // internal form
    std::optional<std::string> bytes;
};

void PrintTo(const EncodeCase& c, std::ostream* os) {
    *os << c.rule;
}

class DoubleByteEncode : public testing::TestWithParam<EncodeCase> {};

TEST_P(DoubleByteEncode, WritesThePairsOrNothing) {
    const EncodeCase& c = GetParam();
    EXPECT_EQ(fakeDoubleByte().encode(c.text), c.bytes) << c.rule;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, DoubleByteEncode,
    testing::Values(EncodeCase{"a character of a pair", "\xE6\x97\xA5x", std::string("\x84\x5Dx")},
                    EncodeCase{"a single-byte character", "\xEF\xBD\xA1", std::string("\xA1")},
                    EncodeCase{"a kept raw byte", "\xED\xB2\x81", std::string("\x81")},
                    EncodeCase{"a character the table has not", "\xE2\x82\xAC", std::nullopt},
                    EncodeCase{"a refused second mapping is not written either", "\xE5\xA4\xA7",
                               std::nullopt},
                    EncodeCase{"ill-formed text", "\xC3", std::nullopt}));

struct FileCase {
    const char* rule;
    std::string before;
    std::string sect, key, value; // the write (UTF-8)
    std::string after;
    Encoding encodingAfter;
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.rule;
}

class DoubleByteFile : public FakeSystemCodePage, public testing::WithParamInterface<FileCase> {};

TEST_P(DoubleByteFile, WritesKeepTheFileInItsCodePage) {
    const FileCase& c = GetParam();
    Profile p = Profile::parse(c.before);
    ASSERT_EQ(p.serialize(), c.before) << c.rule;
    ASSERT_TRUE(p.writeKey(c.sect, c.key, c.value)) << c.rule;
    EXPECT_EQ(p.serialize(), c.after) << c.rule;
    const Profile again = Profile::parse(p.serialize());
    EXPECT_EQ(again.encoding(), c.encodingAfter) << c.rule;
    EXPECT_EQ(kesk::ini::forCaller(again.readKey(c.sect, c.key).value_or("<none>")), c.value)
        << c.rule;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, DoubleByteFile,
    testing::Values(
        FileCase{"a value in the code page is written as pairs", "[S]\r\nk=1\r\n", "S", "k",
                 "\xE4\xB8\x80\xE6\x97\xA5", "[S]\r\nk=\x81\x40\x84\x5D\r\n", Encoding::Ansi},
        FileCase{"a section named with a ']' trail is found and written into",
                 "[\x84\x5D]\r\nk=1\r\n", "\xE6\x97\xA5", "k", "2", "[\x84\x5D]\r\nk=2\r\n",
                 Encoding::Ansi},
        FileCase{"invalid bytes elsewhere survive a write", "; \x81\x20\x83\r\n[S]\r\nk=1\r\n", "S",
                 "k", "\xEF\xBD\xA1", "; \x81\x20\x83\r\n[S]\r\nk=\xA1\r\n", Encoding::Ansi},
        FileCase{"a lead byte at the end of the file stays when a section follows", "[S]\r\nk=\x81",
                 "T", "j", "v", "[S]\r\nk=\x81\r\n[T]\r\nj=v\r\n", Encoding::Ansi},
        FileCase{"text the code page cannot hold makes the file UTF-8 with BOM, not '?'",
                 "; \x81\x40\r\n[S]\r\nk=1\r\n", "S", "k", "\xE2\x82\xAC",
                 "\xEF\xBB\xBF; \xE4\xB8\x80\r\n[S]\r\nk=\xE2\x82\xAC\r\n", Encoding::Utf8Bom}));

TEST(CodePageEncode, KeptLeadByteThatWouldPairBecomesUtf8WithBom) {
    // A raw lead byte followed by a possible trail would read back as one
    // character: the file must not be written that way.
    Encoding enc = Encoding::Ansi;
    const std::string out = kesk::ini::encode(enc, "\xED\xB2\x81@", {}, fakeDoubleByte());
    EXPECT_EQ(enc, Encoding::Utf8Bom);
    EXPECT_EQ(out, "\xEF\xBB\xBF\x81@");
}

TEST_F(FakeSystemCodePage, RawBytesThatUtf8WouldJoinMakeTheFileUtf16) {
    // F0 9F 98 80 are raw bytes in this code page (none a lead byte, none
    // defined) but an emoji in UTF-8; FF keeps the file from reading as UTF-8.
    Profile p = Profile::parse("\xF0\x9F\x98\x80\xFF\r\n[S]\r\nk=1\r\n");
    ASSERT_EQ(p.encoding(), Encoding::Ansi);
    ASSERT_TRUE(p.writeKey("S", "k", "\xE2\x82\xAC")); // the euro sign, not in this table
    std::u16string units = u"\xDCF0\xDC9F\xDC98\xDC80\xDCFF\r\n[S]\r\nk=\u20AC\r\n";
    std::string expected = "\xFF\xFE";
    for (const char16_t u : units) {
        expected.push_back(static_cast<char>(u & 0xFF));
        expected.push_back(static_cast<char>(u >> 8));
    }
    EXPECT_EQ(p.serialize(), expected);
    const Profile again = Profile::parse(p.serialize());
    EXPECT_EQ(again.encoding(), Encoding::Utf16LE);
    EXPECT_EQ(again.lines().front().text, p.lines().front().text);
}

TEST_F(FakeSystemCodePage, FileReadWithOneCodePageIsWrittenWithIt) {
    // A change of the system code page must not change the bytes of a file
    // already read: its writes use the table it was read with.
    Profile p = Profile::parse("[S]\r\nk=\x81\x40\r\nj=1\r\n");
    kesk::ini::setAnsiCodePage(nullptr);
    ASSERT_TRUE(p.writeKey("S", "j", "2"));
    EXPECT_EQ(p.serialize(), "[S]\r\nk=\x81\x40\r\nj=2\r\n");
    EXPECT_EQ(&p.codePage(), &fakeDoubleByte());
}

TEST(CodePageOther, CatalogueOfAnotherCodePageReadsAsTheSystemsAndKeepsItsBytes) {
    // Windows-1251 bytes (Cyrillic "Да") read on a Windows-1252 system give what
    // that system shows, and a write of another key leaves them as they were.
    const std::string file = "[S]\r\nName=\xC4\xE0\r\nk=1\r\n";
    Profile p = Profile::parse(file);
    EXPECT_EQ(p.readKey("S", "Name"), std::optional<std::string_view>("\xC3\x84\xC3\xA0"));
    ASSERT_TRUE(p.writeKey("S", "k", "2"));
    EXPECT_EQ(p.serialize(), "[S]\r\nName=\xC4\xE0\r\nk=2\r\n");
}

TEST_F(FakeSystemCodePage, CatalogueOfASingleByteCodePageOnADoubleByteSystem) {
    // Windows-1252 "Größe" on the double-byte system: F6 and DF are no lead
    // bytes there (DF is a katakana, F6 undefined); nothing is lost on a write.
    const std::string file = "[S]\r\nName=Gr\xF6\xDF\x65\r\nk=1\r\n";
    Profile p = Profile::parse(file);
    EXPECT_EQ(p.encoding(), Encoding::Ansi);
    EXPECT_EQ(kesk::ini::forCaller(*p.readKey("S", "Name")), "Gr\xEF\xBF\xBD\xEF\xBE\x9F"
                                                             "e");
    ASSERT_TRUE(p.writeKey("S", "k", "2"));
    EXPECT_EQ(p.serialize(), "[S]\r\nName=Gr\xF6\xDF\x65\r\nk=2\r\n");
}

TEST(CodePageUtf8System, AnsiFilesAreUtf8AndInvalidBytesStay) {
    const CodePage& page = CodePage::utf8();
    const std::string bytes = "[S]\r\nk=\xD0\x94\xFF\r\n";
    const auto d = kesk::ini::decode(bytes, page);
    EXPECT_EQ(d.encoding, Encoding::Ansi);
    EXPECT_EQ(kesk::ini::forCaller(d.text), "[S]\r\nk=\xD0\x94\xEF\xBF\xBD\r\n");
    Encoding enc = d.encoding;
    EXPECT_EQ(kesk::ini::encode(enc, d.text + "\xE6\x97\xA5", {}, page),
              "[S]\r\nk=\xD0\x94\xFF\r\n\xE6\x97\xA5");
    EXPECT_EQ(enc, Encoding::Ansi);
}

struct NameCase {
    const char* rule;
    std::string a;
    std::string b;
    bool equal;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.rule;
}

class ScriptNames : public testing::TestWithParam<NameCase> {};

TEST_P(ScriptNames, CompareAsThePlatformDoes) {
    const NameCase& c = GetParam();
    EXPECT_EQ(kesk::ini::namesEqual(c.a, c.b), c.equal) << c.rule;
    EXPECT_EQ(kesk::ini::foldName(c.a) == kesk::ini::foldName(c.b), c.equal) << c.rule;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ScriptNames,
    testing::Values(
        NameCase{"Cyrillic capitals", "\xD0\x98\xD0\x93\xD0\xA0\xD0\xAB",
                 "\xD0\xB8\xD0\xB3\xD1\x80\xD1\x8B", true},
        NameCase{"Cyrillic Io and Serbian Dje", "\xD0\x81\xD0\x82", "\xD1\x91\xD1\x92", true},
        NameCase{"Ukrainian Ghe with upturn", "\xD2\x90", "\xD2\x91", true},
        NameCase{"Ghe with upturn is not Ghe", "\xD2\x91", "\xD0\xB3", false},
        NameCase{"Cyrillic Zhe with breve (odd pairs)", "\xD3\x81", "\xD3\x82", true},
        NameCase{"Greek capitals", "\xCE\x9C\xCE\x95\xCE\x9D\xCE\xA3",
                 "\xCE\xBC\xCE\xB5\xCE\xBD\xCF\x83", true},
        NameCase{"Greek accented Alpha, Epsilon, Omicron, Omega",
                 "\xCE\x86\xCE\x88\xCE\x8C\xCE\x8F", "\xCE\xAC\xCE\xAD\xCF\x8C\xCF\x8E", true},
        NameCase{"Greek final sigma is sigma", "\xCE\xA3", "\xCF\x82", true},
        NameCase{"accented Alpha is not Alpha", "\xCE\x86", "\xCE\xB1", false},
        NameCase{"full-width Latin", "\xEF\xBC\xA1", "\xEF\xBD\x81", true},
        NameCase{"full-width is not ASCII", "\xEF\xBC\xA1", "a", false},
        NameCase{"Japanese has no case", "\xE6\x97\xA5", "\xE6\x9C\x88", false},
        NameCase{"Vietnamese horned O", "\xC6\xA0", "\xC6\xA1", true}));

} // namespace
