// The menu window's height: dragging the headline, the bounds, the stored
// offset; and the auto-hide.

#include <cmath>
#include <memory>

#include "settings/clsINIFile.h"
#include "unit/menu_fixture.h"

namespace kesk::test {
namespace {

// The fake screen: 768 pixels high (11520 twips), taskbar from pixel 738 down,
// so the window's bottom belongs at 738 * 15 = 11070 twips.
constexpr std::int32_t kTaskbarTopTwips = 11070;

class MenuResize : public MenuFixture {
  protected:
    std::unique_ptr<frmVelora> owned = std::make_unique<frmVelora>(desk);
    frmVelora& form() { return *owned; }
    // A build puts the window on the taskbar only with the height of the
    // build before; a new window starts at its design height.
    void fresh() {
        owned = std::make_unique<frmVelora>(desk);
        owned->Form_Load();
    }

    void SetUp() override {
        MenuFixture::SetUp();
        writeCatalogue(std::string(kSettings) + item("One", "Tools"));
    }
    const frmVeloraState& s() const { return owned->state(); }
    void dragTo(std::int32_t y, std::int16_t button = 1) {
        desk.cursor = {10, y};
        form().lblHeadline_MouseMove(button, 0, 10.0, 5.0);
    }
    std::string storedOffset() {
        clsINIFile ini;
        ini.setFilename(catalogue::cataloguePath());
        return ini.getString(catalogue::kSectionWindow, catalogue::kKeyHeightOffset);
    }
    void expectOnTaskbar() const {
        EXPECT_EQ(s().top + s().height, kTaskbarTopTwips);
        EXPECT_EQ(s().menuTopPixels, std::lround((11520 - s().height) / 15.0) - 30);
        for (std::size_t k = 0; k < catalogue::kGroupCount; ++k) {
            EXPECT_EQ(s().lstViewA[k].height, s().heightOffset + kListDesignHeight);
            EXPECT_EQ(s().cont[k].height, s().heightOffset + kListDesignHeight);
        }
    }
};

TEST_F(MenuResize, EachStepPutsTheHeadlineAtThePointerAndTheBottomOnTheTaskbar) {
    struct Case {
        std::int32_t from, to, heightChange;
    };
    for (const Case c :
         {Case{300, 290, 150}, Case{300, 310, -150}, Case{300, 300, 0}, Case{400, 399, 16},
          Case{401, 400, 14} /* tops to the even twip */, Case{200, 100, 1500}}) {
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        fresh();
        dragTo(c.from);
        const std::int32_t before = s().height;
        dragTo(c.to);
        EXPECT_EQ(s().height - before, c.heightChange);
        EXPECT_EQ(s().height, s().heightOffset + kWindowDesignHeight);
        expectOnTaskbar();
    }
}

TEST_F(MenuResize, FirstStepAfterABuildMovesTheTopToThePointer) {
    form().Form_Load();
    ASSERT_EQ(s().top, 2775);
    dragTo(300); // 15 * 299 - 187.5 = 4297.5, to the even 4298
    EXPECT_EQ(s().top, 4298);
    EXPECT_EQ(s().heightOffset, 2775 - 4298);
    EXPECT_EQ(s().menuTopPixels, 287); // (11520 - 6772) / 15 - 30 = 286.53
}

TEST_F(MenuResize, DraggingDownStopsAtTheFloor) {
    form().Form_Load();
    for (const std::int32_t y : {760, 767, 2000}) {
        dragTo(y);
        EXPECT_EQ(s().heightOffset, -5767);
        EXPECT_EQ(s().height, 2528);
        EXPECT_EQ(s().lstViewA[3].height, 1688);
        expectOnTaskbar();
    }
    dragTo(500); // and back up from the floor
    EXPECT_GT(s().heightOffset, -5767);
}

TEST_F(MenuResize, OnAScreenTallerThanTheListsCanBeTheDragStopsAtTheLargestHeight) {
    desk.metrics.heightPixels = 4000;
    desk.taskbar = {0, 3970, 1024, 4000};
    form().Form_Load();
    for (const std::int32_t y : {1, -40000, 5}) {
        dragTo(y);
        EXPECT_EQ(s().heightOffset, frmVelora::kMaxHeightOffset);
        EXPECT_EQ(s().lstViewA[0].height, 32767);
        EXPECT_EQ(s().height, 33607);
        EXPECT_EQ(s().top + s().height, 3970 * 15);
    }
}

TEST_F(MenuResize, OnlyTheLeftButtonAloneResizes) {
    form().Form_Load();
    const frmVeloraState before = s();
    for (const std::int16_t button : {0, 2, 3, 4, 5}) {
        dragTo(100, button);
        EXPECT_EQ(s().height, before.height);
        EXPECT_EQ(s().top, before.top);
        EXPECT_EQ(s().heightOffset, before.heightOffset);
    }
}

TEST_F(MenuResize, AStepThatCannotBeWorkedOutChangesNothing) {
    form().Form_Load();
    dragTo(300);
    const frmVeloraState before = s();
    desk.taskbar = {0, -40000, 1024, 40000}; // a taskbar height beyond 16 bits
    dragTo(200);
    desk.taskbar = {0, 738, 1024, 768};
    desk.metrics.heightPixels = 2000000000; // a top beyond 32 bits in twips
    dragTo(200);
    EXPECT_EQ(s().height, before.height);
    EXPECT_EQ(s().top, before.top);
    EXPECT_EQ(s().heightOffset, before.heightOffset);
    EXPECT_EQ(s().menuTopPixels, before.menuTopPixels);
}

TEST_F(MenuResize, ADamagedStoredOffsetDragsFromTheHeightTheWindowHas) {
    struct Case {
        const char* stored;
        bool buildFails;
    };
    for (const Case c : {Case{"0", false}, Case{"2147483647", true}, Case{"25313", true},
                         Case{"-2147483648", true}, Case{"text", false}}) {
        SCOPED_TRACE(c.stored);
        writeCatalogue(std::string("[Window]\nheightOffset=") + c.stored + "\n" +
                       item("A", "Tools"));
        frmVelora f(desk);
        f.Form_Load();
        EXPECT_EQ(f.state().lastBuildFailed, c.buildFails);
        desk.cursor = {10, 300};
        f.lblHeadline_MouseMove(1, 0, 0, 0);
        // As from a window of design height placed on the taskbar (top 2775).
        EXPECT_EQ(f.state().heightOffset, 2775 - 4298);
        EXPECT_EQ(f.state().top + f.state().height, kTaskbarTopTwips);
        f.Form_Unload();
        EXPECT_EQ(storedOffset(), "-1523");
    }
}

TEST_F(MenuResize, UnloadStoresTheOffsetAndTheNextBuildUsesIt) {
    for (const std::int32_t y : {300, 100, 767}) {
        form().Form_Load();
        dragTo(y);
        const std::int32_t dragged = s().heightOffset;
        form().Form_Unload();
        EXPECT_EQ(storedOffset(), std::to_string(dragged));
        frmVelora next(desk);
        next.Form_Load();
        EXPECT_EQ(next.state().heightOffset, dragged);
        EXPECT_EQ(next.state().height, dragged + kWindowDesignHeight);
    }
}

TEST_F(MenuResize, HidingWithoutUnloadKeepsTheStoredOffset) {
    form().Form_Load();
    dragTo(300);
    form().Hide();
    EXPECT_EQ(storedOffset(), "0");
    form().Form_Construct(); // a build reads the stored value again
    EXPECT_EQ(s().heightOffset, 0);
}

TEST_F(MenuResize, UnloadWithoutACatalogueFolderReportsNothing) {
    form().Form_Load();
    app::overrideForTests((dir / "missing" / "deeper").string(), "KeskVLM");
    form().Form_Unload();
    EXPECT_FALSE(form().mousePosCheckArmed());
}

TEST_F(MenuResize, AutoHideLeavesTheWindowOnlyInsideItsArea) {
    // Window 8535 twips = 569 pixels wide; its top at pixel 185.
    struct Case {
        std::int32_t x, y;
        bool stays;
    };
    for (const Case c : {Case{669, 185, true}, Case{670, 185, false}, Case{0, 184, false},
                         Case{0, 767, true}, Case{20, 750, true}, Case{-50, 400, true},
                         Case{5000, 5000, false}, Case{300, -1, false}}) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        form().Form_Load();
        ASSERT_EQ(s().menuTopPixels, 185);
        form().Show();
        EXPECT_FALSE(form().mousePosCheckArmed());
        form().Form_Paint();
        EXPECT_TRUE(form().mousePosCheckArmed());
        desk.cursor = {c.x, c.y};
        form().Timer_Mouse_Pos_Check_Timer();
        EXPECT_EQ(s().visible, c.stays);
        EXPECT_EQ(form().mousePosCheckArmed(), c.stays);
        form().Hide();
    }
}

TEST_F(MenuResize, AMenuOpenedFromTheKeyboardWaitsForThePointerBeforeItAutoHides) {
    struct Step {
        const char* what;
        Point cursor;
        bool stays;
    };
    struct Case {
        const char* rule;
        bool fromKeyboard;
        std::vector<Step> steps;
    };
    const Point outside{5000, 5000};
    const Point inside{20, 750};
    const std::vector<Case> cases = {
        {"opened by the keyboard, the pointer elsewhere: it stays",
         true,
         {{"outside", outside, true}, {"still outside", outside, true}}},
        {"once the pointer was inside, leaving hides it as always",
         true,
         {{"outside", outside, true}, {"enters", inside, true}, {"leaves", outside, false}}},
        {"opened by the mouse, the pointer elsewhere hides it",
         false,
         {{"outside", outside, false}}},
    };
    for (const Case& c : cases) {
        form().Form_Load();
        form().Show();
        if (c.fromKeyboard) {
            form().shownFromKeyboard();
        }
        form().Form_Paint();
        for (const Step& step : c.steps) {
            desk.cursor = step.cursor;
            form().Timer_Mouse_Pos_Check_Timer();
            EXPECT_EQ(s().visible, step.stays) << c.rule << " / " << step.what;
        }
        form().Hide();
        form().Show();
        form().Form_Paint();
        desk.cursor = outside;
        form().Timer_Mouse_Pos_Check_Timer();
        EXPECT_FALSE(s().visible) << c.rule << ": the next showing by the mouse is as always";
        form().Hide();
    }
}

TEST_F(MenuResize, AutoHideFollowsTheDraggedTop) {
    form().Form_Load();
    form().Show();
    form().Form_Paint();
    dragTo(100);
    desk.cursor = {10, s().menuTopPixels};
    form().Timer_Mouse_Pos_Check_Timer();
    EXPECT_TRUE(s().visible);
    desk.cursor.y -= 1;
    form().Timer_Mouse_Pos_Check_Timer();
    EXPECT_FALSE(s().visible);
}

TEST_F(MenuResize, AHiddenWindowDisarmsTheTimerWhereverThePointerIs) {
    form().Form_Load();
    form().Show();
    form().Form_Paint();
    desk.cursor = {10, 500}; // inside the area
    form().Hide();
    EXPECT_FALSE(form().mousePosCheckArmed());

    form().Show();
    form().Form_Paint();
    form().windowHidden(); // hidden behind the presenter's back
    EXPECT_FALSE(form().mousePosCheckArmed());
}

} // namespace
} // namespace kesk::test
