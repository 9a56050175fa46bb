// Text encodings of INI files: detection, reading in the file's encoding,
// writing back in it, and never losing text.

#include "settings/profile.h"
#include "settings/textcodec.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using kesk::ini::Encoding;
using kesk::ini::Profile;

namespace {

std::string utf16(const std::u16string& s) {
    std::string out = "\xFF\xFE";
    for (const char16_t c : s) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

struct DetectCase {
    const char* what;
    std::string bytes;
    Encoding encoding;
    std::string valueOfK; // of [S] k, as UTF-8
};

class Detect : public testing::TestWithParam<DetectCase> {};

TEST_P(Detect, ReadsInTheFilesEncoding) {
    const DetectCase& c = GetParam();
    const Profile p = Profile::parse(c.bytes);
    EXPECT_EQ(p.encoding(), c.encoding) << c.what;
    const auto v = p.readKey("S", "k");
    ASSERT_TRUE(v.has_value()) << c.what;
    EXPECT_EQ(kesk::ini::forCaller(*v), c.valueOfK) << c.what;
    EXPECT_EQ(p.serialize(), c.bytes) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, Detect,
    testing::Values(
        DetectCase{"ASCII is ANSI", "[S]\r\nk=abc\r\n", Encoding::Ansi, "abc"},
        DetectCase{"Windows-1252", "[S]\r\nk=\x80\xE4\x9F\r\n", Encoding::Ansi,
                   "\xE2\x82\xAC\xC3\xA4\xC5\xB8"},
        DetectCase{"undefined 1252 bytes survive", "[S]\r\nk=\x81\x8D\x8F\x90\x9D\r\n",
                   Encoding::Ansi, "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
        DetectCase{"UTF-8 detected", "[S]\r\nk=\xC3\xA4\xE2\x82\xAC\r\n", Encoding::Utf8,
                   "\xC3\xA4\xE2\x82\xAC"},
        DetectCase{"UTF-8 with BOM", "\xEF\xBB\xBF[S]\r\nk=x\r\n", Encoding::Utf8Bom, "x"},
        DetectCase{"invalid bytes in a BOM file shown as U+FFFD", "\xEF\xBB\xBF[S]\r\nk=a\xFF\r\n",
                   Encoding::Utf8Bom, "a\xEF\xBF\xBD"},
        DetectCase{"UTF-16LE", utf16(u"[S]\r\nk=\u00E4\u65E5\U0001F600\r\n"), Encoding::Utf16LE,
                   "\xC3\xA4\xE6\x97\xA5\xF0\x9F\x98\x80"},
        DetectCase{"UTF-16 unpaired surrogate", utf16(u"[S]\r\nk=a\xD800\r\n"), Encoding::Utf16LE,
                   "a\xEF\xBF\xBD"},
        DetectCase{"UTF-16 odd byte count", utf16(u"[S]\r\nk=v\r\n") + "\x41", Encoding::Utf16LE,
                   "v"},
        DetectCase{"UTF-16BE BOM is not recognised", "\xFE\xFF\r\n[S]\r\nk=v\r\n", Encoding::Ansi,
                   "v"}));

struct WriteEncCase {
    const char* what;
    std::string before;
    std::string value; // UTF-8
    std::string after;
    Encoding encodingAfter;
};

class WriteEnc : public testing::TestWithParam<WriteEncCase> {};

TEST_P(WriteEnc, WritesBackInTheFilesEncodingWithoutLoss) {
    const WriteEncCase& c = GetParam();
    Profile p = Profile::parse(c.before);
    ASSERT_TRUE(p.writeKey("S", "k", c.value)) << c.what;
    const std::string bytes = p.serialize();
    EXPECT_EQ(bytes, c.after) << c.what;
    const Profile again = Profile::parse(bytes);
    EXPECT_EQ(again.encoding(), c.encodingAfter) << c.what;
    EXPECT_EQ(kesk::ini::forCaller(again.readKey("S", "k").value_or("<none>")), c.value) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, WriteEnc,
    testing::Values(WriteEncCase{"ANSI stays ANSI", "[S]\r\nk=\xE4\r\n", "\xC3\xB6\xE2\x82\xAC",
                                 "[S]\r\nk=\xF6\x80\r\n", Encoding::Ansi},
                    WriteEncCase{"ANSI that cannot hold the text becomes UTF-8 with BOM",
                                 "; \xE4 before\r\n[S]\r\nk=1\r\n", "\xE6\x97\xA5",
                                 "\xEF\xBB\xBF; \xC3\xA4 before\r\n[S]\r\nk=\xE6\x97\xA5\r\n",
                                 Encoding::Utf8Bom},
                    WriteEncCase{"UTF-8 stays UTF-8 without BOM", "[S]\r\nk=\xC3\xA4\r\n",
                                 "\xE6\x97\xA5", "[S]\r\nk=\xE6\x97\xA5\r\n", Encoding::Utf8},
                    WriteEncCase{"UTF-8 BOM keeps its raw bytes elsewhere",
                                 "\xEF\xBB\xBF; \xFF\r\n[S]\r\nk=1\r\n", "\xC3\xA4",
                                 "\xEF\xBB\xBF; \xFF\r\n[S]\r\nk=\xC3\xA4\r\n", Encoding::Utf8Bom},
                    WriteEncCase{"UTF-16 stays UTF-16", utf16(u"[S]\r\nk=1\r\n"),
                                 "\xF0\x9F\x98\x80", utf16(u"[S]\r\nk=\U0001F600\r\n"),
                                 Encoding::Utf16LE},
                    WriteEncCase{"UTF-16 odd last byte stays last", utf16(u"[S]\r\nk=1") + "\x7F",
                                 "2", utf16(u"[S]\r\nk=2\r\n") + "\x7F", Encoding::Utf16LE},
                    WriteEncCase{"invalid caller text becomes U+FFFD", "[S]\r\nk=1\r\n",
                                 "\xEF\xBF\xBD", "\xEF\xBB\xBF[S]\r\nk=\xEF\xBF\xBD\r\n",
                                 Encoding::Utf8Bom}));

TEST(Encodings, AnsiFileThatWouldReadAsUtf8BecomesUtf8WithBom) {
    // Without the byte that made it invalid UTF-8, the rest would be read back as UTF-8.
    Profile p = Profile::parse("[S]\r\nk=\xC3\xA4\r\nj=\xFF\r\n");
    ASSERT_EQ(p.encoding(), Encoding::Ansi);
    ASSERT_TRUE(p.deleteKey("S", "j"));
    const Profile again = Profile::parse(p.serialize());
    EXPECT_EQ(again.encoding(), Encoding::Utf8Bom);
    EXPECT_EQ(again.readKey("S", "k"), std::optional<std::string_view>("\xC3\x83\xC2\xA4"));
}

TEST(Codec, Windows1252IsReversibleForEveryByte) {
    const kesk::ini::CodePage& page = kesk::ini::CodePage::windows1252();
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    std::string text;
    page.decode(all, text);
    EXPECT_TRUE(kesk::ini::isValidUtf8(text));
    EXPECT_EQ(page.encode(text), all);
    EXPECT_FALSE(page.encode("\xE6\x97\xA5").has_value());
    EXPECT_EQ(&kesk::ini::ansiCodePage(), &page) << "the code page where none was installed";
}

TEST(Codec, ForCallerAlwaysGivesValidUtf8) {
    const std::string inputs[] = {
        "\xFF", "\xC3", "\xED\xA0\x80", "a\xF4\x90\x80\x80z", "\xE0\x80\x80", "ok \xC3\xA4"};
    for (const auto& s : inputs) {
        EXPECT_TRUE(kesk::ini::isValidUtf8(kesk::ini::forCaller(s))) << s;
    }
    EXPECT_EQ(kesk::ini::forCaller("ok \xC3\xA4"), "ok \xC3\xA4");
}

TEST(Codec, CountsAndCutsCharactersNotBytes) {
    const std::string s = "\xC3\xA4\xE2\x82\xAC"
                          "a\xF0\x9F\x98\x80";
    EXPECT_EQ(kesk::ini::countChars(s), 4u);
    EXPECT_EQ(kesk::ini::firstChars(s, 2), "\xC3\xA4\xE2\x82\xAC");
    EXPECT_EQ(kesk::ini::firstChars(s, 10), s);
}

TEST(Codec, OneHighByteAnywhereIsFoundAndReplacedForTheCaller) {
    // Values are checked eight bytes at a time: a stray byte must be caught
    // in every position of the word and of the rest.
    for (std::size_t len = 1; len <= 26; ++len) {
        const std::string plain(len, 'k');
        EXPECT_TRUE(kesk::ini::isAscii(plain)) << len;
        EXPECT_EQ(kesk::ini::forCaller(plain), plain);
        for (std::size_t at = 0; at < len; ++at) {
            std::string bad = plain;
            bad[at] = '\xE9'; // a Latin-1 byte, no UTF-8
            EXPECT_FALSE(kesk::ini::isAscii(bad)) << len << " at " << at;
            std::string expected = plain;
            expected.replace(at, 1, "\xEF\xBF\xBD");
            std::string reused = "something before, longer than the value";
            kesk::ini::assignForCaller(bad, reused);
            EXPECT_EQ(reused, expected) << len << " at " << at;
        }
    }
}

TEST(Codec, NamesCompareWithoutCase) {
    for (const auto& [a, b, same] :
         {std::tuple{"Group", "gROUP", true}, std::tuple{"Icon", "Icom", false},
          std::tuple{"@[", "`{", false}, std::tuple{"Z", "z", true}}) {
        EXPECT_EQ(kesk::ini::namesEqual(a, b), same) << a << " " << b;
    }
    EXPECT_TRUE(kesk::ini::namesEqual("\xC3\x84pfel", "\xC3\xA4PFEL"));
    EXPECT_TRUE(kesk::ini::namesEqual("\xD0\x94", "\xD0\xB4")); // Cyrillic De
    EXPECT_FALSE(kesk::ini::namesEqual("ab", "abc"));
    EXPECT_FALSE(kesk::ini::namesEqual("a", "b"));
    EXPECT_EQ(kesk::ini::foldName("\xC3\x84X"), kesk::ini::foldName("\xC3\xA4x"));
}

} // namespace
