#include "tray/frmMain.h"

#include <algorithm>
#include <utility>

#include "about/frmSplash.h"
#include "support/appinfo.h"
#include "support/conversions.h"
#include "tray/mdGraphics.h"
#include "tray/mdIsExeRunning.h"
#include "tray/taskbar_layout.h"

namespace kesk {

namespace {

// No start button is larger than the screen; a taskbar that reports more must
// not make the copy allocate gigabytes.
constexpr std::int32_t kMaxButtonSide = 4096;

std::int32_t usableSide(std::int32_t side, std::int32_t screenSide) {
    const std::int32_t limit =
        screenSide > 0 ? std::min(screenSide, kMaxButtonSide) : kMaxButtonSide;
    return std::clamp(side, 0, limit);
}

std::int32_t twipsToPixels(std::int32_t twips, double twipsPerPixel) {
    const double tpp = twipsPerPixel > 0 ? twipsPerPixel : 15.0;
    return static_cast<std::int32_t>(conv::roundHalfEven(twips / tpp));
}

// Clears a flag when the scope ends, however it ends.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag_;
};

} // namespace

std::string alreadyRunningText(const std::string& productName) {
    return "Sorry, aber " + productName + " ist schon gestartet!";
}

frmMain::frmMain(Desktop& desktop, ShellPort& shell, MenuWindowPort& menu,
                 std::function<void()> updateCompDate)
    : desktop_(desktop), shell_(shell), menu_(menu), updateCompDate_(std::move(updateCompDate)) {}

// --- Start-up ------------------------------------------------------------------------------

void frmMain::Form_Load() noexcept {
    s_.loaded = true;
    // A directory that cannot be written must not keep the program from starting.
    ErrorRecord failure;
    if (updateCompDate_ && !skipOnError(updateCompDate_, &failure)) {
        s_.compDateFailure = failure;
    }

    std::int16_t running = 0;
    skipOnError([&] { running = countRunningExe(desktop_, app::exeName() + ".exe"); });
    if (running > 1) {
        s_.refused = true;
        shell_.criticalMessage(alreadyRunningText(app::kProductName), "Error");
        Form_QueryUnload();
        return;
    }

    // Each step on its own: a failing one must not keep the program out of reach.
    s_.menuBarVisible = false;
    skipOnError([&] { shell_.hideMainWindow(); });
    skipOnError([&] { shell_.hideFromTaskList(); });
    // The rest each on a turn of its own: the window's thread answers in between, and a click
    // that comes meanwhile finds the program started. A shut-down meanwhile ends them.
    const auto step = [this](std::function<void()> work) {
        auto guarded = [this, work] {
            if (!s_.shuttingDown) {
                skipOnError(work);
            }
        };
        try {
            shell_.later(guarded);
        } catch (...) {
            guarded(); // not even queued: done now rather than never
        }
    };
    step([this] { installTrayIcon(); });
    step([this] { attachStartBtn(); });
    step([this] { menu_.construct(); });
}

// --- Taskbar button --------------------------------------------------------------------------

ShellReport ShellPort::shellReport() {
    ShellReport report;
    for (const WindowId taskbar : taskbarWindows()) {
        ShellTaskbar t;
        t.window.id = taskbar;
        t.window.className = "Shell_TrayWnd";
        t.window.visible = taskbar != 0 && isWindowVisible(taskbar);
        if (taskbar == 0 || !windowRect(taskbar, t.window.rect)) {
            t.window.rect = Rect{};
        }
        const WindowId child = taskbar != 0 ? firstChild(taskbar) : 0;
        Rect childRect;
        if (child != 0 && windowRect(child, childRect)) {
            t.children.push_back(ShellWindow{child, "Button", 0, t.window.visible, childRect, {}});
        }
        report.taskbars.push_back(std::move(t));
    }
    return report;
}

ShellReport frmMain::currentShell() {
    ShellReport report = shell_.shellReport();
    if (report.monitors.empty()) {
        // Told nothing of its monitors, the platform has the one its screen metrics give.
        const ScreenMetrics m = desktop_.screen();
        const Rect screen{0, 0, m.widthPixels, m.heightPixels};
        report.monitors.push_back(Monitor{screen, screen, true});
    }
    return report;
}

std::optional<StartButtonChoice> frmMain::findUsableTaskbar() {
    return chooseStartButton(currentShell());
}

void frmMain::watchForTaskbar(bool on) {
    if (s_.watchingForTaskbar != on) {
        s_.watchingForTaskbar = on;
        shell_.watchForTaskbar(on);
    }
}

void frmMain::watchTaskbarMoves(WindowId taskbar) {
    if (s_.watchedTaskbar != taskbar) {
        s_.watchedTaskbar = taskbar;
        shell_.watchTaskbarMoves(taskbar);
    }
}

void frmMain::attachStartBtn() {
    shell_.moveButtonToMain();
    s_.picStartBtn.place = ButtonPlace::MainWindow;
    s_.taskbarSlidOff = false;

    // A taskbar that is missing, hidden or empty (as on a desktop without one)
    // would swallow the button; it then gets a place of its own until one shows up.
    const ShellReport report = currentShell();
    const std::optional<StartButtonChoice> found = chooseStartButton(report);
    if (!found) {
        watchTaskbarMoves(0);
        const std::vector<WindowId> all = shell_.taskbarWindows();
        s_.hTaskbar = all.empty() ? 0 : all.front();
        s_.hWinStartBtn = s_.hTaskbar != 0 ? shell_.firstChild(s_.hTaskbar) : 0;
        placeOwnButton();
        watchForTaskbar(true);
        return;
    }
    watchForTaskbar(false);
    s_.hTaskbar = found->taskbar;
    s_.hWinStartBtn = found->button;
    s_.taskbarRect = found->taskbarRect;
    s_.taskbarEdge = found->edge;

    const Rect old = s_.picStartBtn.bounds;
    s_.picStartBtn.bounds = Rect{0, 0, old.width(), old.height()};
    shell_.moveButtonInto(s_.hTaskbar, s_.picStartBtn.bounds);
    s_.picStartBtn.place = ButtonPlace::Taskbar;
    // Out of sight until it stands in its place with its face (the copy needs the start button
    // uncovered, and a click on a button about to hide would reach the system's start button).
    // Hidden only now, in the taskbar: a button first shown there by the platform's show call,
    // rather than moved there shown, takes the keyboard from the shell on some window systems.
    s_.picStartBtn.visible = false;
    shell_.showButton(false);

    if (s_.hWinStartBtn != 0) {
        shell_.setWindowText(s_.hWinStartBtn, "VLM");
    }
    if (found->kind == StartButtonKind::FirstChildButton) {
        Rect r = s_.startBtnRect;
        if (shell_.windowRect(s_.hWinStartBtn, r)) {
            s_.startBtnRect = r;
        }
    } else {
        // Only what is seen of these start buttons is covered.
        s_.startBtnRect = found->buttonRect;
    }
    // The first child of the older shells sits in the taskbar's corner, where the button goes;
    // the others lie where the shell put them, also in the middle of the bar.
    const Point at = found->kind == StartButtonKind::FirstChildButton
                         ? Point{0, 0}
                         : Point{s_.startBtnRect.left - found->taskbarRect.left,
                                 s_.startBtnRect.top - found->taskbarRect.top};

    const ScreenMetrics screen = desktop_.screen();
    const std::int32_t w = usableSide(s_.startBtnRect.width(), screen.widthPixels);
    const std::int32_t h = usableSide(s_.startBtnRect.height(), screen.heightPixels);
    s_.picStartBtn.bounds = Rect{at.x, at.y, at.x + w, at.y + h};
    shell_.moveButtonInto(s_.hTaskbar, s_.picStartBtn.bounds);
    watchTaskbarMoves(s_.hTaskbar);

    if (taskbarSlidOff(found->taskbarRect, report.monitors)) {
        // Off the screen there is nothing to copy: the button hides with the bar, and the
        // copy is taken when the bar slides back in (the button is hidden already).
        s_.taskbarSlidOff = true;
        if (s_.hWinStartBtn != 0) {
            shell_.setWindowText(s_.hWinStartBtn, "start");
        }
        return;
    }

    // Uncovered (the button is hidden), the system start button shows itself with the
    // caption "VLM": that is the face the copy takes.
    shell_.paintUncovered(s_.hWinStartBtn);

    s_.picStartBtn.picture = captureStartButton(w, h);
    shell_.setButtonPicture(s_.picStartBtn.picture);
    s_.picStartBtn.visible = true;
    shell_.showButton(true);

    if (s_.hWinStartBtn != 0) {
        shell_.setWindowText(s_.hWinStartBtn, "start");
    }
}

Bitmap frmMain::captureStartButton(std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0) {
        return {};
    }
    const Rect area{s_.startBtnRect.left, s_.startBtnRect.top, s_.startBtnRect.left + width,
                    s_.startBtnRect.top + height};
    const std::vector<Colour> screen = desktop_.readScreen(area);
    Bitmap picture(width, height);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        // Points the platform did not deliver count as unreadable.
        const Colour c = i < screen.size() ? screen[i] : Colour{-1};
        picture.pixels[i] = toArgb(exchangeRedGreen(c));
    }
    return picture;
}

void frmMain::placeOwnButton() {
    const ScreenMetrics screen = desktop_.screen();
    const std::int32_t w = twipsToPixels(kOwnButtonWidthTwips, screen.twipsPerPixelX);
    const std::int32_t h = twipsToPixels(kOwnButtonHeightTwips, screen.twipsPerPixelY);
    const std::int32_t bottom = std::max(screen.heightPixels, h);
    s_.picStartBtn.place = ButtonPlace::OwnPlace;
    s_.picStartBtn.bounds = Rect{0, bottom - h, w, bottom};
    s_.picStartBtn.picture = Bitmap{};
    s_.picStartBtn.visible = true;
    shell_.moveButtonInto(0, s_.picStartBtn.bounds);
    shell_.setButtonPicture(s_.picStartBtn.picture);
    shell_.showButton(true);
}

void frmMain::picStartBtn_Click() noexcept {
    if (s_.aboutOpen || s_.shuttingDown) {
        return;
    }
    guardEvent([&] {
        if (menu_.isVisible()) {
            menu_.hide();
        } else {
            // The menu is placed by the start button: the button first goes where that is.
            followStartButton();
            menu_.show();
        }
    });
}

void frmMain::followStartButton() {
    if (!s_.menuToggleVLMChecked || s_.picStartBtn.place != ButtonPlace::Taskbar) {
        return;
    }
    const std::optional<StartButtonChoice> now = findUsableTaskbar();
    if (!now || now->taskbar != s_.hTaskbar || now->button != s_.hWinStartBtn ||
        now->buttonRect != s_.startBtnRect || now->taskbarRect != s_.taskbarRect) {
        attachStartBtn();
    }
}

void frmMain::hotkey_Pressed() noexcept {
    if (s_.aboutOpen || s_.shuttingDown) {
        return;
    }
    guardEvent([&] {
        if (menu_.isVisible()) {
            menu_.hide();
        } else {
            // As for a click: a start button that moved takes the button along first.
            followStartButton();
            menu_.showFromKeys();
        }
    });
}

void frmMain::taskbarMoved() noexcept {
    if (!s_.loaded || s_.refused || s_.shuttingDown || !s_.menuToggleVLMChecked ||
        s_.picStartBtn.place != ButtonPlace::Taskbar) {
        return;
    }
    guardEvent([&] {
        const ShellReport report = currentShell();
        const auto bar =
            std::find_if(report.taskbars.begin(), report.taskbars.end(),
                         [&](const ShellTaskbar& t) { return t.window.id == s_.hTaskbar; });
        if (bar == report.taskbars.end() || !bar->window.visible) {
            // Gone or hidden for good: whatever taskbar there is now, or the own place.
            attachStartBtn();
            return;
        }
        if (taskbarSlidOff(bar->window.rect, report.monitors)) {
            if (!s_.taskbarSlidOff) {
                s_.taskbarSlidOff = true;
                s_.picStartBtn.visible = false;
                shell_.showButton(false);
            }
            return;
        }
        const bool wasOff = s_.taskbarSlidOff;
        s_.taskbarSlidOff = false;
        if (bar->window.rect != s_.taskbarRect) {
            // Back somewhere else (or never seen on the screen): found and copied anew.
            attachStartBtn();
        } else if (wasOff) {
            s_.picStartBtn.visible = true;
            shell_.showButton(true);
        }
    });
}

void frmMain::picStartBtn_DblClick() noexcept {
    if (s_.aboutOpen || s_.shuttingDown) {
        return;
    }
    menuBarWSM_Click();
    guardEvent([&] { menu_.hide(); });
}

void frmMain::picStartBtn_OLEDragOver() noexcept {
    if (s_.aboutOpen || s_.shuttingDown) {
        return;
    }
    guardEvent([&] { menu_.show(); });
}

void frmMain::menuToggleVLM_Click() noexcept {
    if (s_.menuToggleVLMChecked) {
        guardEvent([&] { watchForTaskbar(false); });
        guardEvent([&] { watchTaskbarMoves(0); });
        guardEvent([&] { shell_.moveButtonToMain(); });
        s_.picStartBtn.place = ButtonPlace::MainWindow;
        s_.menuToggleVLMChecked = false;
        guardEvent([&] { menu_.unload(); });
    } else {
        guardEvent([&] { attachStartBtn(); });
        s_.menuToggleVLMChecked = true;
    }
}

void frmMain::menuBarWSM_Click() noexcept {
    guardEvent([&] { shell_.clickWindow(s_.hWinStartBtn); });
}

void frmMain::systemStartMenuClosed() noexcept {
    if (!s_.loaded || s_.shuttingDown || s_.picStartBtn.place != ButtonPlace::Taskbar ||
        !s_.picStartBtn.visible) {
        return;
    }
    guardEvent([&] { shell_.raiseButton(); });
}

// --- Tray ------------------------------------------------------------------------------------

void frmMain::saveFailed(const std::string& folder) noexcept {
    if (s_.saveFailureTold || s_.trayIconData.uID == 0) {
        return;
    }
    // Only a balloon the shell took counts: without an icon in the
    // notification area the next failure tries again.
    guardEvent([&] {
        s_.saveFailureTold =
            shell_.showBalloon(s_.trayIconData, app::kTitle, saveFailedText(app::kTitle, folder));
    });
}

void frmMain::hotkeyRefused(const std::string& combination) noexcept {
    if (s_.trayIconData.uID == 0 || s_.hotkeyRefusalTold == combination) {
        return;
    }
    guardEvent([&] {
        if (shell_.showBalloon(s_.trayIconData, app::kTitle,
                               hotkeyRefusedText(app::kTitle, combination))) {
            s_.hotkeyRefusalTold = combination;
        }
    });
}

void frmMain::installTrayIcon() {
    s_.trayIconData = makeTrayIconData(shell_.notificationWindow(), shell_.notificationMessage(),
                                       shell_.programIcon(), app::kTitle);
    shell_.addTrayIcon(s_.trayIconData);
}

void frmMain::removeTrayIcon() {
    shell_.removeTrayIcon(s_.trayIconData);
}

std::vector<TrayMenuEntry> frmMain::trayMenu() const {
    return {
        {TrayCommand::ToggleVLM, "VLM button", s_.menuToggleVLMChecked, false},
        {TrayCommand::OpenStartMenu, "Open Windows Start Menu", false, false},
        {TrayCommand::About, "About", false, false},
        {TrayCommand::None, "-", false, true},
        {TrayCommand::Exit, "Exit", false, false},
    };
}

void frmMain::pic1_MouseMove(TrayMouse message) noexcept {
    if (s_.aboutOpen || s_.shuttingDown || message != TrayMouse::RightUp) {
        return;
    }
    TrayCommand chosen = TrayCommand::None;
    guardEvent([&] { chosen = shell_.popupTrayMenu(trayMenu()); });
    switch (chosen) {
    case TrayCommand::ToggleVLM:
        menuToggleVLM_Click();
        break;
    case TrayCommand::OpenStartMenu:
        menuBarWSM_Click();
        break;
    case TrayCommand::About:
        menuAbout_Click();
        break;
    case TrayCommand::Exit:
        menuBarExit_Click();
        break;
    case TrayCommand::None:
        break;
    }
}

void frmMain::taskbarCreated() noexcept {
    if (!s_.loaded || s_.refused || s_.shuttingDown) {
        return;
    }
    if (s_.trayIconData.uID != 0) {
        guardEvent([&] { shell_.addTrayIcon(s_.trayIconData); });
    }
    if (s_.menuToggleVLMChecked) {
        guardEvent([&] { attachStartBtn(); });
    }
}

void frmMain::taskbarAppeared() noexcept {
    if (!s_.loaded || s_.refused || s_.shuttingDown || !s_.menuToggleVLMChecked ||
        s_.picStartBtn.place != ButtonPlace::OwnPlace) {
        return;
    }
    // Most calls come while the taskbar is still on its way: the button stays where it is
    // until there is one to cover.
    guardEvent([&] {
        if (findUsableTaskbar()) {
            attachStartBtn();
        }
    });
}

void frmMain::taskbarChanged() noexcept {
    if (!s_.loaded || s_.refused || s_.shuttingDown || !s_.menuToggleVLMChecked) {
        return;
    }
    if (s_.picStartBtn.place == ButtonPlace::OwnPlace) {
        taskbarAppeared();
        return;
    }
    guardEvent([&] { followStartButton(); });
}

void frmMain::workAreaChanged() noexcept {
    if (!s_.loaded || s_.refused || s_.shuttingDown || !s_.menuToggleVLMChecked ||
        s_.picStartBtn.place != ButtonPlace::Taskbar) {
        return;
    }
    guardEvent([&] { followStartButton(); });
}

// --- About box -------------------------------------------------------------------------------

void frmMain::menuAbout_Click() noexcept {
    if (s_.aboutOpen || s_.shuttingDown) {
        return;
    }
    guardEvent([&] {
        frmSplash splash(desktop_);
        splash.setForeColor(kColourWhite);
        // A broken background picture leaves the plain colour; the box still opens.
        skipOnError([&] { splash.loadBackPic(kBackPicLink); });
        const FlagScope open(s_.aboutOpen);
        shell_.showAboutModal(splash);
    });
}

// --- Shut-down -------------------------------------------------------------------------------

void frmMain::menuBarExit_Click() noexcept {
    // Unloading the main window asks to close it again; that close must not
    // start the sequence a second time.
    if (s_.shuttingDown) {
        return;
    }
    s_.shuttingDown = true;
    skipOnError([&] { watchForTaskbar(false); });
    skipOnError([&] { watchTaskbarMoves(0); });
    skipOnError([&] { removeTrayIcon(); });
    skipOnError([&] { menu_.unload(); });
    skipOnError([&] { shell_.unloadMainWindow(); });
    s_.loaded = false;
    shell_.terminateProcess();
}

void frmMain::Form_QueryUnload() noexcept {
    menuBarExit_Click();
}

} // namespace kesk
