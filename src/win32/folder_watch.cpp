#include "win32/folder_watch.h"

#include <algorithm>
#include <utility>

namespace kesk::win {

namespace {

constexpr wchar_t kWatchClass[] = L"KeskVLMFolderWatch";
constexpr UINT kChangedMessage = WM_APP + 1;
constexpr UINT_PTR kQuietTimer = 1;
constexpr UINT_PTR kRecheckTimer = 2;
constexpr DWORD kNotifyFilter =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE;

} // namespace

FolderWatch::~FolderWatch() {
    stop();
}

bool FolderWatch::start(const std::vector<std::wstring>& folders, Changed changed) {
    stop();
    changed_ = std::move(changed);
    if (!registerClass(kWatchClass, 0) ||
        create(0, kWatchClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE) == nullptr) {
        return false;
    }
    for (const std::wstring& folder : folders) {
        const HANDLE h = FindFirstChangeNotificationW(folder.c_str(), FALSE, kNotifyFilter);
        if (h != INVALID_HANDLE_VALUE) {
            notifications_.push_back(h);
        }
    }
    if (notifications_.empty()) {
        stop();
        return false;
    }
    return true;
}

void FolderWatch::stop() noexcept {
    for (HANDLE h : notifications_) {
        FindCloseChangeNotification(h);
    }
    notifications_.clear();
    destroy();
}

void FolderWatch::wait(DWORD timeoutMs) noexcept {
    const auto count = static_cast<DWORD>(notifications_.size());
    const DWORD got = MsgWaitForMultipleObjectsEx(count, notifications_.data(), timeoutMs,
                                                  QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (got == WAIT_FAILED) {
        // A wait that fails would fail again at once: the folders go unwatched rather than
        // the thread spinning.
        stop();
        return;
    }
    if (got >= WAIT_OBJECT_0 + count) {
        return; // a message, or the time is up
    }
    const std::size_t i = got - WAIT_OBJECT_0;
    PostMessageW(hwnd(), kChangedMessage, 0, 0);
    if (FindNextChangeNotification(notifications_[i]) == FALSE) {
        // Signalled for good: that folder is no longer watched.
        FindCloseChangeNotification(notifications_[i]);
        notifications_.erase(notifications_.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void FolderWatch::report(UINT_PTR timer) {
    if (timer == kQuietTimer) {
        waiting_ = false;
    }
    const DWORD again = changed_ ? changed_() : 0;
    if (again > 0) {
        SetTimer(hwnd(), kRecheckTimer, again, nullptr);
    }
}

LRESULT FolderWatch::onMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case kChangedMessage: {
        // Each change restarts the quiet time, so a burst gives one call, but never beyond the
        // longest wait since the burst's first change.
        const ULONGLONG now = GetTickCount64();
        if (!waiting_) {
            waiting_ = true;
            firstChange_ = now;
        }
        const ULONGLONG due = std::min(now + kQuietMs, firstChange_ + kLongestWaitMs);
        if (due <= now) {
            // A timer comes only when no posted message waits, and a program that saves
            // without pause keeps this queue full: past the longest wait, report at once.
            KillTimer(hwnd(), kQuietTimer);
            report(kQuietTimer);
            return 0;
        }
        SetTimer(hwnd(), kQuietTimer, static_cast<UINT>(due - now), nullptr);
        return 0;
    }
    case WM_TIMER:
        if (wParam == kQuietTimer || wParam == kRecheckTimer) {
            KillTimer(hwnd(), wParam);
            report(wParam);
            return 0;
        }
        return defaultProc(msg, wParam, lParam);
    default:
        return defaultProc(msg, wParam, lParam);
    }
}

} // namespace kesk::win
