#pragma once
// Hears of changes another program makes in the program's folder and its skin folder.
// A thread waits on the system's change notifications and only posts; the window's
// thread gathers a burst of changes (an editor's save writes several times) into one
// call of `changed`, which answers when to look again unasked (0: no need). A folder that
// cannot be watched (a network drive, no watches left) is simply not watched.

#include <windows.h>

#include <functional>
#include <string>
#include <thread>
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
    // Ends the watch; the thread is gone when it returns.
    void stop() noexcept;

  protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void waitForChanges() noexcept;
    // Tells `changed` (for the quiet time's timer or the look-again one) and sets the next look.
    void report(UINT_PTR timer);

    Changed changed_;
    // The first change not reported yet (GetTickCount64), while one waits.
    bool waiting_ = false;
    ULONGLONG firstChange_ = 0;
    std::vector<HANDLE> notifications_;
    HANDLE stopEvent_ = nullptr;
    std::thread thread_;
};

} // namespace kesk::win
