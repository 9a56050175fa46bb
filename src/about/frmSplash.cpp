#include "about/frmSplash.h"

#include <cmath>

#include "support/appinfo.h"
#include "support/errors.h"
#include "support/mdCompDateValue.h"

namespace kesk {

namespace {

SplashControl control(const char* name, SplashControlKind kind, std::int32_t left, std::int32_t top,
                      std::int32_t width, std::int32_t height, double fontSize, bool bold,
                      const char* text, Colour fore, Colour back) {
    SplashControl c;
    c.name = name;
    c.kind = kind;
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.fontSize = fontSize;
    c.bold = bold;
    c.text = text;
    c.foreColour = fore;
    c.backColour = back;
    return c;
}

// The form as designed, before Form_Load fills it.
std::array<SplashControl, kSplashControlCount> designControls() {
    using K = SplashControlKind;
    const Colour white = kColourWhite;
    const Colour back = kSplashDesignBackColour;
    const Colour editBack = 0x00FFFFFF;
    const Colour editFore = 0x00000000;
    return {
        control("lblProductName", K::Label, 1140, 780, 3270, 765, 32.25, true, "Produkt", white,
                back),
        control("iconPic", K::PictureBox, 480, 900, 555, 555, 8.25, false, "", 0, back),
        control("lblVersion", K::Label, 4620, 840, 2145, 285, 12, true, "Version", white, back),
        control("lblBuild", K::Label, 4620, 1140, 2160, 285, 12, true, "Build", white, back),
        control("lblURL", K::Label, 420, 1920, 4650, 435, 18, true, kMakerWebAddress, white, back),
        control("lblCopyright", K::Label, 180, 2760, 2415, 255, 8.25, false, "Copyright", white,
                back),
        control("txtCopyright", K::TextBox, 180, 3000, 3315, 1035, 8.25, false, "", editFore,
                editBack),
        control("lblLicenseTo", K::Label, 3900, 2760, 1155, 255, 8.25, false, "License", white,
                back),
        control("txtLicense", K::TextBox, 3900, 3000, 3315, 1035, 8.25, false, "", editFore,
                editBack),
        control("closePic", K::PictureBox, 7080, 0, 315, 315, 8.25, false, "", 0, 0x000000C0),
    };
}

} // namespace

std::string versionText(int major, int minor, int revision) {
    return "Version " + std::to_string(major) + "." + std::to_string(minor) + "." +
           std::to_string(revision);
}

frmSplash::frmSplash(Desktop& desktop) : desktop_(desktop) {
    s_.controls = designControls();
}

void frmSplash::ensureLoaded() {
    if (!s_.loaded) {
        Form_Load();
    }
}

void frmSplash::Form_Load() {
    s_ = frmSplashState{};
    s_.controls = designControls();
    s_.loaded = true;
    s_.iconShown = true;
    s_.controls[lblVersion].text =
        versionText(app::kVersionMajor, app::kVersionMinor, app::kVersionRevision);
    s_.controls[lblProductName].text = app::kTitle;
    s_.controls[lblURL].text = kMakerWebAddress;
    s_.controls[txtCopyright].text = std::string(kMakerName) + "\r\n" + kMakerWebAddress;
    s_.controls[lblBuild].text = std::string("Build date ") + COMPILATION_DATE;
}

void frmSplash::setForeColor(Colour cl) noexcept {
    skipOnError([&] { ensureLoaded(); });
    for (SplashControl& c : s_.controls) {
        skipOnError([&] {
            if (c.kind == SplashControlKind::Label) {
                c.foreColour = cl;
            }
        });
    }
}

void frmSplash::setBackColor(Colour cl) {
    ensureLoaded();
    s_.backColour = cl;
}

void frmSplash::loadBackPic(std::string_view relativeLink) {
    ensureLoaded();
    const std::string path = app::directory() + "\\" + std::string(relativeLink);
    if (!desktop_.pathExists(path)) {
        return;
    }
    // The picture is drawn at its own size; only the part the window can show is wanted.
    const ScreenMetrics m = desktop_.screen();
    const double tppx = m.twipsPerPixelX > 0 ? m.twipsPerPixelX : 15.0;
    const double tppy = m.twipsPerPixelY > 0 ? m.twipsPerPixelY : 15.0;
    PictureRequest request;
    request.cropWidth = static_cast<std::int32_t>(std::ceil(kSplashWidth / tppx));
    request.cropHeight = static_cast<std::int32_t>(std::ceil(kSplashHeight / tppy));
    Picture picture;
    switch (desktop_.loadPicture(path, request, picture)) {
    case PictureError::None:
        s_.backPicture = std::move(picture.topLeft);
        return;
    case PictureError::NotFound:
        raiseError(errnum::FileNotFound, {}, "frmSplash");
    case PictureError::Unreadable:
        raiseError(errnum::PathFileAccess, {}, "frmSplash");
    case PictureError::InvalidPicture:
        break;
    }
    raiseError(errnum::InvalidPicture, {}, "frmSplash");
}

void frmSplash::setLicenseText(std::string_view txt) {
    ensureLoaded();
    s_.controls[txtLicense].text = std::string(txt);
}

void frmSplash::unload() noexcept {
    s_.loaded = false;
}

void frmSplash::closePic_Click() noexcept {
    unload();
}

void frmSplash::Form_KeyPress(std::uint32_t) noexcept {
    unload();
}

} // namespace kesk
