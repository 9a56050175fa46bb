// The about box's presenter: layout, texts, colours, background and closing.
#include <gtest/gtest.h>

#include "about/frmSplash.h"
#include "fake_desktop.h"
#include "support/appinfo.h"
#include "support/errors.h"

namespace kesk {
namespace {

class FrmSplashTest : public ::testing::Test {
  protected:
    void SetUp() override { app::overrideForTests("C:\\Kesk", "KeskVLM"); }
    void TearDown() override { app::overrideForTests("", ""); }

    const SplashControl& c(SplashControlIndex i) const { return splash.state().controls[i]; }

    test::FakeDesktop desktop;
    frmSplash splash{desktop};
};

TEST_F(FrmSplashTest, LayoutIsAsDesignedInTwips) {
    struct Row {
        SplashControlIndex index;
        const char* name;
        SplashControlKind kind;
        std::int32_t left, top, width, height;
        double font;
        bool bold;
    };
    using K = SplashControlKind;
    const Row rows[] = {
        {lblProductName, "lblProductName", K::Label, 1140, 780, 3270, 765, 32.25, true},
        {iconPic, "iconPic", K::PictureBox, 480, 900, 555, 555, 8.25, false},
        {lblVersion, "lblVersion", K::Label, 4620, 840, 2145, 285, 12, true},
        {lblBuild, "lblBuild", K::Label, 4620, 1140, 2160, 285, 12, true},
        {lblURL, "lblURL", K::Label, 420, 1920, 4650, 435, 18, true},
        {lblCopyright, "lblCopyright", K::Label, 180, 2760, 2415, 255, 8.25, false},
        {txtCopyright, "txtCopyright", K::TextBox, 180, 3000, 3315, 1035, 8.25, false},
        {lblLicenseTo, "lblLicenseTo", K::Label, 3900, 2760, 1155, 255, 8.25, false},
        {txtLicense, "txtLicense", K::TextBox, 3900, 3000, 3315, 1035, 8.25, false},
        {closePic, "closePic", K::PictureBox, 7080, 0, 315, 315, 8.25, false},
    };
    for (const Row& r : rows) {
        const SplashControl& s = c(r.index);
        EXPECT_STREQ(s.name, r.name);
        EXPECT_EQ(s.kind, r.kind) << r.name;
        EXPECT_EQ(s.left, r.left) << r.name;
        EXPECT_EQ(s.top, r.top) << r.name;
        EXPECT_EQ(s.width, r.width) << r.name;
        EXPECT_EQ(s.height, r.height) << r.name;
        if (r.kind != K::PictureBox) {
            EXPECT_DOUBLE_EQ(s.fontSize, r.font) << r.name;
            EXPECT_EQ(s.bold, r.bold) << r.name;
        }
    }
    EXPECT_EQ(splash.state().backColour, 0x00FFC0C0);
    EXPECT_EQ(c(iconPic).backColour, 0x00FFC0C0);
    EXPECT_EQ(c(closePic).backColour, 0x000000C0);
    EXPECT_EQ(c(lblProductName).text, "Produkt");
}

TEST_F(FrmSplashTest, LoadingFillsTheTexts) {
    splash.Form_Load();
    EXPECT_TRUE(splash.state().loaded);
    EXPECT_TRUE(splash.state().iconShown);
    EXPECT_EQ(c(lblVersion).text, "Version 0.0.59");
    EXPECT_EQ(c(lblProductName).text, "KeskVLM");
    EXPECT_EQ(c(lblBuild).text, "Build date 09.02.2008");
    EXPECT_EQ(c(lblURL).text, kMakerWebAddress);
    EXPECT_EQ(c(txtCopyright).text, std::string(kMakerName) + "\r\n" + kMakerWebAddress);
    EXPECT_EQ(c(txtLicense).text, "");
}

TEST(VersionText, HasNoLeadingZerosAndNoBlanks) {
    EXPECT_EQ(versionText(0, 0, 59), "Version 0.0.59");
    EXPECT_EQ(versionText(1, 10, 100), "Version 1.10.100");
    EXPECT_EQ(versionText(0, 0, 0), "Version 0.0.0");
}

TEST_F(FrmSplashTest, TheFirstCallLoadsTheFormBeforeDoingItsWork) {
    splash.setForeColor(0x00123456);
    EXPECT_TRUE(splash.state().loaded);
    EXPECT_EQ(c(lblVersion).text, "Version 0.0.59");
    EXPECT_EQ(c(lblVersion).foreColour, 0x00123456) << "not undone by the load";
}

TEST_F(FrmSplashTest, ForeColourReachesEveryLabelAndNothingElse) {
    splash.setForeColor(0x00123456);
    for (const SplashControl& s : splash.state().controls) {
        if (s.kind == SplashControlKind::Label) {
            EXPECT_EQ(s.foreColour, 0x00123456) << s.name;
        }
    }
    EXPECT_EQ(c(txtCopyright).foreColour, 0);
    EXPECT_EQ(c(txtLicense).foreColour, 0);
    EXPECT_EQ(c(txtLicense).backColour, 0x00FFFFFF);
    EXPECT_EQ(c(closePic).backColour, 0x000000C0);
}

TEST_F(FrmSplashTest, BackColourAndLicenceText) {
    splash.setBackColor(0x00010203);
    splash.setLicenseText("Licensed to\r\nsomeone");
    EXPECT_EQ(splash.state().backColour, 0x00010203);
    EXPECT_EQ(c(txtLicense).text, "Licensed to\r\nsomeone");
}

TEST_F(FrmSplashTest, BackgroundPictureIsLoadedOnlyWhenTheFileExists) {
    splash.loadBackPic("skin\\Velora_BG.bmp");
    EXPECT_TRUE(splash.state().backPicture.empty());
    EXPECT_TRUE(desktop.picturesAsked.empty());
    EXPECT_EQ(splash.state().backColour, kSplashDesignBackColour);

    desktop.addPicture("C:\\Kesk\\skin\\Velora_BG.bmp", 1000, 100, 0xFF336699u);
    splash.loadBackPic("skin\\Velora_BG.bmp");
    ASSERT_EQ(desktop.picturesAsked.size(), 1u);
    EXPECT_EQ(desktop.picturesAsked[0], "C:\\Kesk\\skin\\Velora_BG.bmp");
    // Only the part the window shows: 7380 by 4185 twips at 15 twips per pixel.
    EXPECT_EQ(splash.state().backPicture.width, 492);
    EXPECT_EQ(splash.state().backPicture.height, 100);
    EXPECT_EQ(splash.state().backPicture.at(0, 0), 0xFF336699u);
}

TEST_F(FrmSplashTest, BackgroundPictureCropFollowsTheScreensScale) {
    desktop.metrics.twipsPerPixelX = 12.0;
    desktop.metrics.twipsPerPixelY = 12.0;
    desktop.addPicture("C:\\Kesk\\skin\\Velora_BG.bmp", 2000, 2000, 0xFF000000u);
    splash.loadBackPic("skin\\Velora_BG.bmp");
    EXPECT_EQ(splash.state().backPicture.width, 615);
    EXPECT_EQ(splash.state().backPicture.height, 349);
}

TEST_F(FrmSplashTest, ABrokenBackgroundPictureIsAnErrorAndChangesNothing) {
    desktop.addCorruptPicture("C:\\Kesk\\skin\\Velora_BG.bmp");
    try {
        splash.loadBackPic("skin\\Velora_BG.bmp");
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), errnum::InvalidPicture);
    }
    EXPECT_TRUE(splash.state().backPicture.empty());
    EXPECT_EQ(splash.state().backColour, kSplashDesignBackColour);
}

TEST_F(FrmSplashTest, TheCloseSquareAndAnyCharacterKeyClose) {
    splash.Form_Load();
    splash.closePic_Click();
    EXPECT_FALSE(splash.state().loaded);
    for (const std::uint32_t key : {std::uint32_t{'a'}, std::uint32_t{27}, std::uint32_t{13},
                                    std::uint32_t{' '}, std::uint32_t{8}, std::uint32_t{0x263A}}) {
        splash.Form_Load();
        splash.Form_KeyPress(key);
        EXPECT_FALSE(splash.state().loaded) << key;
    }
}

} // namespace
} // namespace kesk
