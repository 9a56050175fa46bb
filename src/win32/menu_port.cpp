#include "win32/menu_port.h"

#include "support/errors.h"

namespace kesk::win {

namespace {

// The menu window's own show, hide and unload handlers, where the presenter has them.
template <class P> bool presenterShow(P& p, bool visible) {
    if constexpr (requires {
                      p.Show();
                      p.Hide();
                  }) {
        visible ? p.Show() : p.Hide();
        return true;
    } else {
        return false;
    }
}

template <class P> void presenterUnload(P& p) {
    if constexpr (requires { p.Form_Unload(); }) {
        p.Form_Unload();
    }
}

} // namespace

MenuPort::~MenuPort() {
    // The view refers to the presenter: it goes first.
    view_.reset();
    presenter_.reset();
}

void MenuPort::ensureLoaded() {
    if (view_) {
        return;
    }
    auto presenter = std::make_unique<frmVelora>(desktop_);
    auto view = std::make_unique<MenuView>(*presenter);
    if (!view->create(owner_)) {
        raiseError(errnum::OutOfMemory, "The menu window could not be created", "frmVelora");
    }
    presenter_ = std::move(presenter);
    view_ = std::move(view);
    view_->load();
}

bool MenuPort::isVisible() {
    return view_ && view_->hwnd() != nullptr && IsWindowVisible(view_->hwnd()) != FALSE;
}

void MenuPort::show() {
    ensureLoaded();
    if (presenterShow(*presenter_, true)) {
        view_->render();
    } else {
        ShowWindow(view_->hwnd(), SW_SHOWNOACTIVATE);
    }
}

void MenuPort::hide() {
    if (!view_) {
        return;
    }
    if (presenterShow(*presenter_, false)) {
        view_->render();
    } else {
        ShowWindow(view_->hwnd(), SW_HIDE);
    }
}

void MenuPort::unload() {
    if (!view_) {
        return;
    }
    // The window goes whatever its unload handler met on the way.
    guardEvent([&] { presenterUnload(*presenter_); });
    view_.reset();
    presenter_.reset();
}

void MenuPort::construct() {
    ensureLoaded();
    presenter_->Form_Construct();
    view_->render();
}

} // namespace kesk::win
