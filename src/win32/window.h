#pragma once
// The one window-class wrapper. A C++ object owns its window; the window procedure finds the
// object through GWLP_USERDATA, which is set at WM_NCCREATE and cleared at WM_NCDESTROY, so
// no message reaches an object that is gone. Every message handler runs behind guardEvent:
// a failure inside a handler falls back to the default processing and never ends the program.

#include <windows.h>

namespace kesk::win {

class Window {
  public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND hwnd() const noexcept { return hwnd_; }

    // Registers `className` once per process with this wrapper's procedure.
    static bool registerClass(const wchar_t* className, UINT style = CS_HREDRAW | CS_VREDRAW,
                              HBRUSH background = nullptr, HICON icon = nullptr) noexcept;

  protected:
    // Creates the window with this object attached. Returns nullptr on failure.
    HWND create(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x,
                int y, int width, int height, HWND parent, HMENU menuOrId = nullptr) noexcept;

    // Destroys the window now (the object stays); messages sent meanwhile still arrive.
    void destroy() noexcept;

    // Handles one message. May throw: the caller turns a failure into default processing.
    virtual LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;

    LRESULT defaultProc(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
        return DefWindowProcW(hwnd_, msg, wParam, lParam);
    }

  private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    HWND hwnd_ = nullptr;
};

} // namespace kesk::win
