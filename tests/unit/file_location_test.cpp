// Where "Open file location" takes the user: the folder and the selected entry for a path and
// what its shortcut says, and the parameters the shell's file window is given.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/mdShellEx.h"

namespace kesk::test {
namespace {

TEST(FileLocation, FolderAndSelectedEntryByRule) {
    struct Case {
        const char* rule;
        std::string path;
        std::optional<std::string> linkTarget;
        bool linkTargetExists;
        FileLocation expected;
    };
    const std::vector<Case> cases = {
        {"a file is selected in its folder",
         "D:\\Apps\\calc.exe",
         std::nullopt,
         false,
         {"D:\\Apps", "D:\\Apps\\calc.exe"}},
        {"a folder is selected in the one above",
         "D:\\Docs\\Old",
         std::nullopt,
         false,
         {"D:\\Docs", "D:\\Docs\\Old"}},
        {"a trailing separator is not a name of its own",
         "D:\\Docs\\Old\\",
         std::nullopt,
         false,
         {"D:\\Docs", "D:\\Docs\\Old"}},
        {"a file in a drive root keeps the root's separator",
         "D:\\boot.ini",
         std::nullopt,
         false,
         {"D:\\", "D:\\boot.ini"}},
        {"a drive root is opened itself", "D:\\", std::nullopt, false, {"D:\\", ""}},
        {"a share's file is selected in the share",
         "\\\\host\\share\\x.doc",
         std::nullopt,
         false,
         {"\\\\host\\share", "\\\\host\\share\\x.doc"}},
        {"a share root is opened itself",
         "\\\\host\\share",
         std::nullopt,
         false,
         {"\\\\host\\share", ""}},
        {"forward slashes separate too",
         "D:/Apps/calc.exe",
         std::nullopt,
         false,
         {"D:/Apps", "D:/Apps/calc.exe"}},
        {"a shortcut leads to its target",
         "D:\\Links\\Calc.lnk",
         "D:\\Apps\\calc.exe",
         true,
         {"D:\\Apps", "D:\\Apps\\calc.exe"}},
        {"the shortcut's ending in any case",
         "D:\\Links\\Calc.LNK",
         "D:\\Apps\\calc.exe",
         true,
         {"D:\\Apps", "D:\\Apps\\calc.exe"}},
        {"a shortcut to a folder selects that folder",
         "D:\\Links\\Docs.lnk",
         "E:\\Docs",
         true,
         {"E:\\", "E:\\Docs"}},
        {"a broken shortcut is shown in its own folder",
         "D:\\Links\\Gone.lnk",
         "D:\\Apps\\gone.exe",
         false,
         {"D:\\Links", "D:\\Links\\Gone.lnk"}},
        {"an unreadable shortcut is shown in its own folder",
         "D:\\Links\\Bad.lnk",
         std::nullopt,
         false,
         {"D:\\Links", "D:\\Links\\Bad.lnk"}},
        {"a shortcut naming no path is shown in its own folder",
         "D:\\Links\\Shell.lnk",
         "",
         true,
         {"D:\\Links", "D:\\Links\\Shell.lnk"}},
        {"a shortcut to itself is shown in its own folder",
         "D:\\Links\\Self.lnk",
         "d:/links/SELF.lnk",
         true,
         {"D:\\Links", "D:\\Links\\Self.lnk"}},
        {"only shortcuts are followed",
         "D:\\Apps\\calc.exe",
         "D:\\Other\\x.exe",
         true,
         {"D:\\Apps", "D:\\Apps\\calc.exe"}},
        {"a name merely containing .lnk is no shortcut",
         "D:\\Apps\\a.lnk.txt",
         "D:\\Other\\x.exe",
         true,
         {"D:\\Apps", "D:\\Apps\\a.lnk.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        const FileLocation got = fileLocationOf(c.path, c.linkTarget, c.linkTargetExists);
        EXPECT_EQ(got.folder, c.expected.folder);
        EXPECT_EQ(got.selected, c.expected.selected);
    }
}

TEST(FileLocation, FolderWindowParametersByRule) {
    struct Case {
        const char* rule;
        FileLocation location;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"a selected entry is quoted after /select,",
         {"D:\\My Apps", "D:\\My Apps\\calc.exe"},
         "/select,\"D:\\My Apps\\calc.exe\""},
        {"a folder alone is quoted", {"\\\\host\\my share", ""}, "\"\\\\host\\my share\""},
        {"a drive root goes unquoted: a quote after a backslash would be taken as text",
         {"D:\\", ""},
         "D:\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        EXPECT_EQ(folderWindowParameters(c.location), c.expected);
    }
}

} // namespace
} // namespace kesk::test
