// The menu window's keys: key messages go to the presenter before any control sees them, the
// control that has the keys gets the real focus, and the query and the context command are
// named for screen readers.
#include "win32/menu_view.h"

#include "win32/messages.h"
#include "win32/wtext.h"

#include <commctrl.h>

namespace kesk::win {

namespace {

std::optional<MenuKey> menuKeyOf(WPARAM vk, bool shift) noexcept {
    switch (vk) {
    case VK_UP:
        return MenuKey::Up;
    case VK_DOWN:
        return MenuKey::Down;
    case VK_LEFT:
        return MenuKey::Left;
    case VK_RIGHT:
        return MenuKey::Right;
    case VK_HOME:
        return MenuKey::Home;
    case VK_END:
        return MenuKey::End;
    case VK_PRIOR:
        return MenuKey::PageUp;
    case VK_NEXT:
        return MenuKey::PageDown;
    case VK_RETURN:
        return MenuKey::Enter;
    case VK_ESCAPE:
        return MenuKey::Escape;
    case VK_BACK:
        return MenuKey::Backspace;
    case VK_TAB:
        return MenuKey::Tab;
    case VK_APPS:
        return MenuKey::ContextMenu;
    case VK_F10:
        if (shift) {
            return MenuKey::ContextMenu;
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

bool down(int vk) noexcept {
    return (GetKeyState(vk) & 0x8000) != 0;
}

} // namespace

bool MenuView::isOwnWindow(HWND w) const noexcept {
    return w != nullptr && hwnd() != nullptr && (w == hwnd() || IsChild(hwnd(), w) != FALSE);
}

std::int16_t MenuView::editorControlOf(HWND w) const noexcept {
    for (std::size_t k = 0; k < editFields_.size(); ++k) {
        if (editFields_[k] == w) {
            return static_cast<std::int16_t>(k);
        }
    }
    if (w == cmdOK_) {
        return kEditorOK;
    }
    if (w == cmdAbort_) {
        return kEditorAbort;
    }
    return -1;
}

bool MenuView::translateKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN && msg.message != WM_CHAR) {
        return false;
    }
    if (hwnd() == nullptr || !presenter_.state().visible || !isOwnWindow(msg.hwnd)) {
        return false;
    }
    bool taken = false;
    guardEvent([&] {
        if (msg.message == WM_CHAR) {
            // The editor's fields type their own text.
            if (editorControlOf(msg.hwnd) >= 0) {
                return;
            }
            const auto unit = static_cast<wchar_t>(msg.wParam);
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                highSurrogate_ = unit;
                taken = true;
                return;
            }
            std::wstring character;
            if (unit >= 0xDC00 && unit <= 0xDFFF && highSurrogate_ != 0) {
                character += highSurrogate_;
            }
            highSurrogate_ = 0;
            character += unit;
            taken = presenter_.Form_KeyPress(narrow(character));
        } else {
            const bool shift = down(VK_SHIFT);
            // Alt and Ctrl combinations belong to the system and to the fields.
            if (down(VK_MENU) || (down(VK_CONTROL) && msg.wParam != VK_TAB)) {
                return;
            }
            const std::optional<MenuKey> key = menuKeyOf(msg.wParam, shift);
            if (!key) {
                // A list would act on a key of its own (Space selects, letters search): outside
                // the editor's fields the key only becomes its character, which is the query's.
                if (msg.message == WM_KEYDOWN && editorControlOf(msg.hwnd) < 0) {
                    TranslateMessage(&msg);
                    taken = true;
                }
                return;
            }
            if (presenter_.keyFocus() == KeyFocus::Editor) {
                // The mouse may have moved the focus since: Tab goes on from where it is.
                const std::int16_t at = editorControlOf(GetFocus());
                if (at >= 0) {
                    presenter_.setEditorFocus(at);
                }
            }
            taken = presenter_.Form_KeyDown(*key, shift);
        }
        if (taken) {
            render();
            showKeyFocus();
        }
    });
    return taken;
}

void MenuView::takeKeyboard() {
    if (hwnd() == nullptr || IsWindowVisible(hwnd()) == FALSE) {
        return;
    }
    SetForegroundWindow(hwnd());
    showKeyFocus();
}

bool MenuView::activationMessage(WPARAM wParam, LPARAM lParam) {
    // Our own hiding deactivates the window too: that is no loss of activation to handle.
    if (LOWORD(wParam) != WA_INACTIVE || rendering_) {
        return false;
    }
    if (isOwnWindow(reinterpret_cast<HWND>(lParam))) {
        return false;
    }
    // Who has the activation is known only once the switch is over (and on this Wine, focus
    // comes from the X server late): decide then.
    PostMessageW(hwnd(), msg::kActivationSettled, 0, 0);
    return true;
}

void MenuView::activationSettled() {
    if (hwnd() == nullptr || !presenter_.state().visible) {
        return;
    }
    HWND now = GetForegroundWindow();
    if (isOwnWindow(now)) {
        return;
    }
    if (now == nullptr) {
        // Nobody took the keyboard: a menu opened by keys keeps it.
        if (presenter_.keyboardOpened()) {
            SetForegroundWindow(hwnd());
            showKeyFocus();
        }
        return;
    }
    presenter_.Form_Deactivate();
    render();
}

void MenuView::showKeyFocus() {
    if (hwnd() == nullptr || GetActiveWindow() != hwnd()) {
        return;
    }
    switch (presenter_.keyFocus()) {
    case KeyFocus::Editor: {
        const std::int16_t f = presenter_.state().editorFocus;
        HWND target = f == kEditorOK      ? cmdOK_
                      : f == kEditorAbort ? cmdAbort_
                      : (f >= 0 && static_cast<std::size_t>(f) < editFields_.size())
                          ? editFields_[static_cast<std::size_t>(f)]
                          : nullptr;
        if (target != nullptr && GetFocus() != target) {
            SetFocus(target);
            if (f < kEditorOK) {
                SendMessageW(target, EM_SETSEL, 0, -1);
            }
        }
        return;
    }
    case KeyFocus::Panel:
        SetFocus(pbMenu_.hwnd());
        return;
    case KeyFocus::Lists:
        break;
    }
    const auto at = presenter_.keyCursor();
    if (!at) {
        SetFocus(hwnd());
        return;
    }
    HWND list = lists_.at(at->first);
    const auto entry = static_cast<WPARAM>(at->second);
    LVITEMW item{};
    item.stateMask = LVIS_FOCUSED;
    item.state = LVIS_FOCUSED;
    {
        const bool before = rendering_;
        rendering_ = true; // the focus state is ours, not the user's selection
        SendMessageW(list, LVM_SETITEMSTATE, entry, reinterpret_cast<LPARAM>(&item));
        rendering_ = before;
    }
    SendMessageW(list, LVM_ENSUREVISIBLE, entry, FALSE);
    if (GetFocus() != list) {
        SetFocus(list);
    }
}

void MenuView::nameForReaders() {
    // The window's name is what a screen reader says for it: the query and its matches while
    // one stands.
    const std::wstring head = widen(presenter_.headBarText());
    if (head != namedHeadBar_) {
        namedHeadBar_ = head;
        SetWindowTextW(hwnd(), head.c_str());
        NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, hwnd(), OBJID_WINDOW, CHILDID_SELF);
    }
    // The context panel is named after its highlighted command, and says so when it changes.
    const frmVeloraState& s = presenter_.state();
    std::wstring command;
    if (s.pbMenu.visible && s.menuHoverIndex && *s.menuHoverIndex >= 0 &&
        static_cast<std::size_t>(*s.menuHoverIndex) < s.lblMenu.size()) {
        command = widen(s.lblMenu[static_cast<std::size_t>(*s.menuHoverIndex)].caption);
    }
    if (command != namedCommand_ && pbMenu_.hwnd() != nullptr) {
        namedCommand_ = command;
        SetWindowTextW(pbMenu_.hwnd(), command.c_str());
        NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, pbMenu_.hwnd(), OBJID_WINDOW, CHILDID_SELF);
        if (GetFocus() == pbMenu_.hwnd()) {
            NotifyWinEvent(EVENT_OBJECT_FOCUS, pbMenu_.hwnd(), OBJID_CLIENT, CHILDID_SELF);
        }
    }
}

} // namespace kesk::win
