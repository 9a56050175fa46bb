#pragma once
// picStartBtn: the program's own button that covers the system start button.
// It keeps its picture and repaints from it; with no picture it draws a plain
// button labelled "VLM". The window is made again when it was destroyed with a
// parent that went away (a taskbar that was closed takes its children along).

#include <windows.h>

#include <functional>

#include "platform/desktop.h"
#include "win32/handles.h"
#include "win32/window.h"

struct IDropTarget;

namespace kesk::win {

class StartButton final : public Window {
  public:
    std::function<void()> onClick;
    std::function<void()> onDblClick;
    std::function<void()> onDragOver;

    StartButton() = default;
    ~StartButton() override;

    // The button as a child of `home` (the hidden main window).
    bool create(HWND home);

    void moveToHome();
    // Into `parent` at `bounds` (parent pixels); nullptr: a top-most window of
    // its own at `bounds` in screen pixels.
    void moveInto(HWND parent, const RECT& bounds);
    void setVisible(bool visible);
    // In its own place (no taskbar) the button goes back above the menu window,
    // which stands on the same corner of the screen, so it can be clicked again.
    void stayAboveMenu();
    // Back on top of every window, its owner included, on the screen as well: a shell that
    // raised its own taskbar behind the window system's back leaves the screen's stacking
    // out of step with the window order, and asking for the top again restacks both.
    void raise();
    void setPicture(const Bitmap& picture);

    // The one paint routine (WM_PAINT and WM_PRINTCLIENT).
    void paint(HDC dc, const RECT& client);

  protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    bool ensureWindow();
    void registerDropTarget();
    void revokeDropTarget();

    HWND home_ = nullptr;
    Bitmap picture_;
    UniqueBitmap pictureBitmap_;
    bool pressed_ = false;
    // The release that ends a double click is no click of its own.
    bool swallowNextUp_ = false;
    DWORD lastPressTime_ = 0; // message time of the last press
    IDropTarget* dropTarget_ = nullptr;
    bool oleStarted_ = false;
};

// A top-down 32-bit DIB section holding `picture`; nullptr for an empty one.
HBITMAP bitmapFromPixels(const Bitmap& picture) noexcept;

} // namespace kesk::win
