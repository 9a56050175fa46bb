// A shown menu rebuilt in place for another program's save keeps the user's place: the
// selected entry where its item is still there, and the list scrolled where it was, whether the
// build changed entries in place or the list had to be filled again.
#include "win32/menu_view.h"

#include "support/appinfo.h"
#include "win32/desktop_test_pictures.h"
#include "win32/desktop_win32.h"
#include "win32/window_test_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace kesk::test {
namespace {

namespace fs = std::filesystem;

constexpr int kItems = 60;
constexpr int kChosen = 40;

std::string catalogueOf(int smallSize, const std::function<std::string(int)>& nameOf,
                        int count = kItems) {
    std::string text =
        "[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=" + std::to_string(smallSize) +
        "\nHeight=" + std::to_string(smallSize) + "\n";
    for (int i = 0; i < count; ++i) {
        const std::string name = nameOf(i);
        if (name.empty()) {
            continue;
        }
        text += "[S" + std::to_string(i) + "]\nName=" + name +
                "\nTarget=C:\\windows\\notepad.exe\nParam=\nWorkdir=\nIcon=\nGroup=Tools\n";
    }
    return text;
}

std::string plainName(int i) {
    return "Item " + std::to_string(i);
}

// The plain catalogue with `section` before its first item.
std::string withFirst(const std::string& section) {
    std::string text = catalogueOf(16, plainName);
    text.insert(text.find("[S0]"), section);
    return text;
}

class LiveRebuildView : public ::testing::Test {
  protected:
    ComScope com;
    TempDir dir{"liverebuild"};
    win::Win32Desktop desk;
    frmVelora presenter{desk};
    win::MenuView view{presenter};

    void SetUp() override {
        stageShippedSkin(dir.path());
        app::overrideForTests(u8(dir.path()), "KeskVLM");
    }
    void TearDown() override { app::overrideForTests("", ""); }

    HWND tools() const { return view.listView(0); }
    POINT origin() const {
        POINT p{-1, -1};
        SendMessageW(tools(), LVM_GETORIGIN, 0, reinterpret_cast<LPARAM>(&p));
        return p;
    }
    std::vector<std::string> selectedNames() const {
        std::vector<std::string> out;
        const auto n = static_cast<int>(SendMessageW(tools(), LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            if (SendMessageW(tools(), LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED) !=
                0) {
                wchar_t buf[128] = {};
                LVITEMW it{};
                it.pszText = buf;
                it.cchTextMax = 128;
                SendMessageW(tools(), LVM_GETITEMTEXTW, static_cast<WPARAM>(i),
                             reinterpret_cast<LPARAM>(&it));
                std::string name;
                for (const wchar_t* c = buf; *c != 0; ++c) {
                    name += static_cast<char>(*c);
                }
                out.push_back(name);
            }
        }
        return out;
    }
    // What another program's save brings: the rebuild the folder watch asks for.
    void outsideSave(const std::string& text) {
        writeText(dir / "velora.ini", text);
        presenter.rebuildForOutsideChange();
        view.render();
        pump();
    }
};

TEST_F(LiveRebuildView, SelectionAndScrollStayByRule) {
    struct Case {
        const char* rule;
        std::string saved;
        std::vector<std::string> selected;
    };
    const std::vector<Case> cases = {
        {"another item renamed: entries change in place",
         catalogueOf(16, [](int i) { return i == 5 ? std::string("Renamed") : plainName(i); }),
         {"Item 40"}},
        {"an item added before the selected one",
         withFirst("[New]\nName=New first\nTarget=C:\\windows\\notepad.exe\nGroup=Tools\n"),
         {"Item 40"}},
        {"another small picture size: the list is filled again",
         catalogueOf(24, plainName),
         {"Item 40"}},
        {"the selected item gone: nothing stays selected",
         catalogueOf(16, [](int i) { return i == kChosen ? std::string() : plainName(i); }),
         {}},
    };
    writeText(dir / "velora.ini", catalogueOf(16, plainName));
    ASSERT_TRUE(view.create());
    view.load();
    ASSERT_FALSE(presenter.state().lastBuildFailed);
    presenter.Show();
    view.render();
    pump();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        outsideSave(catalogueOf(16, plainName));
        // The user scrolls down to an entry and selects it.
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED;
        state.state = LVIS_SELECTED;
        SendMessageW(tools(), LVM_SETITEMSTATE, kChosen, reinterpret_cast<LPARAM>(&state));
        SendMessageW(tools(), LVM_ENSUREVISIBLE, kChosen, FALSE);
        pump();
        ASSERT_EQ(selectedNames(), std::vector<std::string>{"Item 40"});
        const POINT before = origin();
        ASSERT_NE(before.y, 0) << "the list must be scrolled for the test to mean something";

        outsideSave(c.saved);
        EXPECT_EQ(selectedNames(), c.selected);
        const POINT after = origin();
        EXPECT_EQ(after.x, before.x);
        EXPECT_EQ(after.y, before.y);
    }
}

} // namespace
} // namespace kesk::test
