#pragma once
// The about box on the screen: renders frmSplash's state and runs it modally.

#include <windows.h>

#include <map>
#include <vector>

#include "about/frmSplash.h"
#include "win32/dpi.h"
#include "win32/handles.h"
#include "win32/window.h"

namespace kesk::win {

class AboutWindow final : public Window {
  public:
    AboutWindow(frmSplash& splash, HICON programIcon);
    ~AboutWindow() override;

    // Shows the box owned by `owner` and returns once the presenter has
    // unloaded it. Every other window of this thread takes no input meanwhile.
    // A quit request that arrives meanwhile closes the box and is passed on.
    static void showModal(frmSplash& splash, HWND owner, HICON programIcon);

    // Creates the window, hidden. For tests; showModal does it itself.
    bool create(HWND owner);
    // The one paint routine (WM_PAINT and WM_PRINTCLIENT).
    void paint(HDC dc);
    TwipsScale scale() const noexcept { return scale_; }
    HWND copyrightBox() const noexcept { return txtCopyright_; }
    HWND licenseBox() const noexcept { return txtLicense_; }
    // Whether a message of the modal loop closes the box: a character key for
    // the box or any of its controls, a click on the close square.
    bool handleModalMessage(const MSG& m);

  protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    RECT pixels(const SplashControl& c) const noexcept;
    HFONT font(double points, bool bold);
    HWND makeEdit(const SplashControl& c);

    frmSplash& splash_;
    HICON icon_;
    TwipsScale scale_;
    HWND txtCopyright_ = nullptr;
    HWND txtLicense_ = nullptr;
    UniqueBitmap background_;
    UniqueBrush editBrush_;
    std::map<std::pair<int, bool>, UniqueFont> fonts_;
};

inline constexpr wchar_t kAboutWindowClass[] = L"KeskVLM.frmSplash";

} // namespace kesk::win
