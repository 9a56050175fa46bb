#include "win32/menu_view.h"

#include "support/errors.h"
#include "win32/fonts.h"
#include "win32/messages.h"
#include "win32/wtext.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>

namespace kesk::win {

namespace {

// Pictures added one by one through a kept section rather than in a block of their own.
constexpr std::size_t kFewImages = 16;

constexpr wchar_t kMenuClass[] = L"KeskVLM.frmVelora";
constexpr wchar_t kPanelClass[] = L"KeskVLM.Panel";

// Pictures that finished while the window was busy are taken at most this often, by a timer,
// whose messages come after the user's input.
constexpr UINT_PTR kPictureTimer = 2;
constexpr UINT kPictureBatchMs = 16;
// Answers taken from the worker are handed on in steps of this many, for at most this long
// per timer tick; what is left follows at a short tick.
constexpr std::size_t kPicturesPerStep = 32;
constexpr std::chrono::milliseconds kPictureSliceTime{8};
constexpr UINT kPictureSliceGapMs = 1;
// Lists not yet full are filled further this often.
constexpr UINT_PTR kFillTimer = 3;
constexpr UINT kFillIntervalMs = 1;
// The unseen painting gives the thread back after this long, and goes on at the next tick.
constexpr std::chrono::milliseconds kUnseenSliceTime{8};

// Colours premultiplied by their alpha, which is what the image lists (and AlphaBlend)
// expect of a 32-bit picture.
std::uint32_t premultiplied(Pixel p) noexcept {
    const std::uint32_t a = p >> 24;
    const auto mul = [a](std::uint32_t c) { return (c * a + 127u) / 255u; };
    return (a << 24) | (mul((p >> 16) & 0xFF) << 16) | (mul((p >> 8) & 0xFF) << 8) | mul(p & 0xFF);
}

// A bitmap as a DIB section of exactly `w` by `h` pixels, premultiplied. Pixels outside the
// source stay transparent.
UniqueBitmap toDibSection(const Bitmap& src, int w, int h) {
    std::uint32_t* dst = nullptr;
    UniqueBitmap dib = newDib32(w, h, dst);
    if (!dib) {
        return {};
    }
    std::fill(dst, dst + static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0u);
    const int cw = std::min(w, src.width);
    const int ch = std::min(h, src.height);
    for (int y = 0; y < ch; ++y) {
        for (int x = 0; x < cw; ++x) {
            dst[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                static_cast<std::size_t>(x)] = premultiplied(src.at(x, y));
        }
    }
    GdiFlush();
    return dib;
}

// Writes images first .. first + n - 1 of `src` side by side into `dst` (each row n images
// wide), premultiplied.
void writeImages(const ImageList& src, std::size_t first, std::size_t n, std::uint32_t* dst) {
    const auto w = static_cast<std::size_t>(src.imageWidth);
    const auto h = static_cast<std::size_t>(src.imageHeight);
    const std::size_t stride = w * n;
    for (std::size_t k = 0; k < n; ++k) {
        const Pixel* image = src.imageData(first + k);
        for (std::size_t y = 0; y < h; ++y) {
            const Pixel* from = image + y * w;
            std::uint32_t* to = dst + y * stride + k * w;
            for (std::size_t x = 0; x < w; ++x) {
                to[x] = premultiplied(from[x]);
            }
        }
    }
}

// Images first .. first + n - 1 of an image list side by side in one DIB section,
// premultiplied: one ImageList_Add takes them all, where the platform's cost per call
// (several requests to the window server under Wine) would otherwise be paid per image.
UniqueBitmap blockDib(const ImageList& src, std::size_t first, std::size_t n) {
    std::uint32_t* dst = nullptr;
    UniqueBitmap dib = newDib32(src.imageWidth * static_cast<int>(n), src.imageHeight, dst);
    if (!dib) {
        return {};
    }
    writeImages(src, first, n, dst);
    GdiFlush();
    return dib;
}

// Copies image `i` of `src` into the kept one-picture section, made anew only for another size.
bool intoOneImage(MenuView::OneImage& one, const ImageList& src, std::size_t i) {
    const int w = src.imageWidth;
    const int h = src.imageHeight;
    if (!one.dib || one.width != w || one.height != h) {
        one.dib = newDib32(w, h, one.bits);
        one.width = one.dib ? w : 0;
        one.height = one.dib ? h : 0;
    }
    if (!one.dib) {
        return false;
    }
    // The platform's drawing from the section's last use ends before its bits are written.
    GdiFlush();
    writeImages(src, i, 1, one.bits);
    return true;
}

// Appends images first .. src.count() - 1 to `il`; false when the platform took fewer.
bool appendImages(HIMAGELIST il, const ImageList& src, std::size_t first, MenuView::OneImage& one) {
    const auto count = static_cast<std::size_t>(src.count());
    // A few at a time (a batch of arrived pictures) go through the kept section: a new
    // section asks the system for memory, which waits while the picture worker loads files.
    if (count > first && count - first <= kFewImages) {
        for (std::size_t i = first; i < count; ++i) {
            if (!intoOneImage(one, src, i) || ImageList_Add(il, one.dib.get(), nullptr) < 0) {
                return false;
            }
        }
        return ImageList_GetImageCount(il) == static_cast<int>(count);
    }
    // Blocks of at most 8192 pixels' width.
    const std::size_t perBlock =
        std::max<std::size_t>(1, 8192 / static_cast<std::size_t>(std::max(1, src.imageWidth)));
    for (std::size_t at = first; at < count;) {
        const std::size_t n = std::min(perBlock, count - at);
        UniqueBitmap dib = blockDib(src, at, n);
        if (!dib || ImageList_Add(il, dib.get(), nullptr) < 0) {
            return false;
        }
        at += n;
        if (ImageList_GetImageCount(il) != static_cast<int>(at)) {
            return false;
        }
    }
    return true;
}

// Puts image `i` of `src` in place of image `i` of `il`; false when the platform refused.
bool replaceImage(HIMAGELIST il, const ImageList& src, std::size_t i, MenuView::OneImage& one) {
    return intoOneImage(one, src, i) &&
           ImageList_Replace(il, static_cast<int>(i), one.dib.get(), nullptr) != FALSE;
}

// Paints a picture at its own size with its top left at (x, y); alpha is ignored, as a
// panel's picture is opaque.
void paintPicture(HDC dc, const Bitmap& pic, int x, int y) {
    if (pic.empty()) {
        return;
    }
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = pic.width;
    bi.bmiHeader.biHeight = -pic.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(pic.width), static_cast<DWORD>(pic.height), 0, 0,
                      0, static_cast<UINT>(pic.height), pic.pixels.data(), &bi, DIB_RGB_COLORS);
}

// The control numbers pictures from 0, the presenter from 1; an entry still waiting for its
// picture shows none, and a placeholder is painted in its place.
int controlImage(const ListEntry& e) noexcept {
    return e.largePicture > 0 ? e.largePicture - 1 : I_IMAGENONE;
}

void fillRect(HDC dc, const RECT& r, COLORREF colour) {
    UniqueBrush brush(CreateSolidBrush(colour));
    FillRect(dc, &r, brush.get());
}

} // namespace

COLORREF toColorRef(Colour c) noexcept {
    // System colours were resolved by the presenter when it took the skin, so a list and the
    // pictures drawn over the list's colour agree; what is left is a plain colour.
    return static_cast<COLORREF>(displayColour(c));
}

// --- Panel ---------------------------------------------------------------------------------------

bool Panel::createChild(HWND parent, DWORD style) {
    if (!registerClass(kPanelClass, 0)) {
        return false;
    }
    return create(0, kPanelClass, L"", style, 0, 0, 0, 0, parent) != nullptr;
}

LRESULT Panel::onMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hook_) {
        LRESULT result = 0;
        if (hook_(msg, wParam, lParam, result)) {
            return result;
        }
    }
    switch (msg) {
    case WM_ERASEBKGND:
        return 1; // the paint routine covers everything
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd(), &ps);
        if (dc != nullptr) {
            RECT rc{};
            GetClientRect(hwnd(), &rc);
            guardEvent([&] {
                if (paint_) {
                    paint_(dc, rc);
                }
            });
            EndPaint(hwnd(), &ps);
        }
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT rc{};
        GetClientRect(hwnd(), &rc);
        if (paint_) {
            paint_(reinterpret_cast<HDC>(wParam), rc);
        }
        return 0;
    }
    case WM_NOTIFY:
        if (notify_ && lParam != 0) {
            bool handled = false;
            const LRESULT r = notify_(*reinterpret_cast<const NMHDR*>(lParam), handled);
            if (handled) {
                return r;
            }
        }
        break;
    default:
        break;
    }
    return defaultProc(msg, wParam, lParam);
}

// --- MenuView ------------------------------------------------------------------------------------

MenuView::MenuView(frmVelora& presenter) : presenter_(presenter) {
    for (auto& c : cont_) {
        c = std::make_unique<Panel>();
    }
}

MenuView::~MenuView() {
    if (worker_ != nullptr) {
        worker_->forget(hwnd());
    }
    // The list views refer to our image lists; they go with the window, before the lists.
    releaseItemControls();
    destroy();
}

bool MenuView::create(HWND owner) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    if (!registerClass(kMenuClass, 0)) {
        return false;
    }
    // No border, no caption, above every other window, and no button in the task list.
    if (Window::create(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kMenuClass, L"Velora Menu",
                       WS_POPUP | WS_CLIPCHILDREN, 0, 0, 0, 0, owner) == nullptr) {
        return false;
    }
    // The one DPI of the window, for the presenter's layout and pictures and for painting.
    // Held as the presenter holds it, so that the first build's DPI is the one rendered.
    const std::int32_t dpi = usableDpi(static_cast<std::int32_t>(dpiOf(hwnd())));
    presenter_.setDpi(dpi);
    scale_ = scaleForDpi(static_cast<UINT>(dpi));
    renderedDpi_ = static_cast<UINT>(dpi);
    sourcesReadMessage_ = RegisterWindowMessageW(kSourcesReadMessageName);
    buildsMessage_ = RegisterWindowMessageW(msg::kBuildsName);

    if (!pbVLM_.createChild(hwnd(), WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS)) {
        return false;
    }
    pbVLM_.setPainter([this](HDC dc, const RECT& rc) { paintVLM(dc, rc); });
    for (std::size_t k = 0; k < catalogue::kGroupCount; ++k) {
        Panel& c = *cont_[k];
        if (!c.createChild(pbVLM_.hwnd(), WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN)) {
            return false;
        }
        c.setPainter([this, k](HDC dc, const RECT& rc) {
            paintPanel(dc, rc, presenter_.state().cont[k], nullptr, {});
        });
        c.setNotify(
            [this, k](const NMHDR& hdr, bool& handled) { return listNotify(k, hdr, handled); });
        // Icons with their captions below, one entry under the other; positions are ours.
        lists_[k] =
            CreateWindowExW(0, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | LVS_ICON | LVS_SINGLESEL |
                                LVS_SHAREIMAGELISTS | LVS_SHOWSELALWAYS,
                            0, 0, 0, 0, c.hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
        if (lists_[k] == nullptr) {
            return false;
        }
        SendMessageW(lists_[k], LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_DOUBLEBUFFER,
                     LVS_EX_DOUBLEBUFFER);
    }
    if (!pbMenu_.createChild(hwnd()) || !editItem_.createChild(hwnd())) {
        return false;
    }
    pbMenu_.setPainter([this](HDC dc, const RECT& rc) {
        const frmVeloraState& s = presenter_.state();
        paintPanel(dc, rc, s.pbMenu, &s.pbMenuPicture, {&s.lblMenuHeadline});
        // Each command shows the letter that runs it.
        const std::vector<std::size_t> letters = presenter_.commandLetters();
        for (std::size_t k = 0; k < s.lblMenu.size(); ++k) {
            drawLabel(dc, s.lblMenu[k], 0, 0, k < letters.size() ? letters[k] : std::string::npos);
        }
    });
    editItem_.setPainter([this](HDC dc, const RECT& rc) {
        const frmVeloraState& s = presenter_.state();
        std::vector<const ControlState*> labels{&s.lblItemEditHeadline};
        for (const ControlState& l : s.lblEditMenu) {
            labels.push_back(&l);
        }
        paintPanel(dc, rc, s.containerEditItem, &s.containerEditItemPicture, labels);
    });
    return createItemControls();
}

void MenuView::load() {
    presenter_.Form_Load();
    render();
    // The unseen painting waits for the pictures (takePictures): at start-up the window's
    // thread has the button and the first clicks to answer first.
}

namespace {

// `window` and every child it shows, parents first, each with its place in `window`'s client
// area.
void visibleTree(HWND window, POINT origin, std::vector<std::pair<HWND, POINT>>& out) {
    out.emplace_back(window, origin);
    for (HWND c = GetWindow(window, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if ((GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE) == 0) {
            continue;
        }
        POINT at{0, 0};
        MapWindowPoints(c, window, &at, 1);
        visibleTree(c, POINT{origin.x + at.x, origin.y + at.y}, out);
    }
}

} // namespace

void MenuView::renderUnseen() {
    if (hwnd() == nullptr || IsWindowVisible(hwnd()) != FALSE) {
        // A shown window paints itself.
        unseen_ = Unseen{};
        renderedUnseen_ = presenter_.state().pictureBatches;
        return;
    }
    if (fillPending_) {
        return; // the lists are painted once they are full
    }
    // The first painting of the lists lays out their entries, measures their texts and
    // draws every image once; done here, into memory, it costs the first click nothing.
    // It is done a few windows at a time, so that input is answered in between.
    if (!unseen_.dc) {
        RECT rc{};
        GetClientRect(hwnd(), &rc);
        const int w = std::max(1, static_cast<int>(rc.right - rc.left));
        const int h = std::max(1, static_cast<int>(rc.bottom - rc.top));
        const WindowDC screen(nullptr);
        unseen_.dc.reset(CreateCompatibleDC(screen.get()));
        std::uint32_t* bits = nullptr;
        unseen_.surface = newDib32(w, h, bits);
        if (!unseen_.dc || !unseen_.surface) {
            unseen_ = Unseen{};
            return;
        }
        unseen_.windows.clear();
        visibleTree(hwnd(), POINT{0, 0}, unseen_.windows);
        unseen_.next = 0;
        unseen_.batches = presenter_.state().pictureBatches;
    }
    const SelectGuard select(unseen_.dc.get(), unseen_.surface.get());
    const auto until = std::chrono::steady_clock::now() + kUnseenSliceTime;
    while (unseen_.next < unseen_.windows.size() && std::chrono::steady_clock::now() < until) {
        const auto [window, origin] = unseen_.windows[unseen_.next++];
        if (IsWindow(window) == FALSE) {
            continue;
        }
        SetViewportOrgEx(unseen_.dc.get(), origin.x, origin.y, nullptr);
        SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(unseen_.dc.get()),
                     PRF_CLIENT | PRF_ERASEBKGND);
    }
    if (unseen_.next >= unseen_.windows.size()) {
        renderedUnseen_ = unseen_.batches;
        unseen_ = Unseen{};
    }
}

bool MenuView::unseenPending() const noexcept {
    return static_cast<bool>(unseen_.dc);
}

std::string MenuView::entryKey(std::size_t k, LPARAM itemData) const {
    const auto& entries = renderedEntries_.at(k);
    if (itemData < 0 || static_cast<std::size_t>(itemData) >= entries.size()) {
        return {};
    }
    return entries[static_cast<std::size_t>(itemData)].key;
}

HFONT MenuView::font(double points, bool bold) {
    const UINT dpi = renderedDpi_ == 0 ? 96 : renderedDpi_;
    const int height = -static_cast<int>(std::lround(points * dpi / 72.0));
    auto& slot = fonts_[{height, bold}];
    if (!slot) {
        LOGFONTW lf{};
        lstrcpynW(lf.lfFaceName, labelFaceName().c_str(), LF_FACESIZE);
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfQuality = CLEARTYPE_QUALITY;
        lf.lfHeight = height;
        lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
        slot.reset(CreateFontIndirectW(&lf));
    }
    return slot.get();
}

namespace {

// Where a window stands, in its parent's client coordinates (the screen's for a top-level one).
RECT placedRect(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    if ((GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD) != 0) {
        MapWindowPoints(nullptr, GetAncestor(w, GA_PARENT), reinterpret_cast<POINT*>(&r), 2);
    }
    return r;
}

// Every render places every control; a move to where a window already stands still costs the
// platform a round of position messages and its window server, so only real moves are made.
bool standsAt(HWND w, int x, int y, int cx, int cy) {
    const RECT r = placedRect(w);
    return r.left == x && r.top == y && r.right - r.left == cx && r.bottom - r.top == cy;
}

// A top-most window with nothing of another program above it: raising it again would change
// nothing. Only a few windows are looked at; behind more, it is raised anyway.
bool topOfEverything(HWND w) {
    if ((GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_TOPMOST) == 0) {
        return false;
    }
    const DWORD self = GetCurrentProcessId();
    HWND above = GetWindow(w, GW_HWNDPREV);
    for (int n = 0; above != nullptr; ++n) {
        DWORD process = 0;
        GetWindowThreadProcessId(above, &process);
        if (n == 8 || process != self) {
            return false;
        }
        above = GetWindow(above, GW_HWNDPREV);
    }
    return true;
}

} // namespace

void MenuView::placeChild(HWND child, const ControlState& c, HWND after) {
    const int x = scale_.toPixelsX(c.left);
    const int y = scale_.toPixelsY(c.top);
    const int cx = scale_.toPixelsX(c.width);
    const int cy = scale_.toPixelsY(c.height);
    const bool visible = (GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE) != 0;
    if (after == nullptr && visible == c.visible && standsAt(child, x, y, cx, cy)) {
        return;
    }
    SetWindowPos(child, after, x, y, cx, cy,
                 SWP_NOACTIVATE | (after == nullptr ? SWP_NOZORDER : 0u) |
                     (c.visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void MenuView::render() {
    if (hwnd() == nullptr) {
        return;
    }
    const frmVeloraState& s = presenter_.state();
    struct Rendering {
        bool& flag;
        bool before;
        ~Rendering() { flag = before; }
    } rendering{rendering_, rendering_};
    rendering_ = true;
    // The DPI the presenter laid the window out at, and no other: positions, fonts and
    // pictures then agree.
    const UINT dpi = static_cast<UINT>(s.dpi);
    const bool newDpi = dpi != renderedDpi_;
    if (newDpi) {
        renderedDpi_ = dpi;
        // The fields let go of the old fonts first: a new font may get a freed one's handle,
        // and a field must not take that as its font unchanged.
        for (HWND field : editFields_) {
            SendMessageW(field, WM_SETFONT, 0, FALSE);
        }
        fonts_.clear();
        // A new font may get a freed one's handle: the lists must not take it as unchanged.
        renderedLook_.fill(ListLook{});
    }
    scale_ = scaleForDpi(dpi);

    // The window: position, size and stacking.
    // A window cut to the screen shows shorter, and so do its lists, which then scroll.
    const bool cut = s.cutTwips > 0;
    // Placed also where it stands unless it is shown and on top already: placing brings the
    // menu to the top of the windows that stay on top, above whatever the shell put there
    // meanwhile. The hidden window is always placed: after the shell's start menu that also
    // brings the screen's stacking back in step with the window order, the VLM button's too.
    const int x = scale_.toPixelsX(s.left);
    const int y = scale_.toPixelsY(cut ? s.cutTop : s.top);
    const int cx = scale_.toPixelsX(s.width);
    const int cy = scale_.toPixelsY(s.height - s.cutTwips);
    if (!s.topmost || IsWindowVisible(hwnd()) == FALSE || !standsAt(hwnd(), x, y, cx, cy) ||
        !topOfEverything(hwnd())) {
        SetWindowPos(hwnd(), s.topmost ? HWND_TOPMOST : HWND_NOTOPMOST, x, y, cx, cy,
                     SWP_NOACTIVATE);
    }
    // Showing and hiding belong to handlers that change `visible`; a render that finds it
    // unchanged leaves the window as it is.
    if (s.visible != renderedVisible_) {
        if (s.visible) {
            // Shown without its painting: the window and each control then paint on turns of
            // their own (WM_PAINT), and the thread answers in between. Shown with it, the
            // platform may erase and paint every control inside this one call.
            SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW |
                             SWP_NOREDRAW);
            RedrawWindow(hwnd(), nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        } else {
            ShowWindow(hwnd(), SW_HIDE);
        }
        renderedVisible_ = s.visible;
    }

    // pbVLM: its height as the presenter computed it in the window's pixels.
    if (!standsAt(pbVLM_.hwnd(), scale_.toPixelsX(s.pbVLM.left), scale_.toPixelsY(s.pbVLM.top),
                  scale_.toPixelsX(s.pbVLM.width), scale_.toPixelsY(s.pbVLM.height))) {
        SetWindowPos(pbVLM_.hwnd(), nullptr, scale_.toPixelsX(s.pbVLM.left),
                     scale_.toPixelsY(s.pbVLM.top), scale_.toPixelsX(s.pbVLM.width),
                     scale_.toPixelsY(s.pbVLM.height), SWP_NOACTIVATE | SWP_NOZORDER);
    }
    for (std::size_t k = 0; k < catalogue::kGroupCount; ++k) {
        ControlState container = s.cont[k];
        ControlState list = static_cast<const ControlState&>(s.lstViewA[k]);
        container.height -= s.cutTwips;
        list.height -= s.cutTwips;
        placeChild(cont_[k]->hwnd(), container);
        placeChild(lists_[k], list);
    }
    // The panels float above the groups when shown.
    // (HWND_TOP is the null handle, so it cannot go through placeChild's `after`.)
    for (auto [panel, state] :
         {std::pair<HWND, const ControlState*>{pbMenu_.hwnd(), &s.pbMenu},
          std::pair<HWND, const ControlState*>{editItem_.hwnd(), &s.containerEditItem}}) {
        placeChild(panel, *state);
        if (state->visible && GetWindow(hwnd(), GW_CHILD) != panel) {
            SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }

    imagesReplaced_ = false;
    changedImages_.clear();
    if (s.buildCount != renderedBuild_ || s.pictureBatches != renderedBatches_) {
        renderImageLists();
    }
    fillBudget_ = kFillSlice;
    for (std::size_t k = 0; k < catalogue::kGroupCount; ++k) {
        renderList(k);
    }
    const bool filling = fillPending_;
    fillPending_ = false;
    for (std::size_t k = 0; k < catalogue::kGroupCount; ++k) {
        fillPending_ = fillPending_ || renderedEntries_[k].size() < s.lstViewA[k].entries.size();
    }
    if (fillPending_) {
        SetTimer(hwnd(), kFillTimer, kFillIntervalMs, nullptr);
    } else if (filling) {
        KillTimer(hwnd(), kFillTimer);
        // The unseen painting waited for the lists to be full.
        SetTimer(hwnd(), kPictureTimer, kPictureBatchMs, nullptr);
    }
    renderedBuild_ = s.buildCount;
    renderedBatches_ = s.pictureBatches;
    renderItems();
    invalidateChangedLooks(newDpi);
    nameForReaders();
}

namespace {

// A running digest of what a window paints.
class LookDigest {
  public:
    void add(std::uint64_t v) noexcept { h_ = (h_ ^ v) * 1099511628211ull; }
    void add(const std::string& text) noexcept {
        add(text.size());
        for (const char c : text) {
            add(static_cast<unsigned char>(c));
        }
    }
    void add(const ControlState& c) noexcept {
        for (const std::int32_t v : {c.left, c.top, c.width, c.height}) {
            add(static_cast<std::uint32_t>(v));
        }
        add((c.visible ? 1u : 0u) | (c.transparent ? 2u : 0u) | (c.bold ? 4u : 0u) |
            (c.singleLine ? 8u : 0u));
        add(c.backColour);
        add(c.foreColour);
        add(static_cast<std::uint64_t>(std::llround(c.fontSize * 100.0)));
        add(c.caption);
    }
    void add(const Bitmap& b) noexcept {
        add(static_cast<std::uint32_t>(b.width));
        add(static_cast<std::uint32_t>(b.height));
        add(pixelDigest(b.pixels.data(), b.pixels.size()));
    }
    std::uint64_t value() const noexcept { return h_; }

  private:
    std::uint64_t h_ = 14695981039346656037ull;
};

} // namespace

void MenuView::invalidateChangedLooks(bool everything) {
    const frmVeloraState& s = presenter_.state();
    Looks now;
    {
        LookDigest d;
        for (const ControlState* c : {&s.shpHead, &s.lblHeadline, &s.lblHedlineURL}) {
            d.add(*c);
        }
        d.add(s.pbVLM.backColour);
        now.window = d.value();
    }
    {
        LookDigest d;
        d.add(s.pbVLM);
        d.add(s.pbVLMPicture);
        for (const ControlState& c : s.lblContHead) {
            d.add(c);
        }
        now.vlm = d.value();
    }
    for (std::size_t k = 0; k < catalogue::kGroupCount; ++k) {
        LookDigest d;
        d.add(s.cont[k]);
        now.cont[k] = d.value();
    }
    {
        LookDigest d;
        d.add(s.pbMenu);
        d.add(s.pbMenuPicture);
        d.add(s.lblMenuHeadline);
        for (const ControlState& c : s.lblMenu) {
            d.add(c);
        }
        d.add(s.menuHoverIndex ? static_cast<std::uint64_t>(*s.menuHoverIndex) + 1 : 0u);
        now.menu = d.value();
    }
    {
        LookDigest d;
        d.add(s.containerEditItem);
        d.add(s.containerEditItemPicture);
        d.add(s.lblItemEditHeadline);
        for (const ControlState& c : s.lblEditMenu) {
            d.add(c);
        }
        now.edit = d.value();
    }
    const Looks was = renderedLooks_;
    const bool all = everything || !looksKnown_;
    renderedLooks_ = now;
    looksKnown_ = true;
    if (all) {
        RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
        return;
    }
    // Each window paints only its own area (its children are clipped out), so a change of
    // one look repaints that window alone.
    if (now.window != was.window) {
        InvalidateRect(hwnd(), nullptr, FALSE);
    }
    if (now.vlm != was.vlm) {
        InvalidateRect(pbVLM_.hwnd(), nullptr, FALSE);
    }
    for (std::size_t k = 0; k < catalogue::kGroupCount; ++k) {
        if (now.cont[k] != was.cont[k]) {
            InvalidateRect(cont_[k]->hwnd(), nullptr, FALSE);
        }
    }
    if (now.menu != was.menu) {
        InvalidateRect(pbMenu_.hwnd(), nullptr, FALSE);
    }
    if (now.edit != was.edit) {
        InvalidateRect(editItem_.hwnd(), nullptr, FALSE);
    }
}

void MenuView::renderImageLists() {
    const frmVeloraState& s = presenter_.state();
    const ImageList& large = s.vlImgList;
    const ImageList& small = s.vlImgListSmall;
    changedImages_.clear();
    const auto sameShape = [](const ImageList& src, const ShownImages& shown) {
        return src.imageWidth == shown.width && src.imageHeight == shown.height;
    };
    const auto remember = [](const ImageList& src, ShownImages& shown) {
        shown.width = src.imageWidth;
        shown.height = src.imageHeight;
        shown.digests = src.digests;
    };
    const auto count = static_cast<std::size_t>(large.count());
    const auto held = [](HIMAGELIST il) {
        return static_cast<std::size_t>(std::max(0, ImageList_GetImageCount(il)));
    };
    if (large_ && small_ && sameShape(large, shownLarge_) && sameShape(small, shownSmall_) &&
        static_cast<std::size_t>(small.count()) == count && large.digests.size() == count &&
        small.digests.size() == count && held(large_.get()) == shownLarge_.digests.size() &&
        held(small_.get()) == shownSmall_.digests.size()) {
        // Most builds make the pictures the lists show already (a refresh, an edit of one
        // item, a drop at the end), and pictures arrive a batch at a time: the image lists
        // keep what is unchanged, replace each picture that changed where it stands and take
        // the new ones at the end, so a batch costs its own pictures, not the list's.
        const std::size_t shown = shownLarge_.digests.size();
        if (shownSmall_.digests.size() == shown) {
            const std::size_t common = std::min(count, shown);
            changedImages_.assign(count, false);
            bool ok = count >= shown ||
                      (ImageList_SetImageCount(large_.get(), static_cast<UINT>(count)) &&
                       ImageList_SetImageCount(small_.get(), static_cast<UINT>(count)));
            for (std::size_t i = 0; ok && i < common; ++i) {
                const bool largeChanged = large.digests[i] != shownLarge_.digests[i];
                const bool smallChanged = small.digests[i] != shownSmall_.digests[i];
                ok = (!largeChanged || replaceImage(large_.get(), large, i, oneLarge_)) &&
                     (!smallChanged || replaceImage(small_.get(), small, i, oneSmall_));
                changedImages_[i] = largeChanged || smallChanged;
            }
            ok = ok && (count <= shown || (appendImages(large_.get(), large, shown, oneLarge_) &&
                                           appendImages(small_.get(), small, shown, oneSmall_)));
            if (ok) {
                remember(large, shownLarge_);
                remember(small, shownSmall_);
                return;
            }
            changedImages_.clear();
        }
    }

    // Detach first: a list must never point at a destroyed image list.
    for (HWND list : lists_) {
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_NORMAL, 0);
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
    }
    renderedAttached_.fill(false);
    imagesReplaced_ = true;
    // Whether every picture went in; a picture the platform refused becomes a blank one
    // rather than shifting every later number, and is tried again at the next build.
    // Room for a picture per entry from the start: the pictures of a build arrive a few at
    // a time, and a list that grows by small steps copies all it holds at every step.
    std::size_t entries = 1;
    for (const ListViewState& list : s.lstViewA) {
        entries += list.entries.size();
    }
    const int room = static_cast<int>(std::min<std::size_t>(entries, 1u << 20));
    const auto build = [room](const ImageList& src, OneImage& one, bool& complete) {
        const int w = std::max(1, src.imageWidth);
        const int h = std::max(1, src.imageHeight);
        UniqueImageList il(
            ImageList_Create(w, h, ILC_COLOR32, std::max(room, src.count()), kImageListGrowth));
        complete = il && appendImages(il.get(), src, 0, one);
        if (!il || complete) {
            return il;
        }
        ImageList_RemoveAll(il.get());
        for (std::size_t i = 0; i < static_cast<std::size_t>(src.count()); ++i) {
            UniqueBitmap dib = toDibSection(src.image(i), w, h);
            if (!dib || ImageList_Add(il.get(), dib.get(), nullptr) < 0) {
                UniqueBitmap blank = toDibSection(Bitmap{}, w, h);
                ImageList_Add(il.get(), blank.get(), nullptr);
            }
        }
        return il;
    };
    bool largeComplete = false;
    bool smallComplete = false;
    large_ = build(large, oneLarge_, largeComplete);
    small_ = build(small, oneSmall_, smallComplete);
    remember(large, shownLarge_);
    remember(small, shownSmall_);
    if (!largeComplete || !smallComplete) {
        // Unknown content: the next render makes the lists anew.
        shownLarge_.width = 0;
    }
}

void MenuView::renderList(std::size_t k) {
    const frmVeloraState& s = presenter_.state();
    const ListViewState& state = s.lstViewA[k];
    HWND list = lists_[k];

    // Colours and font are set only when they change: each setting makes the control lay
    // out or paint again.
    const ListLook look{toColorRef(state.backColour), toColorRef(state.foreColour),
                        font(state.fontSize, state.bold)};
    ListLook& was = renderedLook_[k];
    const bool fontChanged = look.font != was.font;
    const bool coloursChanged = look.back != was.back || look.text != was.text;
    if (coloursChanged) {
        SendMessageW(list, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(look.back));
        SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(look.back));
        SendMessageW(list, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(look.text));
    }
    if (fontChanged) {
        SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(look.font), FALSE);
    }
    was = look;

    if (state.imageListsAttached != renderedAttached_[k]) {
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_NORMAL,
                     reinterpret_cast<LPARAM>(state.imageListsAttached ? large_.get() : nullptr));
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL,
                     reinterpret_cast<LPARAM>(state.imageListsAttached ? small_.get() : nullptr));
        renderedAttached_[k] = state.imageListsAttached;
    }

    auto& shown = renderedEntries_[k];
    const auto& entries = state.entries;
    const std::size_t common = std::min(shown.size(), entries.size());
    bool samePlaces = true;
    for (std::size_t i = 0; i < common && samePlaces; ++i) {
        samePlaces = entries[i].left == shown[i].left && entries[i].topOffset == shown[i].topOffset;
    }
    // New image lists (attaching them can arrange the items again) or a new font (other item
    // sizes) fill the list again; otherwise only the entries that changed are touched, and
    // the control repaints just those.
    if (imagesReplaced_ || fontChanged || !samePlaces) {
        // The list is filled again where the user had scrolled it to.
        POINT before{};
        const bool scrolled =
            SendMessageW(list, LVM_GETORIGIN, 0, reinterpret_cast<LPARAM>(&before)) != FALSE;
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        shown.clear();
        insertEntries(k, 0);
        if (scrolled) {
            restoreOrigin(list, before);
        }
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
        return;
    }
    if (coloursChanged) {
        InvalidateRect(list, nullptr, TRUE);
    }
    while (shown.size() > entries.size()) {
        SendMessageW(list, LVM_DELETEITEM, shown.size() - 1, 0);
        shown.pop_back();
    }
    for (std::size_t i = 0; i < common; ++i) {
        const ListEntry& e = entries[i];
        ListEntry& old = shown[i];
        bool repaint = e.red != old.red;
        if (e.text != old.text) {
            std::wstring text = widen(e.text);
            LVITEMW item{};
            item.pszText = text.data();
            SendMessageW(list, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
        }
        if (e.largePicture != old.largePicture || e.smallPicture != old.smallPicture) {
            LVITEMW item{};
            item.mask = LVIF_IMAGE;
            item.iItem = static_cast<int>(i);
            item.iImage = controlImage(e);
            SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        } else if (e.largePicture > 0 &&
                   static_cast<std::size_t>(e.largePicture - 1) < changedImages_.size() &&
                   changedImages_[static_cast<std::size_t>(e.largePicture - 1)]) {
            repaint = true;
        }
        if (e.selected != old.selected) {
            LVITEMW item{};
            item.stateMask = LVIS_SELECTED;
            item.state = e.selected ? LVIS_SELECTED : 0;
            SendMessageW(list, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
        }
        if (repaint) {
            SendMessageW(list, LVM_REDRAWITEMS, i, static_cast<LPARAM>(i));
        }
        old = e;
    }
    if (shown.size() < entries.size()) {
        // Many at once (a large drop) are inserted unseen and shown together.
        const bool many = entries.size() - shown.size() > kQuietInsertions;
        if (many) {
            SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        }
        insertEntries(k, shown.size());
        if (many) {
            SendMessageW(list, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(list, nullptr, TRUE);
        }
    }
}

void MenuView::restoreOrigin(HWND list, POINT wanted) {
    const auto origin = [list] {
        POINT p{};
        SendMessageW(list, LVM_GETORIGIN, 0, reinterpret_cast<LPARAM>(&p));
        return p;
    };
    // Platforms differ in the sign the origin is reported with: a step that leads away from
    // the wanted origin is taken back twice over. Only the rows scroll: the lists wrap their
    // entries, and a platform's origin can stand left of 0 where labels overhang their icons,
    // which must not shift the columns.
    POINT now = origin();
    for (int step = 0; step < 2 && now.y != wanted.y; ++step) {
        const int dy = step == 0 ? wanted.y - now.y : now.y - wanted.y;
        SendMessageW(list, LVM_SCROLL, 0, static_cast<LPARAM>(dy));
        now = origin();
    }
}

void MenuView::settleLayout(HWND list) {
    // A list lays out all its entries at the first painting that finds it holding any: under
    // Wine a tenth of a millisecond an entry, at once. Painted into memory with its first
    // entry, it lays out that one, and later paintings only the entries they show.
    const UniqueDC scratch(CreateCompatibleDC(nullptr));
    if (scratch) {
        SendMessageW(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(scratch.get()), PRF_CLIENT);
    }
}

void MenuView::insertEntries(std::size_t k, std::size_t from) {
    const std::vector<ListEntry>& entries = presenter_.state().lstViewA[k].entries;
    HWND list = lists_[k];
    auto& shown = renderedEntries_[k];
    // A render inserts a slice; the rest follow at the fill timer, so a catalogue of
    // thousands of items never holds the window's thread for long.
    const std::size_t end = std::min(entries.size(), from + fillBudget_);
    fillBudget_ -= end - from;
    for (std::size_t i = from; i < end; ++i) {
        const ListEntry& e = entries[i];
        std::wstring text = widen(e.text);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
        item.iItem = static_cast<int>(i);
        item.pszText = text.data();
        item.iImage = controlImage(e);
        item.lParam = static_cast<LPARAM>(i);
        item.state = e.selected ? LVIS_SELECTED : 0;
        item.stateMask = LVIS_SELECTED;
        const auto at = SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        if (at < 0) {
            break;
        }
        if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 1) {
            settleLayout(list);
        }
        shown.push_back(e);
        // The entry's nudge, from the place the control's arrangement gave it.
        POINT pos{};
        if (SendMessageW(list, LVM_GETITEMPOSITION, static_cast<WPARAM>(at),
                         reinterpret_cast<LPARAM>(&pos)) != 0) {
            pos.x = scale_.toPixelsX(e.left);
            pos.y += scale_.toPixelsY(e.topOffset);
            SendMessageW(list, LVM_SETITEMPOSITION32, static_cast<WPARAM>(at),
                         reinterpret_cast<LPARAM>(&pos));
        }
    }
}

LRESULT MenuView::listNotify(std::size_t k, const NMHDR& hdr, bool& handled) {
    if (hdr.hwndFrom != lists_[k]) {
        return 0;
    }
    if (hdr.code != NM_CUSTOMDRAW) {
        return itemNotify(k, hdr, handled);
    }
    handled = true;
    auto& cd = const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(hdr));
    if (cd.nmcd.dwDrawStage == CDDS_PREPAINT) {
        return CDRF_NOTIFYITEMDRAW;
    }
    if (cd.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        const auto& entries = renderedEntries_[k];
        const auto i = static_cast<std::size_t>(cd.nmcd.lItemlParam);
        const ListViewState& state = presenter_.state().lstViewA[k];
        // A target that cannot be opened is pure red whatever the skin says.
        const bool red = i < entries.size() && entries[i].red;
        cd.clrText = red ? RGB(255, 0, 0) : toColorRef(state.foreColour);
        cd.clrTextBk = toColorRef(state.backColour);
        const bool waiting = i < entries.size() && entries[i].largePicture <= 0;
        return CDRF_NEWFONT | (waiting ? CDRF_NOTIFYPOSTPAINT : 0);
    }
    if (cd.nmcd.dwDrawStage == CDDS_ITEMPOSTPAINT) {
        paintPlaceholder(k, cd);
    }
    return CDRF_DODEFAULT;
}

// A neutral square of the picture's size, in a shade between the list's text and background,
// where an entry's picture is still to come: the entry keeps its place and shape.
void MenuView::paintPlaceholder(std::size_t k, const NMLVCUSTOMDRAW& cd) {
    RECT icon{};
    icon.left = LVIR_ICON;
    if (SendMessageW(lists_[k], LVM_GETITEMRECT, cd.nmcd.dwItemSpec,
                     reinterpret_cast<LPARAM>(&icon)) == 0) {
        return;
    }
    const ListViewState& state = presenter_.state().lstViewA[k];
    const COLORREF back = toColorRef(state.backColour);
    const COLORREF fore = toColorRef(state.foreColour);
    const auto mix = [](COLORREF a, COLORREF b, int shift) {
        return static_cast<BYTE>((a * 3 + b) >> shift);
    };
    const COLORREF shade =
        RGB(mix(GetRValue(back), GetRValue(fore), 2), mix(GetGValue(back), GetGValue(fore), 2),
            mix(GetBValue(back), GetBValue(fore), 2));
    int w = 0;
    int h = 0;
    ImageList_GetIconSize(large_.get(), &w, &h);
    const int x = icon.left + std::max(0, static_cast<int>(icon.right - icon.left) - w) / 2;
    const int y = icon.top + std::max(0, static_cast<int>(icon.bottom - icon.top) - h) / 2;
    const RECT square{x + 2, y + 2, x + w - 2, y + h - 2};
    fillRect(cd.nmcd.hdc, square, shade);
}

void MenuView::setPictureWorker(PictureWorker* worker) noexcept {
    worker_ = worker;
    if (worker_ != nullptr && hwnd() != nullptr) {
        worker_->notify(hwnd(), msg::kPicturesReady);
    }
}

bool MenuView::takePictures() {
    if (worker_ == nullptr || hwnd() == nullptr) {
        return false;
    }
    if (backlogAt_ >= backlog_.size()) {
        backlog_ = worker_->take();
        backlogAt_ = 0;
    }
    if (backlog_.empty()) {
        if (!presenter_.picturesPending() && !fillPending_ &&
            (unseenPending() || renderedUnseen_ != presenter_.state().pictureBatches)) {
            renderUnseen();
            return false;
        }
        KillTimer(hwnd(), kPictureTimer);
        return false;
    }
    const std::int32_t batches = presenter_.state().pictureBatches;
    const std::string source = presenter_.state().txtEditItem[5].caption;
    // Thousands of answers at once (a rebuild confirming every picture) are taken a slice
    // at a time, the input that arrives meanwhile answered in between.
    const auto until = std::chrono::steady_clock::now() + kPictureSliceTime;
    do {
        const std::size_t n = std::min(kPicturesPerStep, backlog_.size() - backlogAt_);
        const auto from = backlog_.begin() + static_cast<std::ptrdiff_t>(backlogAt_);
        std::vector<PictureResult> step(
            std::make_move_iterator(from),
            std::make_move_iterator(from + static_cast<std::ptrdiff_t>(n)));
        backlogAt_ += n;
        presenter_.picturesArrived(std::move(step));
    } while (backlogAt_ < backlog_.size() && std::chrono::steady_clock::now() < until);
    const bool more = backlogAt_ < backlog_.size();
    if (!more) {
        backlog_.clear();
        backlogAt_ = 0;
    }
    // Answers that only confirmed what the entries show change nothing to render.
    if (presenter_.state().pictureBatches != batches ||
        presenter_.state().txtEditItem[5].caption != source) {
        render();
    }
    // Once every picture is in, the hidden window is painted unseen again, so that the
    // first showing finds the images drawn before too.
    if (!presenter_.picturesPending() && renderedUnseen_ != presenter_.state().pictureBatches) {
        unseen_ = Unseen{};
        renderUnseen();
    }
    // Come back for the next batch after the input that arrived meanwhile.
    SetTimer(hwnd(), kPictureTimer, more ? kPictureSliceGapMs : kPictureBatchMs, nullptr);
    return true;
}

void MenuView::drawLabel(HDC dc, const ControlState& label, int originX, int originY,
                         std::size_t letter) {
    if (!label.visible) {
        return;
    }
    RECT r{originX + scale_.toPixelsX(label.left), originY + scale_.toPixelsY(label.top), 0, 0};
    r.right = r.left + scale_.toPixelsX(label.width);
    r.bottom = r.top + scale_.toPixelsY(label.height);
    if (!label.transparent) {
        fillRect(dc, r, toColorRef(label.backColour));
    }
    if (label.caption.empty()) {
        return;
    }
    std::wstring text = widen(label.caption);
    UINT prefix = DT_NOPREFIX;
    if (letter < label.caption.size()) {
        // The text's own ampersands are doubled so that only the letter is underlined.
        const std::size_t at = widen(label.caption.substr(0, letter)).size();
        std::wstring marked;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (i == at) {
                marked += L'&';
            }
            marked += text[i];
            if (text[i] == L'&') {
                marked += L'&';
            }
        }
        text = std::move(marked);
        prefix = 0;
    }
    SelectGuard sel(dc, font(label.fontSize, label.bold));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, toColorRef(label.foreColour));
    const UINT layout = label.singleLine ? DT_SINGLELINE : DT_WORDBREAK | DT_EDITCONTROL;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, layout | prefix);
}

void MenuView::paintWindow(HDC dc, const RECT& area) {
    const frmVeloraState& s = presenter_.state();
    fillRect(dc, area, toColorRef(s.pbVLM.backColour));
    RECT head{scale_.toPixelsX(s.shpHead.left), scale_.toPixelsY(s.shpHead.top), 0, 0};
    head.right = head.left + scale_.toPixelsX(s.shpHead.width);
    head.bottom = head.top + scale_.toPixelsY(s.shpHead.height);
    fillRect(dc, head, toColorRef(s.shpHead.backColour));
    drawLabel(dc, s.lblHeadline, 0, 0);
    drawLabel(dc, s.lblHedlineURL, 0, 0);
}

void MenuView::dpiChanged(UINT dpi, const RECT* suggested) {
    // Where the system suggests, at once, so that the window does not stand at the old size
    // on the new monitor; the presenter places it again when it has been built at the DPI.
    if (suggested != nullptr) {
        SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    pendingDpi_ = dpi;
    PostMessageW(hwnd(), msg::kMenuDpiChanged, 0, 0);
}

bool MenuView::followDpi() {
    const UINT told = pendingDpi_ != 0 ? pendingDpi_ : dpiOf(hwnd());
    pendingDpi_ = 0;
    const std::int32_t dpi = usableDpi(static_cast<std::int32_t>(told));
    presenter_.setDpi(dpi);
    if (dpi == presenter_.state().dpi) {
        render(); // back where the presenter placed it
        return false;
    }
    presenter_.Form_Construct();
    render();
    return true;
}

void MenuView::paintVLM(HDC dc, const RECT& area) {
    const frmVeloraState& s = presenter_.state();
    std::vector<const ControlState*> headings;
    for (const ControlState& h : s.lblContHead) {
        headings.push_back(&h);
    }
    paintPanel(dc, area, s.pbVLM, &s.pbVLMPicture, headings);
}

void MenuView::paintPanel(HDC dc, const RECT& area, const ControlState& panel,
                          const Bitmap* picture, const std::vector<const ControlState*>& labels) {
    fillRect(dc, area, toColorRef(panel.backColour));
    if (picture != nullptr) {
        paintPicture(dc, *picture, 0, 0);
    }
    for (const ControlState* label : labels) {
        drawLabel(dc, *label, 0, 0);
    }
}

LRESULT MenuView::onMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == msg::kLaunchDone) {
        guardEvent([&] { shell_.answer(wParam, lParam); });
        return 0;
    }
    if (msg == msg::kPicturesReady || (msg == WM_TIMER && wParam == kPictureTimer)) {
        guardEvent([this] { takePictures(); });
        return 0;
    }
    if (msg == WM_TIMER && wParam == kFillTimer) {
        guardEvent([this] { render(); });
        return 0;
    }
    if (msg == msg::kActivationSettled) {
        guardEvent([this] { activationSettled(); });
        return 0;
    }
    if (sourcesReadMessage_ != 0 && msg == sourcesReadMessage_) {
        return worker_ != nullptr ? static_cast<LRESULT>(worker_->sourcesRead()) : 0;
    }
    if (buildsMessage_ != 0 && msg == buildsMessage_) {
        return static_cast<LRESULT>(presenter_.state().buildCount);
    }
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd(), &ps);
        if (dc != nullptr) {
            RECT rc{};
            GetClientRect(hwnd(), &rc);
            guardEvent([&] { paintWindow(dc, rc); });
            EndPaint(hwnd(), &ps);
        }
        presenter_.Form_Paint(); // resizing and auto-hide: every repaint arms the auto-hide
        syncMousePosCheck();
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT rc{};
        GetClientRect(hwnd(), &rc);
        paintWindow(reinterpret_cast<HDC>(wParam), rc);
        return 0;
    }
    // --- Resizing and auto-hide
    case WM_TIMER:
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_CAPTURECHANGED:
    case WM_SHOWWINDOW:
    case WM_CLOSE:
        return resizeMessage(msg, wParam, lParam);
    case WM_ACTIVATE:
        activationMessage(wParam, lParam);
        break;
    case WM_DPICHANGED:
        guardEvent([&] { dpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam)); });
        return 0;
    case msg::kMenuDpiChanged:
        guardEvent([this] { followDpi(); });
        return 0;
    default:
        break;
    }
    return defaultProc(msg, wParam, lParam);
}

} // namespace kesk::win
