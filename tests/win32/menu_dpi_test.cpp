// The menu window at the DPI the system reports (a prefix of its own per DPI: 96, 120, 144 and
// 192): its size in pixels follows the DPI, its pictures are the sources' own images of the
// DPI's size, its texts fit their places, and a DPI change builds it again at the new DPI.
#include "menu/dpi_sizes.h"
#include "support/appinfo.h"
#include "win32/desktop_test_pictures.h"
#include "win32/desktop_win32.h"
#include "win32/dpi.h"
#include "win32/fonts.h"
#include "win32/menu_view.h"
#include "win32/window_test_support.h"
#include "win32/wtext.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace kesk::test {
namespace {

namespace fs = std::filesystem;

// Each image of the test icon has its own colour in its left half, so a picture tells which
// image it was made from: a 32 blown up to 48 shows red where the 48 shows green.
constexpr std::uint32_t kColour16 = 0xFFFFFF00u; // yellow
constexpr std::uint32_t kColour32 = 0xFFFF0000u; // red
constexpr std::uint32_t kColour48 = 0xFF00FF00u; // green
constexpr std::uint32_t kColour64 = 0xFF0000FFu; // blue

// The DPI this run is for: the one the prefix was given (KESK_EXPECTED_DPI), else the one the
// system reports.
UINT expectedDpi() {
    if (const char* v = std::getenv("KESK_EXPECTED_DPI"); v != nullptr && *v != '\0') {
        return static_cast<UINT>(std::atoi(v));
    }
    return win::dpiOf(nullptr);
}

// The colour of the image the sources should give at `dpi`: the exact size, else the smallest
// larger one.
std::uint32_t sourceColourAt(std::int32_t dpi) {
    const std::int32_t side = picturePixelsAt(kLargeIconSize, dpi);
    if (side <= 32) {
        return kColour32 & 0xFFFFFFu;
    }
    return (side <= 48 ? kColour48 : kColour64) & 0xFFFFFFu;
}

class MenuAtDpi : public ::testing::Test {
  protected:
    ComScope com;
    TempDir dir{"menudpi"};
    win::Win32Desktop desk;
    frmVelora presenter{desk};
    win::MenuView view{presenter};
    fs::path icon;

    void SetUp() override {
        fs::create_directories(dir / "skin");
        fs::copy_file(fs::path(KESK_RESOURCES_DIR) / "notFound.ico", dir / "notFound.ico");
        writeText(dir / "skin" / "skin.ini",
                  "[COLORS]\nHEAD_BAR_BG=800000\nHEAD_BAR_FG=FFFFFF\nLIST_BOX_BG=F0F0F0\n"
                  "LIST_BOX_FG=402010\n");
        writeBytes(dir / "skin" / "Velora_BG.bmp",
                   makeBmp24(64, 64, [](int, int) { return 0x204060u; }));
        icon = dir / "sizes.ico";
        writeBytes(icon,
                   makeIco({{16, kColour16}, {32, kColour32}, {48, kColour48}, {64, kColour64}}));
        writeText(dir / "velora.ini",
                  "[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n"
                  "[FromIconFile]\nName=An icon file's picture\nTarget=\nIcon=" +
                      u8(icon) +
                      "\nGroup=Tools\n"
                      "[FromProgram]\nName=A program's icon\nTarget=" +
                      u8(icon) + "\nIcon=\nGroup=Applications\n");
        app::overrideForTests(u8(dir.path()), "KeskVLM");
        ASSERT_TRUE(view.create());
        view.load();
    }
    void TearDown() override { app::overrideForTests("", ""); }

    const MenuItem& itemOf(const std::string& section) const {
        for (const MenuItem& m : presenter.state().menuItems) {
            if (m.Section == section) {
                return m;
            }
        }
        static const MenuItem none;
        return none;
    }
    // The colour at the middle of the left quarter of image `n` (1-based) of `il`.
    static std::uint32_t imageColour(HIMAGELIST il, int n) {
        int w = 0;
        int h = 0;
        ImageList_GetIconSize(il, &w, &h);
        const std::vector<std::uint32_t> px = imagePixels(il, n - 1);
        const auto at = static_cast<std::size_t>(h / 2) * static_cast<std::size_t>(w) +
                        static_cast<std::size_t>(w / 4);
        return at < px.size() ? px[at] & 0xFFFFFFu : 0xFFFFFFFFu;
    }
    static int iconSide(HIMAGELIST il) {
        int w = 0;
        int h = 0;
        ImageList_GetIconSize(il, &w, &h);
        return w == h ? w : -1;
    }
};

struct Check {
    const char* rule;
    std::function<long long()> actual;
    long long expected;
};

TEST_F(MenuAtDpi, TheWindowAndItsImageListsFollowTheDpi) {
    const auto dpi = static_cast<std::int32_t>(expectedDpi());
    const double tpp = 1440.0 / dpi;
    const auto pixels = [tpp](double twips) { return std::llround(twips / tpp); };
    RECT r{};
    GetWindowRect(view.hwnd(), &r);
    const Check checks[] = {
        {"the system reports the DPI the prefix sets", [] { return win::dpiOf(nullptr); }, dpi},
        {"the presenter works at the window's DPI", [&] { return presenter.state().dpi; }, dpi},
        {"the window's width", [&] { return r.right - r.left; }, pixels(8535)},
        {"the window's height", [&] { return r.bottom - r.top; }, pixels(8295)},
        {"the large pictures' side", [&] { return iconSide(view.largeImages()); },
         picturePixelsAt(32, dpi)},
        {"the small pictures' side", [&] { return iconSide(view.smallImages()); },
         picturePixelsAt(16, dpi)},
        {"the view converts twips at the DPI",
         [&] { return std::llround(view.scale().twipsPerPixelY * 1000); },
         std::llround(tpp * 1000)},
    };
    for (const Check& c : checks) {
        EXPECT_EQ(c.actual(), c.expected) << c.rule;
    }
}

TEST_F(MenuAtDpi, PicturesAreTheSourcesOwnImageOfTheDpisSize) {
    const auto dpi = static_cast<std::int32_t>(expectedDpi());
    const std::uint32_t wanted = sourceColourAt(dpi);
    struct Row {
        const char* rule;
        const char* section;
        std::int16_t source;
        HIMAGELIST list;
    };
    const Row rows[] = {
        {"an icon file as the picture, large", "FromIconFile", IconFromIconFile,
         view.largeImages()},
        {"an icon file as the picture, small", "FromIconFile", IconFromIconFile,
         view.smallImages()},
        {"the target's own icon, large", "FromProgram", IconFromExe, view.largeImages()},
        {"the target's own icon, small", "FromProgram", IconFromExe, view.smallImages()},
    };
    for (const Row& row : rows) {
        const MenuItem& m = itemOf(row.section);
        ASSERT_EQ(m.IconSource, row.source) << row.rule;
        EXPECT_EQ(imageColour(row.list, m.IconIndex), wanted)
            << row.rule << ": the image of the DPI's size, never a smaller one blown up";
    }
}

TEST_F(MenuAtDpi, TextsFitTheirPlaces) {
    const auto dpi = static_cast<std::int32_t>(expectedDpi());
    const frmVeloraState& s = presenter.state();
    const win::TwipsScale scale = win::scaleForDpi(static_cast<UINT>(dpi));
    const win::WindowDC screen(nullptr);
    struct Label {
        const char* rule;
        const ControlState* label;
    };
    const Label labels[] = {
        {"the headline", &s.lblHeadline},
        {"the widest group heading", &s.lblContHead[1]},
    };
    for (const Label& l : labels) {
        LOGFONTW lf{};
        lstrcpynW(lf.lfFaceName, win::labelFaceName().c_str(), LF_FACESIZE);
        lf.lfHeight = -static_cast<int>(std::lround(l.label->fontSize * dpi / 72.0));
        lf.lfWeight = l.label->bold ? FW_BOLD : FW_NORMAL;
        const win::UniqueFont font(CreateFontIndirectW(&lf));
        const win::SelectGuard sel(screen.get(), font.get());
        const std::wstring text = win::widen(l.label->caption);
        SIZE extent{};
        GetTextExtentPoint32W(screen.get(), text.c_str(), static_cast<int>(text.size()), &extent);
        EXPECT_LE(extent.cx, scale.toPixelsX(l.label->width)) << l.rule;
        EXPECT_LE(extent.cy, scale.toPixelsY(l.label->height)) << l.rule;
    }
    // An entry's caption is as tall as the list's font and ends inside its list.
    for (std::size_t k : {std::size_t{0}, std::size_t{1}}) {
        HWND list = view.listView(k);
        RECT label{LVIR_LABEL, 0, 0, 0};
        ASSERT_NE(SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&label)), 0);
        RECT client{};
        GetClientRect(list, &client);
        const win::WindowDC dc(list);
        const win::SelectGuard sel(dc.get(),
                                   reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
        TEXTMETRICW tm{};
        GetTextMetricsW(dc.get(), &tm);
        EXPECT_GE(label.bottom - label.top, tm.tmHeight) << "list " << k;
        EXPECT_LE(label.right, client.right) << "list " << k;
        // A caption wider than its column overhangs its picture on both sides, as the list
        // control centres it; the picture itself lies inside the list.
        RECT picture{LVIR_ICON, 0, 0, 0};
        ASSERT_NE(SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&picture)), 0);
        EXPECT_GE(picture.left, client.left) << "list " << k;
    }
}

TEST_F(MenuAtDpi, ADpiChangeBuildsTheWindowAgainAtTheNewDpi) {
    const auto dpi = static_cast<std::int32_t>(expectedDpi());
    const std::int32_t other = dpi == 144 ? 96 : 144;
    RECT r{};
    GetWindowRect(view.hwnd(), &r);
    const int builds = presenter.state().buildCount;
    SendMessageW(view.hwnd(), WM_DPICHANGED, MAKEWPARAM(other, other),
                 reinterpret_cast<LPARAM>(&r));
    ASSERT_TRUE(waitFor([&] { return presenter.state().buildCount > builds; }));
    RECT now{};
    GetWindowRect(view.hwnd(), &now);
    const double tpp = 1440.0 / other;
    const Check checks[] = {
        {"the presenter works at the new DPI", [&] { return presenter.state().dpi; }, other},
        {"the window's width at the new DPI", [&] { return now.right - now.left; },
         std::llround(8535 / tpp)},
        {"the large pictures at the new DPI", [&] { return iconSide(view.largeImages()); },
         picturePixelsAt(32, other)},
        {"the program's icon from its image for the new DPI",
         [&] { return imageColour(view.largeImages(), itemOf("FromProgram").IconIndex); },
         sourceColourAt(other)},
    };
    for (const Check& c : checks) {
        EXPECT_EQ(c.actual(), c.expected) << c.rule;
    }
}

} // namespace
} // namespace kesk::test
