// clsINIFile on real files: each method's algorithm, getSectionList, the
// freshness of every call, and bad files.

#include "platform/fileio.h"
#include "settings/clsINIFile.h"
#include "settings/profilestore.h"
#include "support/appinfo.h"
#include "support/errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using kesk::clsINIFile;
using testing::ElementsAre;

namespace {

class IniFile : public testing::Test {
  protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               (std::string("kesk_ini_") + info->test_suite_name() + "_" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "test.ini").string();
        ini_.setFilename(path_);
    }
    void TearDown() override {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(dir_, ec)) {
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(dir_, ec);
    }
    void put(const std::string& bytes) const {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string content() const {
        std::ifstream in(path_, std::ios::binary | std::ios::ate);
        std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
        in.seekg(0);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }
    std::vector<std::string> sectionList() {
        std::vector<std::string> v;
        ini_.getSectionList(v);
        return v;
    }

    fs::path dir_;
    std::string path_;
    clsINIFile ini_;
};

// --- The edge cases every reader of the catalogue depends on ---------------------------------

TEST_F(IniFile, GetStringDeliversAtMost255Characters) {
    put("[S]\r\nk=" + std::string(300, 'x') + "\r\nu=" + std::string(300, '\xE4') + "\r\n");
    EXPECT_EQ(ini_.getString("S", "k"), std::string(255, 'x'));
    std::string umlauts;
    for (int i = 0; i < 255; ++i) {
        umlauts += "\xC3\xA4"; // counted in the file's characters, not in UTF-8 bytes
    }
    EXPECT_EQ(ini_.getString("S", "u"), umlauts);
}

TEST_F(IniFile, MissingFileSectionOrKeyReadsEmptyAndZero) {
    EXPECT_EQ(ini_.getString("S", "k"), "");
    EXPECT_EQ(ini_.getInteger("S", "k"), 0);
    EXPECT_EQ(ini_.getLongFromHex("S", "k"), 0);
    put("[S]\r\nk=5\r\n");
    EXPECT_EQ(ini_.getString("T", "k"), "");
    EXPECT_EQ(ini_.getString("S", "j"), "");
    EXPECT_EQ(ini_.getInteger("S", "j"), 0);
    EXPECT_EQ(ini_.getLongFromHex("T", "k"), 0);
    EXPECT_FALSE(fs::exists(dir_ / "other.ini"));
}

TEST_F(IniFile, GetLongFromHexReadsEveryFormAsHexadecimal) {
    const std::vector<std::pair<std::string, std::int32_t>> cases = {
        {"0xFF", 255},        {"0XFF", 255},
        {"&HFF", 255},        {"&hff", 255},
        {"FF", 255},          {"255", 597},
        {"0xFFFF", -1},       {"0x8000", -32768},
        {"0x10000", 65536},   {"0xFFFFFF", 16777215},
        {"0xFFFFFFFF", -1},   {"0x00FF00", -256},
        {"xyz", 0},           {"", 0},
        {"FF0000", 16711680}, {"0x100000000", 0}};
    std::string file = "[C]\r\n";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        file += "k" + std::to_string(i) + "=" + cases[i].first + "\r\n";
    }
    put(file);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(ini_.getLongFromHex("C", "k" + std::to_string(i)), cases[i].second)
            << cases[i].first;
    }
}

TEST_F(IniFile, GetIntegerConvertsAndRoundsAndOverflows) {
    put("[N]\r\na=12px\r\nb= 1 2\r\nc=2.5\r\nd=3.5\r\ne=-7\r\nf=&H10\r\ng=abc\r\n"
        "h=123456789012\r\n");
    const std::vector<std::pair<const char*, std::int32_t>> cases = {
        {"a", 12}, {"b", 12}, {"c", 2}, {"d", 4}, {"e", -7}, {"f", 16}, {"g", 0}};
    for (const auto& [key, expected] : cases) {
        EXPECT_EQ(ini_.getInteger("N", key), expected) << key;
    }
    try {
        (void)ini_.getInteger("N", "h");
        ADD_FAILURE() << "twelve digits must overflow";
    } catch (const kesk::RuntimeError& e) {
        EXPECT_EQ(e.number(), kesk::errnum::Overflow);
    }
}

TEST_F(IniFile, SetValueWithEmptyValueKeepsTheKey) {
    put("[S]\r\nk=v\r\n");
    ini_.setValue("S", "k", "");
    EXPECT_EQ(content(), "[S]\r\nk=\r\n");
}

TEST_F(IniFile, SetValueCreatesTheFile) {
    ini_.setValue("Window", "heightOffset", "150");
    EXPECT_EQ(content(), "[Window]\r\nheightOffset=150\r\n");
    EXPECT_EQ(ini_.getInteger("window", "HEIGHTOFFSET"), 150);
}

TEST_F(IniFile, GetArrayGivesEachLineAndOneEmptyElement) {
    put("[A]\r\na=1\r\nb=2\r\n[B]\r\n");
    std::vector<std::string> v{"untouched"};
    ini_.getArray("A", v);
    EXPECT_THAT(v, ElementsAre("a=1", "b=2", ""));

    std::vector<std::string> keep{"x", "y"};
    ini_.getArray("Missing", keep);
    EXPECT_THAT(keep, ElementsAre("x", "y"));
    ini_.getArray("B", keep);
    EXPECT_THAT(keep, ElementsAre("x", "y"));
    ini_.setFilename((dir_ / "none.ini").string());
    ini_.getArray("A", keep);
    EXPECT_THAT(keep, ElementsAre("x", "y"));
}

TEST_F(IniFile, GetArrayIsCutAtItsBuffer) {
    // Lines of 108 characters and a NUL: 300 of them fill 32,700 of the 32,765 delivered.
    std::string file = "[A]\r\n";
    for (int i = 0; i < 310; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "%05d", i);
        file += std::string(name) + "=" + std::string(102, 'v') + "\r\n";
    }
    put(file);
    std::vector<std::string> v;
    ini_.getArray("A", v);
    ASSERT_EQ(v.size(), 301u); // lines 0..299 whole, the 301st cut off, and the empty element
    EXPECT_EQ(v[299].substr(0, 5), "00299");
    EXPECT_EQ(v[300], "");
}

TEST_F(IniFile, SetArrayReplacesTheSectionWithExactlyItsLines) {
    put("; keep\r\n[A]\r\nold=1\r\n;c\r\n\r\n[B]\r\nb=1\r\n");
    ini_.setArray("A", {"a=1", "b=2"});
    EXPECT_EQ(content(), "; keep\r\n[A]\r\na=1\r\nb=2\r\n\r\n[B]\r\nb=1\r\n");
    ini_.setArray("New", {"x=1", "two\nlines"});
    EXPECT_EQ(content(),
              "; keep\r\n[A]\r\na=1\r\nb=2\r\n\r\n[B]\r\nb=1\r\n[New]\r\nx=1\r\ntwo\r\nlines\r\n");
    std::vector<std::string> v;
    ini_.getArray("A", v);
    ini_.setArray("A", v); // what getArray gives, setArray takes back unchanged
    EXPECT_EQ(content(),
              "; keep\r\n[A]\r\na=1\r\nb=2\r\n\r\n[B]\r\nb=1\r\n[New]\r\nx=1\r\ntwo\r\nlines\r\n");
}

TEST_F(IniFile, DeleteKeyAndSection) {
    put("[A]\r\na=1\r\nb=2\r\n[B]\r\nc=3\r\n");
    ini_.deleteKey("a", "A");
    EXPECT_EQ(content(), "[A]\r\nb=2\r\n[B]\r\nc=3\r\n");
    ini_.deleteSection("A");
    EXPECT_EQ(content(), "[B]\r\nc=3\r\n");
    ini_.setFilename((dir_ / "none.ini").string());
    ini_.deleteSection("B");
    ini_.deleteKey("B", "c");
    EXPECT_FALSE(fs::exists(dir_ / "none.ini"));
}

TEST_F(IniFile, DefaultPathIsTitleBesideTheExecutable) {
    kesk::app::overrideForTests("C:\\Programs\\Kesk", "KeskVLM");
    const clsINIFile fresh;
    kesk::app::overrideForTests("", "");
    EXPECT_EQ(fresh.filename(), "C:\\Programs\\Kesk\\KeskVLM.ini");
}

// --- getSectionList ----------------------------------------------------------------------

TEST_F(IniFile, SectionListTakesLinesThatStartWithABracket) {
    struct Case {
        const char* what;
        std::string file;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"two sections", "[Window]\r\nheightOffset=0\r\n[Item1]\r\n", {"Window", "Item1"}},
        {"trailing blanks kept", "[Tools]  \r\n", {"Tools] "}},
        {"indented header not listed", " [A]\r\n[B]\r\n", {"B"}},
        {"no header", "k=v\r\n", {""}},
        {"empty file", "", {""}},
        {"[ alone gives the empty name", "[\r\n[B]\r\n", {"", "B"}},
        {"header without ]", "[Open\r\n", {"Ope"}},
        {"CR line ends", "[A]\r[B]\r", {"A", "B"}},
        {"LF line ends (deliberately lines too)", "[A]\nk=v\n[B]\n", {"A", "B"}},
        {"duplicates listed", "[A]\r\n[a]\r\n", {"A", "a"}},
        {"UTF-8 with BOM", "\xEF\xBB\xBF[\xC3\x84]\r\n", {"\xC3\x84"}},
        {"ANSI", "[\xC4]\r\n", {"\xC3\x84"}},
    };
    for (const Case& c : cases) {
        put(c.file);
        EXPECT_EQ(sectionList(), c.expected) << c.what;
    }
}

TEST_F(IniFile, SectionListOfMissingFileFailsAfterReset) {
    std::vector<std::string> v{"a", "b", "c"};
    try {
        ini_.getSectionList(v);
        ADD_FAILURE() << "a missing file must fail";
    } catch (const kesk::RuntimeError& e) {
        EXPECT_EQ(e.number(), kesk::errnum::FileNotFound);
    }
    EXPECT_THAT(v, ElementsAre(""));
    ini_.setFilename(dir_.string()); // a directory is no readable file either
    v = {"x"};
    EXPECT_THROW(ini_.getSectionList(v), kesk::RuntimeError);
    EXPECT_THAT(v, ElementsAre(""));
}

TEST_F(IniFile, SectionListCounterOverflowsPast32767Headers) {
    std::string file;
    for (int i = 0; i < 32767; ++i) {
        file += "[S" + std::to_string(i) + "]\r\n";
    }
    put(file);
    EXPECT_EQ(sectionList().size(), 32767u);
    put(file + "[Last]\r\n");
    std::vector<std::string> v;
    try {
        ini_.getSectionList(v);
        ADD_FAILURE() << "the 32,768th header must overflow";
    } catch (const kesk::RuntimeError& e) {
        EXPECT_EQ(e.number(), kesk::errnum::Overflow);
    }
    EXPECT_EQ(v.back(), "Last");
}

// --- Every call sees the file as it is now -------------------------------------------------

TEST_F(IniFile, TwoObjectsSeeEachOthersWritesAtOnce) {
    clsINIFile other;
    other.setFilename(path_);
    ini_.setValue("S", "k", "1");
    EXPECT_EQ(other.getString("S", "k"), "1");
    other.setValue("S", "k", "2");
    EXPECT_EQ(ini_.getString("S", "k"), "2");
    other.deleteSection("S");
    EXPECT_EQ(ini_.getString("S", "k"), "");
}

TEST_F(IniFile, RepeatedReadsOfOneSectionFollowEveryChangeOfTheFile) {
    // One object, reads in a row from the same or another section, with the
    // file rewritten in between so that sections move, vanish and come back.
    struct Step {
        const char* file; // nullptr: unchanged
        const char* sect;
        const char* key;
        const char* expected;
    };
    const Step steps[] = {
        {"[A]\r\nk=a\r\n[B]\r\nk=b\r\nj=bj\r\n", "B", "k", "b"},
        {nullptr, "B", "j", "bj"},
        {nullptr, " b ", "k", "b"}, // the same section, written otherwise
        {nullptr, "A", "k", "a"},
        {"[B]\r\nk=first\r\n[A]\r\nk=a2\r\n", "B", "k", "first"},
        {"[X]\r\n[Y]\r\n[Z]\r\n[B]\r\nk=moved\r\n", "B", "k", "moved"},
        {nullptr, "A", "k", ""},
        {"[X]\r\nk=x\r\n", "B", "k", ""},
        {nullptr, "X", "k", "x"},
        {"[B]\r\nk=back\r\n", "B", "k", "back"},
    };
    int n = 0;
    for (const Step& st : steps) {
        if (st.file != nullptr) {
            put(st.file);
        }
        EXPECT_EQ(ini_.getString(st.sect, st.key), st.expected) << "step " << n;
        ++n;
    }
    ini_.setFilename((dir_ / "other.ini").string());
    EXPECT_EQ(ini_.getString("B", "k"), "");
}

TEST_F(IniFile, SameSizeSameTimeOutsideEditIsSeen) {
    // A time in the future keeps the file "just modified" for the whole test,
    // the case in which equal size and time prove nothing.
    const auto future = fs::file_time_type::clock::now() + std::chrono::hours(1);
    put("[S]\r\nk=1\r\n");
    fs::last_write_time(path_, future);
    EXPECT_EQ(ini_.getString("S", "k"), "1");
    put("[S]\r\nk=2\r\n");
    fs::last_write_time(path_, future);
    EXPECT_EQ(ini_.getString("S", "k"), "2");
}

TEST_F(IniFile, SettledFileReadsOnceAndStillSeesChanges) {
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
    put("[S]\r\nk=1\r\n");
    fs::last_write_time(path_, past);
    const auto before = kesk::ini::parseCountForTests();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(ini_.getString("S", "k"), "1");
    }
    EXPECT_EQ(kesk::ini::parseCountForTests() - before, 1u);
    put("[S]\r\nk=22\r\n"); // other size
    fs::last_write_time(path_, past);
    EXPECT_EQ(ini_.getString("S", "k"), "22");
    put("[S]\r\nk=33\r\n"); // same size, other time
    fs::last_write_time(path_, past + std::chrono::seconds(1));
    EXPECT_EQ(ini_.getString("S", "k"), "33");
    // Same size, and the time set back to what it was (as tools that keep
    // timestamps do): the file's change time still tells.
    put("[S]\r\nk=44\r\n");
    fs::last_write_time(path_, past + std::chrono::seconds(1));
    EXPECT_EQ(ini_.getString("S", "k"), "44");
}

// A build reads from one snapshot of the catalogue and skips the file system
// for all but its first read. Another program's change meanwhile must succeed
// (nothing of ours is held open) and must be seen by the next build.
TEST_F(IniFile, SnapshotNeverRefusesAnotherWriterAndIsNeverStaleAfterwards) {
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
    struct Change {
        const char* name;
        std::function<void(const std::string&)> attempt;
        const char* after; // what the next build reads
    };
    const Change changes[] = {
        {"replace", [](const std::string& p) { kesk::fileio::writeAtomic(p, "[S]\r\nk=2\r\n"); },
         "2"},
        {"rewrite in place, time set back",
         [&](const std::string& p) {
             { std::ofstream(p, std::ios::binary | std::ios::trunc) << "[S]\r\nk=2\r\n"; }
             std::error_code ec;
             fs::last_write_time(p, past, ec);
         },
         "2"},
        {"delete",
         [](const std::string& p) {
             std::error_code ec;
             fs::remove(p, ec);
         },
         ""},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        put("[S]\r\nk=1\r\n");
        fs::last_write_time(path_, past);
        {
            const kesk::ini::ReadSnapshot snapshot(path_);
            ASSERT_EQ(ini_.getString("S", "k"), "1");
            change.attempt(path_);
            const std::string disk = fs::exists(path_) ? content() : std::string();
            const std::string written =
                *change.after != '\0' ? "[S]\r\nk=" + std::string(change.after) + "\r\n" : "";
            EXPECT_EQ(disk, written) << "another writer was refused";
            // The rest of the build reads the version it started with.
            EXPECT_EQ(ini_.getString("S", "k"), "1");
        }
        EXPECT_EQ(ini_.getString("S", "k"), change.after);
        {
            const kesk::ini::ReadSnapshot snapshot(path_);
            EXPECT_EQ(ini_.getString("S", "k"), change.after);
            // Our own write drops the snapshot and is seen at once.
            ini_.setValue("S", "k", "3");
            EXPECT_EQ(ini_.getString("S", "k"), "3");
            clsINIFile other; // so does a write through another object
            other.setFilename(path_);
            other.setValue("S", "k", "5");
            EXPECT_EQ(ini_.getString("S", "k"), "5");
        }
        // A later snapshot checks the file again before it trusts it.
        for (const char* value : {"6", "77"}) {
            put(std::string("[S]\r\nk=") + value + "\r\n");
            fs::last_write_time(path_, past);
            const kesk::ini::ReadSnapshot snapshot(path_);
            EXPECT_EQ(ini_.getString("S", "k"), value);
            EXPECT_EQ(ini_.getString("S", "k"), value);
        }
    }
}

TEST_F(IniFile, FileThatVanishesBetweenCalls) {
    put("[S]\r\nk=1\r\n");
    EXPECT_EQ(ini_.getString("S", "k"), "1");
    fs::remove(path_);
    EXPECT_EQ(ini_.getString("S", "k"), "");
    std::vector<std::string> v{"x"};
    ini_.getArray("S", v);
    EXPECT_THAT(v, ElementsAre("x"));
    EXPECT_THROW(ini_.getSectionList(v), kesk::RuntimeError);
    put("[S]\r\nk=2\r\n");
    EXPECT_EQ(ini_.getString("S", "k"), "2");
}

// --- Writes that cannot be done ----------------------------------------------------------

TEST_F(IniFile, ImpossibleWritesChangeNothingAndReportNothing) {
    put("[S]\r\nk=1\r\n");
    fs::permissions(path_,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    ini_.setValue("S", "k", "2");
    ini_.deleteSection("S");
    ini_.setArray("S", {"a=1"});
    EXPECT_EQ(content(), "[S]\r\nk=1\r\n");
    EXPECT_EQ(ini_.getString("S", "k"), "1");

    ini_.setFilename((dir_ / "no such dir" / "x.ini").string());
    ini_.setValue("S", "k", "2");
    EXPECT_FALSE(fs::exists(dir_ / "no such dir"));

    ini_.setFilename(dir_.string()); // a directory
    ini_.setValue("S", "k", "2");
    EXPECT_TRUE(fs::is_directory(dir_));
    EXPECT_EQ(ini_.getString("S", "k"), "");
}

// --- Bad files -----------------------------------------------------------------------------

TEST_F(IniFile, BadFilesGiveDefinedResultsAndWritesKeepTheRest) {
    // No byte of this sequence is CR or LF right before a '[': no header.
    std::string binary;
    for (int i = 0; i < 5000; ++i) {
        binary.push_back(static_cast<char>((i * 131 + 7) & 0xFF));
    }
    // `kept`: what must stay in front of whatever a write adds. The odd last
    // byte of a UTF-16 file is no character; it stays the file's last byte.
    struct BadFile {
        const char* what;
        std::string bytes;
        std::size_t kept;
        std::string value; // getString("S", "k")
        std::vector<std::string> sections;
    };
    const std::string odd("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0\x01", 23);
    const std::string nul("[S]\r\nk=a\0b\r\n\0\0[T]\0\r\n", 20);
    const std::string mbLine = "[S]\r\nk=" + std::string(1 << 20, 'q') + "\r\n";
    const std::vector<BadFile> files = {
        {"binary", binary, binary.size(), "", {""}},
        {"NUL bytes", nul, nul.size(), std::string("a\0b", 3), {"S"}},
        {"[ alone", "[\r\n", 3, "", {""}},
        // The list drops a header's last character, which here is no ']'.
        {"header without ]", "[S\r\nk=v", 7, "v", {""}},
        {"UTF-16 odd length", odd, odd.size() - 1, "v", {"S"}},
        {"1 MB line", mbLine, mbLine.size(), std::string(255, 'q'), {"S"}},
    };
    put(odd);
    ini_.setValue("S", "k", "w");
    EXPECT_EQ(content().back(), '\x01');
    for (const BadFile& f : files) {
        put(f.bytes);
        EXPECT_EQ(ini_.getString("S", "k"), f.value) << f.what;
        std::vector<std::string> v;
        EXPECT_NO_THROW(ini_.getSectionList(v)) << f.what;
        EXPECT_EQ(v, f.sections) << f.what;
        ini_.setValue("Added", "key", "value");
        EXPECT_EQ(content().substr(0, f.kept), f.bytes.substr(0, f.kept)) << f.what;
        EXPECT_EQ(ini_.getString("Added", "key"), "value") << f.what;
        EXPECT_EQ(ini_.getString("S", "k"), f.value) << f.what;
        ini_.deleteSection("Added");
        EXPECT_EQ(content().substr(0, f.kept), f.bytes.substr(0, f.kept)) << f.what;
    }
}

TEST_F(IniFile, NulInsideAValueIsAnOrdinaryCharacter) {
    put(std::string("[S]\r\nk=a\0b\r\n", 12));
    EXPECT_EQ(ini_.getString("S", "k"), std::string("a\0b", 3));
}

TEST_F(IniFile, HundredThousandSections) {
    std::string file;
    for (int i = 0; i < 100000; ++i) {
        file += "[S" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n";
    }
    put(file);
    EXPECT_EQ(ini_.getString("S77777", "k"), "77777");
    std::vector<std::string> v;
    EXPECT_THROW(ini_.getSectionList(v), kesk::RuntimeError); // more than 32,767 headers
    ini_.setValue("S5", "k", "x");
    EXPECT_EQ(ini_.getString("S5", "k"), "x");
    EXPECT_EQ(content().size(), file.size());
}

} // namespace
