#pragma once
// What the main window's presenter asks of the rest of the program: the menu
// window (MenuWindowPort) and the shell around it (ShellPort). The Windows
// side carries both out; the unit tests record the calls.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "tray/mdTrayIcon.h"

namespace kesk {

class frmSplash;

// The menu window as frmMain sees it. Calls may throw a RuntimeError (a build
// that fails); frmMain passes such failures over.
class MenuWindowPort {
  public:
    virtual ~MenuWindowPort() = default;
    // False while the window is not loaded.
    virtual bool isVisible() = 0;
    // Shows the window, not modal. A window that is not loaded is loaded
    // first, and loading runs a build.
    virtual void show() = 0;
    // Hides the window (its auto-hide timer keeps running).
    virtual void hide() = 0;
    // Unloads the window; its unload stores the height offset in the
    // catalogue. Nothing happens when it is not loaded.
    virtual void unload() = 0;
    // A build (Form_Construct). A window that is not loaded is loaded first,
    // and loading runs a build of its own before this one.
    virtual void construct() = 0;
    // Shows the window as the keys ask for it: on the monitor under the pointer, its auto-hide
    // waiting for the pointer to come in first. Without a monitor to tell, as show().
    virtual void showFromKeys() { show(); }
};

// The entries of the tray menu, in their order.
enum class TrayCommand { None, ToggleVLM, OpenStartMenu, About, Exit };

struct TrayMenuEntry {
    TrayCommand command = TrayCommand::None; // None for the separator
    std::string caption;
    bool checked = false;
    bool separator = false;
    bool operator==(const TrayMenuEntry&) const = default;
};

// What the shell does for frmMain beyond Desktop. None of these may throw;
// a failing call leaves things as they were.
class ShellPort {
  public:
    virtual ~ShellPort() = default;

    // --- The main window ------------------------------------------------------------------
    // Runs `step` on a later turn of the window's thread, after what was asked before it and
    // before input that comes meanwhile. By default at once.
    virtual void later(std::function<void()> step) { step(); }
    virtual void hideMainWindow() = 0;
    virtual void hideFromTaskList() = 0;
    // Destroys the main window (the process goes on until terminateProcess).
    virtual void unloadMainWindow() = 0;
    // Ends the process at once: no further event runs.
    virtual void terminateProcess() = 0;
    // A modal message box with the critical-error icon and an OK button.
    virtual void criticalMessage(const std::string& text, const std::string& title) = 0;

    // --- The notification area -------------------------------------------------------------
    // Where the icon's notifications go, with which message, and the icon shown.
    virtual WindowId notificationWindow() = 0;
    virtual std::uint32_t notificationMessage() = 0;
    virtual std::uintptr_t programIcon() = 0;
    virtual bool addTrayIcon(const TrayIconData& data) = 0;
    virtual bool removeTrayIcon(const TrayIconData& data) = 0;
    // A balloon from the icon with a warning sign; false when the shell took
    // none (no icon in the notification area).
    virtual bool showBalloon(const TrayIconData& icon, const std::string& title,
                             const std::string& text) = 0;
    // Pops the menu up at the mouse position; returns the chosen entry, or
    // None when the menu was dismissed.
    virtual TrayCommand popupTrayMenu(const std::vector<TrayMenuEntry>& entries) = 0;
    // Shows the about box modally, owned by the main window; returns once it
    // is closed (once the presenter is no longer loaded).
    virtual void showAboutModal(frmSplash& splash) = 0;

    // --- The taskbar and the system start button -----------------------------------------
    // Every top-level window of class "shell_traywnd" with an empty title, from the top of
    // the window order down. A desktop may hold more than one: a hidden, empty one of its own
    // beside the one the user sees.
    virtual std::vector<WindowId> taskbarWindows() = 0;
    // The taskbars with their windows and the monitors. The default tells only what the calls
    // here do: each taskbar with its first child, taken for a start button of class "Button",
    // and no monitor.
    virtual ShellReport shellReport();
    // The first child window; 0 for none or for window 0.
    virtual WindowId firstChild(WindowId window) = 0;
    // The window's screen rectangle; false (and `out` untouched) on failure.
    virtual bool windowRect(WindowId window, Rect& out) = 0;
    virtual bool isWindowVisible(WindowId window) = 0;
    // Sets a window's caption (the system start button repaints with it).
    virtual void setWindowText(WindowId window, const std::string& text) = 0;
    // A press and a release of the left button on the window, handed over without waiting;
    // dropped for window 0. Once the window has dealt with the release (a start menu that it
    // opened has closed again) the main window's systemStartMenuClosed runs.
    virtual void clickWindow(WindowId window) = 0;
    // Lets `window` paint what has become visible of it, without running any
    // of this program's own events.
    virtual void paintUncovered(WindowId window) = 0;

    // --- The taskbar button picStartBtn -----------------------------------------------------
    // Back into the hidden main window (not seen there).
    virtual void moveButtonToMain() = 0;
    // Into `parent` at `bounds` (pixels in the parent); parent 0 puts it on the
    // desktop, above other windows, at `bounds` in screen pixels.
    virtual void moveButtonInto(WindowId parent, const Rect& bounds) = 0;
    virtual void showButton(bool visible) = 0;
    // The button's face; an empty bitmap lets the button draw a plain face
    // with the caption "VLM".
    virtual void setButtonPicture(const Bitmap& picture) = 0;
    // Puts the button above every other window again, its own taskbar included.
    virtual void raiseButton() = 0;

    // While `taskbar` is not 0, the main window's taskbarMoved runs soon after that window
    // moved or changed its size (several moves may come as one call); 0 ends it. Nothing
    // runs while nothing moves.
    virtual void watchTaskbarMoves(WindowId taskbar) = 0;

    // --- A taskbar that shows up later ---------------------------------------------------
    // While on, the main window's taskbarAppeared runs whenever a taskbar window (or a
    // window inside one) is created or shown, and for a short while after each of those and
    // after the watch begins: some shells show a created taskbar without telling anyone.
    virtual void watchForTaskbar(bool on) = 0;
};

} // namespace kesk
