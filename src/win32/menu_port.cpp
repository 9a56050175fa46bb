#include "win32/menu_port.h"

#include <algorithm>

#include "support/errors.h"

namespace kesk::win {

MenuPort::~MenuPort() {
    // Each view refers to its presenter: the views go first.
    view_.reset();
    retiredView_.reset();
    presenter_.reset();
    retiredPresenter_.reset();
}

void MenuPort::ensureLoaded() {
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
    auto view = std::make_unique<MenuView>(*presenter);
    if (!view->create(owner_)) {
        raiseError(errnum::OutOfMemory, "The menu window could not be created", "frmVelora");
    }
    view->setPictureWorker(&pictures_);
    // A click on the bare window unloads it, as the taskbar button's toggle does.
    view->onUnloadRequest = [this] { unload(); };
    presenter_ = std::move(presenter);
    view_ = std::move(view);
    view_->load();
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
}

void MenuPort::hide() {
    if (!view_) {
        return;
    }
    presenter_->Hide();
    view_->render();
}

void MenuPort::unload() {
    if (!view_) {
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
}

void MenuPort::construct() {
    ensureLoaded();
    presenter_->Form_Construct();
    view_->render();
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
