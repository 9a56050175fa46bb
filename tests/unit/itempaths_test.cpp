// From stored path values to the paths used: variables, the program's folder,
// and the values that must never reach the file system.

#include "support/itempaths.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>

using kesk::paths::PathContext;
using kesk::paths::PathProblem;

namespace {

const std::string kBig(40'000, 'x');
const std::string kHalf(20'000, 'y');

PathContext stick(const std::string& folder = "E:\\Tools\\KeskVLM") {
    static const std::map<std::string, std::string> env = {
        {"USERPROFILE", "C:\\Users\\ann"},
        {"APPDATA", "C:\\Users\\ann\\AppData\\Roaming"},
        {"BIG", kBig},
        {"HALF", kHalf},
        {"EMPTY", ""},
        {"DEVICE", "NUL"},
    };
    return PathContext{folder, [](const std::string& name) -> std::optional<std::string> {
                           // The platform's names ignore letter case.
                           std::string key = name;
                           for (char& c : key) {
                               c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
                           }
                           const auto it = env.find(key);
                           return it == env.end() ? std::nullopt
                                                  : std::optional<std::string>(it->second);
                       }};
}

struct ResolveCase {
    const char* rule;
    std::string stored;
    std::string expected; // the path used; empty when refused
    PathProblem problem;
    std::string folder = "E:\\Tools\\KeskVLM";
};

void PrintTo(const ResolveCase& c, std::ostream* os) {
    *os << c.rule;
}

class ResolveItemPath : public testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveItemPath, GivesThePathUsedOrRefuses) {
    const ResolveCase& c = GetParam();
    const auto r = kesk::paths::resolveItemPath(c.stored, stick(c.folder));
    EXPECT_EQ(r.problem, c.problem) << c.rule;
    EXPECT_EQ(r.path, c.expected) << c.rule;
}

INSTANTIATE_TEST_SUITE_P(
    AgainstTheProgramsFolder, ResolveItemPath,
    testing::Values(
        ResolveCase{"a full path stays", "C:\\Windows\\notepad.exe", "C:\\Windows\\notepad.exe",
                    PathProblem::None},
        ResolveCase{"a relative path is taken against the program's folder", "bin\\tool.exe",
                    "E:\\Tools\\KeskVLM\\bin\\tool.exe", PathProblem::None},
        ResolveCase{"a dot step goes nowhere", ".\\tool.exe", "E:\\Tools\\KeskVLM\\tool.exe",
                    PathProblem::None},
        ResolveCase{"a dot-dot step climbs one folder", "..\\Data\\notes.txt",
                    "E:\\Tools\\Data\\notes.txt", PathProblem::None},
        ResolveCase{"a rooted path is on the program's drive", "\\Data\\notes.txt",
                    "E:\\Data\\notes.txt", PathProblem::None},
        ResolveCase{"forward slashes read as backslashes", "bin/tool.exe",
                    "E:\\Tools\\KeskVLM\\bin\\tool.exe", PathProblem::None},
        ResolveCase{"a full path is used as written", "C:/Windows\\\\.\\notepad.exe",
                    "C:/Windows\\\\.\\notepad.exe", PathProblem::None},
        ResolveCase{"an expanded path is normalised", "%USERPROFILE%\\\\.\\a/b.txt",
                    "C:\\Users\\ann\\a\\b.txt", PathProblem::None},
        ResolveCase{"a program at a drive's root", "tool.exe", "E:\\tool.exe", PathProblem::None,
                    "E:\\"},
        ResolveCase{"a program on a share", "..\\other\\x.exe", "\\\\nas\\apps\\other\\x.exe",
                    PathProblem::None, "\\\\nas\\apps\\KeskVLM"},
        ResolveCase{"a shortcut is a file like any other, followed or not", "links\\broken.lnk",
                    "E:\\Tools\\KeskVLM\\links\\broken.lnk", PathProblem::None},
        ResolveCase{"nothing to take it against: used as it stands", "bin/tool.exe", "bin/tool.exe",
                    PathProblem::None, ""},
        ResolveCase{"an empty value is nothing to use", "", "", PathProblem::Empty}));

INSTANTIATE_TEST_SUITE_P(
    Variables, ResolveItemPath,
    testing::Values(ResolveCase{"a set variable is expanded", "%USERPROFILE%\\notes.txt",
                                "C:\\Users\\ann\\notes.txt", PathProblem::None},
                    ResolveCase{"variable names ignore case", "%appdata%\\x.ini",
                                "C:\\Users\\ann\\AppData\\Roaming\\x.ini", PathProblem::None},
                    ResolveCase{"KESKDIR names the program's folder", "%KESKDIR%\\..\\Data\\a.doc",
                                "E:\\Tools\\Data\\a.doc", PathProblem::None},
                    ResolveCase{"KESKDIR at a drive's root", "%KESKDIR%\\a.doc", "E:\\a.doc",
                                PathProblem::None, "E:"},
                    ResolveCase{"KESKDIR wins over the environment's", "%keskdir%\\a.doc",
                                "E:\\Tools\\KeskVLM\\a.doc", PathProblem::None},
                    ResolveCase{"an unknown variable stays as written", "C:\\%NOSUCH%\\a.exe",
                                "C:\\%NOSUCH%\\a.exe", PathProblem::None},
                    ResolveCase{"an empty variable expands to nothing", "C:\\x%EMPTY%y.exe",
                                "C:\\xy.exe", PathProblem::None},
                    ResolveCase{"a variable that expands to 40,000 characters is refused", "%BIG%",
                                "", PathProblem::TooLong},
                    ResolveCase{"two halves beyond the bound are refused", "C:\\%HALF%\\%HALF%", "",
                                PathProblem::TooLong},
                    ResolveCase{"a joined path beyond the bound is refused",
                                std::string(32'760, 'z'), "", PathProblem::TooLong},
                    ResolveCase{"a variable naming a device is refused", "C:\\x\\%DEVICE%", "",
                                PathProblem::Device}));

INSTANTIATE_TEST_SUITE_P(
    Refused, ResolveItemPath,
    testing::Values(
        ResolveCase{"dot-dot above the drive's root", "..\\..\\..\\x.exe", "",
                    PathProblem::LeavesRoot},
        ResolveCase{"dot-dot above a full path's root", "C:\\..\\Windows\\x.exe", "",
                    PathProblem::LeavesRoot},
        ResolveCase{"dot-dot above a share's root", "\\\\nas\\apps\\..\\x.exe", "",
                    PathProblem::LeavesRoot},
        ResolveCase{"a drive-relative path", "C:tool.exe", "", PathProblem::DriveRelative},
        ResolveCase{"a bare drive", "D:", "", PathProblem::DriveRelative},
        ResolveCase{"CON as the file", "CON", "", PathProblem::Device},
        ResolveCase{"NUL with an extension", "C:\\x\\nul.txt", "", PathProblem::Device},
        ResolveCase{"COM1 in a folder's place", "C:\\COM1\\a.exe", "", PathProblem::Device},
        ResolveCase{"LPT1 in lower case", "lpt1", "", PathProblem::Device},
        ResolveCase{"AUX with trailing blanks", "C:\\aux  .log", "", PathProblem::Device},
        ResolveCase{"PRN", "%KESKDIR%\\PRN", "", PathProblem::Device},
        ResolveCase{"CONOUT$", "C:\\conout$", "", PathProblem::Device},
        ResolveCase{"a physical drive", "\\\\.\\PhysicalDrive0", "", PathProblem::Device},
        ResolveCase{"a device path written with slashes", "//./C:/x", "", PathProblem::Device},
        ResolveCase{"a verbatim path", "\\\\?\\C:\\Windows\\notepad.exe", "", PathProblem::Device},
        ResolveCase{"an object-manager path", "\\??\\C:\\x", "", PathProblem::Device},
        ResolveCase{"an alternate stream of a full path", "C:\\x\\notes.txt:hidden", "",
                    PathProblem::Stream},
        ResolveCase{"an alternate stream of a relative path", "notes.txt:hidden:$DATA", "",
                    PathProblem::Stream},
        ResolveCase{"a stream on a share", "\\\\nas\\apps\\a.exe:s", "", PathProblem::Stream},
        ResolveCase{"wildcards", "C:\\x\\*.exe", "", PathProblem::Malformed},
        ResolveCase{"a control character", std::string("C:\\a\tb"), "", PathProblem::Malformed},
        ResolveCase{"a share without its name", "\\\\nas", "", PathProblem::Malformed}));

TEST(ResolveItemPath, DevicesAreNotMistakenForNamesThatStartLikeThem) {
    struct Row {
        const char* rule;
        const char* name;
        bool device;
    };
    const Row rows[] = {
        {"CONSOLE is a name", "console.txt", false},
        {"COM10 is a name", "COM10", false},
        {"COM0 is a device", "COM0", true},
        {"NULL is a name", "null", false},
        {"LPT with a superscript", "LPT\xC2\xB9", true},
        {"dots after CON", "CON...", true},
        {"an empty component", "", false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(kesk::paths::isDeviceName(r.name), r.device) << r.rule;
    }
}

TEST(ExpandVariables, LeavesParametersTextOtherwiseAlone) {
    struct Row {
        const char* rule;
        std::string text;
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        {"expanded inside text", "/f \"%USERPROFILE%\\a b.txt\" /q",
         "/f \"C:\\Users\\ann\\a b.txt\" /q"},
        {"a lone sign stays", "100% sure", "100% sure"},
        {"two signs with nothing between stay", "a%%b", "a%%b"},
        {"an unknown name stays", "%NOSUCH% %USERPROFILE%", "%NOSUCH% C:\\Users\\ann"},
        {"an unknown name's closing sign may open the next", "%NOSUCH%USERPROFILE%",
         "%NOSUCHC:\\Users\\ann"},
        {"beyond the bound: nothing", "%BIG%", std::nullopt},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(kesk::paths::expandVariables(r.text, stick()), r.expected) << r.rule;
    }
}

TEST(UncHost, NamesTheHostOfShareAddressesOnly) {
    struct Row {
        const char* rule;
        const char* path;
        const char* host;
    };
    const Row rows[] = {
        {"a share", "\\\\nas\\apps\\x.exe", "nas"},
        {"slashes", "//nas/apps", "nas"},
        {"a drive", "C:\\x", ""},
        {"a device path is no host", "\\\\.\\PhysicalDrive0", ""},
        {"a rooted path", "\\x", ""},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(kesk::paths::uncHost(r.path), r.host) << r.rule;
    }
}

TEST(IsAddress, PassesOnlySchemesThatNameNoFile) {
    struct Row {
        const char* rule;
        const char* text;
        bool address;
    };
    const Row rows[] = {
        {"a web address", "https://example.org/x", true},
        {"a mail address", "mailto:ann@example.org", true},
        {"a shell folder", "shell:Downloads", true},
        {"a drive is no scheme", "C://x", false},
        {"a file address must pass as a path", "file://C:/x/NUL", false},
        {"a stream of a relative file is no address", "notes.txt:hidden", false},
        {"a scheme of odd characters", "a b://x", false},
        {"no colon", "tools\\a.exe", false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(kesk::paths::isAddress(r.text), r.address) << r.rule;
    }
}

TEST(PortableDropValue, KeepsDropsOnTheProgramsDriveRelative) {
    struct Row {
        const char* rule;
        const char* dropped;
        const char* folder;
        const char* stored;
    };
    const Row rows[] = {
        {"below the folder", "E:\\Tools\\KeskVLM\\bin\\a.exe", "E:\\Tools\\KeskVLM", "bin\\a.exe"},
        {"in the folder", "E:\\Tools\\KeskVLM\\a.exe", "E:\\Tools\\KeskVLM", "a.exe"},
        {"the folder's letter case differs", "e:\\tools\\keskvlm\\a.exe", "E:\\Tools\\KeskVLM",
         "a.exe"},
        {"elsewhere on the drive", "E:\\Data\\x.doc", "E:\\Tools\\KeskVLM", "..\\..\\Data\\x.doc"},
        {"a sibling whose name starts alike", "E:\\Tools\\KeskVLM2\\a.exe", "E:\\Tools\\KeskVLM",
         "..\\KeskVLM2\\a.exe"},
        {"another drive stays full", "C:\\Windows\\notepad.exe", "E:\\Tools\\KeskVLM",
         "C:\\Windows\\notepad.exe"},
        {"another share stays full", "\\\\nas\\other\\a.exe", "\\\\nas\\apps\\K",
         "\\\\nas\\other\\a.exe"},
        {"the same share", "\\\\NAS\\apps\\x\\a.exe", "\\\\nas\\apps\\K", "..\\x\\a.exe"},
        {"the folder itself", "E:\\Tools\\KeskVLM", "E:\\Tools\\KeskVLM", "."},
        {"a name that would read as a variable stays full", "E:\\Tools\\KeskVLM\\%PATH%.txt",
         "E:\\Tools\\KeskVLM", "E:\\Tools\\KeskVLM\\%PATH%.txt"},
        {"no folder known: full", "E:\\a.exe", "", "E:\\a.exe"},
        {"a program at the drive's root", "E:\\x\\a.exe", "E:\\", "x\\a.exe"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(kesk::paths::portableDropValue(r.dropped, r.folder), r.stored) << r.rule;
    }
}

TEST(PortableDropValue, WhatIsStoredResolvesToTheDroppedFileFromAnyLetter) {
    const char* const dropped[] = {"F:\\Stick\\K\\a.exe", "F:\\Stick\\Docs\\b.doc", "F:\\c.txt"};
    for (const char* d : dropped) {
        const std::string stored = kesk::paths::portableDropValue(d, "F:\\Stick\\K");
        const auto here = kesk::paths::resolveItemPath(stored, stick("F:\\Stick\\K"));
        const auto moved = kesk::paths::resolveItemPath(stored, stick("G:\\Stick\\K"));
        EXPECT_EQ(here.path, d) << d;
        EXPECT_EQ(moved.path, "G" + std::string(d).substr(1)) << d;
    }
}

} // namespace
