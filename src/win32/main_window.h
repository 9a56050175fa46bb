#pragma once
// frmMain on the screen: the hidden main window that owns the tray icon and
// the taskbar button, runs the start-up and the shut-down, and carries out
// what the presenter asks of the shell.

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "tray/frmMain.h"
#include "tray/ports.h"
#include "win32/start_button.h"
#include "win32/window.h"

namespace kesk::win {

inline constexpr wchar_t kMainWindowClass[] = L"KeskVLM.frmMain";

class MainWindow final : public Window, private ShellPort {
  public:
    // `updateCompDate` stamps the build date at the start of Form_Load.
    MainWindow(Desktop& desktop, MenuWindowPort& menu, std::function<void()> updateCompDate);
    ~MainWindow() override;

    // Creates the hidden main window and the taskbar button inside it.
    bool create(HICON programIcon);
    // Form_Load: the whole start-up (it may end the process: second copy). Its steps after
    // the first run on later turns of the window's thread (later()).
    void load();
    // Runs `step` on a later turn of this window's thread, one step per turn, in order.
    void later(std::function<void()> step) override;
    // Steps are waiting.
    bool startingUp() const noexcept { return !steps_.empty(); }

    frmMain& presenter() noexcept { return presenter_; }
    HWND buttonWindow() const noexcept { return button_.hwnd(); }

    // --- For tests --------------------------------------------------------------------
    // Replaces the end of the process (the default ends it at once).
    std::function<void()> terminate;
    // Replaces the balloon from the tray icon; its answer stands for the shell's.
    std::function<bool(const std::string& title, const std::string& text)> showBalloonForTests;
    // Replaces the second copy's message box.
    std::function<void(const std::string& text, const std::string& title)> showMessage;

  protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void runStep();

    // ShellPort
    void hideMainWindow() override;
    void hideFromTaskList() override;
    void unloadMainWindow() override;
    void terminateProcess() override;
    void criticalMessage(const std::string& text, const std::string& title) override;
    WindowId notificationWindow() override;
    std::uint32_t notificationMessage() override;
    std::uintptr_t programIcon() override;
    bool addTrayIcon(const TrayIconData& data) override;
    bool removeTrayIcon(const TrayIconData& data) override;
    bool showBalloon(const TrayIconData& icon, const std::string& title,
                     const std::string& text) override;
    TrayCommand popupTrayMenu(const std::vector<TrayMenuEntry>& entries) override;
    void showAboutModal(frmSplash& splash) override;
    std::vector<WindowId> taskbarWindows() override;
    ShellReport shellReport() override;
    WindowId firstChild(WindowId window) override;
    bool windowRect(WindowId window, Rect& out) override;
    bool isWindowVisible(WindowId window) override;
    void setWindowText(WindowId window, const std::string& text) override;
    void clickWindow(WindowId window) override;
    void paintUncovered(WindowId window) override;
    void moveButtonToMain() override;
    void moveButtonInto(WindowId parent, const Rect& bounds) override;
    void showButton(bool visible) override;
    void setButtonPicture(const Bitmap& picture) override;
    void raiseButton() override;
    void watchForTaskbar(bool on) override;
    void watchTaskbarMoves(WindowId taskbar) override;

    // Gives a taskbar that was just created (or the start-up) a short while to show itself.
    void settleTaskbar();
    void onSettleTick();
    void stopWatching() noexcept;

    frmMain presenter_;
    StartButton button_;
    HICON icon_ = nullptr;
    HWINEVENTHOOK createHook_ = nullptr;
    HWINEVENTHOOK showHook_ = nullptr;
    HWINEVENTHOOK moveHook_ = nullptr;
    int settleTicksLeft_ = 0;
    std::deque<std::function<void()>> steps_;
};

} // namespace kesk::win
