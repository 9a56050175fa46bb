#pragma once
// The menu window as the main window sees it: loads frmVelora and its view on
// first use, shows and hides it, builds it, and unloads it again. Unloading
// retires both objects, so the next show loads a fresh window and builds it.

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "menu/frmVelora.h"
#include "platform/desktop.h"
#include "tray/ports.h"
#include "win32/menu_view.h"
#include "win32/picture_worker.h"

namespace kesk::win {

// Work that may wait on slow files (the count of a start written to a catalogue on a network
// share), done one job after another away from the window's thread. Jobs still waiting when
// it goes are dropped; the one at hand finishes on its own, and nothing waits for it.
class WorkQueue {
  public:
    WorkQueue();
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;
    void post(std::function<void()> job);

  private:
    struct Shared {
        std::mutex mutex;
        std::deque<std::function<void()>> jobs;
        bool running = false; // a thread is taking the jobs
        bool stop = false;
    };
    // Runs the jobs until there are none (or the queue went), then lets `running` go.
    static void drain(Shared& shared) noexcept;
    std::shared_ptr<Shared> shared_;
};

class MenuPort final : public MenuWindowPort {
  public:
    explicit MenuPort(Desktop& desktop) : desktop_(desktop) {}
    ~MenuPort() override;
    MenuPort(const MenuPort&) = delete;
    MenuPort& operator=(const MenuPort&) = delete;

    // The window that owns the menu window (the hidden main window). Set it
    // before the first call that loads the menu window.
    void setOwner(HWND owner) noexcept { owner_ = owner; }
    // Hears of every change the menu window could not save (see frmVelora).
    void setSaveFailedReport(frmVelora::SaveFailedReport report) {
        saveFailed_ = std::move(report);
    }
    // Runs a step on a later turn of the window's thread. With it, the first construct()
    // loads the window in steps (window, first build, second build), so that the thread
    // answers in between; without it, everything is done at once.
    void setLater(std::function<void(std::function<void()>)> later) { later_ = std::move(later); }
    // Hears the hotkey combination after every build of every window this port loads.
    void setHotkeyReport(frmVelora::HotkeyReport report) { hotkey_ = std::move(report); }

    bool isVisible() override;
    void show() override;
    void showFromKeys() override;
    void hide() override;
    void unload() override;
    void construct() override;
    // Another program may have changed the catalogue or the skin: a loaded window whose files
    // did change is rebuilt in place, shown or hidden (an unloaded one builds from the files
    // as they are when it next loads). Returns when to look again unasked, in milliseconds.
    DWORD outsideChange() noexcept;

    bool loaded() const noexcept { return view_ != nullptr && viewLoaded_; }
    // The loaded window's view and presenter; nullptr while unloaded.
    MenuView* view() noexcept { return loaded() ? view_.get() : nullptr; }
    frmVelora* presenter() noexcept { return loaded() ? presenter_.get() : nullptr; }
    PictureWorker& pictureWorker() noexcept { return pictures_; }

  private:
    // Loads the window if it is not loaded: creates it hidden and runs its
    // Form_Load, which builds. Throws RuntimeError when the platform refuses
    // the window.
    void ensureLoaded();
    // The steps of a load: the window and its controls, its Form_Load (the first build),
    // and the build that construct() asked for once the window is loaded.
    void createView();
    void loadView();
    void finishConstruct();

    Desktop& desktop_;
    HWND owner_ = nullptr;
    // Reads the pictures of every window this port loads, and keeps them between windows;
    // declared first so that it outlives them.
    PictureWorker pictures_;
    WorkQueue writes_;
    frmVelora::SaveFailedReport saveFailed_;
    frmVelora::HotkeyReport hotkey_;
    std::unique_ptr<frmVelora> presenter_;
    std::unique_ptr<MenuView> view_;
    bool viewLoaded_ = false;
    // construct() came while the window was still loading: its build follows the load.
    bool constructPending_ = false;
    std::function<void(std::function<void()>)> later_;
    // The last unloaded window, hidden, kept until the next load.
    std::unique_ptr<frmVelora> retiredPresenter_;
    std::unique_ptr<MenuView> retiredView_;
};

} // namespace kesk::win
