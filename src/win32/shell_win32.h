#pragma once
// The platform shell behind shellOpenFile: ShellExecuteW.

#include <windows.h>

#include <cstdint>
#include <map>

#include "support/mdShellEx.h"

namespace kesk::win {

class Win32ShellExecutor final : public ShellExecutor {
  public:
    // A success value: the request went to a thread of its own.
    static constexpr std::intptr_t kHandedOn = 42;

    // Texts are converted to UTF-16 here; an empty operation, parameter or
    // directory text is handed on as "none". Returns ShellExecuteW's result; a request with
    // the verb "runas" is carried out on a thread of its own and gives kHandedOn at once.
    std::intptr_t execute(OwnerHandle owner, const std::string& operation, const std::string& file,
                          const std::string& parameters, const std::string& directory,
                          std::int32_t showCommand) override;

    // Where executeThen's answers go: posted to `window` as `message` (wParam the request,
    // lParam the result), and handed to answer() there. Without a window, executeThen answers
    // at once.
    void notify(HWND window, UINT message) noexcept {
        window_ = window;
        message_ = message;
    }
    // The request is carried out on a thread of its own; its answer comes through the window.
    void executeThen(OwnerHandle owner, const std::string& operation, const std::string& file,
                     const std::string& parameters, const std::string& directory,
                     std::int32_t showCommand, Done done) override;
    // On the window's thread, for the message: tells request `id` its result.
    void answer(WPARAM id, LPARAM result);

  private:
    HWND window_ = nullptr;
    UINT message_ = 0;
    WPARAM next_ = 0;
    std::map<WPARAM, Done> waiting_;
};

} // namespace kesk::win
