// A change that could not be saved is told once a session, by a balloon from
// the tray icon naming the folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/appinfo.h"
#include "tray/frmMain.h"
#include "tray/mdTrayIcon.h"
#include "tray_fakes.h"

namespace kesk {
namespace {

using test::CallLog;
using test::FakeMenu;
using test::FakeShell;
using test::ScreenDesktop;

struct Step {
    enum Kind { Load, Fail, IconGone, IconBack } kind;
    std::string folder;
};

TEST(SaveFailed, OnceASessionTableOfRules) {
    struct Row {
        const char* rule;
        std::vector<Step> steps;
        // The folders the balloons named, in order.
        std::vector<std::string> told;
    };
    const std::vector<Row> rows = {
        {"the first failure is told", {{Step::Load, ""}, {Step::Fail, "C:\\Kesk"}}, {"C:\\Kesk"}},
        {"later failures say nothing more",
         {{Step::Load, ""},
          {Step::Fail, "C:\\Kesk"},
          {Step::Fail, "C:\\Kesk"},
          {Step::Fail, "C:\\Kesk"}},
         {"C:\\Kesk"}},
        {"a failure in another folder after the first says nothing either",
         {{Step::Load, ""}, {Step::Fail, "C:\\Kesk"}, {Step::Fail, "D:\\Sync"}},
         {"C:\\Kesk"}},
        {"a failure before the icon exists waits for one that can be told",
         {{Step::Fail, "C:\\Early"}, {Step::Load, ""}, {Step::Fail, "C:\\Kesk"}},
         {"C:\\Kesk"}},
        {"a balloon the shell did not take is tried again at the next failure",
         {{Step::Load, ""},
          {Step::IconGone, ""},
          {Step::Fail, "C:\\Lost"},
          {Step::IconBack, ""},
          {Step::Fail, "C:\\Kesk"},
          {Step::Fail, "C:\\Kesk"}},
         {"C:\\Kesk"}},
        {"no failure, no balloon", {{Step::Load, ""}}, {}},
    };
    for (const Row& r : rows) {
        app::overrideForTests("C:\\Kesk", "KeskVLM");
        CallLog log;
        ScreenDesktop desktop;
        desktop.processes = {"System", "explorer.exe", "KeskVLM.exe"};
        FakeShell shell{log};
        FakeMenu menu{log};
        frmMain main{desktop, shell, menu, [] {}};
        for (const Step& s : r.steps) {
            switch (s.kind) {
            case Step::Load:
                main.Form_Load();
                break;
            case Step::Fail:
                main.saveFailed(s.folder);
                break;
            case Step::IconGone:
                shell.trayIconPresent = false;
                break;
            case Step::IconBack:
                shell.trayIconPresent = true;
                break;
            }
        }
        std::vector<std::string> told;
        for (const auto& b : shell.balloons) {
            EXPECT_EQ(b.title, "KeskVLM") << r.rule;
            EXPECT_EQ(b.icon, main.state().trayIconData) << r.rule;
            EXPECT_EQ(b.text, saveFailedText("KeskVLM", r.told.empty() ? "" : r.told.front()))
                << r.rule;
            told.push_back(r.told.empty() ? "" : r.told.front());
        }
        EXPECT_EQ(told, r.told) << r.rule;
        EXPECT_EQ(main.state().saveFailureTold, !r.told.empty()) << r.rule;
        app::overrideForTests("", "");
    }
}

std::size_t units16(const std::string& s) {
    std::size_t n = 0;
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if ((b & 0xC0) != 0x80) {
            n += (b & 0xF8) == 0xF0 ? 2 : 1;
        }
    }
    return n;
}

TEST(SaveFailed, TextTableOfRules) {
    const std::string frameStart = "KeskVLM could not save to ";
    const std::string frameEnd = ". Your change was not saved.";
    const std::size_t room = kBalloonTextUnits - units16(frameStart) - units16(frameEnd);
    const std::string exact(room, 'x');
    const std::string tooLong = "C:\\" + std::string(room, 'a') + "\\Sync";
    // Four-byte characters (two UTF-16 units each) where the cut falls.
    std::string emoji;
    for (std::size_t i = 0; i < room; ++i) {
        emoji += "\xF0\x9F\x98\x80";
    }
    struct Row {
        const char* rule;
        std::string folder;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"a short folder is named whole", "C:\\Program Files (x86)\\KeskVLM",
         frameStart + "C:\\Program Files (x86)\\KeskVLM" + frameEnd},
        {"a folder that just fits is named whole", exact, frameStart + exact + frameEnd},
        {"a folder too long loses its beginning", tooLong,
         frameStart + "..." + tooLong.substr(tooLong.size() - (room - 3)) + frameEnd},
        {"a cut never splits a character", emoji,
         frameStart + "..." + emoji.substr(emoji.size() - 4 * ((room - 3) / 2)) + frameEnd},
        {"non-ASCII names count by their UTF-16 units", "C:\\K\xC3\xA4se",
         frameStart + "C:\\K\xC3\xA4se" + frameEnd},
    };
    for (const Row& r : rows) {
        const std::string text = saveFailedText("KeskVLM", r.folder);
        EXPECT_EQ(text, r.expected) << r.rule;
        EXPECT_LE(units16(text), kBalloonTextUnits) << r.rule;
    }
}

TEST(HotkeyRefused, OnceForEachCombinationTableOfRules) {
    struct Row {
        const char* rule;
        bool loaded;
        std::vector<std::string> refusals;
        std::vector<std::string> told;
    };
    const std::vector<Row> rows = {
        {"a refusal is told, naming the combination", true, {"Ctrl+Alt+Space"}, {"Ctrl+Alt+Space"}},
        {"the same combination refused again says nothing more",
         true,
         {"Ctrl+Alt+Space", "Ctrl+Alt+Space"},
         {"Ctrl+Alt+Space"}},
        {"another combination refused is told too",
         true,
         {"Ctrl+Alt+Space", "Win+K"},
         {"Ctrl+Alt+Space", "Win+K"}},
        {"without a tray icon nothing is told", false, {"Win+K"}, {}},
    };
    for (const Row& r : rows) {
        CallLog log;
        ScreenDesktop desktop;
        desktop.processes = {"System", "explorer.exe", "KeskVLM.exe"};
        FakeShell shell{log};
        FakeMenu menu{log};
        frmMain main{desktop, shell, menu, [] {}};
        if (r.loaded) {
            main.Form_Load();
        }
        for (const std::string& c : r.refusals) {
            main.hotkeyRefused(c);
        }
        std::vector<std::string> told;
        for (const auto& b : shell.balloons) {
            told.push_back(b.text);
        }
        std::vector<std::string> expected;
        for (const std::string& c : r.told) {
            expected.push_back(hotkeyRefusedText("KeskVLM", c));
        }
        EXPECT_EQ(told, expected) << r.rule;
    }
    const std::string text = hotkeyRefusedText("KeskVLM", std::string(1000, '+'));
    EXPECT_LE(units16(text), kBalloonTextUnits) << "a long value is fitted to the balloon";
    EXPECT_NE(hotkeyRefusedText("KeskVLM", "Win+K").find("Win+K"), std::string::npos);
}

} // namespace
} // namespace kesk
