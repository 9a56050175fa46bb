#pragma once
// Recording stand-ins for the menu window and the shell, for the main
// window's presenter tests. Every call lands in one shared log, so tests can
// assert the order across both.

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "about/frmSplash.h"
#include "fake_desktop.h"
#include "support/errors.h"
#include "tray/ports.h"

namespace kesk::test {

using CallLog = std::vector<std::string>;

class ScreenDesktop : public FakeDesktop {
  public:
    // Colour of the screen point (x, y); unset: grey.
    std::function<Colour(std::int32_t, std::int32_t)> pixel = [](std::int32_t, std::int32_t) {
        return Colour{0x00808080};
    };
    std::vector<Rect> reads;
    // Deliver fewer points than asked for, as a failing read could.
    std::size_t truncateTo = static_cast<std::size_t>(-1);

    std::vector<Colour> readScreen(const Rect& area) override {
        reads.push_back(area);
        std::vector<Colour> out;
        for (std::int32_t y = area.top; y < area.bottom; ++y) {
            for (std::int32_t x = area.left; x < area.right; ++x) {
                out.push_back(pixel(x, y));
            }
        }
        if (out.size() > truncateTo) {
            out.resize(truncateTo);
        }
        return out;
    }
};

class FakeMenu : public MenuWindowPort {
  public:
    explicit FakeMenu(CallLog& log) : log_(log) {}
    bool loaded = false;
    bool visible = false;
    int builds = 0;
    bool failBuilds = false; // every build throws, as with a missing catalogue

    bool isVisible() override { return loaded && visible; }
    void show() override {
        log_.push_back("menu.show");
        if (!loaded) {
            load();
        }
        visible = true;
    }
    void showFromKeys() override {
        log_.push_back("menu.showFromKeys");
        if (!loaded) {
            load();
        }
        visible = true;
    }
    void hide() override {
        log_.push_back("menu.hide");
        visible = false;
    }
    void unload() override {
        log_.push_back(loaded ? "menu.unload(stores height)" : "menu.unload(not loaded)");
        loaded = false;
        visible = false;
    }
    void construct() override {
        log_.push_back("menu.construct");
        if (!loaded) {
            load();
        }
        build();
    }

  private:
    void load() {
        loaded = true;
        build();
    }
    void build() {
        ++builds;
        if (failBuilds) {
            raiseError(errnum::FileNotFound, "velora.ini");
        }
    }
    CallLog& log_;
};

class FakeShell : public ShellPort {
  public:
    explicit FakeShell(CallLog& log) : log_(log) {}

    // The world as the shell sees it.
    WindowId taskbar = 0x100;
    WindowId startButton = 0x200;
    bool taskbarVisible = true;
    Rect taskbarRect{0, 738, 1024, 768};
    Rect startButtonRect{0, 738, 53, 768};
    bool rectQueriesFail = false;
    std::string startButtonText = "Start";
    // Taskbars listed before the one above, each hidden and empty with a start button of
    // its own (the start button is the taskbar's id + 1), as a desktop without a shell keeps.
    std::vector<WindowId> hiddenTaskbars;

    // What frmMain did.
    bool trayIconPresent = false;
    TrayIconData added;
    std::vector<TrayIconData> removed;
    WindowId buttonParent = 0;
    bool buttonInMain = true;
    Rect buttonBounds;
    bool buttonVisible = true;
    Bitmap buttonPicture;
    std::vector<std::string> captionsWhenCopied; // start button's caption at each screen read
    std::vector<std::vector<TrayMenuEntry>> menusShown;
    std::vector<WindowId> clicks;
    int raises = 0;
    bool watching = false;
    std::vector<bool> watchCalls;
    // The taskbar whose moves are watched (0: none).
    WindowId movesWatched = 0;

    // Scripted answers.
    TrayCommand menuChoice = TrayCommand::None;
    std::function<void(frmSplash&)> whileAboutOpen;
    std::function<void()> onTerminate;
    std::function<void()> onUnloadMain;
    bool throwOnRemove = false;
    // Steps asked to run later wait in `steps` (otherwise they run at once).
    bool deferSteps = false;
    std::deque<std::function<void()>> steps;

    void later(std::function<void()> step) override {
        if (!deferSteps) {
            step();
            return;
        }
        log_.push_back("later");
        steps.push_back(std::move(step));
    }
    void runSteps() {
        while (!steps.empty()) {
            auto step = std::move(steps.front());
            steps.pop_front();
            step();
        }
    }
    void hideMainWindow() override { log_.push_back("main.hide"); }
    void hideFromTaskList() override { log_.push_back("main.hideFromTaskList"); }
    void unloadMainWindow() override {
        log_.push_back("main.unload");
        if (onUnloadMain) {
            onUnloadMain();
        }
    }
    void terminateProcess() override {
        log_.push_back("terminate");
        if (onTerminate) {
            onTerminate();
        }
    }
    void criticalMessage(const std::string& text, const std::string& title) override {
        log_.push_back("message[" + title + "] " + text);
    }

    WindowId notificationWindow() override { return 0x300; }
    std::uint32_t notificationMessage() override { return 0x8002; }
    std::uintptr_t programIcon() override { return 0x400; }
    bool addTrayIcon(const TrayIconData& data) override {
        log_.push_back("tray.add");
        added = data;
        trayIconPresent = true;
        return true;
    }
    bool removeTrayIcon(const TrayIconData& data) override {
        log_.push_back("tray.remove");
        removed.push_back(data);
        if (throwOnRemove) {
            throw std::runtime_error("shell gone");
        }
        if (trayIconPresent && data.hWnd == added.hWnd && data.uID == added.uID) {
            trayIconPresent = false;
        }
        return true;
    }
    // Balloons the shell took: the icon's record, the title and the text.
    struct Balloon {
        TrayIconData icon;
        std::string title;
        std::string text;
    };
    std::vector<Balloon> balloons;
    bool showBalloon(const TrayIconData& icon, const std::string& title,
                     const std::string& text) override {
        log_.push_back("tray.balloon");
        if (!trayIconPresent || icon.hWnd != added.hWnd || icon.uID != added.uID) {
            return false; // no icon to show it from
        }
        balloons.push_back({icon, title, text});
        return true;
    }
    TrayCommand popupTrayMenu(const std::vector<TrayMenuEntry>& entries) override {
        log_.push_back("tray.popup");
        menusShown.push_back(entries);
        return menuChoice;
    }
    void showAboutModal(frmSplash& splash) override {
        log_.push_back("about.show");
        if (whileAboutOpen) {
            whileAboutOpen(splash);
        }
    }

    // A whole shell's layout; unset: the one the taskbar and start button above make.
    std::optional<ShellReport> shell;
    ShellReport shellReport() override { return shell ? *shell : ShellPort::shellReport(); }

    std::vector<WindowId> taskbarWindows() override {
        std::vector<WindowId> all = hiddenTaskbars;
        if (taskbar != 0) {
            all.push_back(taskbar);
        }
        return all;
    }
    bool isHidden(WindowId w) const {
        return std::find(hiddenTaskbars.begin(), hiddenTaskbars.end(), w) != hiddenTaskbars.end();
    }
    WindowId firstChild(WindowId w) override {
        if (w != 0 && isHidden(w)) {
            return w + 1;
        }
        return (w != 0 && w == taskbar) ? startButton : 0;
    }
    bool windowRect(WindowId w, Rect& out) override {
        if (rectQueriesFail || w == 0) {
            return false;
        }
        if (isHidden(w) || isHidden(w - 1)) {
            out = Rect{};
            return true;
        }
        if (w == taskbar) {
            out = taskbarRect;
            return true;
        }
        if (w == startButton) {
            out = startButtonRect;
            return true;
        }
        return false;
    }
    bool isWindowVisible(WindowId w) override { return w != 0 && w == taskbar && taskbarVisible; }
    void setWindowText(WindowId w, const std::string& text) override {
        log_.push_back("text(" + std::to_string(w) + ")=" + text);
        if (w != 0 && w == startButton) {
            startButtonText = text;
        }
    }
    void clickWindow(WindowId w) override {
        log_.push_back("click(" + std::to_string(w) + ")");
        clicks.push_back(w);
    }
    void paintUncovered(WindowId w) override {
        log_.push_back("paint(" + std::to_string(w) + ")");
        captionsWhenCopied.push_back(startButtonText);
    }

    void moveButtonToMain() override {
        log_.push_back("button.toMain");
        buttonInMain = true;
        buttonParent = 0;
    }
    void moveButtonInto(WindowId parent, const Rect& bounds) override {
        log_.push_back("button.into(" + std::to_string(parent) + ")");
        buttonInMain = false;
        buttonParent = parent;
        buttonBounds = bounds;
    }
    void showButton(bool visible) override {
        log_.push_back(visible ? "button.show" : "button.hide");
        buttonVisible = visible;
    }
    void setButtonPicture(const Bitmap& picture) override {
        log_.push_back("button.picture");
        buttonPicture = picture;
    }
    void raiseButton() override {
        log_.push_back("button.raise");
        ++raises;
    }
    // Not logged: which taskbar is watched is state, not a step in order.
    void watchTaskbarMoves(WindowId bar) override { movesWatched = bar; }
    void watchForTaskbar(bool on) override {
        log_.push_back(on ? "watch.on" : "watch.off");
        watching = on;
        watchCalls.push_back(on);
    }

  private:
    CallLog& log_;
};

} // namespace kesk::test
