// The same files and the same calls through our INI engine and through the
// platform's profile functions. Where the platform here (Wine) is known to
// differ from Windows, the row gives the Windows result, which ours must give,
// and Wine must still differ (so a row that no longer describes Wine fails).

#include "settings/clsINIFile.h"
#include "win32/wtext.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace kesk {
namespace {

namespace fs = std::filesystem;

enum class Op { Read, ReadSection, Write, DeleteKey, DeleteSection, WriteSection };

struct Row {
    const char* file; // nullptr: no file
    Op op;
    const char* sect;
    const char* key;   // WriteSection: the lines, separated by '\n'
    const char* value; // Write
    // nullptr: Wine and Windows agree and ours must give what Wine gives.
    // Otherwise the result Windows gives (and ours), Wine giving another.
    const char* windows;
    std::size_t fileSize = 0; // bytes of `file` when it holds NULs, else 0
};

const char* const kCat = "[Window]\r\nheightOffset=150\r\n[Item1]\r\nName=Editor\r\n"
                         "Target=C:\\x.exe\r\n";

// UTF-16LE with its byte order mark, as the platform reads and writes it.
std::string utf16(const char* ascii8) {
    const std::wstring w = win::widen(ascii8);
    std::string out = "\xFF\xFE";
    for (const wchar_t c : w) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return out;
}
const std::string kUtf16 = utf16("[S]\r\nk=K\xC3\xA4se \xE6\x97\xA5\r\n[T]\r\nj=1\r\n");

// A value longer than a read's buffer of 256 characters.
const std::string kLongFile = "[S]\r\nk=" + std::string(300, 'x') + "\r\n";

// clang-format off
const Row kRows[] = {
    // Reading a key.
    {kCat, Op::Read, "Item1", "Name", nullptr, nullptr},
    {kCat, Op::Read, "iTEM1", "NAME", nullptr, nullptr},              // names ignore case
    {kCat, Op::Read, "Item1", "Missing", nullptr, nullptr},
    {kCat, Op::Read, "Missing", "Name", nullptr, nullptr},
    {nullptr, Op::Read, "Item1", "Name", nullptr, nullptr},           // no file
    {"[S]\r\n  k  =  v w  \r\n", Op::Read, "S", "k", nullptr, nullptr},
    {"[S]\r\n\tk\t=\tv\t\r\n", Op::Read, "S", "k", nullptr, nullptr},
    {"[S]\r\nk=\" v \"\r\n", Op::Read, "S", "k", nullptr, nullptr},
    {"[S]\r\nk=' v '\r\n", Op::Read, "S", "k", nullptr, nullptr},
    {"[S]\r\nk=\"v'\r\n", Op::Read, "S", "k", nullptr, nullptr},       // no matching pair
    {"[S]\r\nk=a=b\r\n", Op::Read, "S", "k", nullptr, nullptr},        // first '=' splits
    {"[S]\r\nk=v ;c #d\r\n", Op::Read, "S", "k", nullptr, nullptr},    // no inline comments
    {"[S]\r\n#k=1\r\n", Op::Read, "S", "#k", nullptr, nullptr},
    {"[S]\r\nk=1\r\nk=2\r\n", Op::Read, "S", "k", nullptr, nullptr},   // first key wins
    {"[S]\r\nk=1\r\n[s]\r\nk=2\r\n", Op::Read, "S", "k", nullptr, nullptr},
    {"[S]\nk=v\n", Op::Read, "S", "k", nullptr, nullptr},              // LF line ends
    {"[S]\rk=v\r", Op::Read, "S", "k", nullptr, nullptr},              // CR line ends
    {"[ S ]\r\nk=v\r\n", Op::Read, "S", "k", nullptr, nullptr},
    {"  [S]\r\n  k=v\r\n", Op::Read, "S", "k", nullptr, nullptr},
    {"[S] text\r\nk=v\r\n", Op::Read, "S", "k", nullptr, nullptr},
    {kCat, Op::Read, " Item1 ", " Name ", nullptr, nullptr},          // arguments trimmed
    {"[S]\r\nk\r\n", Op::Read, "S", "k", nullptr, nullptr},            // no '=': not a key
    {"[S]\r\nk=\r\n", Op::Read, "S", "k", nullptr, nullptr},
    {"[S]\r\nk=\"\"\r\n", Op::Read, "S", "k", nullptr, nullptr},
    {"[S]\r\n", Op::Read, "S", "k", nullptr, nullptr},
    {kLongFile.c_str(), Op::Read, "S", "k", nullptr, nullptr},
    {kUtf16.data(), Op::Read, "S", "k", nullptr, nullptr, kUtf16.size()},
    {kUtf16.data(), Op::ReadSection, "T", nullptr, nullptr, nullptr, kUtf16.size()},
    {kUtf16.data(), Op::Write, "T", "j", "\xE2\x82\xAC \xE6\x97\xA5", nullptr, kUtf16.size()},
    {kUtf16.data(), Op::Write, "N", "k", "v", nullptr, kUtf16.size()},
    {"", Op::Read, "S", "k", nullptr, nullptr},
    // Wine: comment lines are keys; Windows: no key reaches a comment.
    {"[S]\r\n;k=1\r\n", Op::Read, "S", ";k", nullptr, ""},
    // Wine: a header ends at the last ']'; Windows: at the first.
    {"[a]b]\r\nk=v\r\n", Op::Read, "a", "k", nullptr, "v"},
    // Wine: a line without ']' is no header; Windows: the name runs to the line's end.
    {"[S\r\nk=v\r\n", Op::Read, "S", "k", nullptr, "v"},
    // Wine: keys before the first header form a section without name; Windows: unreachable.
    {"k=v\r\n[S]\r\n", Op::Read, "", "k", nullptr, ""},
    // Wine: "[]" is no section; Windows: the section with the empty name.
    {"[]\r\nk=v\r\n", Op::Read, "", "k", nullptr, "v"},
    // Wine trims tabs from the names a caller passes; Windows only spaces, and a tab-edged
    // name matches nothing.
    {kCat, Op::Read, "\tItem1", "Name", nullptr, ""},
    {kCat, Op::Read, "Item1", "Name\t", nullptr, ""},

    // Reading a whole section (lines shown separated by '|').
    {"[S]\r\na=1\r\n b = 2 \r\n[T]\r\nx=y\r\n", Op::ReadSection, "S", nullptr, nullptr, nullptr},
    {"[S]\r\nplain\r\nk=v\r\n", Op::ReadSection, "s", nullptr, nullptr, nullptr},
    {"[S]\r\nk=\"v\"\r\nj='w'\r\n", Op::ReadSection, "S", nullptr, nullptr, nullptr},
    {"[S]\r\n\tk\t=\tv w\t\r\n;c\r\n\r\n", Op::ReadSection, "S", nullptr, nullptr, nullptr},
    {kCat, Op::ReadSection, "Missing", nullptr, nullptr, nullptr},
    {"[S]\r\n[T]\r\nx=y\r\n", Op::ReadSection, "S", nullptr, nullptr, nullptr},
    {nullptr, Op::ReadSection, "S", nullptr, nullptr, nullptr},

    // Writing a key.
    {kCat, Op::Write, "Item1", "Name", "Notes", nullptr},
    {kCat, Op::Write, "ITEM1", "name", "Notes", nullptr},              // keeps the key's spelling
    {kCat, Op::Write, "Window", "width", "5", nullptr},                // after the section's last key
    {kCat, Op::Write, "New", "k", "v", nullptr},                       // section appended
    {kCat, Op::Write, "Item1", "Name", "", nullptr},                   // empty value: "Name="
    {kCat, Op::Write, " Item1 ", "Icon", "a b", nullptr},
    {nullptr, Op::Write, "S", "k", "v", nullptr},                      // file created
    {"", Op::Write, "S", "k", "v", nullptr},
    {"[S]\r\nk=v", Op::Write, "T", "a", "b", nullptr},                 // no final line break
    {"[S]\r\nk=v", Op::Write, "S", "j", "w", nullptr},
    {"[S]\r\nk=v", Op::Write, "S", "k", "w", nullptr},                 // rewritten with CR LF
    {"x\r\n[S]\r\n;c\r\nk=v\r\n", Op::Write, "S", "k", "w", nullptr},
    // Wine rewrites the whole file: blank lines go, spacing is normalised.
    {"; head\r\n\r\n[S]\r\nk=v\r\n\r\n[T]\r\nj = 1\r\n", Op::Write, "S", "k", "w",
     "; head\r\n\r\n[S]\r\nk=w\r\n\r\n[T]\r\nj = 1\r\n"},
    {"[S]\r\nk=v\r\n\r\n[T]\r\n", Op::Write, "S", "j", "w",
     "[S]\r\nk=v\r\nj=w\r\n\r\n[T]\r\n"},
    // Wine: a key argument keeps its trailing blanks; Windows: trimmed.
    {kCat, Op::Write, "Item1", " Icon ", "a",
     "[Window]\r\nheightOffset=150\r\n[Item1]\r\nName=Editor\r\nTarget=C:\\x.exe\r\nIcon=a\r\n"},
    // Our own rule (the platform would inject lines): a line break becomes a blank.
    {"[S]\r\nk=v\r\n", Op::Write, "S", "k", "a\r\nb=c", "[S]\r\nk=a b=c\r\n"},
    // Our own rule: a tab-edged name could not be found again once written (Windows adds the
    // line anew at every such write; Wine trims the tab), so the write does nothing.
    {kCat, Op::Write, "Item1", "\tName", "x", kCat},

    // Deleting.
    {kCat, Op::DeleteKey, "Item1", "Name", nullptr, nullptr},
    {kCat, Op::DeleteKey, "item1", "TARGET", nullptr, nullptr},
    {kCat, Op::DeleteKey, "Item1", "Missing", nullptr, nullptr},
    {kCat, Op::DeleteSection, "Window", nullptr, nullptr, nullptr},
    {kCat, Op::DeleteSection, "ITEM1", nullptr, nullptr, nullptr},
    {kCat, Op::DeleteSection, "Missing", nullptr, nullptr, nullptr},
    {nullptr, Op::DeleteSection, "S", nullptr, nullptr, nullptr},      // no file made
    {"[A]\r\nk=1\r\n;c\r\n[B]\r\nj=2\r\n", Op::DeleteSection, "A", nullptr, nullptr, nullptr},

    // Writing a whole section.
    {"[S]\r\na=1\r\nb=2\r\n[T]\r\nx=y\r\n", Op::WriteSection, "S", "c=3\nd=4", nullptr, nullptr},
    {kCat, Op::WriteSection, "New", "c=3\nd=4", nullptr, nullptr},
    {nullptr, Op::WriteSection, "S", "a=1", nullptr, nullptr},
};
// clang-format on

void PrintTo(const Row& r, std::ostream* os) {
    *os << "file "
        << testing::PrintToString(r.file == nullptr ? std::string("<none>")
                                  : r.fileSize != 0 ? std::string(r.file, r.fileSize)
                                                    : std::string(r.file))
        << ", op " << static_cast<int>(r.op) << ", " << testing::PrintToString(r.sect) << ", "
        << testing::PrintToString(r.key != nullptr ? r.key : "") << ", "
        << testing::PrintToString(r.value != nullptr ? r.value : "");
}

class IniDifferential : public testing::TestWithParam<Row> {
  protected:
    static void SetUpTestSuite() {
        dir_ =
            fs::temp_directory_path() / ("kesk_ini_diff_" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(dir_);
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    static fs::path fileFor(const char* side) {
        // A fresh name per row and side: the platform keeps files it read in memory.
        static int counter = 0;
        return dir_ / (std::string(side) + std::to_string(++counter) + ".ini");
    }
    static void put(const fs::path& p, const Row& r) {
        if (r.file != nullptr) {
            std::ofstream(p, std::ios::binary)
                << (r.fileSize != 0 ? std::string_view(r.file, r.fileSize) : r.file);
        }
    }
    static std::string bytesOf(const fs::path& p) {
        std::ifstream in(p, std::ios::binary | std::ios::ate);
        if (!in) {
            return "<no file>";
        }
        std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
        in.seekg(0);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }
    static std::vector<std::string> linesOf(const char* text) {
        std::vector<std::string> out;
        std::string_view t = text;
        while (true) {
            const auto nl = t.find('\n');
            out.emplace_back(t.substr(0, nl));
            if (nl == std::string_view::npos) {
                return out;
            }
            t.remove_prefix(nl + 1);
        }
    }

    static std::string ours(const Row& r, const fs::path& p) {
        clsINIFile ini;
        const std::u8string u = p.u8string();
        ini.setFilename(std::string(u.begin(), u.end()));
        switch (r.op) {
        case Op::Read:
            return ini.getString(r.sect, r.key);
        case Op::ReadSection: {
            std::vector<std::string> lines;
            ini.getArray(r.sect, lines);
            std::string joined;
            for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
                joined += (i == 0 ? "" : "|") + lines[i];
            }
            return joined;
        }
        case Op::Write:
            ini.setValue(r.sect, r.key, r.value);
            break;
        case Op::DeleteKey:
            ini.deleteKey(r.sect, r.key);
            break;
        case Op::DeleteSection:
            ini.deleteSection(r.sect);
            break;
        case Op::WriteSection:
            ini.setArray(r.sect, linesOf(r.key));
            break;
        }
        return bytesOf(p);
    }

    static std::string platform(const Row& r, const fs::path& p) {
        const std::wstring path = p.wstring();
        const std::wstring sect = win::widen(r.sect);
        const std::wstring key = win::widen(r.key != nullptr ? r.key : "");
        switch (r.op) {
        case Op::Read: {
            wchar_t buf[256] = {};
            const DWORD n =
                GetPrivateProfileStringW(sect.c_str(), key.c_str(), L"", buf, 256, path.c_str());
            return win::narrow(std::wstring_view(buf, n));
        }
        case Op::ReadSection: {
            std::vector<wchar_t> buf(32767);
            const DWORD n = GetPrivateProfileSectionW(sect.c_str(), buf.data(),
                                                      static_cast<DWORD>(buf.size()), path.c_str());
            std::string joined;
            for (DWORD pos = 0; pos < n && buf[pos] != L'\0';) {
                const std::wstring line(&buf[pos]);
                joined += (pos == 0 ? "" : "|") + win::narrow(line);
                pos += static_cast<DWORD>(line.size()) + 1;
            }
            return joined;
        }
        case Op::Write:
            WritePrivateProfileStringW(sect.c_str(), key.c_str(), win::widen(r.value).c_str(),
                                       path.c_str());
            break;
        case Op::DeleteKey:
            WritePrivateProfileStringW(sect.c_str(), key.c_str(), nullptr, path.c_str());
            break;
        case Op::DeleteSection:
            WritePrivateProfileStringW(sect.c_str(), nullptr, nullptr, path.c_str());
            break;
        case Op::WriteSection: {
            std::wstring lines;
            for (const std::string& l : linesOf(r.key)) {
                lines += win::widen(l) + L'\0';
            }
            lines += L'\0';
            WritePrivateProfileSectionW(sect.c_str(), lines.c_str(), path.c_str());
            break;
        }
        }
        return bytesOf(p);
    }

    static fs::path dir_;
};

fs::path IniDifferential::dir_;

TEST_P(IniDifferential, SameResultAsThePlatformOrTheListedWindowsResult) {
    const Row& r = GetParam();
    const fs::path mine = fileFor("o");
    const fs::path theirs = fileFor("p");
    put(mine, r);
    put(theirs, r);
    const std::string got = ours(r, mine);
    const std::string wine = platform(r, theirs);
    if (r.windows == nullptr) {
        EXPECT_EQ(got, wine);
    } else {
        EXPECT_EQ(got, r.windows);
        EXPECT_NE(wine, r.windows) << "Wine now agrees with Windows here; drop the listed result";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, IniDifferential, testing::ValuesIn(kRows));

} // namespace
} // namespace kesk
