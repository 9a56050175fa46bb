#pragma once
// The hidden main window's presenter: start-up and the single-instance rule,
// the taskbar button, the tray icon and its menu, the about box and the
// shut-down. The Windows side turns messages into the handlers below.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "support/errors.h"
#include "tray/mdTrayIcon.h"
#include "tray/ports.h"
#include "tray/taskbar_layout.h"

namespace kesk {

enum class ButtonPlace {
    MainWindow, // inside the hidden main window: not seen
    Taskbar,    // in the taskbar, over the system start button
    OwnPlace    // no usable taskbar: on the desktop at the bottom left of the screen
};

struct StartButtonState {
    ButtonPlace place = ButtonPlace::MainWindow;
    // Pixels in the parent (the screen for OwnPlace).
    Rect bounds;
    bool visible = true;
    // The copy of the system start button with red and green exchanged; empty
    // when the button draws its own face labelled "VLM".
    Bitmap picture;
};

struct frmMainState {
    bool loaded = false;
    bool menuBarVisible = true;
    // Whether the button is attached. Checked from the start: start-up attaches it.
    bool menuToggleVLMChecked = true;
    WindowId hTaskbar = 0;
    WindowId hWinStartBtn = 0;
    // The system start button's screen rectangle at the last attach.
    Rect startBtnRect;
    // The taskbar's screen rectangle and edge at the last attach.
    Rect taskbarRect;
    ScreenEdge taskbarEdge = ScreenEdge::Bottom;
    TrayIconData trayIconData;
    StartButtonState picStartBtn;
    // The button waits in its own place for a taskbar to show up.
    bool watchingForTaskbar = false;
    // The taskbar whose moves are watched (0: none).
    WindowId watchedTaskbar = 0;
    // The taskbar has slid off the screen; the button hides with it until it comes back.
    bool taskbarSlidOff = false;
    bool aboutOpen = false;
    bool shuttingDown = false;
    // A second copy refused to start.
    bool refused = false;
    // What went wrong while stamping the build date (start-up goes on).
    std::optional<ErrorRecord> compDateFailure;
    // The user was told that a change could not be saved; once a session is enough.
    bool saveFailureTold = false;
    // The last refused hotkey the user was told of.
    std::string hotkeyRefusalTold;
};

// The button's own place when there is no taskbar to put it in.
inline constexpr std::int32_t kOwnButtonWidthTwips = 900;
inline constexpr std::int32_t kOwnButtonHeightTwips = 360;
inline constexpr const char* kBackPicLink = "skin\\Velora_BG.bmp";

// "Sorry, aber <product> ist schon gestartet!"
std::string alreadyRunningText(const std::string& productName);

class frmMain {
  public:
    // `updateCompDate` stamps the build date; its result is not used.
    frmMain(Desktop& desktop, ShellPort& shell, MenuWindowPort& menu,
            std::function<void()> updateCompDate);
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    const frmMainState& state() const noexcept { return s_; }

    // --- Events (none of them throws) -------------------------------------------------
    void Form_Load() noexcept;
    // Any close of the main window: runs the shut-down, never cancels.
    void Form_QueryUnload() noexcept;
    void picStartBtn_Click() noexcept;
    void picStartBtn_DblClick() noexcept;
    void picStartBtn_OLEDragOver() noexcept;
    // The global hotkey: shows the menu, on the monitor under the pointer, or hides it.
    void hotkey_Pressed() noexcept;
    // A notification of the tray icon, carrying what the mouse did over it.
    void pic1_MouseMove(TrayMouse message) noexcept;
    void menuToggleVLM_Click() noexcept;
    void menuBarWSM_Click() noexcept;
    void menuAbout_Click() noexcept;
    void menuBarExit_Click() noexcept;
    // The shell's taskbar was created anew (TaskbarCreated): the icon and the
    // button went with the old one.
    void taskbarCreated() noexcept;
    // A taskbar window may have shown up while the button waits in its own place.
    void taskbarAppeared() noexcept;
    // The display, the work area or the taskbar's settings changed: the button follows the
    // start button to wherever it is now.
    void taskbarChanged() noexcept;
    // The taskbar the button lies on moved or changed its size: one that slid off the screen
    // takes the button with it, one that came back brings it back.
    void taskbarMoved() noexcept;
    // The work area or the taskbar's settings changed. Only a button that covers a start
    // button follows: one in its own place waits for its watch (a taskbar that shows up
    // sends such changes while the user may be clicking the button).
    void workAreaChanged() noexcept;
    // The system start menu that menuBarWSM_Click opened has closed. The shell raised its
    // taskbar for it, which may have buried the button.
    void systemStartMenuClosed() noexcept;
    // A change to the catalogue could not be saved in `folder`. The first
    // time in a session the tray icon says so; later failures say nothing more.
    void saveFailed(const std::string& folder) noexcept;
    // The hotkey `combination` could not be registered (taken, or no combination). The tray
    // icon says so once for each combination; the program runs on without a hotkey.
    void hotkeyRefused(const std::string& combination) noexcept;

    // --- Procedures -----------------------------------------------------------------------
    void installTrayIcon();
    void removeTrayIcon();
    void attachStartBtn();
    std::vector<TrayMenuEntry> trayMenu() const;

  private:
    // The first taskbar a user can see and its start button (chooseStartButton). Hidden or
    // empty ones (a desktop without a shell keeps one) are passed over.
    std::optional<StartButtonChoice> findUsableTaskbar();
    // The shell now, with at least the monitor the screen metrics give.
    ShellReport currentShell();
    void watchForTaskbar(bool on);
    void watchTaskbarMoves(WindowId taskbar);
    // Attaches again when the start button is no longer where the button covers it (another
    // taskbar, another start button, another place). Cheap while nothing moved: one look at
    // the shell's windows, no copy.
    void followStartButton();
    void placeOwnButton();
    Bitmap captureStartButton(std::int32_t width, std::int32_t height);

    Desktop& desktop_;
    ShellPort& shell_;
    MenuWindowPort& menu_;
    std::function<void()> updateCompDate_;
    frmMainState s_;
};

} // namespace kesk
