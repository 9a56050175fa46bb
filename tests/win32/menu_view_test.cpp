// The menu window on a real desktop: what the real controls hold after a build from a test
// catalogue, where the window stands, what it paints, and how it takes bad pictures.
#include "win32/menu_view.h"

#include "support/appinfo.h"
#include "win32/desktop_test_pictures.h"
#include "win32/desktop_win32.h"
#include "win32/window_test_support.h"
#include "win32/wtext.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <set>
#include <string>

namespace kesk::test {
namespace {

namespace fs = std::filesystem;

// The test skin: its background bitmap is a gradient whose pixel (x, y) is RGB(x, y, 0x5A)
// (low bytes), so every painted point tells where it came from.
constexpr int kSkinWidth = 300;
constexpr int kSkinHeight = 527;
std::uint32_t skinPixel(int x, int y) {
    return (static_cast<std::uint32_t>(x & 0xFF) << 16) |
           (static_cast<std::uint32_t>(y & 0xFF) << 8) | 0x5Au;
}

int r8(std::uint32_t c) {
    return static_cast<int>((c >> 16) & 0xFF);
}
int g8(std::uint32_t c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
int b8(std::uint32_t c) {
    return static_cast<int>(c & 0xFF);
}
bool reddish(std::uint32_t c) {
    return r8(c) > 180 && g8(c) < 90 && b8(c) < 90;
}

// Number of different colours image `i` of `il` shows when drawn on magenta.
std::size_t coloursOfImage(HIMAGELIST il, int i) {
    const std::vector<std::uint32_t> pixels = imagePixels(il, i);
    return std::set<std::uint32_t>(pixels.begin(), pixels.end()).size();
}

Bytes head(Bytes b, std::size_t n) {
    b.resize(std::min(n, b.size()));
    return b;
}

struct Row {
    std::string key;
    std::string text;
    int picture; // 1-based, as the presenter numbers them
    bool red;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << "{" << r.key << ", " << r.text << ", " << r.picture << (r.red ? ", red}" : "}");
}

class MenuViewTest : public ::testing::Test {
  protected:
    ComScope com;
    TempDir dir{"menuview"};
    win::Win32Desktop desk;
    frmVelora presenter{desk};
    win::MenuView view{presenter};

    void SetUp() override {
        fs::create_directories(dir / "skin");
        fs::copy_file(fs::path(KESK_RESOURCES_DIR) / "notFound.ico", dir / "notFound.ico");
        writeText(dir / "skin" / "skin.ini",
                  "[COLORS]\nHEAD_BAR_BG=800000\nHEAD_BAR_FG=FFFFFF\nLIST_BOX_BG=F0F0F0\n"
                  "LIST_BOX_FG=402010\n");
        writeBytes(dir / "skin" / "Velora_BG.bmp", makeBmp24(kSkinWidth, kSkinHeight, skinPixel));
        app::overrideForTests(u8(dir.path()), "KeskVLM");
    }
    void TearDown() override { app::overrideForTests("", ""); }

    void writeCatalogue(const std::string& text) { writeText(dir / "velora.ini", text); }
    static std::string item(const std::string& section, const std::string& group,
                            const std::string& target, const std::string& icon = "") {
        return "[" + section + "]\nName=" + section + "\nTarget=" + target +
               "\nParam=\nWorkdir=\nIcon=" + icon + "\nGroup=" + group + "\n";
    }

    void build() {
        ASSERT_TRUE(view.create());
        view.load();
    }

    // What list k of the real controls holds, colour judged from its rendering (each entry
    // scrolled into view first: a long list shows only some of them).
    std::vector<Row> rowsOf(std::size_t k) {
        HWND list = view.listView(k);
        std::vector<Row> rows;
        const auto n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            wchar_t text[256] = {};
            LVITEMW it{};
            it.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
            it.iItem = i;
            it.pszText = text;
            it.cchTextMax = 256;
            SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
            SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(i), FALSE);
            RECT label{LVIR_LABEL, 0, 0, 0};
            SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&label));
            const Rendering shot(list);
            rows.push_back(Row{view.entryKey(k, it.lParam), win::narrow(text), it.iImage + 1,
                               shot.any(label, reddish)});
        }
        SendMessageW(list, LVM_ENSUREVISIBLE, 0, FALSE);
        return rows;
    }
};

// Controls and painted pixels read a colour the same way.
TEST(MenuViewColours, ControlsAndPixelsAgree) {
    for (const Colour c : {Colour{-256}, Colour{-1}, Colour{0x00123456}, Colour{0x7F00FF00},
                           Colour{-2130706432}, Colour{0x01000000}}) {
        SCOPED_TRACE(c);
        EXPECT_EQ(win::toColorRef(c), static_cast<COLORREF>(toColour(toArgb(c))));
    }
}

// The system colours are the desktop's own; one that the platform does not have is black.
TEST(MenuViewColours, SystemColoursComeFromThePlatform) {
    win::Win32Desktop desk;
    struct ColourRow {
        const char* rule;
        Colour skin;
        COLORREF shown;
    };
    const ColourRow rows[] = {
        {"window background", static_cast<Colour>(0x80000005u), GetSysColor(COLOR_WINDOW)},
        {"button face", static_cast<Colour>(0x8000000Fu), GetSysColor(COLOR_BTNFACE)},
        {"no such index", static_cast<Colour>(0x800000FFu), 0},
        {"index beyond every system colour", static_cast<Colour>(0x80001005u), 0},
    };
    for (const ColourRow& r : rows) {
        EXPECT_EQ(static_cast<COLORREF>(shownColour(desk, r.skin)), r.shown) << r.rule;
    }
}

// Puts a system colour of its own in place for the scope, so that what a test reads back
// cannot be a default that any wrong reading also gives.
class SystemColourScope {
  public:
    SystemColourScope(int index, COLORREF colour) : index_(index), old_(GetSysColor(index)) {
        SetSysColors(1, &index_, &colour);
    }
    ~SystemColourScope() { SetSysColors(1, &index_, &old_); }
    SystemColourScope(const SystemColourScope&) = delete;
    SystemColourScope& operator=(const SystemColourScope&) = delete;

  private:
    int index_;
    COLORREF old_;
};

TEST_F(MenuViewTest, ListsHoldTheCatalogueEntries) {
    writeBytes(dir / "notes.txt", Bytes{'h', 'i'});
    writeBytes(dir / "own.ico", makeIco({{32, 0xFF20A020u}}));
    const std::string d = u8(dir.path());
    writeCatalogue("[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n" +
                   item("Pad", "Tools", "C:\\windows\\notepad.exe") +
                   item("Gone", "Scripts", d + "\\missing.exe") +
                   item("Notes", "Documents", d + "\\notes.txt") + "[NoGroup]\nName=x\n" +
                   item("Own", "Applications", "C:\\windows\\notepad.exe", d + "\\own.ico") +
                   item("Lower", "tools", "C:\\windows\\notepad.exe") +
                   item("Cmd", "Tools", "C:\\windows\\system32\\cmd.exe"));
    build();
    ASSERT_FALSE(presenter.state().lastBuildFailed) << presenter.state().lastBuildError.number;

    // Pictures: 1 fallback, 2 notepad's own icon, 3 the shell's for the text document,
    // 4 the icon file, 5 the lower-case item's (resolved though never listed), 6 cmd's icon.
    EXPECT_EQ(rowsOf(0), (std::vector<Row>{{"ID 2", "Pad", 2, false}, {"ID 8", "Cmd", 6, false}}));
    EXPECT_EQ(rowsOf(1), (std::vector<Row>{{"ID 6", "Own", 4, false}}));
    EXPECT_EQ(rowsOf(2), (std::vector<Row>{{"ID 4", "Notes", 3, false}}));
    EXPECT_EQ(rowsOf(3), (std::vector<Row>{{"ID 3", "Gone", 1, true}}));

    // Entries that are not red are drawn in the skin's list colour, RGB(0x10, 0x20, 0x40).
    const Rendering tools(view.listView(0));
    RECT label{LVIR_LABEL, 0, 0, 0};
    SendMessageW(view.listView(0), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&label));
    EXPECT_TRUE(tools.any(label, [](std::uint32_t c) {
        return r8(c) < 0x50 && g8(c) < 0x60 && b8(c) < 0x80 && b8(c) > r8(c);
    }));

    // Both image lists hold every picture, at their sizes.
    HIMAGELIST large = view.largeImages();
    HIMAGELIST small = view.smallImages();
    EXPECT_EQ(ImageList_GetImageCount(large), 6);
    EXPECT_EQ(ImageList_GetImageCount(small), 6);
    int w = 0;
    int h = 0;
    ImageList_GetIconSize(large, &w, &h);
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 32);
    ImageList_GetIconSize(small, &w, &h);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 16);
    for (HWND list : {view.listView(0), view.listView(3)}) {
        EXPECT_EQ(
            reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_NORMAL, 0)),
            large);
        EXPECT_EQ(
            reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0)),
            small);
    }
    // Real pictures from the program file and from the shell, not blank squares.
    EXPECT_EQ(presenter.state().menuItems[2].IconSource, IconFromExe);
    EXPECT_EQ(presenter.state().menuItems[4].IconSource, IconFromSystem);
    EXPECT_GT(coloursOfImage(large, 1), 4u);
    EXPECT_GT(coloursOfImage(large, 2), 4u);
    EXPECT_GT(coloursOfImage(small, 1), 4u);

    // A second build leaves the same, not twice as much.
    presenter.Form_Construct();
    view.render();
    EXPECT_EQ(rowsOf(0).size(), 2u);
    EXPECT_EQ(rowsOf(3), (std::vector<Row>{{"ID 3", "Gone", 1, true}}));
    EXPECT_EQ(ImageList_GetImageCount(view.largeImages()), 6);
    EXPECT_EQ(ImageList_GetImageCount(view.smallImages()), 6);
}

TEST_F(MenuViewTest, SystemColourListBackgroundAndIconSquaresAgree) {
    const COLORREF window = RGB(0x12, 0x9A, 0x56);
    const SystemColourScope scope(COLOR_WINDOW, window);
    ASSERT_EQ(GetSysColor(COLOR_WINDOW), window);
    writeText(dir / "skin" / "skin.ini", "[COLORS]\nLIST_BOX_BG=80000005\nLIST_BOX_FG=402010\n");
    // The icon's right half is transparent: in the small picture it takes the list's colour.
    writeBytes(dir / "half.ico", makeIco({{32, 0xFFE01010u}}));
    writeCatalogue("[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n" +
                   item("Half", "Tools", "", u8(dir / "half.ico")));
    build();
    // The scratch pictures take the skin's colour at the end of a build: the next one draws
    // over it.
    ASSERT_TRUE(presenter.Form_Construct()) << presenter.state().lastBuildError.number;
    view.render();
    ASSERT_EQ(presenter.state().menuItems[2].IconSource, IconFromIconFile);

    const std::uint32_t expected = toArgb(static_cast<Colour>(window)) & 0xFFFFFFu;
    // The list's background as it stands on the screen (a double-buffered list paints its
    // background only for the screen).
    ShowWindow(view.hwnd(), SW_SHOWNOACTIVATE);
    RedrawWindow(view.hwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT rc{};
    GetClientRect(view.listView(0), &rc);
    ASSERT_GT(rc.bottom, 100);
    POINT at{rc.right / 2, rc.bottom - 20};
    ClientToScreen(view.listView(0), &at);
    const std::vector<Colour> shown = desk.readScreen(Rect{at.x, at.y, at.x + 1, at.y + 1});
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(static_cast<COLORREF>(shown[0]), window) << std::hex << shown[0];
    const std::vector<std::uint32_t> square = imagePixels(view.smallImages(), 1);
    ASSERT_EQ(square.size(), 16u * 16u);
    EXPECT_EQ(square[4 * 16 + 12] & 0xFFFFFFu, expected) << std::hex << square[4 * 16 + 12];
    EXPECT_EQ(square[4 * 16 + 2] & 0xFFFFFFu, 0xE01010u) << std::hex << square[4 * 16 + 2];
    // The list's own colour, as the control holds it.
    EXPECT_EQ(static_cast<COLORREF>(SendMessageW(view.listView(0), LVM_GETBKCOLOR, 0, 0)), window);
}

TEST_F(MenuViewTest, RebuildsGiveTheControlsAFreshWindowWouldHave) {
    // A rebuild keeps the image lists and the list items that are unchanged and replaces
    // the rest; after every step the controls must equal those of a window built afresh.
    const auto picture = [&](const char* name, std::uint32_t rgb) {
        writeBytes(dir / name,
                   makeBmp24(32, 32, [rgb](int x, int) { return x < 16 ? rgb : 0x102030u; }));
    };
    const std::string d = u8(dir.path()) + "\\";
    const std::string head = "[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n";
    const auto three = [&] {
        return item("A", "Tools", "", d + "a.bmp") + item("B", "Tools", "", d + "b.bmp") +
               item("C", "Scripts", "", d + "c.bmp");
    };
    picture("a.bmp", 0xC00000u);
    picture("b.bmp", 0x00C000u);
    picture("c.bmp", 0x0000C0u);
    picture("d.bmp", 0xC0C000u);
    writeCatalogue(head + three());
    build();
    ASSERT_FALSE(presenter.state().lastBuildFailed);

    struct Step {
        const char* what;
        std::function<void()> change;
        bool sameImageLists; // the image list handles stay
    };
    const Step steps[] = {
        {"refresh", [] {}, true},
        {"one picture changed", [&] { picture("b.bmp", 0xC000C0u); }, true},
        {"an item added at the end",
         [&] { writeCatalogue(head + three() + item("D", "Tools", "", d + "d.bmp")); }, true},
        {"an item gone from the middle",
         [&] {
             writeCatalogue(head + item("A", "Tools", "", d + "a.bmp") +
                            item("C", "Scripts", "", d + "c.bmp") +
                            item("D", "Tools", "", d + "d.bmp"));
         },
         true},
        {"the small pictures' size changed",
         [&] {
             writeCatalogue("[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=24\nHeight=24\n" +
                            three());
         },
         false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        HIMAGELIST largeBefore = view.largeImages();
        HIMAGELIST smallBefore = view.smallImages();
        step.change();
        ASSERT_TRUE(presenter.Form_Construct()) << presenter.state().lastBuildError.number;
        view.render();
        EXPECT_EQ(view.largeImages() == largeBefore && view.smallImages() == smallBefore,
                  step.sameImageLists);

        frmVelora freshPresenter{desk};
        win::MenuView fresh{freshPresenter};
        ASSERT_TRUE(fresh.create());
        // Built twice before its first render: transparent parts of pictures show the
        // scratch colour of the build before, and the first render makes everything anew.
        freshPresenter.Form_Load();
        ASSERT_TRUE(freshPresenter.Form_Construct());
        fresh.render();
        for (std::size_t k = 0; k < 4; ++k) {
            std::vector<Row> rows = rowsOf(k);
            const auto n =
                static_cast<int>(SendMessageW(fresh.listView(k), LVM_GETITEMCOUNT, 0, 0));
            ASSERT_EQ(static_cast<int>(rows.size()), n) << "list " << k;
            for (int i = 0; i < n; ++i) {
                LVITEMW it{};
                it.mask = LVIF_IMAGE | LVIF_PARAM;
                it.iItem = i;
                SendMessageW(fresh.listView(k), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
                EXPECT_EQ(rows[static_cast<std::size_t>(i)].key, fresh.entryKey(k, it.lParam));
                EXPECT_EQ(rows[static_cast<std::size_t>(i)].picture, it.iImage + 1);
            }
        }
        for (auto [mine, theirs] : {std::pair{view.largeImages(), fresh.largeImages()},
                                    std::pair{view.smallImages(), fresh.smallImages()}}) {
            ASSERT_EQ(ImageList_GetImageCount(mine), ImageList_GetImageCount(theirs));
            for (int i = 0; i < ImageList_GetImageCount(mine); ++i) {
                EXPECT_EQ(imagePixels(mine, i), imagePixels(theirs, i)) << "image " << i;
            }
        }
    }
}

TEST_F(MenuViewTest, WindowStandsOnTheTaskbarAtTheBottomLeft) {
    writeCatalogue("[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n");
    build();
    ASSERT_EQ(win::dpiOf(view.hwnd()), 96u) << "the figures below are for 96 dpi";
    RECT tb{};
    HWND tray = FindWindowW(L"Shell_TrayWnd", L"");
    if (tray != nullptr) {
        GetWindowRect(tray, &tb);
    }
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    RECT r{};
    GetWindowRect(view.hwnd(), &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right - r.left, 569); // 8535 twips
    EXPECT_EQ(r.bottom - r.top, 553); // 8295 twips
    EXPECT_EQ(r.top, screenHeight - 553 - (tb.bottom - tb.top));
    EXPECT_EQ(r.top, presenter.state().menuTopPixels);
    EXPECT_NE(GetWindowLongW(view.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(GetWindowLongW(view.hwnd(), GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);

    // The controls from their twips: pbVLM at (0, 24), the Tools list's container at (8, 24)
    // inside it, the Scripts one at (428, 24), each 129 pixels wide.
    const auto rectIn = [](HWND child) {
        RECT c{};
        GetWindowRect(child, &c);
        MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&c), 2);
        return c;
    };
    const RECT vlm = rectIn(view.panelVLM());
    EXPECT_EQ(vlm.left, 0);
    EXPECT_EQ(vlm.top, 24);
    EXPECT_EQ(vlm.right, 573);
    const RECT c0 = rectIn(view.container(0));
    const RECT c3 = rectIn(view.container(3));
    EXPECT_EQ(c0.left, 8);
    EXPECT_EQ(c0.top, 24);
    EXPECT_EQ(c3.left, 428);
    EXPECT_EQ(c3.right - c3.left, 129);
    EXPECT_EQ(c0.bottom - c0.top, 497); // 7455 twips
    EXPECT_FALSE(IsWindowVisible(view.panelMenu()));
    EXPECT_FALSE(IsWindowVisible(view.panelEdit()));
}

TEST_F(MenuViewTest, HeightOffsetMakesListsAndWindowTaller) {
    writeCatalogue("[Window]\nheightOffset=150\n[SmallIconSize]\nWidth=24\nHeight=24\n");
    build();
    RECT r{};
    GetWindowRect(view.hwnd(), &r);
    EXPECT_EQ(r.bottom - r.top, 563); // 8445 twips
    RECT c{};
    GetClientRect(view.container(2), &c);
    EXPECT_EQ(c.bottom, 507); // 7605 twips
    GetClientRect(view.listView(2), &c);
    EXPECT_EQ(c.bottom, 507);
    int w = 0;
    int h = 0;
    ImageList_GetIconSize(view.smallImages(), &w, &h);
    EXPECT_EQ(w, 24);
}

TEST_F(MenuViewTest, SkinIsPaintedAtTheTopLeftOfTheGroupPanel) {
    writeCatalogue("[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n");
    build();
    const Rendering vlm(view.panelVLM());
    ASSERT_GE(vlm.height(), 529);
    // Points the headings and the lists leave free: above the headings, between two
    // columns, below the lists.
    for (const auto& [x, y] :
         std::vector<std::pair<int, int>>{{0, 0}, {2, 2}, {142, 100}, {142, 525}, {299, 1}}) {
        EXPECT_EQ(vlm.at(x, y), skinPixel(x, y)) << x << "," << y;
    }
    // Beyond the bitmap the panel's own dark blue shows.
    EXPECT_EQ(vlm.at(400, 2), 0x000040u);
    // The head bar in the skin's colour (800000 is navy), the headline in white.
    const Rendering window(view.hwnd());
    EXPECT_EQ(window.at(550, 22), 0x000080u);
    EXPECT_TRUE(window.any(RECT{4, 2, 200, 25}, [](std::uint32_t c) { return c == 0xFFFFFFu; }));
}

TEST_F(MenuViewTest, BadPicturesNeverBreakTheBuild) {
    const auto halves = [](int x, int) { return x < 32 ? 0xE01010u : 0x1010E0u; };
    const Bytes png = encodeWithWic(GUID_ContainerFormatPng, 64, 40, halves, dir / "s.png");
    const Bytes jpg = encodeWithWic(GUID_ContainerFormatJpeg, 64, 40, halves, dir / "s.jpg");
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"cut.ico", head(makeIco({{32, 0xFF102030u}}), 50)},
        {"cut.bmp", head(makeBmp24(40, 40, halves), 300)},
        {"cut.gif", head(makeGif1x1(0x102030u), 20)},
        {"cut.jpg", head(jpg, jpg.size() / 2)},
        {"cut.png", head(png, png.size() / 2)},
        {"noise.png", Bytes{0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"text.ico", Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'c', 'o', 'n'}},
        {"huge.bmp", makeBmpRle8(10000, 10000, 0x306090u)},
    };
    const std::string d = u8(dir.path());
    std::string catalogue = "[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n";
    int n = 0;
    for (const auto& [name, bytes] : files) {
        writeBytes(dir / name, bytes);
        catalogue +=
            item("Bad" + std::to_string(n++), "Tools", d + "\\missing.exe", d + "\\" + name);
    }
    fs::create_directories(dir / "folder.ico");
    catalogue += item("Folder", "Applications", d + "\\missing.exe", d + "\\folder.ico");
    catalogue += item("Blanks", "Documents", "   ");
    catalogue += item("Good", "Scripts", d + "\\missing.exe", d + "\\good.ico");
    writeBytes(dir / "good.ico", makeIco({{32, 0xFF20A020u}}));
    writeCatalogue(catalogue);
    build();

    const frmVeloraState& s = presenter.state();
    EXPECT_FALSE(s.lastBuildFailed);
    EXPECT_EQ(SendMessageW(view.listView(0), LVM_GETITEMCOUNT, 0, 0), 8);
    // Every bad picture falls back to the missing-picture image; only the good icon file adds.
    for (const Row& row : rowsOf(0)) {
        EXPECT_EQ(row.picture, 1) << row;
        EXPECT_TRUE(row.red) << row;
    }
    EXPECT_EQ(rowsOf(1), (std::vector<Row>{{"ID 10", "Folder", 1, true}}));
    EXPECT_EQ(rowsOf(2), (std::vector<Row>{{"ID 11", "Blanks", 1, true}}));
    EXPECT_EQ(rowsOf(3), (std::vector<Row>{{"ID 12", "Good", 2, true}}));
    EXPECT_EQ(ImageList_GetImageCount(view.largeImages()), 2);
    EXPECT_EQ(ImageList_GetImageCount(view.smallImages()), 2);
}

TEST_F(MenuViewTest, DamagedSkinBitmapStopsTheBuildButNotTheWindow) {
    const Bytes good = makeBmp24(kSkinWidth, kSkinHeight, skinPixel);
    const std::vector<std::pair<const char*, Bytes>> skins = {
        {"truncated", head(good, 5000)},
        {"not a picture", Bytes{'B', 'M', 'x', 'y'}},
        {"png noise", Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H'}},
    };
    writeCatalogue("[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n" +
                   item("Pad", "Tools", "C:\\windows\\notepad.exe"));
    ASSERT_TRUE(view.create());
    for (const auto& [name, bytes] : skins) {
        SCOPED_TRACE(name);
        writeBytes(dir / "skin" / "Velora_BG.bmp", bytes);
        view.load();
        const frmVeloraState& s = presenter.state();
        EXPECT_TRUE(s.lastBuildFailed);
        EXPECT_EQ(s.lastBuildError.number, errnum::InvalidPicture);
        // The lists were filled before the skin step and stay.
        EXPECT_EQ(rowsOf(0), (std::vector<Row>{{"ID 2", "Pad", 2, false}}));
        EXPECT_EQ(ImageList_GetImageCount(view.largeImages()),
                  ImageList_GetImageCount(view.smallImages()));
        const Rendering vlm(view.panelVLM());
        EXPECT_EQ(vlm.width(), 573);
    }
}

} // namespace
} // namespace kesk::test
