// DPI queries and twips arithmetic on the real system: the run-time lookups of the newer
// Windows functions and their fallbacks give the DPI the screen has, never 0.
#include "win32/dpi.h"

#include "win32/handles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kesk::test {
namespace {

int screenDpi() {
    const win::WindowDC screen(nullptr);
    return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

struct ScaleCase {
    const char* rule;
    UINT dpi;
    double twips;
    int pixels;
};

void PrintTo(const ScaleCase& c, std::ostream* os) {
    *os << c.rule;
}

class TwipsToPixels : public testing::TestWithParam<ScaleCase> {};

TEST_P(TwipsToPixels, RoundsToTheNearestPixelTiesToEven) {
    const ScaleCase& c = GetParam();
    const win::TwipsScale s = win::scaleForDpi(c.dpi);
    EXPECT_EQ(s.toPixelsX(c.twips), c.pixels) << c.rule;
    EXPECT_EQ(s.toPixelsY(c.twips), c.pixels) << c.rule;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Scale, TwipsToPixels,
    testing::Values(ScaleCase{"96 dpi: 15 twips a pixel", 96, 1500, 100},
                    ScaleCase{"0 dpi counts as 96", 0, 1500, 100},
                    ScaleCase{"120 dpi: 12 twips a pixel", 120, 1500, 125},
                    ScaleCase{"144 dpi: 10 twips a pixel", 144, 1500, 150},
                    ScaleCase{"192 dpi: 7.5 twips a pixel", 192, 1500, 200},
                    ScaleCase{"half a pixel down to even 0", 96, 7.5, 0},
                    ScaleCase{"one and a half pixels up to even 2", 96, 22.5, 2},
                    ScaleCase{"negative half a pixel to even 0", 96, -7.5, 0},
                    ScaleCase{"negative one and a half to even -2", 96, -22.5, -2},
                    ScaleCase{"huge twips clamped", 96, 1e300, 1 << 27},
                    ScaleCase{"huge negative twips clamped", 96, -1e300, -(1 << 27)},
                    ScaleCase{"infinite twips give 0", 96, kInf, 0},
                    ScaleCase{"not a number gives 0", 96, kNaN, 0}));

TEST(Dpi, SystemAndWindowDpiAreTheScreens) {
    const int screen = screenDpi();
    ASSERT_GT(screen, 0);
    EXPECT_EQ(win::dpiOf(nullptr), static_cast<UINT>(screen));

    HWND w = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(w, nullptr);
    // Wine has one DPI for all monitors, so the window's DPI is the screen's.
    EXPECT_EQ(win::dpiOf(w), static_cast<UINT>(screen));
    DestroyWindow(w);
    // A handle that names no window any more falls back to the system DPI, never 0.
    EXPECT_EQ(win::dpiOf(w), static_cast<UINT>(screen));
    EXPECT_DOUBLE_EQ(win::scaleFor(nullptr).twipsPerPixelY, 1440.0 / screen);
}

TEST(Dpi, AwarenessHoldsAndAskingAgainIsNoFailure) {
    EXPECT_TRUE(win::enableDpiAwareness());
    EXPECT_NE(IsProcessDPIAware(), 0);
    // Now the awareness is set: the next request is refused by the system, not a failure.
    EXPECT_TRUE(win::enableDpiAwareness());
}

} // namespace
} // namespace kesk::test
