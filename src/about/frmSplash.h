#pragma once
// The about box's presenter. The Windows view creates the window from
// `state()`, calls the handlers on its events and closes once `loaded` turns
// false.
//
// Units: every rectangle is twips (1/1440 inch) inside the window's inner area.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/desktop.h"

namespace kesk {

enum class SplashControlKind { Label, PictureBox, TextBox };

struct SplashControl {
    const char* name = "";
    SplashControlKind kind = SplashControlKind::Label;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    double fontSize = 8.25; // points, Arial
    bool bold = false;
    std::string text;
    Colour foreColour = 0;
    Colour backColour = 0x00FFFFFF;
};

// Indices into frmSplashState::controls.
enum SplashControlIndex : std::size_t {
    lblProductName,
    iconPic,
    lblVersion,
    lblBuild,
    lblURL,
    lblCopyright,
    txtCopyright,
    lblLicenseTo,
    txtLicense,
    closePic,
    kSplashControlCount
};

inline constexpr std::int32_t kSplashWidth = 7380; // inner area, twips
inline constexpr std::int32_t kSplashHeight = 4185;
inline constexpr Colour kSplashDesignBackColour = 0x00FFC0C0;
inline constexpr Colour kColourWhite = 0x00FFFFFF;

// The maker's own address and credits.
inline constexpr const char* kMakerWebAddress = "keskvlm.example.org";
inline constexpr const char* kMakerName = "The KeskVLM developers";

struct frmSplashState {
    bool loaded = false;
    Colour backColour = kSplashDesignBackColour;
    // Drawn from the top left corner beneath all controls, at its own size;
    // empty: the plain back colour.
    Bitmap backPicture;
    // iconPic shows the program's icon once loaded.
    bool iconShown = false;
    std::array<SplashControl, kSplashControlCount> controls;
};

// "Version 0.0.59": plain decimal numbers, no leading zeros, no blanks.
std::string versionText(int major, int minor, int revision);

class frmSplash {
  public:
    explicit frmSplash(Desktop& desktop);

    const frmSplashState& state() const noexcept { return s_; }

    // Fills the texts. Runs once, on the first call that touches the form.
    void Form_Load();

    // Every label's text colour; the other controls keep theirs. A failure
    // with one control is passed over.
    void setForeColor(Colour cl) noexcept;
    void setBackColor(Colour cl);
    // Shows <program directory>\<relativeLink> as the background picture when
    // that file exists; otherwise nothing changes. A file that exists but does
    // not decode throws RuntimeError(InvalidPicture).
    void loadBackPic(std::string_view relativeLink);
    void setLicenseText(std::string_view txt);

    // Closing: the close square, or any character key.
    void closePic_Click() noexcept;
    void Form_KeyPress(std::uint32_t character) noexcept;

  private:
    void ensureLoaded();
    void unload() noexcept;

    Desktop& desktop_;
    frmSplashState s_;
};

} // namespace kesk
