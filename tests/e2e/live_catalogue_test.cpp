// Edits that other programs make to the catalogue and the skin show in the running menu,
// shown or hidden, without a refresh, and never leave it empty on the way.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/kesk_driver.h"

namespace fs = std::filesystem;
using namespace kesk::driver;

namespace {

using Names = std::vector<std::wstring>;

// The names another process's list view shows, in its order; nothing when it cannot be read.
Names listNames(HANDLE process, HWND list) {
    constexpr int kChars = 260;
    RemoteMemory scratch(process, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    Names names;
    if (!scratch.valid()) {
        return names;
    }
    const int n = listCount(list);
    for (int i = 0; i < n; ++i) {
        LVITEMW lv{};
        lv.iSubItem = 0;
        lv.cchTextMax = kChars;
        lv.pszText = reinterpret_cast<wchar_t*>(scratch.address() + sizeof(LVITEMW));
        wchar_t text[kChars] = {};
        if (!scratch.write(&lv, sizeof lv)) {
            return {};
        }
        sendWaiting(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), scratch.address(), 5000);
        SIZE_T done = 0;
        ReadProcessMemory(process, lv.pszText, text, sizeof text, &done);
        text[kChars - 1] = L'\0';
        names.emplace_back(text);
    }
    return names;
}

std::string item(const std::string& section, const std::string& name) {
    return "[" + section + "]\r\nName=" + name + "\r\nTarget=C:\\windows\\notepad.exe\r\n" +
           "Param=\r\nWorkdir=\r\nIcon=\r\nGroup=Tools\r\n";
}

std::string catalogue(const std::vector<std::pair<std::string, std::string>>& items) {
    std::string text = "[Window]\r\nheightOffset=0\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n";
    for (const auto& [section, name] : items) {
        text += item(section, name);
    }
    return text;
}

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

class LiveCatalogue : public ::testing::Test {
  protected:
    void SetUp() override {
        if (shownTaskbar() == nullptr) {
            GTEST_SKIP() << "no taskbar on this desktop";
        }
        dir_ = stageProgram("e2e-live", KESK_RESOURCES_DIR);
        writeFile(dir_ / "velora.ini", catalogue({{"A", "Alpha"}, {"B", "Beta"}}));
        program_ = std::make_unique<Program>(dir_);
        ASSERT_TRUE(program_->start());
        ASSERT_TRUE(program_->ready());
    }

    // The Tools list: the menu window's first list view.
    HWND tools() {
        HWND menu = program_->menu(false);
        if (menu == nullptr) {
            return nullptr;
        }
        const std::vector<HWND> lists = descendants(menu, WC_LISTVIEWW);
        return lists.empty() ? nullptr : lists.front();
    }
    Names shown() {
        HWND list = tools();
        return list != nullptr ? listNames(program_->pi.hProcess, list) : Names{};
    }
    bool showMenu() {
        if (program_->menu() == nullptr) {
            clickAt(program_->buttonCentre());
        }
        return waitFor([&] { return program_->menu() != nullptr; }, 5000);
    }

    fs::path dir_;
    std::unique_ptr<Program> program_;
};

struct Edit {
    const char* rule;
    bool menuShown;
    std::function<void(const fs::path&)> edit;
    Names expected;
};

TEST_F(LiveCatalogue, OutsideEditsShowWithoutARefresh) {
    const std::vector<Edit> edits = {
        {"a new item shows in the shown menu",
         true,
         [](const fs::path& d) {
             writeFile(d / "velora.ini",
                       catalogue({{"A", "Alpha"}, {"B", "Beta"}, {"C", "Gamma"}}));
         },
         {L"Alpha", L"Beta", L"Gamma"}},
        {"a changed name shows",
         true,
         [](const fs::path& d) {
             writeFile(d / "velora.ini",
                       catalogue({{"A", "Alpha"}, {"B", "Bravo"}, {"C", "Gamma"}}));
         },
         {L"Alpha", L"Bravo", L"Gamma"}},
        {"a removed item goes",
         true,
         [](const fs::path& d) {
             writeFile(d / "velora.ini", catalogue({{"B", "Bravo"}, {"C", "Gamma"}}));
         },
         {L"Bravo", L"Gamma"}},
        {"an editor's save through a temporary file and a rename shows",
         true,
         [](const fs::path& d) {
             writeFile(d / "velora.tmp", catalogue({{"C", "Gamma"}, {"D", "Delta"}}));
             MoveFileExW((d / "velora.tmp").c_str(), (d / "velora.ini").c_str(),
                         MOVEFILE_REPLACE_EXISTING);
         },
         {L"Gamma", L"Delta"}},
        {"a catalogue deleted for a moment never empties the menu",
         true,
         [this](const fs::path& d) {
             DeleteFileW((d / "velora.ini").c_str());
             Sleep(700);
             EXPECT_EQ(shown(), (Names{L"Gamma", L"Delta"})) << "while the file is gone";
             writeFile(d / "velora.ini", catalogue({{"D", "Delta"}, {"E", "Echo"}}));
         },
         {L"Delta", L"Echo"}},
        {"an edit while the menu is hidden shows when it next shows",
         false,
         [](const fs::path& d) {
             writeFile(d / "velora.ini", catalogue({{"E", "Echo"}, {"F", "Foxtrot"}}));
         },
         {L"Echo", L"Foxtrot"}},
        {"a burst of writes ends equal to the last one",
         true,
         [](const fs::path& d) {
             for (int i = 0; i < 100; ++i) {
                 writeFile(d / "velora.ini",
                           catalogue({{"F", "Foxtrot"}, {"G", "Golf " + std::to_string(i)}}));
             }
         },
         {L"Foxtrot", L"Golf 99"}},
    };
    ASSERT_TRUE(showMenu());
    ASSERT_TRUE(waitFor([&] { return shown() == Names{L"Alpha", L"Beta"}; }, 5000));
    for (const Edit& e : edits) {
        if (!e.menuShown && program_->menu() != nullptr) {
            clickAt(program_->buttonCentre()); // a second click hides it
            ASSERT_TRUE(waitFor([&] { return program_->menu() == nullptr; }, 5000)) << e.rule;
        }
        if (e.menuShown) {
            ASSERT_TRUE(showMenu()) << e.rule;
        }
        const ULONGLONG start = GetTickCount64();
        e.edit(dir_);
        if (!e.menuShown) {
            Sleep(1000);
            ASSERT_TRUE(showMenu()) << e.rule;
            EXPECT_EQ(shown(), e.expected) << e.rule << ": already built when it shows";
            continue;
        }
        // Well within this; the wait only keeps a loaded machine from failing the test.
        EXPECT_TRUE(waitFor([&] { return shown() == e.expected; }, 3000)) << e.rule;
        std::printf("%s: %llu ms\n", e.rule,
                    static_cast<unsigned long long>(GetTickCount64() - start));
    }
    EXPECT_TRUE(program_->responds());
}

TEST_F(LiveCatalogue, ASkinColourChangedOutsideShows) {
    ASSERT_TRUE(showMenu());
    HWND list = nullptr;
    ASSERT_TRUE(waitFor([&] { return (list = tools()) != nullptr; }, 5000));
    const auto background = [&] {
        return static_cast<COLORREF>(sendWaiting(list, LVM_GETBKCOLOR, 0, 0, 5000));
    };
    const COLORREF before = background();
    std::string skin = readFile(dir_ / "skin" / "skin.ini");
    const std::string key = "LIST_BOX_BG=";
    const auto at = skin.find(key);
    ASSERT_NE(at, std::string::npos);
    const auto end = skin.find_first_of("\r\n", at);
    skin.replace(at, end - at, key + "0x123456");
    writeFile(dir_ / "skin" / "skin.ini", skin);
    EXPECT_TRUE(waitFor([&] { return background() == RGB(0x56, 0x34, 0x12); }, 3000))
        << "before " << std::hex << before << ", now " << background();
}

// The menu's build count once it has stayed the same for a second (the watch gathers a burst
// over a fraction of that); -1 when the menu does not answer within the limit.
long long settledBuilds(HWND menu) {
    long long last = buildsOf(menu);
    for (int i = 0; i < 30 && last >= 0; ++i) {
        Sleep(1000);
        const long long now = buildsOf(menu);
        if (now == last) {
            return now;
        }
        last = now;
    }
    return -1;
}

TEST_F(LiveCatalogue, ABurstOfOutsideWritesGivesAFewRebuilds) {
    // "A few": a burst that lasts longer than the watch's gathering time may be seen twice or
    // three times; one rebuild per write would be a hundred.
    constexpr long long kFewRebuilds = 4;
    struct Burst {
        const char* rule;
        std::function<void(const fs::path&, int)> save;
        std::wstring last; // the name the last save gives the second item
    };
    const std::vector<Burst> bursts = {
        {"100 writes of the file itself",
         [](const fs::path& d, int i) {
             writeFile(d / "velora.ini",
                       catalogue({{"A", "Alpha"}, {"W", "Write " + std::to_string(i)}}));
         },
         L"Write 99"},
        {"100 editor saves through a temporary file and a rename",
         [](const fs::path& d, int i) {
             writeFile(d / "velora.tmp",
                       catalogue({{"A", "Alpha"}, {"R", "Rename " + std::to_string(i)}}));
             MoveFileExW((d / "velora.tmp").c_str(), (d / "velora.ini").c_str(),
                         MOVEFILE_REPLACE_EXISTING);
         },
         L"Rename 99"},
    };
    ASSERT_TRUE(showMenu());
    ASSERT_TRUE(waitFor([&] { return shown() == Names{L"Alpha", L"Beta"}; }, 5000));
    HWND menu = program_->menu(false);
    ASSERT_NE(menu, nullptr);
    for (const Burst& b : bursts) {
        const long long before = settledBuilds(menu);
        ASSERT_GE(before, 1) << b.rule << ": the menu does not tell its builds";
        for (int i = 0; i < 100; ++i) {
            b.save(dir_, i);
        }
        EXPECT_TRUE(waitFor(
            [&] {
                return shown() == Names{L"Alpha", b.last};
            },
            5000))
            << b.rule << ": the menu ends equal to the file";
        const long long after = settledBuilds(menu);
        std::printf("%s: %lld rebuilds\n", b.rule, after - before);
        EXPECT_GE(after - before, 1) << b.rule;
        EXPECT_LE(after - before, kFewRebuilds) << b.rule;
    }
    EXPECT_TRUE(program_->responds());
}

// Things that are no catalogue take its place while the program watches: the menu stays as it
// was, nothing is written over them, and a good catalogue afterwards shows again.
TEST_F(LiveCatalogue, WhatTheStoreWillNotReadKeepsTheMenu) {
    struct Case {
        const char* rule;
        std::function<void(const fs::path&)> replace;
        std::function<void(const fs::path&)> restore;
    };
    const std::vector<Case> cases = {
        {"a folder of the same name",
         [](const fs::path& d) {
             DeleteFileW((d / "velora.ini").c_str());
             CreateDirectoryW((d / "velora.ini").c_str(), nullptr);
         },
         [](const fs::path& d) { RemoveDirectoryW((d / "velora.ini").c_str()); }},
        {"a catalogue growing to 200 MB",
         [](const fs::path& d) {
             std::ofstream out(d / "velora.ini", std::ios::binary | std::ios::app);
             const std::string block(8 << 20, ';');
             for (int i = 0; i < 25; ++i) {
                 out << "\r\n" << block;
                 out.flush();
             }
         },
         [](const fs::path& d) { DeleteFileW((d / "velora.ini").c_str()); }},
    };
    ASSERT_TRUE(showMenu());
    ASSERT_TRUE(waitFor([&] { return shown() == Names{L"Alpha", L"Beta"}; }, 5000));
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        const Names before = shown();
        c.replace(dir_);
        WIN32_FILE_ATTRIBUTE_DATA was{};
        GetFileAttributesExW((dir_ / "velora.ini").c_str(), GetFileExInfoStandard, &was);
        // Longer than a vanished catalogue is waited for.
        Sleep(static_cast<DWORD>(3000));
        EXPECT_EQ(shown(), before) << "the menu stays";
        EXPECT_TRUE(program_->responds());
        WIN32_FILE_ATTRIBUTE_DATA now{};
        GetFileAttributesExW((dir_ / "velora.ini").c_str(), GetFileExInfoStandard, &now);
        EXPECT_EQ(now.dwFileAttributes, was.dwFileAttributes) << "nothing written";
        EXPECT_EQ(now.nFileSizeLow, was.nFileSizeLow) << "nothing written";
        EXPECT_EQ(now.nFileSizeHigh, was.nFileSizeHigh) << "nothing written";
        EXPECT_EQ(CompareFileTime(&now.ftLastWriteTime, &was.ftLastWriteTime), 0)
            << "nothing written";
        c.restore(dir_);
        const std::string name = "Back " + std::to_string(++round);
        writeFile(dir_ / "velora.ini", catalogue({{"A", "Alpha"}, {"B", name}}));
        EXPECT_TRUE(waitFor(
            [&] {
                return shown() == Names{L"Alpha", std::wstring(name.begin(), name.end())};
            },
            5000))
            << "a good catalogue shows again";
    }
}

// Another program saves the catalogue a thousand times while the menu rebuilds for its saves:
// not one save is refused, and the menu ends equal to the last.
using SaveStorm = LiveCatalogue;

TEST_F(SaveStorm, AThousandSavesFromAnotherProcessAllSucceed) {
    ASSERT_TRUE(showMenu());
    ASSERT_TRUE(waitFor([&] { return shown() == Names{L"Alpha", L"Beta"}; }, 5000));
    HWND menu = program_->menu(false);
    const long long before = settledBuilds(menu);
    const fs::path report = dir_ / "storm.txt";
    PROCESS_INFORMATION storm =
        startProcess(quoted(exeDir() / "save_storm.exe") + L" " + quoted(dir_ / "velora.ini") +
                     L" 1000 " + quoted(report));
    ASSERT_NE(storm.hProcess, nullptr) << "save_storm.exe must be built beside the tests";
    // The builds the menu tells while the saves still go on: under load the saves slow down and
    // the count after them says little about whether the menu followed them.
    long long whileSaving = before;
    bool ended = false;
    for (int waited = 0; waited < 300000 && !ended; waited += 100) {
        ended = WaitForSingleObject(storm.hProcess, 100) == WAIT_OBJECT_0;
        if (!ended) {
            whileSaving = std::max(whileSaving, buildsOf(menu));
        }
    }
    DWORD code = 99;
    GetExitCodeProcess(storm.hProcess, &code);
    endProcess(storm);
    ASSERT_TRUE(ended) << "the saves did not end";
    const std::string text = readFile(report);
    EXPECT_EQ(code, 0u) << text;
    EXPECT_NE(text.find("saves=1000\nfailures=0\n"), std::string::npos) << text;
    EXPECT_TRUE(waitFor([&] { return shown() == Names{L"Save 1000"}; }, 10000))
        << "the menu ends equal to the last save";
    const long long after = settledBuilds(menu);
    std::printf("1000 saves: %lld rebuilds while they went on, %lld in all\n", whileSaving - before,
                after - before);
    // It rebuilt while the saves went on, not only once at their end.
    EXPECT_GE(whileSaving - before, 1);
    EXPECT_TRUE(program_->responds());
}

TEST_F(LiveCatalogue, TheHotkeyTogglesTheMenuAndFollowsTheCatalogue) {
    const std::vector<WORD> standard = {VK_CONTROL, VK_MENU, VK_SPACE};
    const std::vector<WORD> chosen = {VK_CONTROL, VK_MENU, VK_F7};
    ASSERT_EQ(program_->menu(), nullptr);
    // Pressed again until it answers: the combination is registered at the end of the
    // start-up's build, a moment after the button shows.
    const auto showsWith = [&](const std::vector<WORD>& keys) {
        return waitFor(
            [&] {
                pressKeys(keys);
                return waitFor([&] { return program_->menu() != nullptr; }, 1000);
            },
            5000);
    };
    EXPECT_TRUE(showsWith(standard)) << "without a Hotkey key, Ctrl+Alt+Space shows the menu";
    pressKeys(standard);
    EXPECT_TRUE(waitFor([&] { return program_->menu() == nullptr; }, 3000)) << "and hides it again";

    std::string text = readFile(dir_ / "velora.ini");
    text.insert(text.find("\r\n") + 2, "Hotkey=Ctrl+Alt+F7\r\n");
    writeFile(dir_ / "velora.ini", text);
    // The outside change rebuilds the hidden menu, which takes the new combination.
    EXPECT_TRUE(showsWith(chosen)) << "the catalogue's combination shows the menu";
    pressKeys(chosen);
    EXPECT_TRUE(waitFor([&] { return program_->menu() == nullptr; }, 3000));
    pressKeys(standard);
    Sleep(500);
    EXPECT_EQ(program_->menu(), nullptr) << "the old combination was given back";
    EXPECT_TRUE(program_->responds());
}

} // namespace
