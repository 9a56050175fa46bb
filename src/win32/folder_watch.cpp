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
    stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (notifications_.empty() || stopEvent_ == nullptr) {
        stop();
        return false;
    }
    try {
        thread_ = std::thread([this] { waitForChanges(); });
    } catch (...) {
        stop();
        return false;
    }
    return true;
}

void FolderWatch::stop() noexcept {
    if (stopEvent_ != nullptr) {
        SetEvent(stopEvent_);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    for (HANDLE h : notifications_) {
        FindCloseChangeNotification(h);
    }
    notifications_.clear();
    if (stopEvent_ != nullptr) {
        CloseHandle(stopEvent_);
        stopEvent_ = nullptr;
    }
    destroy();
}

void FolderWatch::waitForChanges() noexcept {
    std::vector<HANDLE> waitOn{stopEvent_};
    waitOn.insert(waitOn.end(), notifications_.begin(), notifications_.end());
    const HWND target = hwnd();
    for (;;) {
        const DWORD got = WaitForMultipleObjects(static_cast<DWORD>(waitOn.size()), waitOn.data(),
                                                 FALSE, INFINITE);
        if (got <= WAIT_OBJECT_0 || got >= WAIT_OBJECT_0 + waitOn.size()) {
            return; // asked to stop, or the wait itself failed
        }
        PostMessageW(target, kChangedMessage, 0, 0);
        if (FindNextChangeNotification(waitOn[got - WAIT_OBJECT_0]) == FALSE) {
            return;
        }
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
