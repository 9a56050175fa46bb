// The system's ANSI code page on the real platform: the table we build agrees
// with the platform's own conversions byte by byte, and a catalogue saved in
// that code page shows its names in the real lists, starts its targets
// through the real shell and keeps its bytes when another key is written.
//
// Which code page a run has comes from its locale (LC_ALL under Wine). A run
// that must have a certain one names it in KESK_EXPECTED_ACP; the catalogue
// tests of the other code pages are skipped in it.
#include "win32/codepage_win32.h"

#include "settings/clsINIFile.h"
#include "settings/textcodec.h"
#include "support/appinfo.h"
#include "win32/desktop_test_pictures.h"
#include "win32/desktop_win32.h"
#include "win32/menu_view.h"
#include "win32/window_test_support.h"
#include "win32/wtext.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace kesk::test {
namespace {

namespace fs = std::filesystem;

// Every Windows-side test reads files as the program does: in the system's code page.
class SystemCodePageEnvironment : public testing::Environment {
  public:
    void SetUp() override { win::installSystemCodePage(); }
};
[[maybe_unused]] testing::Environment* const installed =
    testing::AddGlobalTestEnvironment(new SystemCodePageEnvironment);

std::optional<unsigned> expectedCodePage() {
    wchar_t buf[32] = {};
    const DWORD n = GetEnvironmentVariableW(L"KESK_EXPECTED_ACP", buf, 32);
    if (n == 0 || n >= 32) {
        return std::nullopt;
    }
    return static_cast<unsigned>(std::wcstoul(buf, nullptr, 10));
}

TEST(SystemCodePage, IsTheSystemsAndTheOneThisRunExpects) {
    EXPECT_EQ(ini::ansiCodePage().number(), GetACP());
    EXPECT_EQ(&ini::ansiCodePage(), &win::systemCodePage());
    if (const auto expected = expectedCodePage()) {
        EXPECT_EQ(GetACP(), *expected) << "the locale of this run did not give its code page";
    }
}

// What the platform makes of `bytes` when it must convert both ways exactly:
// the one character they stand for, if it is not ASCII and converts back to
// the same bytes without a best fit.
std::optional<char32_t> platformRoundTrip(const std::string& bytes) {
    wchar_t w[4] = {};
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(),
                            static_cast<int>(bytes.size()), w, 4) != 1 ||
        w[0] < 0x80 || (w[0] >= 0xD800 && w[0] <= 0xDFFF)) {
        return std::nullopt;
    }
    char back[8] = {};
    BOOL usedDefault = FALSE;
    const int n =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w, 1, back, 8, "?", &usedDefault);
    if (usedDefault || std::string(back, static_cast<std::size_t>(n > 0 ? n : 0)) != bytes) {
        return std::nullopt;
    }
    return static_cast<char32_t>(w[0]);
}

TEST(SystemCodePage, TableAgreesWithThePlatformForEveryByteAndPair) {
    if (GetACP() == CP_UTF8) {
        GTEST_SKIP() << "UTF-8 has no table";
    }
    const ini::CodePage& page = win::systemCodePage();
    int defined = 0;
    for (unsigned b = 0x80; b < 0x100; ++b) {
        const auto lead = static_cast<unsigned char>(b);
        ASSERT_EQ(page.isLeadByte(lead), IsDBCSLeadByte(static_cast<BYTE>(b)) != FALSE) << b;
        if (!page.isLeadByte(lead)) {
            const auto expected = platformRoundTrip(std::string(1, static_cast<char>(b)));
            EXPECT_EQ(page.single(lead), expected) << "byte " << b;
            defined += expected ? 1 : 0;
            continue;
        }
        for (unsigned t = 0; t < 0x100; ++t) {
            const std::string pair = {static_cast<char>(b), static_cast<char>(t)};
            const auto expected = platformRoundTrip(pair);
            EXPECT_EQ(page.pair(lead, static_cast<unsigned char>(t)), expected)
                << "pair " << b << " " << t;
            defined += expected ? 1 : 0;
        }
    }
    EXPECT_GT(defined, 64) << "a code page without characters beyond ASCII";
}

// A catalogue in one script, for the system whose code page holds it.
struct Script {
    const char* name;
    unsigned acp;
    std::wstring section;      // of the item that starts the recording helper
    std::wstring sectionOther; // the same name in the other case, or empty (no case)
    std::wstring tool;         // its Name
    std::wstring param;        // its Param
    std::wstring folder;       // the folder of the helper's copy
    std::wstring exe;          // and its file name
    std::wstring document;     // Name of a second item
    std::string foreign;       // a name's bytes in another code page
    std::string invalid;       // a name's bytes invalid in this one, or empty
    std::string invalidShown;  // what the list shows for them (UTF-8)
};

void PrintTo(const Script& s, std::ostream* os) {
    *os << s.name;
}

// Text as a program that saves "ANSI" writes it: through the platform, exactly.
std::string ansiBytes(const std::wstring& text) {
    BOOL usedDefault = FALSE;
    const int len = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), len, nullptr, 0,
                                      "?", nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), len, out.data(), n, "?",
                        &usedDefault);
    EXPECT_FALSE(usedDefault) << "the code page cannot hold the test's text";
    return out;
}

// The platform's own reading of bytes that are all valid in the system code page.
std::string platformReads(const std::string& bytes) {
    std::wstring w(bytes.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                      w.data(), static_cast<int>(w.size()));
    w.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return win::narrow(w);
}

class ScriptCatalogue : public testing::TestWithParam<Script> {
  protected:
    ComScope com;
    TempDir dir{"codepage"};
    fs::path report;
    win::Win32Desktop desk;
    frmVelora presenter{desk};
    win::MenuView view{presenter};

    void SetUp() override {
        stageShippedSkin(dir.path());
        app::overrideForTests(u8(dir.path()), "KeskVLM");
        report = dir / "report.txt";
        SetEnvironmentVariableW(L"KESK_ARGDUMP_OUT", report.wstring().c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"KESK_ARGDUMP_OUT", nullptr);
        app::overrideForTests("", "");
    }

    // The catalogue's bytes: the script's text in the system code page, and
    // the foreign and invalid names as they are.
    std::string catalogue(const Script& s, const fs::path& target, const wchar_t* height) {
        const std::wstring head = std::wstring(L"[Window]\r\nheightOffset=") + height +
                                  L"\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n";
        const std::wstring tool = L"[" + s.section + L"]\r\nName=" + s.tool + L"\r\nTarget=" +
                                  target.wstring() + L"\r\nParam=" + s.param + L"\r\nWorkdir=" +
                                  target.parent_path().wstring() + L"\r\nIcon=\r\nGroup=Tools\r\n";
        const std::wstring document =
            L"[" + s.document + L"]\r\nName=" + s.document +
            L"\r\nTarget=C:\\windows\\notepad.exe\r\nGroup=Applications\r\n";
        std::string bytes = ansiBytes(head + tool + document);
        bytes += "[Foreign]\r\nName=" + s.foreign +
                 "\r\nTarget=C:\\windows\\notepad.exe\r\nGroup=Documents\r\n";
        if (!s.invalid.empty()) {
            bytes += "[Invalid]\r\nName=" + s.invalid +
                     "\r\nTarget=C:\\windows\\notepad.exe\r\nGroup=Scripts\r\n";
        }
        return bytes;
    }

    std::string text(std::size_t k, int i) {
        wchar_t buf[512] = {};
        LVITEMW it{};
        it.pszText = buf;
        it.cchTextMax = 512;
        SendMessageW(view.listView(k), LVM_GETITEMTEXTW, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&it));
        return win::narrow(buf);
    }
    int count(std::size_t k) {
        return static_cast<int>(SendMessageW(view.listView(k), LVM_GETITEMCOUNT, 0, 0));
    }
    // A real press and release on entry i of list k.
    void clickEntry(std::size_t k, int i) {
        RECT r{LVIR_ICON, 0, 0, 0};
        SendMessageW(view.listView(k), LVM_GETITEMRECT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&r));
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        PostMessageW(view.listView(k), WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(view.listView(k), WM_LBUTTONUP, 0, at);
        pump();
    }
};

TEST_P(ScriptCatalogue, ShowsStartsAndKeepsTheCatalogueInItsCodePage) {
    const Script& s = GetParam();
    if (GetACP() != s.acp) {
        GTEST_SKIP() << "the system code page is " << GetACP() << ", not " << s.acp;
    }
    const fs::path folder = dir.path() / s.folder;
    const fs::path target = folder / s.exe;
    fs::create_directories(folder);
    fs::copy_file(moduleDirectory() / "argdump.exe", target);

    const std::string bytes = catalogue(s, target, L"0");
    ASSERT_FALSE(ini::isValidUtf8(bytes)) << "the file would be read as UTF-8";
    writeBytes(dir / "velora.ini", Bytes(bytes.begin(), bytes.end()));

    ASSERT_TRUE(view.create());
    view.load();
    ASSERT_FALSE(presenter.state().lastBuildFailed) << presenter.state().lastBuildError.number;

    // The names as their author wrote them, in the real controls.
    ASSERT_EQ(count(0), 1);
    EXPECT_EQ(text(0, 0), win::narrow(s.tool));
    ASSERT_EQ(count(1), 1);
    EXPECT_EQ(text(1, 0), win::narrow(s.document));
    // Another code page's bytes read as this system reads them.
    ASSERT_EQ(count(2), 1);
    EXPECT_EQ(text(2, 0), platformReads(s.foreign));
    if (!s.invalid.empty()) {
        ASSERT_EQ(count(3), 1);
        EXPECT_EQ(text(3, 0), s.invalidShown);
    }

    // Section names in the script match without regard to case.
    clsINIFile ini;
    ini.setFilename(u8(dir / "velora.ini"));
    EXPECT_EQ(ini.getString(win::narrow(s.section), "Name"), win::narrow(s.tool));
    if (!s.sectionOther.empty()) {
        EXPECT_EQ(ini.getString(win::narrow(s.sectionOther), "Name"), win::narrow(s.tool));
    }

    // A click starts the helper through the shell, from its path in the script.
    presenter.Show();
    view.render();
    pump();
    clickEntry(0, 0);
    ASSERT_TRUE(waitFor([&] { return fs::exists(report); })) << "the helper was not started";
    const Bytes r = readBytes(report);
    const std::string got(r.begin(), r.end());
    EXPECT_NE(got.find(u8(target)), std::string::npos) << got;
    EXPECT_NE(got.find("arg=" + win::narrow(s.param) + "\n"), std::string::npos) << got;
    EXPECT_NE(got.find("cwd=" + u8(folder)), std::string::npos) << got;

    // The start is counted in the item's own section, off the window's thread.
    std::string expected = catalogue(s, target, L"15");
    const std::string toolEnd = "Group=Tools\r\n";
    ASSERT_NE(expected.find(toolEnd), std::string::npos);
    expected.insert(expected.find(toolEnd) + toolEnd.size(), "Launches=1\r\n");
    ASSERT_TRUE(waitFor([&] {
        const Bytes now = readBytes(dir / "velora.ini");
        return std::string(now.begin(), now.end()).find("Launches=1\r\n") != std::string::npos;
    })) << "the start was not counted";

    // A write of another key leaves the file in its code page, every other byte as it was.
    ini.setValue("Window", "heightOffset", "15");
    const Bytes after = readBytes(dir / "velora.ini");
    EXPECT_EQ(std::string(after.begin(), after.end()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, ScriptCatalogue,
    testing::Values(
        Script{"Western", 1252, L"\u00DCbersicht", L"\u00FCBERSICHT", L"Gr\u00F6\u00DFe",
               L"\u00E9t\u00E9", L"Programme \u00C4", L"\u00F6ffnen.exe", L"Caf\u00E9",
               "\xC1\xEB\xEE\xEA", "", ""},
        Script{"Cyrillic", 1251, L"\u041F\u0420\u041E\u0413\u0420\u0410\u041C\u041C\u0410",
               L"\u043F\u0440\u043E\u0433\u0440\u0430\u043C\u043C\u0430",
               L"\u0411\u043B\u043E\u043A\u043D\u043E\u0442", L"\u0490\u0430\u043D\u043E\u043A",
               L"\u041F\u0440\u043E\u0433\u0440\u0430\u043C\u043C\u044B",
               L"\u0437\u0430\u043F\u0443\u0441\u043A.exe",
               L"\u041A\u0430\u043B\u044C\u043A\u0443\u043B\u044F\u0442\u043E\u0440",
               "Gr\xF6\xDF\x65", "", ""},
        Script{"Greek", 1253, L"\u0386\u039B\u03A6\u0391", L"\u03AC\u03BB\u03C6\u03B1",
               L"\u03A3\u03B7\u03BC\u03B5\u03B9\u03CE\u03C3\u03B5\u03B9\u03C2",
               L"\u03C3\u03BF\u03C2", L"\u0395\u03C6\u03B1\u03C1\u03BC\u03BF\u03B3\u03AD\u03C2",
               L"\u03B5\u03BA\u03BA\u03AF\u03BD\u03B7\u03C3\u03B7.exe",
               L"\u0388\u03B3\u03B3\u03C1\u03B1\u03C6\u03BF", "\xC1\xEB\xEE\xEA", "", ""},
        // Japanese: 表, ソ and 能 have '\' as their trail byte, ‐ has ']'.
        Script{"Japanese", 932, L"\u30C4\u30FC\u30EB\u2010\u8868", L"", L"\u30E1\u30E2\u5E33",
               L"\u4E88\u5B9A\u8868", L"\u30D7\u30ED\u30B0\u30E9\u30E0\u80FD",
               L"\u8D77\u52D5\u30BD.exe", L"\u96FB\u5353",
               "\xC4"
               "caf\xE9s",
               "A\x81", "A\xEF\xBF\xBD"}));

} // namespace
} // namespace kesk::test
