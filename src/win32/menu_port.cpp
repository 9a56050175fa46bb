#include "win32/menu_port.h"

#include <algorithm>
#include <thread>

#include "support/errors.h"

namespace kesk::win {

WorkQueue::WorkQueue() : shared_(std::make_shared<Shared>()) {}

WorkQueue::~WorkQueue() {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->stop = true;
    shared_->jobs.clear();
}

void WorkQueue::post(std::function<void()> job) {
    {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->jobs.push_back(std::move(job));
        if (shared_->running) {
            return;
        }
        shared_->running = true;
    }
    // Jobs are rare: a thread runs them while there are any and then ends, rather than
    // holding its stack for the life of the process.
    try {
        std::thread([shared = shared_] { drain(*shared); }).detach();
    } catch (...) {
        drain(*shared_); // without a thread, the jobs run where they are posted
    }
}

void WorkQueue::drain(Shared& shared) noexcept {
    for (;;) {
        std::function<void()> next;
        {
            const std::lock_guard<std::mutex> lock(shared.mutex);
            if (shared.stop || shared.jobs.empty()) {
                shared.running = false;
                return;
            }
            next = std::move(shared.jobs.front());
            shared.jobs.pop_front();
        }
        try {
            next();
        } catch (...) {
            // A job's failure is its own; the queue goes on.
        }
    }
}

MenuPort::~MenuPort() {
    // Each view refers to its presenter: the views go first.
    view_.reset();
    retiredView_.reset();
    presenter_.reset();
    retiredPresenter_.reset();
}

void MenuPort::ensureLoaded() {
    createView();
    loadView();
    finishConstruct();
}

void MenuPort::createView() {
    if (view_) {
        return;
    }
    // An unloaded window goes for good only now, outside its own handlers.
    retiredView_.reset();
    retiredPresenter_.reset();
    auto presenter = std::make_unique<frmVelora>(desktop_);
    presenter->setPictureService(&pictures_);
    presenter->setSaveFailedReport(saveFailed_);
    presenter->setHotkeyReport(hotkey_);
    presenter->setBackgroundWork(
        [this](std::function<void()> job) { writes_.post(std::move(job)); });
    auto view = std::make_unique<MenuView>(*presenter);
    if (!view->create(owner_)) {
        raiseError(errnum::OutOfMemory, "The menu window could not be created", "frmVelora");
    }
    view->setPictureWorker(&pictures_);
    // A click on the bare window unloads it, as the taskbar button's toggle does.
    view->onUnloadRequest = [this] { unload(); };
    presenter_ = std::move(presenter);
    view_ = std::move(view);
    viewLoaded_ = false;
}

void MenuPort::loadView() {
    if (!view_ || viewLoaded_) {
        return;
    }
    viewLoaded_ = true;
    view_->load();
}

void MenuPort::finishConstruct() {
    if (!constructPending_ || !loaded()) {
        return;
    }
    constructPending_ = false;
    presenter_->Form_Construct();
    view_->render();
}

bool MenuPort::isVisible() {
    return view_ && view_->hwnd() != nullptr && IsWindowVisible(view_->hwnd()) != FALSE;
}

void MenuPort::show() {
    ensureLoaded();
    presenter_->placeByStartButton();
    presenter_->Show();
    view_->render();
}

void MenuPort::showFromKeys() {
    ensureLoaded();
    presenter_->placeUnderPointer();
    presenter_->Show();
    presenter_->shownFromKeyboard();
    view_->render();
    view_->takeKeyboard();
}

void MenuPort::hide() {
    if (!loaded()) {
        return;
    }
    presenter_->Hide();
    view_->render();
}

void MenuPort::unload() {
    if (!loaded()) {
        return;
    }
    presenter_->Form_Unload();
    presenter_->Hide();
    presenter_->cancelPictures();
    // The request may come from inside the view's own handler: the window is
    // hidden now and its objects are dropped at the next load.
    view_->render();
    if (view_->hwnd() != nullptr) {
        ShowWindow(view_->hwnd(), SW_HIDE);
    }
    retiredView_ = std::move(view_);
    retiredPresenter_ = std::move(presenter_);
    viewLoaded_ = false;
    constructPending_ = false;
}

void MenuPort::construct() {
    constructPending_ = true;
    if (loaded() || !later_) {
        ensureLoaded();
        return;
    }
    // Each step on a turn of its own, in order; whatever a click or the hotkey needs before
    // the steps got to it is done for them (ensureLoaded), and a step finds it done.
    later_([this] { createView(); });
    later_([this] { loadView(); });
    later_([this] { finishConstruct(); });
}

DWORD MenuPort::outsideChange() noexcept {
    if (!loaded() || presenter_ == nullptr) {
        return 0;
    }
    const OutsideChanges::Verdict verdict = presenter_->checkOutsideChanges();
    if (verdict.rebuild) {
        guardEvent([this] {
            presenter_->rebuildForOutsideChange();
            view_->render();
        });
    }
    return static_cast<DWORD>(std::max<std::int64_t>(verdict.recheckMs, 0));
}

} // namespace kesk::win
