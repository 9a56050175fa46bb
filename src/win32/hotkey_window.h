#pragma once
// The global hotkey: registered for a message-only window of its own, so that the main
// window's messages stay as they are. A combination that is taken or unreadable is told
// through `refused` and the program runs on without one.

#include <windows.h>

#include <functional>
#include <string>

#include "win32/window.h"

namespace kesk::win {

class HotkeyWindow final : public Window {
  public:
    using Pressed = std::function<void()>;
    using Refused = std::function<void(const std::string& combination)>;

    HotkeyWindow(Pressed pressed, Refused refused)
        : pressed_(std::move(pressed)), refused_(std::move(refused)) {}
    ~HotkeyWindow() override;

    // Makes `combination` (as the catalogue writes it; empty for none) the hotkey. The same
    // text as last time changes nothing. True when that combination is now registered.
    bool apply(const std::string& combination);

  protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void release() noexcept;

    Pressed pressed_;
    Refused refused_;
    std::string applied_;
    bool appliedOnce_ = false;
    bool registered_ = false;
};

} // namespace kesk::win
