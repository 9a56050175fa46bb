// A rebuild of the shown menu touches and repaints only what changed: the real list views
// get no message that changes an item unless that item changed, and no window is left
// with anything to repaint unless it shows something else now.
#include "win32/menu_view.h"

#include "support/appinfo.h"
#include "win32/desktop_test_pictures.h"
#include "win32/desktop_win32.h"
#include "win32/window_test_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kesk::test {
namespace {

namespace fs = std::filesystem;

// Messages that change what a list view shows, by the window they were sent to.
std::map<HWND, int> g_itemMessages;
// Windows that were moved, sized, shown, hidden or restacked.
std::set<HWND> g_moved;

LRESULT CALLBACK countItemMessages(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* c = reinterpret_cast<const CWPSTRUCT*>(lParam);
        switch (c->message) {
        case WM_WINDOWPOSCHANGING:
            g_moved.insert(c->hwnd);
            break;
        case LVM_SETITEMW:
        case LVM_SETITEMTEXTW:
        case LVM_INSERTITEMW:
        case LVM_DELETEITEM:
        case LVM_DELETEALLITEMS:
        case LVM_SETITEMSTATE:
        case LVM_REDRAWITEMS:
        case LVM_SETITEMPOSITION32:
        case LVM_SETBKCOLOR:
        case LVM_SETTEXTCOLOR:
        case LVM_SETIMAGELIST:
        case WM_SETFONT:
            ++g_itemMessages[c->hwnd];
            break;
        default:
            break;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class MenuRepaintTest : public ::testing::Test {
  protected:
    ComScope com;
    TempDir dir{"menurepaint"};
    win::Win32Desktop desk;
    frmVelora presenter{desk};
    win::MenuView view{presenter};
    std::string head = "[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n";
    std::string pictures;

    void SetUp() override {
        fs::create_directories(dir / "skin");
        fs::copy_file(fs::path(KESK_RESOURCES_DIR) / "notFound.ico", dir / "notFound.ico");
        writeText(dir / "skin" / "skin.ini",
                  "[COLORS]\nHEAD_BAR_BG=800000\nHEAD_BAR_FG=FFFFFF\nLIST_BOX_BG=F0F0F0\n"
                  "LIST_BOX_FG=402010\n");
        writeBytes(dir / "skin" / "Velora_BG.bmp",
                   makeBmp24(300, 527, [](int x, int y) { return (x * 7 + y) & 0xFFFFFFu; }));
        app::overrideForTests(u8(dir.path()), "KeskVLM");
        pictures = u8(dir.path()) + "\\";
        for (const char* name : {"a", "b", "c", "d", "e"}) {
            picture(name, 0x300000u * static_cast<std::uint32_t>(name[0] - 'a' + 1));
        }
    }
    void TearDown() override { app::overrideForTests("", ""); }

    void picture(const std::string& name, std::uint32_t rgb) {
        writeBytes(dir / (name + ".bmp"),
                   makeBmp24(32, 32, [rgb](int x, int) { return x < 16 ? rgb : 0x102030u; }));
    }
    std::string item(const std::string& section, const std::string& group,
                     const std::string& pic) const {
        return "[" + section + "]\nName=" + section +
               "\nTarget=\nParam=\nWorkdir=\nIcon=" + pictures + pic + ".bmp\nGroup=" + group +
               "\n";
    }
    std::string catalogue(const std::string& more = "", const std::string& nameOfB = "B") const {
        std::string b = item("B", "Tools", "b");
        b.replace(b.find("Name=B"), 6, "Name=" + nameOfB);
        return head + item("A", "Tools", "a") + b + item("C", "Tools", "c") +
               item("D", "Scripts", "d") + more;
    }

    // Every window of the menu paints what it has to now, so none has anything left.
    void paintAll() {
        RedrawWindow(view.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    static bool hasUpdate(HWND w) { return GetUpdateRect(w, nullptr, FALSE) != FALSE; }
    HIMAGELIST shownImages() const {
        return reinterpret_cast<HIMAGELIST>(
            SendMessageW(view.listView(0), LVM_GETIMAGELIST, LVSIL_NORMAL, 0));
    }
    // The colour the image list shows at (x, y) of the picture of entry `i` of list 0.
    std::uint32_t shownPixel(int i, int x, int y) const {
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = i;
        SendMessageW(view.listView(0), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        IMAGEINFO info{};
        if (ImageList_GetImageInfo(shownImages(), item.iImage, &info) == FALSE) {
            return 0xDEADBEEFu;
        }
        BITMAP bm{};
        GetObjectW(info.hbmImage, sizeof bm, &bm);
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = bm.bmWidth;
        bi.bmiHeader.biHeight = -bm.bmHeight;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        std::vector<std::uint32_t> bits(static_cast<std::size_t>(bm.bmWidth) *
                                        static_cast<std::size_t>(bm.bmHeight));
        const HDC dc = GetDC(nullptr);
        GetDIBits(dc, info.hbmImage, 0, static_cast<UINT>(bm.bmHeight), bits.data(), &bi,
                  DIB_RGB_COLORS);
        ReleaseDC(nullptr, dc);
        const auto at =
            static_cast<std::size_t>(info.rcImage.top + y) * static_cast<std::size_t>(bm.bmWidth) +
            static_cast<std::size_t>(info.rcImage.left + x);
        return bits.at(at) & 0xFFFFFFu;
    }
    RECT itemRect(std::size_t k, int i) const {
        RECT r{LVIR_BOUNDS, 0, 0, 0};
        SendMessageW(view.listView(k), LVM_GETITEMRECT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&r));
        return r;
    }
};

TEST_F(MenuRepaintTest, ARebuildTouchesAndRepaintsOnlyWhatChanged) {
    writeText(dir / "velora.ini", catalogue());
    ASSERT_TRUE(view.create());
    view.load();
    ASSERT_FALSE(presenter.state().lastBuildFailed);
    presenter.Show();
    view.render();
    paintAll();

    struct Row {
        const char* rule;
        std::function<void()> change;
        std::set<std::size_t> touched; // lists that get item messages
        // In list 0 (Tools): the entry that must be repainted, and one that must not; -1 none.
        int repainted;
        int untouched;
        // Whether a control may be moved, sized or restacked (a build that changes nothing
        // leaves every control where it stands).
        bool moves = true;
    };
    const std::vector<Row> rows = {
        {"nothing changed", [] {}, {}, -1, -1, false},
        {"one item appended to another list",
         [&] { writeText(dir / "velora.ini", catalogue(item("E", "Scripts", "e"))); },
         {3},
         -1,
         -1},
        {"one item renamed",
         [&] { writeText(dir / "velora.ini", catalogue(item("E", "Scripts", "e"), "Bee")); },
         {0},
         1,
         0},
        {"one picture changed", [&] { picture("c", 0x00C0C0u); }, {0}, 2, 0},
        {"nothing changed again", [] {}, {}, -1, -1, false},
    };
    const HHOOK hook =
        SetWindowsHookExW(WH_CALLWNDPROC, &countItemMessages, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    // Pictures change in place: the lists keep their image list.
    const HIMAGELIST images = shownImages();
    ASSERT_NE(images, nullptr);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        row.change();
        g_itemMessages.clear();
        g_moved.clear();
        ASSERT_TRUE(presenter.Form_Construct()) << presenter.state().lastBuildError.number;
        view.render();
        EXPECT_EQ(shownImages(), images);
        if (!row.moves) {
            // The window itself is put on top again at every render; its controls stay.
            g_moved.erase(view.hwnd());
            EXPECT_TRUE(g_moved.empty()) << g_moved.size() << " controls moved";
        }
        for (std::size_t k = 0; k < 4; ++k) {
            EXPECT_EQ(g_itemMessages[view.listView(k)] > 0, row.touched.count(k) == 1)
                << "list " << k;
            if (row.touched.count(k) == 0) {
                EXPECT_FALSE(hasUpdate(view.listView(k))) << "list " << k;
            }
            EXPECT_FALSE(hasUpdate(view.container(k))) << "container " << k;
        }
        EXPECT_FALSE(hasUpdate(view.hwnd()));
        EXPECT_FALSE(hasUpdate(view.panelVLM()));
        if (row.repainted >= 0) {
            RECT update{};
            ASSERT_TRUE(GetUpdateRect(view.listView(0), &update, FALSE));
            RECT both{};
            const RECT changed = itemRect(0, row.repainted);
            const RECT other = itemRect(0, row.untouched);
            EXPECT_TRUE(IntersectRect(&both, &update, &changed));
            EXPECT_FALSE(IntersectRect(&both, &update, &other))
                << "update " << update.top << ".." << update.bottom << ", unchanged entry "
                << other.top << ".." << other.bottom;
        }
        paintAll();
    }
    UnhookWindowsHookEx(hook);
    // The changed picture is the one the list shows, its unchanged neighbours as they were.
    EXPECT_EQ(shownPixel(2, 4, 4), 0x00C0C0u);
    EXPECT_EQ(shownPixel(0, 4, 4), 0x300000u);
    EXPECT_EQ(shownPixel(1, 4, 4), 0x600000u);
    EXPECT_EQ(shownPixel(2, 24, 4), 0x102030u);
}

TEST_F(MenuRepaintTest, AThousandsOfItemsCatalogueFillsTheListsInSlicesAndEndsComplete) {
    std::string many = head;
    for (int i = 0; i < 1200; ++i) {
        const std::string name = "Item" + std::to_string(i);
        many += "[" + name + "]\nName=" + name + "\nTarget=\nIcon=\nGroup=" +
                std::string(catalogue::kGroupNames[static_cast<std::size_t>(i % 4)]) + "\n";
    }
    writeText(dir / "velora.ini", many);
    ASSERT_TRUE(view.create());
    view.load();
    ASSERT_FALSE(presenter.state().lastBuildFailed);
    const auto shownEntries = [&] {
        int n = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            n += static_cast<int>(SendMessageW(view.listView(k), LVM_GETITEMCOUNT, 0, 0));
        }
        return n;
    };
    // One render does not insert them all: the thread goes back to its messages between.
    const int first = shownEntries();
    EXPECT_GT(first, 0);
    EXPECT_LT(first, 1200);
    ASSERT_TRUE(waitFor([&] { return shownEntries() == 1200; }));
    for (std::size_t k = 0; k < 4; ++k) {
        const auto& entries = presenter.state().lstViewA[k].entries;
        ASSERT_EQ(entries.size(), 300u);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            LVITEMW it{};
            it.mask = LVIF_PARAM;
            it.iItem = static_cast<int>(i);
            SendMessageW(view.listView(k), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
            ASSERT_EQ(view.entryKey(k, it.lParam), entries[i].key)
                << "list " << k << " entry " << i;
        }
    }
}

} // namespace
} // namespace kesk::test
