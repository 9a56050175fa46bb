// The menu by keys, the real program driven by real key presses: the hotkey opens it with the
// keyboard, a typed query and Enter start the best match, arrows move across the lists, Esc
// takes back the query and then the menu, and starts rank equal matches.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/kesk_driver.h"

namespace fs = std::filesystem;
using namespace kesk::driver;

namespace {

const std::vector<WORD> kHotkey = {VK_CONTROL, VK_MENU, VK_SPACE};

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

std::string narrowed(const std::wstring& text) {
    std::string out;
    for (const wchar_t c : text) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

std::wstring classOf(HWND w) {
    wchar_t name[256] = {};
    if (w != nullptr) {
        GetClassNameW(w, name, 256);
    }
    return name;
}

// The entry selected in a list view of another process; -1 for none.
int selectedEntry(HWND list) {
    return static_cast<int>(
        sendWaiting(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED, 5000));
}

class Keyboard : public ::testing::Test {
  protected:
    // The shipped catalogue, its Notepad item starting the recorder instead.
    void startWith(const std::string& catalogueText) {
        if (shownTaskbar() == nullptr) {
            GTEST_SKIP() << "no taskbar on this desktop";
        }
        dir_ = stageProgram("e2e-keys", KESK_RESOURCES_DIR);
        std::error_code ec;
        fs::copy_file(exeDir() / "argdump.exe", dir_ / "argdump.exe", ec);
        ASSERT_FALSE(ec) << "the recorder is built beside the tests";
        writeFile(dir_ / "velora.ini", catalogueText);
        program_ = std::make_unique<Program>(dir_);
        ASSERT_TRUE(program_->start());
        ASSERT_TRUE(program_->ready());
    }
    fs::path recorder() const {
        return fs::temp_directory_path() / "kesk-e2e-keys" / "argdump.exe";
    }
    fs::path report() const { return dir_ / "argdump.exe.out"; }

    // Pressed again until it answers: the combination is registered at the end of the
    // start-up's build, a moment after the button shows. Each press is given time, or a late
    // answer to one press and the next press would show and hide the menu again.
    bool openByHotkey() {
        for (int attempt = 0; attempt < 3; ++attempt) {
            pressKeys(kHotkey);
            if (waitFor([&] { return program_->menu() != nullptr; }, 4000)) {
                return true;
            }
        }
        return false;
    }
    // The menu's name: the head bar's text, the query while one stands.
    std::wstring menuName() {
        HWND menu = program_->menu(false);
        return menu != nullptr ? textOf(menu) : std::wstring();
    }
    std::vector<HWND> lists() {
        HWND menu = program_->menu(false);
        return menu != nullptr ? descendants(menu, WC_LISTVIEWW) : std::vector<HWND>{};
    }

    fs::path dir_;
    std::unique_ptr<Program> program_;
};

std::string plainItem(const std::string& section, const std::string& group,
                      const std::string& target) {
    return "[" + section + "]\r\nName=" + section + "\r\nTarget=" + target +
           "\r\nParam=\r\nWorkdir=\r\nIcon=\r\nGroup=" + group + "\r\n";
}

TEST_F(Keyboard, TheHotkeyOpensTheMenuAndNotAndEnterStartNotepad) {
    std::string text = readFile(fs::path(KESK_RESOURCES_DIR) / "velora.ini");
    const std::string target = "Target=C:\\WINDOWS\\notepad.exe";
    const auto at = text.find(target);
    ASSERT_NE(at, std::string::npos) << "the sample catalogue has its Notepad item";
    text.replace(at, target.size(), "Target=" + recorder().string());
    startWith(text);
    ASSERT_TRUE(openByHotkey());
    EXPECT_TRUE(waitFor([&] { return GetForegroundWindow() == program_->menu(); }, 3000))
        << "the menu takes the keyboard";
    typeText(L"not");
    EXPECT_TRUE(waitFor([&] { return menuName().find(L"not") != std::wstring::npos; }, 3000))
        << "the query is named: " << narrowed(menuName());
    key(VK_RETURN);
    EXPECT_TRUE(waitFor([&] { return fs::exists(report()); }, 10000)) << "Notepad's item started";
    EXPECT_TRUE(waitFor([&] { return program_->menu() == nullptr; }, 3000)) << "and the menu hid";
    EXPECT_TRUE(waitFor(
        [&] {
            const std::string now = readFile(dir_ / "velora.ini");
            const auto section = now.find("[Notepad]");
            return section != std::string::npos &&
                   now.find("Launches=1", section) < now.find("[", section + 1);
        },
        5000))
        << "the start is counted in the item's section";
    EXPECT_TRUE(program_->responds());
}

TEST_F(Keyboard, ArrowsMoveAcrossTheListsAndEscTwiceHides) {
    startWith("[Window]\r\nheightOffset=0\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n" +
              plainItem("Alpha", "Tools", "C:\\a.exe") + plainItem("Beta", "Tools", "C:\\b.exe") +
              plainItem("Gamma", "Applications", "C:\\g.exe"));
    ASSERT_TRUE(openByHotkey());
    ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == program_->menu(); }, 3000))
        << "the keys go where the menu is";
    std::vector<HWND> l = lists();
    ASSERT_EQ(l.size(), 4u);
    key(VK_DOWN);
    key(VK_DOWN);
    EXPECT_TRUE(waitFor([&] { return selectedEntry(l[0]) == 1; }, 3000)) << "Down, Down: Beta";
    key(VK_RIGHT);
    EXPECT_TRUE(
        waitFor([&] { return selectedEntry(l[1]) == 0 && selectedEntry(l[0]) == -1; }, 3000))
        << "Right: Gamma, the next list's last at that height";
    key(VK_LEFT);
    EXPECT_TRUE(waitFor([&] { return selectedEntry(l[0]) == 0; }, 3000)) << "Left: Alpha";

    typeText(L"gam");
    EXPECT_TRUE(waitFor([&] { return selectedEntry(l[1]) == 0; }, 3000)) << "the query finds";
    key(VK_ESCAPE);
    EXPECT_TRUE(waitFor([&] { return menuName() == L"Velora Menu"; }, 3000))
        << "the first Esc takes the query back";
    EXPECT_NE(program_->menu(), nullptr) << "and keeps the menu";
    key(VK_ESCAPE);
    EXPECT_TRUE(waitFor([&] { return program_->menu() == nullptr; }, 3000))
        << "the second Esc hides it";
    EXPECT_TRUE(program_->responds());
}

TEST_F(Keyboard, ThreeStartsPutAnItemAheadOfAnEqualMatch) {
    const fs::path rec = recorder();
    startWith("[Window]\r\nheightOffset=0\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n" +
              plainItem("Note one", "Tools", rec.string()) +
              plainItem("Note two", "Tools", rec.string()));
    for (int i = 0; i < 3; ++i) {
        std::error_code ec;
        fs::remove(report(), ec);
        ASSERT_TRUE(openByHotkey()) << "start " << i;
        ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == program_->menu(); }, 3000))
            << "start " << i;
        typeText(L"note two");
        ASSERT_TRUE(waitFor([&] { return menuName().find(L"note two") == 0; }, 3000))
            << "start " << i << ": " << narrowed(menuName()) << " foreground "
            << narrowed(classOf(GetForegroundWindow())) << " shown "
            << (program_->menu() != nullptr);
        key(VK_RETURN);
        ASSERT_TRUE(waitFor([&] { return fs::exists(report()); }, 10000))
            << "start " << i << ": " << narrowed(menuName());
        ASSERT_TRUE(waitFor([&] { return program_->menu() == nullptr; }, 5000)) << "start " << i;
        // The recorder is a console program: its console window comes and goes with it, and
        // takes the activation. The next menu opens once it is gone, or it would rightly hide
        // when the console takes over.
        const auto console = [] {
            return FindWindowW(L"WineConsoleClass", nullptr) != nullptr ||
                   FindWindowW(L"ConsoleWindowClass", nullptr) != nullptr;
        };
        waitFor(console, 3000); // it may come after the recorder has written its report
        ASSERT_TRUE(
            waitFor([&] { return processCount(L"argdump.exe") == 0 && !console(); }, 10000));
    }
    EXPECT_TRUE(waitFor(
        [&] { return readFile(dir_ / "velora.ini").find("Launches=3") != std::string::npos; },
        5000));
    ASSERT_TRUE(openByHotkey());
    std::vector<HWND> l = lists();
    ASSERT_EQ(l.size(), 4u);
    typeText(L"note");
    EXPECT_TRUE(waitFor([&] { return selectedEntry(l[0]) == 1; }, 3000))
        << "the item started three times comes first";
    key(VK_ESCAPE);
    key(VK_ESCAPE);
    EXPECT_TRUE(program_->responds());
}

// The test's own process holds the combination before the program starts.
TEST_F(Keyboard, AHotkeyTakenFirstByAnotherProcessGivesTheBalloonAndTheProgramRunsOn) {
    constexpr int kHeld = 0x4B56;
    ASSERT_NE(RegisterHotKey(nullptr, kHeld, MOD_CONTROL | MOD_ALT | MOD_NOREPEAT, VK_SPACE), FALSE)
        << "the combination is free before the program starts";
    struct Release {
        ~Release() { UnregisterHotKey(nullptr, kHeld); }
    } release;
    startWith("[Window]\r\nheightOffset=0\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n" +
              plainItem("Alpha", "Tools", "C:\\a.exe"));
    std::wstring told;
    EXPECT_TRUE(waitFor(
        [&] {
            for (const std::wstring& b : shownBalloons()) {
                if (b.find(L"Ctrl+Alt+Space") != std::wstring::npos) {
                    told = b;
                    return true;
                }
            }
            return false;
        },
        20000))
        << "a balloon names the combination";
    EXPECT_NE(told.find(L"KeskVLM"), std::wstring::npos) << narrowed(told);
    EXPECT_TRUE(program_->responds());

    // The combination stays with its holder ...
    MSG m{};
    while (PeekMessageW(&m, nullptr, WM_HOTKEY, WM_HOTKEY, PM_REMOVE) != FALSE) {
    }
    pressKeys(kHotkey);
    EXPECT_TRUE(waitFor(
        [&] {
            return PeekMessageW(&m, nullptr, WM_HOTKEY, WM_HOTKEY, PM_REMOVE) != FALSE &&
                   m.wParam == kHeld;
        },
        5000))
        << "the holder still gets its combination";
    EXPECT_EQ(program_->menu(), nullptr);
    // ... and the program runs on: the button opens the menu.
    clickAt(program_->buttonCentre());
    EXPECT_TRUE(waitFor([&] { return program_->menu() != nullptr; }, 5000));
    EXPECT_TRUE(program_->responds());
}

} // namespace
