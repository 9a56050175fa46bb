#pragma once
// Hears of changes another program makes in the program's folder and its skin folder.
// The window's thread waits on the system's change notifications together with its messages
// (wait()), so the watch holds no thread of its own; it gathers a burst of changes (an
// editor's save writes several times) into one call of `changed`, which answers when to look
// again unasked (0: no need). A folder that cannot be watched (a network drive, no watches
// left) is simply not watched.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "win32/window.h"

namespace kesk::win {

class FolderWatch final : public Window {
  public:
    using Changed = std::function<DWORD()>;

    // How long after the last change the call comes; within it, further changes join.
    static constexpr UINT kQuietMs = 120;
    // A burst that goes on longer (a program saving without pause) is still reported this
    // long after its first change, and so on, so that the menu keeps following it.
    static constexpr UINT kLongestWaitMs = 350;

    FolderWatch() = default;
    ~FolderWatch() override;

    // Starts watching `folders` (missing ones are skipped). False when nothing is watched.
    bool start(const std::vector<std::wstring>& folders, Changed changed);
    // Ends the watch.
    void stop() noexcept;
    // Waits up to `timeoutMs` until a message arrives for this thread or a watched folder
    // changes; a change is taken in (the call about it comes through the message queue). The
    // message loop's wait in place of GetMessage's.
    void wait(DWORD timeoutMs) noexcept;

  protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    // Tells `changed` (for the quiet time's timer or the look-again one) and sets the next look.
    void report(UINT_PTR timer);

    Changed changed_;
    // The first change not reported yet (GetTickCount64), while one waits.
    bool waiting_ = false;
    ULONGLONG firstChange_ = 0;
    std::vector<HANDLE> notifications_;
};

} // namespace kesk::win
