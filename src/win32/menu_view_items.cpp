// The menu window's view, using the menu: presses and clicks on the lists, the context panel's
// highlight and commands, the editor's fields and buttons, and files dropped on the lists.
#include "win32/menu_view.h"
#include "win32/messages.h"

#include "support/errors.h"
#include "win32/wtext.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

namespace kesk::win {

namespace {

constexpr int kFirstFieldId = 100;
constexpr int kOkId = 200;
constexpr int kAbortId = 201;

std::wstring windowText(HWND hwnd) {
    const int n = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(n > 0 ? n : 0) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

} // namespace

bool MenuView::createItemControls() {
    presenter_.setShell(&shell_, reinterpret_cast<OwnerHandle>(hwnd()));
    shell_.notify(hwnd(), msg::kLaunchDone);
    // The lists' own procedure is swapped for ours, which knows its list from the window's
    // user data. (The platform's subclass helpers keep their state in a window property,
    // and under Wine every property read is a request to the window server: several per
    // message, thousands when a list is filled.)
    for (std::size_t k = 0; k < lists_.size(); ++k) {
        listHooks_[k] = ListHook{this, k, nullptr};
        SetWindowLongPtrW(lists_[k], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&listHooks_[k]));
        listHooks_[k].original = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            lists_[k], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MenuView::listProc)));
    }

    pbMenu_.setHook([this](UINT msg, WPARAM, LPARAM lParam, LRESULT& result) {
        return menuPanelMessage(msg, lParam, result);
    });
    editItem_.setHook([this](UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        return editPanelMessage(msg, wParam, lParam, result);
    });
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    for (std::size_t k = 0; k < editFields_.size(); ++k) {
        editFields_[k] = CreateWindowExW(
            WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0,
            0, 0, 0, editItem_.hwnd(),
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstFieldId + static_cast<int>(k))),
            instance, nullptr);
        if (editFields_[k] == nullptr) {
            return false;
        }
    }
    cmdOK_ = CreateWindowExW(
        0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 0, 0, 0,
        editItem_.hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOkId)), instance, nullptr);
    cmdAbort_ =
        CreateWindowExW(0, L"BUTTON", L"Abort", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW,
                        0, 0, 0, 0, editItem_.hwnd(),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kAbortId)), instance, nullptr);
    if (cmdOK_ == nullptr || cmdAbort_ == nullptr) {
        return false;
    }

    // Drops come through OLE (which also lets the context panel see a drag pass over it).
    // Where OLE cannot be had on this thread, the lists take the older WM_DROPFILES.
    oleInitialized_ = SUCCEEDED(OleInitialize(nullptr));
    for (std::size_t k = 0; k < lists_.size(); ++k) {
        listTargets_[k] = new DropTarget(
            [this, k](const std::vector<std::string>& paths) { listDropped(k, paths); }, nullptr);
        listDrops_[k] = DropRegistration(lists_[k], listTargets_[k]);
    }
    menuTarget_ = new DropTarget(nullptr, [this] { presenter_.pbMenu_OLEDragOver(); });
    menuDrop_ = DropRegistration(pbMenu_.hwnd(), menuTarget_);
    return true;
}

void MenuView::releaseItemControls() noexcept {
    // Drop registrations need their windows, so they go before the window does.
    for (DropRegistration& r : listDrops_) {
        r = DropRegistration();
    }
    menuDrop_ = DropRegistration();
    for (DropTarget*& t : listTargets_) {
        if (t != nullptr) {
            t->Release();
            t = nullptr;
        }
    }
    if (menuTarget_ != nullptr) {
        menuTarget_->Release();
        menuTarget_ = nullptr;
    }
    if (oleInitialized_) {
        OleUninitialize();
        oleInitialized_ = false;
    }
    for (std::size_t k = 0; k < lists_.size(); ++k) {
        if (lists_[k] != nullptr && IsWindow(lists_[k])) {
            unhookList(lists_[k]);
        }
    }
}

void MenuView::unhookList(HWND list) noexcept {
    auto* hook = reinterpret_cast<ListHook*>(GetWindowLongPtrW(list, GWLP_USERDATA));
    if (hook == nullptr || hook->original == nullptr) {
        return;
    }
    SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hook->original));
    SetWindowLongPtrW(list, GWLP_USERDATA, 0);
    hook->original = nullptr;
}

LRESULT CALLBACK MenuView::listProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    auto* hook = reinterpret_cast<ListHook*>(GetWindowLongPtrW(list, GWLP_USERDATA));
    if (hook == nullptr || hook->original == nullptr) {
        return DefWindowProcW(list, msg, wParam, lParam);
    }
    MenuView* view = hook->view;
    const std::size_t id = hook->k;
    const WNDPROC original = hook->original;
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        // The press is the presenter's before the list acts on it (and raises the click).
        guardEvent([&] { view->listPressed(id, msg, wParam, lParam); });
        break;
    case WM_DROPFILES: {
        const auto drop = reinterpret_cast<HDROP>(wParam);
        std::vector<std::string> paths;
        guardEvent([&] { paths = droppedPaths(drop); });
        DragFinish(drop);
        if (!paths.empty()) {
            guardEvent([&] { view->listDropped(id, paths); });
        }
        return 0;
    }
    case WM_NCDESTROY:
        view->unhookList(list);
        break;
    default:
        break;
    }
    return CallWindowProcW(original, list, msg, wParam, lParam);
}

void MenuView::listPressed(std::size_t k, UINT msg, WPARAM wParam, LPARAM lParam) {
    const std::int16_t button = msg == WM_LBUTTONDOWN ? 1 : msg == WM_RBUTTONDOWN ? 2 : 4;
    std::int16_t shift = 0;
    if ((wParam & MK_SHIFT) != 0) {
        shift |= 1;
    }
    if ((wParam & MK_CONTROL) != 0) {
        shift |= 2;
    }
    if (GetKeyState(VK_MENU) < 0) {
        shift |= 4;
    }
    // The list sits at the top left of its container, so its pixels are the container's.
    presenter_.lstViewA_MouseDown(k, button, shift, scale_.toTwipsX(GET_X_LPARAM(lParam)),
                                  scale_.toTwipsY(GET_Y_LPARAM(lParam)));
}

LRESULT MenuView::itemNotify(std::size_t k, const NMHDR& hdr, bool& handled) {
    HWND list = lists_[k];
    auto& shown = renderedEntries_[k];
    switch (hdr.code) {
    case LVN_ITEMCHANGED: {
        if (rendering_) {
            return 0;
        }
        const auto& nm = reinterpret_cast<const NMLISTVIEW&>(hdr);
        if ((nm.uChanged & LVIF_STATE) == 0 ||
            ((nm.uNewState ^ nm.uOldState) & LVIS_SELECTED) == 0) {
            return 0;
        }
        // Entries are inserted in order and never sorted: an item's index is its entry's.
        const auto first = nm.iItem < 0 ? std::size_t{0} : static_cast<std::size_t>(nm.iItem);
        const auto last = nm.iItem < 0 ? shown.size() : first + 1;
        for (std::size_t i = first; i < last && i < shown.size(); ++i) {
            const bool selected =
                (SendMessageW(list, LVM_GETITEMSTATE, i, LVIS_SELECTED) & LVIS_SELECTED) != 0;
            presenter_.setEntrySelected(k, i, selected);
            shown[i].selected = selected;
        }
        return 0;
    }
    case NM_CLICK:
    case NM_RCLICK: {
        const auto& act = reinterpret_cast<const NMITEMACTIVATE&>(hdr);
        if (rendering_ || act.iItem < 0 || static_cast<std::size_t>(act.iItem) >= shown.size()) {
            return 0;
        }
        handled = true;
        presenter_.lstViewA_ItemClick(k, static_cast<std::size_t>(act.iItem));
        render();
        return 0;
    }
    default:
        return 0;
    }
}

void MenuView::listDropped(std::size_t k, const std::vector<std::string>& paths) {
    presenter_.lstViewA_OLEDragDrop(k, paths);
    render();
    const auto n = static_cast<int>(SendMessageW(lists_[k], LVM_GETITEMCOUNT, 0, 0));
    if (n > 0) {
        SendMessageW(lists_[k], LVM_ENSUREVISIBLE, static_cast<WPARAM>(n - 1), FALSE);
    }
}

// --- The context panel ------------------------------------------------------------------------

RECT MenuView::menuLabelRect(std::size_t k) const noexcept {
    const ControlState& l = presenter_.state().lblMenu.at(k);
    return RECT{scale_.toPixelsX(l.left), scale_.toPixelsY(l.top),
                scale_.toPixelsX(l.left + l.width), scale_.toPixelsY(l.top + l.height)};
}

bool MenuView::menuPanelMessage(UINT msg, LPARAM lParam, LRESULT& result) {
    const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    const auto hit = [&] {
        for (std::size_t k = 0; k < presenter_.state().lblMenu.size(); ++k) {
            const RECT r = menuLabelRect(k);
            if (PtInRect(&r, p) != FALSE) {
                return static_cast<int>(k);
            }
        }
        return -1;
    };
    switch (msg) {
    case WM_MOUSEMOVE: {
        const int k = hit();
        if (k >= 0) {
            const auto before = presenter_.state().menuHoverIndex;
            presenter_.lblMenu_MouseMove(static_cast<std::int16_t>(k));
            if (presenter_.state().menuHoverIndex != before) {
                InvalidateRect(pbMenu_.hwnd(), nullptr, FALSE);
            }
        }
        return false;
    }
    case WM_LBUTTONDOWN:
        pressedMenuLabel_ = hit();
        result = 0;
        return true;
    case WM_LBUTTONUP: {
        // A click is a press and a release on the same command.
        const int k = hit();
        const bool click = k >= 0 && k == pressedMenuLabel_;
        pressedMenuLabel_ = -1;
        if (click) {
            presenter_.lblMenu_Click(static_cast<std::int16_t>(k));
            render();
        }
        result = 0;
        return true;
    }
    default:
        return false;
    }
}

// --- The item editor --------------------------------------------------------------------------

HBRUSH MenuView::brush(COLORREF colour) {
    auto& slot = brushes_[colour];
    if (!slot) {
        slot.reset(CreateSolidBrush(colour));
    }
    return slot.get();
}

bool MenuView::editPanelMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const frmVeloraState& s = presenter_.state();
    switch (msg) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        result = 0;
        if (id >= kFirstFieldId && id < kFirstFieldId + static_cast<int>(editFields_.size()) &&
            code == EN_CHANGE) {
            if (!rendering_) {
                const auto k = static_cast<std::size_t>(id - kFirstFieldId);
                presenter_.txtEditItem_Change(static_cast<std::int16_t>(k),
                                              narrow(windowText(editFields_[k])));
                InvalidateRect(editFields_[k], nullptr, TRUE);
            }
            return true;
        }
        if ((id == kOkId || id == kAbortId) && code == BN_CLICKED) {
            if (id == kOkId) {
                presenter_.cmdOK_Click();
            } else {
                presenter_.cmdAbort_Click();
            }
            render();
            return true;
        }
        return false;
    }
    case WM_CTLCOLOREDIT: {
        const auto ctl = reinterpret_cast<HWND>(lParam);
        for (std::size_t k = 0; k < editFields_.size(); ++k) {
            if (editFields_[k] == ctl) {
                const auto dc = reinterpret_cast<HDC>(wParam);
                const COLORREF back = toColorRef(s.txtEditItem[k].backColour);
                SetTextColor(dc, toColorRef(s.txtEditItem[k].foreColour));
                SetBkColor(dc, back);
                result = reinterpret_cast<LRESULT>(brush(back));
                return true;
            }
        }
        return false;
    }
    case WM_DRAWITEM: {
        const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (d == nullptr || (d->CtlID != kOkId && d->CtlID != kAbortId)) {
            return false;
        }
        const ControlState& b = d->CtlID == kOkId ? s.cmdOK : s.cmdAbort;
        RECT r = d->rcItem;
        FillRect(d->hDC, &r, brush(toColorRef(b.backColour)));
        DrawEdge(d->hDC, &r, (d->itemState & ODS_SELECTED) != 0 ? EDGE_SUNKEN : EDGE_RAISED,
                 BF_RECT);
        const std::wstring text = widen(b.caption);
        SelectGuard sel(d->hDC, font(b.fontSize, b.bold));
        SetBkMode(d->hDC, TRANSPARENT);
        SetTextColor(d->hDC, toColorRef(b.foreColour));
        DrawTextW(d->hDC, text.c_str(), static_cast<int>(text.size()), &r,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if ((d->itemState & ODS_FOCUS) != 0) {
            InflateRect(&r, -3, -3);
            DrawFocusRect(d->hDC, &r);
        }
        result = TRUE;
        return true;
    }
    default:
        return false;
    }
}

void MenuView::renderItems() {
    const frmVeloraState& s = presenter_.state();
    for (std::size_t k = 0; k < editFields_.size(); ++k) {
        const ControlState& field = s.txtEditItem[k];
        placeChild(editFields_[k], field);
        // A font set again makes the field lay out and paint again.
        const HFONT wanted = font(field.fontSize, field.bold);
        if (reinterpret_cast<HFONT>(SendMessageW(editFields_[k], WM_GETFONT, 0, 0)) != wanted) {
            SendMessageW(editFields_[k], WM_SETFONT, reinterpret_cast<WPARAM>(wanted), FALSE);
        }
        // Only a text that differs is set, so the caret stays where the user types.
        const std::wstring text = widen(field.caption);
        if (windowText(editFields_[k]) != text) {
            SetWindowTextW(editFields_[k], text.c_str());
        }
        // Colours are taken at painting: a shown editor paints its fields again.
        if (s.containerEditItem.visible) {
            InvalidateRect(editFields_[k], nullptr, TRUE);
        }
    }
    for (const auto& [button, state] :
         {std::pair<HWND, const ControlState*>{cmdOK_, &s.cmdOK},
          std::pair<HWND, const ControlState*>{cmdAbort_, &s.cmdAbort}}) {
        placeChild(button, *state);
        if (s.containerEditItem.visible) {
            InvalidateRect(button, nullptr, TRUE);
        }
    }
}

} // namespace kesk::win
