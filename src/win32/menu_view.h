#pragma once
// The menu window on the screen. It creates the real controls once and, after every handler
// of the presenter, renders the presenter's state into them: positions from twips with the
// window's real twips per pixel, colours, the four icon lists with their image lists, the
// panels and their pictures. It decides nothing itself.

#include "menu/frmVelora.h"
#include "win32/dpi.h"
#include "win32/drop_target.h"
#include "win32/handles.h"
#include "win32/picture_worker.h"
#include "win32/shell_win32.h"
#include "win32/window.h"

#include <windows.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kesk::win {

// A plain child window that paints itself through one function (WM_PAINT and WM_PRINTCLIENT
// alike) and hands its notifications to its owner.
class Panel final : public Window {
  public:
    using PaintFn = std::function<void(HDC, const RECT&)>;
    using NotifyFn = std::function<LRESULT(const NMHDR&, bool& handled)>;

    bool createChild(HWND parent, DWORD style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS);
    void setPainter(PaintFn fn) { paint_ = std::move(fn); }
    void setNotify(NotifyFn fn) { notify_ = std::move(fn); }
    // Sees every message first; returns true (with the result) when it handled it.
    using HookFn = std::function<bool(UINT, WPARAM, LPARAM, LRESULT&)>;
    void setHook(HookFn fn) { hook_ = std::move(fn); }

  protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    PaintFn paint_;
    NotifyFn notify_;
    HookFn hook_;
};

// A presenter's colour as the controls take it. System colours are resolved by the presenter
// (shownColour), so this reads every value as a painted pixel does (displayColour).
COLORREF toColorRef(Colour c) noexcept;

class MenuView final : public Window {
  public:
    explicit MenuView(frmVelora& presenter);
    ~MenuView() override;

    // Creates the window and every control, hidden. False when the platform refuses.
    bool create(HWND owner = nullptr);
    // The window's load: the presenter's Form_Load (icon texts, first build), then render().
    void load();
    // Carries the presenter's state into the controls. Never pumps messages.
    void render();
    // The worker that reads the presenter's pictures: the view takes its results as they come
    // and hands them to the presenter. Set before load(); it must outlive the view.
    void setPictureWorker(PictureWorker* worker) noexcept;
    // Takes whatever pictures the worker has finished; true when there were some.
    bool takePictures();
    // The window's DPI changed to `dpi` (WM_DPICHANGED): it moves to the suggested rectangle
    // at once and is built again at the new DPI once the message is done.
    void dpiChanged(UINT dpi, const RECT* suggested);
    // Builds the window again at the DPI last told (or the one of its monitor now) and
    // renders it; whether the DPI changed.
    bool followDpi();
    // Paints the hidden window and its controls once into memory, so that the first
    // showing costs what later ones do. Does nothing while the window is shown.
    void renderUnseen();

    // --- For the program's start and for tests ---------------------------------------------
    HWND listView(std::size_t k) const noexcept { return lists_.at(k); }
    HWND panelVLM() const noexcept { return pbVLM_.hwnd(); }
    HWND container(std::size_t k) const noexcept { return cont_.at(k)->hwnd(); }
    HWND panelMenu() const noexcept { return pbMenu_.hwnd(); }
    HWND panelEdit() const noexcept { return editItem_.hwnd(); }
    HIMAGELIST largeImages() const noexcept { return large_.get(); }
    HIMAGELIST smallImages() const noexcept { return small_.get(); }
    // The key of the entry a list-view item stands for (its lParam); empty if none.
    std::string entryKey(std::size_t k, LPARAM itemData) const;
    TwipsScale scale() const noexcept { return scale_; }
    // The one paint routine of the window itself (head bar and headline).
    void paintWindow(HDC dc, const RECT& area);

  protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    HFONT font(double points, bool bold);
    void placeChild(HWND child, const ControlState& c, HWND after = nullptr);
    void paintVLM(HDC dc, const RECT& area);
    void paintPanel(HDC dc, const RECT& area, const ControlState& panel, const Bitmap* picture,
                    const std::vector<const ControlState*>& labels);
    // `letter`: the byte of the caption drawn underlined (npos for none).
    void drawLabel(HDC dc, const ControlState& label, int originX, int originY,
                   std::size_t letter = std::string::npos);
    void renderImageLists();
    void renderList(std::size_t k);
    // Inserts entries from..end of list k's state, each at its place.
    void insertEntries(std::size_t k, std::size_t from);
    // Scrolls the list back to where LVM_GETORIGIN reported `wanted`.
    void restoreOrigin(HWND list, POINT wanted);
    // Has a list that just took its first entry lay out what it holds.
    static void settleLayout(HWND list);
    // Invalidates each window whose own painting would differ from what it shows.
    void invalidateChangedLooks(bool everything);
    void paintPlaceholder(std::size_t k, const NMLVCUSTOMDRAW& cd);
    LRESULT listNotify(std::size_t k, const NMHDR& hdr, bool& handled);

    frmVelora& presenter_;
    TwipsScale scale_;
    Panel pbVLM_;
    std::array<std::unique_ptr<Panel>, catalogue::kGroupCount> cont_;
    std::array<HWND, catalogue::kGroupCount> lists_{};
    Panel pbMenu_;
    Panel editItem_;
    UniqueImageList large_;
    UniqueImageList small_;
    std::map<std::pair<int, bool>, UniqueFont> fonts_;

    // What the controls show now, so a render changes only what changed.
    std::int32_t renderedBuild_ = -1;
    std::int32_t renderedBatches_ = -1;
    PictureWorker* worker_ = nullptr;
    UINT sourcesReadMessage_ = 0;
    UINT buildsMessage_ = 0;
    std::array<std::vector<ListEntry>, catalogue::kGroupCount> renderedEntries_;
    std::array<bool, catalogue::kGroupCount> renderedAttached_{};
    // The pictures the image lists hold, as the presenter gave them.
    // Only the images' digests: the pixels live in the presenter and in the image lists.
    struct ShownImages {
        std::int32_t width = 0;
        std::int32_t height = 0;
        std::vector<std::uint64_t> digests;
    };
    ShownImages shownLarge_;
    ShownImages shownSmall_;
    // This render made the image lists anew.
    bool imagesReplaced_ = false;
    // By image (0-based): this render gave it other pixels under the same number.
    std::vector<bool> changedImages_;
    struct ListLook {
        COLORREF back = CLR_NONE;
        COLORREF text = CLR_NONE;
        HFONT font = nullptr;
    };
    std::array<ListLook, catalogue::kGroupCount> renderedLook_{};
    // More entries than this added at once are inserted with the list's drawing held.
    static constexpr std::size_t kQuietInsertions = 32;
    // Entries one render inserts into the lists, all four together; more follow at a timer.
    static constexpr std::size_t kFillSlice = 150;
    std::size_t fillBudget_ = kFillSlice;
    bool fillPending_ = false; // a list holds fewer entries than the presenter's
    // Answers taken from the worker and not yet handed to the presenter, from backlogAt_ on.
    std::vector<PictureResult> backlog_;
    std::size_t backlogAt_ = 0;
    // Pictures an image list makes room for when it is full: a drop of a few files fits.
    static constexpr int kImageListGrowth = 64;

  public:
    // One picture's DIB section, kept between renders, one for each image list: the few
    // pictures of a batch go into the lists through them, as a new section waits on the
    // system's memory requests, which the picture worker's file loading holds up.
    struct OneImage {
        UniqueBitmap dib;
        std::uint32_t* bits = nullptr;
        int width = 0;
        int height = 0;
    };

  private:
    OneImage oneLarge_;
    OneImage oneSmall_;
    // Digests of what the window and its panels paint themselves, as last painted.
    struct Looks {
        std::uint64_t window = 0;
        std::uint64_t vlm = 0;
        std::array<std::uint64_t, catalogue::kGroupCount> cont{};
        std::uint64_t menu = 0;
        std::uint64_t edit = 0;
    };
    Looks renderedLooks_;
    bool looksKnown_ = false;
    std::int32_t renderedUnseen_ = -1; // the picture batches renderUnseen last saw
    // An unseen painting under way: the memory it paints into and the windows still to paint.
    struct Unseen {
        UniqueDC dc;
        UniqueBitmap surface;
        std::vector<std::pair<HWND, POINT>> windows;
        std::size_t next = 0;
        std::int32_t batches = -1;
    };
    Unseen unseen_;
    bool unseenPending() const noexcept;
    bool renderedVisible_ = false;
    UINT renderedDpi_ = 0;
    UINT pendingDpi_ = 0; // told by WM_DPICHANGED, until the window is built at it

    // --- Resizing and auto-hide ----------------------------------------------------------------
  public:
    // Called (from a posted close, never inside a mouse message) when a click on the bare
    // window asks for the window to be unloaded. The owner unloads: it runs Form_Unload and may
    // destroy this view from inside the call. Without an owner the view stores the offset
    // and hides.
    std::function<void()> onUnloadRequest;
    // Ticks of the auto-hide timer this window has had, and whether the timer is running.
    int mousePosCheckTicks() const noexcept { return mousePosCheckTicks_; }
    bool mousePosCheckRunning() const noexcept { return mousePosCheckRunning_; }
    // The headline in the window's client pixels.
    RECT headlineRect() const noexcept;

  private:
    LRESULT resizeMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // Starts or stops the real timer as the presenter has armed or disarmed the auto-hide.
    void syncMousePosCheck() noexcept;
    bool overLabel(POINT p) const noexcept;
    void unloadRequested();
    void hideNow();

    bool headlineDrag_ = false;
    bool mousePosCheckRunning_ = false;
    int mousePosCheckTicks_ = 0;

    // --- Clicks, the context panel, the item editor and drops ---------------------------------
  public:
    // The drop targets of list k and of the context panel (for tests that deliver a drop).
    IDropTarget* listDropTarget(std::size_t k) const noexcept { return listTargets_.at(k); }
    IDropTarget* menuDropTarget() const noexcept { return menuTarget_; }
    HWND editField(std::size_t k) const noexcept { return editFields_.at(k); }
    HWND okButton() const noexcept { return cmdOK_; }
    HWND abortButton() const noexcept { return cmdAbort_; }
    // Command label k of the context panel, in the panel's client pixels.
    RECT menuLabelRect(std::size_t k) const noexcept;

  private:
    bool createItemControls();
    void releaseItemControls() noexcept;
    void renderItems();
    LRESULT itemNotify(std::size_t k, const NMHDR& hdr, bool& handled);
    bool menuPanelMessage(UINT msg, LPARAM lParam, LRESULT& result);
    bool editPanelMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void listPressed(std::size_t k, UINT msg, WPARAM wParam, LPARAM lParam);
    void listDropped(std::size_t k, const std::vector<std::string>& paths);
    HBRUSH brush(COLORREF colour);
    static LRESULT CALLBACK listProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    void unhookList(HWND list) noexcept;
    // What the lists' procedure needs: each list's user data points at its entry.
    struct ListHook {
        MenuView* view = nullptr;
        std::size_t k = 0;
        WNDPROC original = nullptr;
    };
    std::array<ListHook, catalogue::kGroupCount> listHooks_{};

    Win32ShellExecutor shell_;
    bool oleInitialized_ = false;
    std::array<DropTarget*, catalogue::kGroupCount> listTargets_{};
    DropTarget* menuTarget_ = nullptr;
    std::array<DropRegistration, catalogue::kGroupCount> listDrops_;
    DropRegistration menuDrop_;
    std::array<HWND, 6> editFields_{};
    HWND cmdOK_ = nullptr;
    HWND cmdAbort_ = nullptr;
    std::map<COLORREF, UniqueBrush> brushes_;
    int pressedMenuLabel_ = -1;
    // Set while render() fills the controls: their notifications are our own echo.
    bool rendering_ = false;

    // --- Keys
    // -------------------------------------------------------------------------------------
  public:
    // Sees every key message of the thread before it is translated and dispatched, as a
    // dialog does: true when the menu took it. Only messages for the shown menu are taken.
    bool translateKey(const MSG& msg);
    // The menu was opened by the hotkey: it takes the keyboard.
    void takeKeyboard();

  private:
    bool activationMessage(WPARAM wParam, LPARAM lParam);
    void activationSettled();
    bool isOwnWindow(HWND w) const noexcept;
    // The control that has the keys gets the focus, its entry is scrolled into view, and
    // screen readers hear the query and the command.
    void showKeyFocus();
    void nameForReaders();
    std::int16_t editorControlOf(HWND w) const noexcept;
    wchar_t highSurrogate_ = 0;
    std::wstring namedHeadBar_;
    std::wstring namedCommand_;
};

} // namespace kesk::win
