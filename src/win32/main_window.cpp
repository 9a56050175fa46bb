#include "win32/main_window.h"

#include <utility>
#include <vector>

#include "win32/about_window.h"
#include "win32/desktop_win32.h"
#include "win32/handles.h"
#include "win32/messages.h"
#include "win32/tray_icon.h"
#include "win32/wtext.h"

namespace kesk::win {

namespace {

HWND toHwnd(WindowId id) noexcept {
    return reinterpret_cast<HWND>(id);
}
WindowId toId(HWND hwnd) noexcept {
    return reinterpret_cast<WindowId>(hwnd);
}

// How long a call into the shell's windows may take before it counts as hung.
constexpr UINT kShellTimeoutMs = 2000;

// Some shells (Wine's among them) announce a new window but not its showing: after such an
// announcement, and at the start of a watch, the taskbar is looked for a few more times.
constexpr UINT_PTR kSettleTimer = 1;
constexpr UINT kSettleIntervalMs = 250;
constexpr int kSettleTicks = 20;

bool isTaskbarClass(HWND hwnd) noexcept {
    wchar_t cls[32] = {};
    const int n = hwnd != nullptr ? GetClassNameW(hwnd, cls, 32) : 0;
    return n > 0 && CompareStringOrdinal(cls, n, L"Shell_TrayWnd", -1, TRUE) == CSTR_EQUAL;
}

// An out-of-context event carries nothing of ours; it arrives on the thread that set the
// hook, whose main window is the one watching.
thread_local HWND tTaskbarWatcher = nullptr;

void CALLBACK onWindowEvent(HWINEVENTHOOK, DWORD, HWND hwnd, LONG idObject, LONG idChild, DWORD,
                            DWORD) noexcept {
    if (idObject != OBJID_WINDOW || idChild != CHILDID_SELF || tTaskbarWatcher == nullptr) {
        return;
    }
    if (isTaskbarClass(hwnd) || isTaskbarClass(GetAncestor(hwnd, GA_PARENT))) {
        PostMessageW(tTaskbarWatcher, msg::kTaskbarEvent, 0, 0);
    }
}

// The taskbar whose moves are watched, and whether a report of them is on its way: a bar
// that slides sends a move for every step, and one report covers them all.
thread_local HWND tMoveWatcher = nullptr;
thread_local HWND tWatchedTaskbar = nullptr;
thread_local bool tMoveReported = false;

void CALLBACK onTaskbarMove(HWINEVENTHOOK, DWORD, HWND hwnd, LONG idObject, LONG idChild, DWORD,
                            DWORD) noexcept {
    if (idObject != OBJID_WINDOW || idChild != CHILDID_SELF || hwnd != tWatchedTaskbar ||
        tMoveWatcher == nullptr || tMoveReported) {
        return;
    }
    tMoveReported = PostMessageW(tMoveWatcher, msg::kTaskbarMoved, 0, 0) != FALSE;
}

// The release reached the shell's start button and came back handled.
void CALLBACK onStartButtonClicked(HWND, UINT, ULONG_PTR mainWindow, LRESULT) noexcept {
    PostMessageW(reinterpret_cast<HWND>(mainWindow), msg::kStartMenuClosed, 0, 0);
}

struct TaskbarList {
    std::vector<WindowId> found;
};

BOOL CALLBACK collectTaskbar(HWND hwnd, LPARAM lp) noexcept {
    if (isTaskbarClass(hwnd) && GetWindowTextLengthW(hwnd) == 0) {
        try {
            reinterpret_cast<TaskbarList*>(lp)->found.push_back(toId(hwnd));
        } catch (...) {
            return FALSE;
        }
    }
    return TRUE;
}

} // namespace

MainWindow::MainWindow(Desktop& desktop, MenuWindowPort& menu, std::function<void()> updateCompDate)
    : presenter_(desktop, *this, menu, std::move(updateCompDate)) {
    button_.onClick = [this] {
        presenter_.picStartBtn_Click();
        button_.stayAboveMenu();
    };
    button_.onDblClick = [this] { presenter_.picStartBtn_DblClick(); };
    button_.onDragOver = [this] {
        presenter_.picStartBtn_OLEDragOver();
        button_.stayAboveMenu();
    };
}

MainWindow::~MainWindow() {
    stopWatching();
    watchTaskbarMoves(0);
    // An object that goes without the shut-down (tests) must not leave its icon behind.
    if (!presenter_.state().shuttingDown) {
        win::removeTrayIcon(presenter_.state().trayIconData);
    }
}

bool MainWindow::create(HICON programIcon) {
    icon_ = programIcon != nullptr ? programIcon : LoadIconW(nullptr, IDI_APPLICATION);
    if (!registerClass(kMainWindowClass, 0, nullptr, icon_)) {
        return false;
    }
    // Hidden for the whole run; a tool window never shows in the task list.
    if (Window::create(WS_EX_TOOLWINDOW, kMainWindowClass, L"KeskVLM", WS_POPUP, 0, 0, 320, 200,
                       nullptr) == nullptr) {
        return false;
    }
    taskbarCreatedMessage(); // registered before the shell can broadcast it
    return button_.create(hwnd());
}

void MainWindow::load() {
    presenter_.Form_Load();
}

void MainWindow::later(std::function<void()> step) {
    steps_.push_back(std::move(step));
    // A posted message comes before any input that arrives after it. Without one (a queue
    // that is full), the steps run now rather than never.
    if (hwnd() == nullptr || PostMessageW(hwnd(), msg::kStep, 0, 0) == FALSE) {
        while (!steps_.empty()) {
            runStep();
        }
    }
}

void MainWindow::runStep() {
    if (steps_.empty()) {
        return;
    }
    std::function<void()> step = std::move(steps_.front());
    steps_.pop_front();
    guardEvent(step);
}

LRESULT MainWindow::onMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == msg::kTrayNotify) {
        presenter_.pic1_MouseMove(trayMouseOf(lParam));
        return 0;
    }
    if (msg == taskbarCreatedMessage() && msg != 0) {
        presenter_.taskbarCreated();
        return 0;
    }
    switch (msg) {
    case msg::kStep:
        runStep();
        return 0;
    case msg::kStartMenuClosed:
        presenter_.systemStartMenuClosed();
        return 0;
    case msg::kTaskbarEvent:
        if (createHook_ != nullptr || showHook_ != nullptr) {
            settleTaskbar();
            presenter_.taskbarAppeared();
        }
        return 0;
    case msg::kTaskbarMoved:
        tMoveReported = false;
        if (moveHook_ != nullptr) {
            presenter_.taskbarMoved();
        }
        return 0;
    case WM_DISPLAYCHANGE:
        presenter_.taskbarChanged();
        return defaultProc(msg, wParam, lParam);
    case WM_SETTINGCHANGE:
        // The taskbar's own settings, or the work area a taskbar that moved leaves.
        if (wParam == SPI_SETWORKAREA ||
            (lParam != 0 && CompareStringOrdinal(reinterpret_cast<const wchar_t*>(lParam), -1,
                                                 L"TraySettings", -1, TRUE) == CSTR_EQUAL)) {
            presenter_.workAreaChanged();
        }
        return defaultProc(msg, wParam, lParam);
    case WM_TIMER:
        if (wParam == kSettleTimer) {
            onSettleTick();
            return 0;
        }
        return defaultProc(msg, wParam, lParam);
    case WM_DESTROY:
        stopWatching();
        watchTaskbarMoves(0);
        return 0;
    case WM_CLOSE:
        presenter_.Form_QueryUnload();
        return 0;
    case WM_QUERYENDSESSION:
        // Never holds up a log-off; the shut-down runs once it is certain.
        return TRUE;
    case WM_ENDSESSION:
        if (wParam != FALSE) {
            presenter_.Form_QueryUnload();
        }
        return 0;
    default:
        return defaultProc(msg, wParam, lParam);
    }
}

// --- The main window ------------------------------------------------------------------------

void MainWindow::hideMainWindow() {
    if (hwnd() != nullptr) {
        ShowWindow(hwnd(), SW_HIDE);
    }
}

void MainWindow::hideFromTaskList() {
    if (hwnd() == nullptr) {
        return;
    }
    const LONG_PTR ex = GetWindowLongPtrW(hwnd(), GWL_EXSTYLE);
    SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, (ex | WS_EX_TOOLWINDOW) & ~LONG_PTR{WS_EX_APPWINDOW});
}

void MainWindow::unloadMainWindow() {
    destroy();
}

void MainWindow::terminateProcess() {
    if (terminate) {
        terminate();
        return;
    }
    ExitProcess(0);
}

void MainWindow::criticalMessage(const std::string& text, const std::string& title) {
    if (showMessage) {
        showMessage(text, title);
        return;
    }
    MessageBoxW(nullptr, widen(text).c_str(), widen(title).c_str(),
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

// --- The notification area --------------------------------------------------------------------

WindowId MainWindow::notificationWindow() {
    return toId(hwnd());
}
std::uint32_t MainWindow::notificationMessage() {
    return msg::kTrayNotify;
}
std::uintptr_t MainWindow::programIcon() {
    return reinterpret_cast<std::uintptr_t>(icon_);
}
bool MainWindow::addTrayIcon(const TrayIconData& data) {
    return win::addTrayIcon(data);
}
bool MainWindow::removeTrayIcon(const TrayIconData& data) {
    return win::removeTrayIcon(data);
}
bool MainWindow::showBalloon(const TrayIconData& icon, const std::string& title,
                             const std::string& text) {
    if (showBalloonForTests) {
        return showBalloonForTests(title, text);
    }
    return win::showTrayBalloon(icon, title, text);
}

TrayCommand MainWindow::popupTrayMenu(const std::vector<TrayMenuEntry>& entries) {
    UniqueMenu menu(CreatePopupMenu());
    if (!menu) {
        return TrayCommand::None;
    }
    std::vector<TrayCommand> commands{TrayCommand::None};
    for (const TrayMenuEntry& e : entries) {
        if (e.separator) {
            AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
            continue;
        }
        commands.push_back(e.command);
        AppendMenuW(menu.get(), MF_STRING | (e.checked ? MF_CHECKED : MF_UNCHECKED),
                    commands.size() - 1, widen(e.caption).c_str());
    }
    POINT at{};
    GetCursorPos(&at);
    // Without the foreground the menu would not close on a click elsewhere.
    SetForegroundWindow(hwnd());
    const BOOL chosen = TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                       at.x, at.y, 0, hwnd(), nullptr);
    PostMessageW(hwnd(), WM_NULL, 0, 0);
    const auto index = static_cast<std::size_t>(chosen);
    return index < commands.size() ? commands[index] : TrayCommand::None;
}

void MainWindow::showAboutModal(frmSplash& splash) {
    AboutWindow::showModal(splash, hwnd(), icon_);
}

// --- The taskbar -------------------------------------------------------------------------------

ShellReport MainWindow::shellReport() {
    return reportShell();
}

std::vector<WindowId> MainWindow::taskbarWindows() {
    TaskbarList list;
    EnumWindows(collectTaskbar, reinterpret_cast<LPARAM>(&list));
    return list.found;
}

WindowId MainWindow::firstChild(WindowId window) {
    return window == 0 ? 0 : toId(GetWindow(toHwnd(window), GW_CHILD));
}

bool MainWindow::windowRect(WindowId window, Rect& out) {
    RECT r{};
    if (window == 0 || GetWindowRect(toHwnd(window), &r) == FALSE) {
        return false;
    }
    out = Rect{r.left, r.top, r.right, r.bottom};
    return true;
}

bool MainWindow::isWindowVisible(WindowId window) {
    return window != 0 && IsWindowVisible(toHwnd(window)) != FALSE;
}

void MainWindow::setWindowText(WindowId window, const std::string& text) {
    if (window == 0) {
        return;
    }
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(toHwnd(window), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(widen(text).c_str()),
                        SMTO_NORMAL | SMTO_ABORTIFHUNG, kShellTimeoutMs, &ignored);
}

void MainWindow::clickWindow(WindowId window) {
    if (window == 0) {
        return;
    }
    // A whole click: a start button that opens its menu on the release (a plain push button,
    // as on Wine) would otherwise hold the mouse after a lone press and take the user's next
    // click. Sent, not posted, so the press comes first; neither call waits. The release
    // returns only once the start menu it opened has closed again, which is when the shell
    // is done raising its taskbar over the button.
    SendMessageCallbackW(toHwnd(window), WM_LBUTTONDOWN, MK_LBUTTON, 0, nullptr, 0);
    SendMessageCallbackW(toHwnd(window), WM_LBUTTONUP, 0, 0, onStartButtonClicked,
                         reinterpret_cast<ULONG_PTR>(hwnd()));
}

void MainWindow::paintUncovered(WindowId window) {
    HWND h = toHwnd(window);
    if (h == nullptr) {
        return;
    }
    RedrawWindow(h, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // The start button belongs to the shell's thread, which paints when it gets
    // to it. Its queue hands out sent messages before it paints, so the second
    // of two round trips returns only after the paint. Our own posted events
    // do not run meanwhile.
    for (int i = 0; i < 2; ++i) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kShellTimeoutMs,
                            &ignored);
    }
    GdiFlush();
}

// --- The taskbar button --------------------------------------------------------------------------

void MainWindow::moveButtonToMain() {
    button_.moveToHome();
}

void MainWindow::moveButtonInto(WindowId parent, const Rect& bounds) {
    button_.moveInto(toHwnd(parent), RECT{bounds.left, bounds.top, bounds.right, bounds.bottom});
}

void MainWindow::showButton(bool visible) {
    button_.setVisible(visible);
}

void MainWindow::setButtonPicture(const Bitmap& picture) {
    button_.setPicture(picture);
}

void MainWindow::raiseButton() {
    button_.raise();
}

// --- A taskbar that shows up later -----------------------------------------------------------

void MainWindow::watchForTaskbar(bool on) {
    if (!on) {
        stopWatching();
        return;
    }
    if (hwnd() == nullptr || createHook_ != nullptr) {
        return;
    }
    tTaskbarWatcher = hwnd();
    // Two hooks rather than one range: the destruction events between them are of no use.
    const DWORD flags = WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS;
    createHook_ = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr, onWindowEvent,
                                  0, 0, flags);
    showHook_ =
        SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_SHOW, nullptr, onWindowEvent, 0, 0, flags);
    // A taskbar created before the watch began may show itself without any event at all.
    settleTaskbar();
}

void MainWindow::watchTaskbarMoves(WindowId taskbar) {
    if (moveHook_ != nullptr) {
        UnhookWinEvent(moveHook_);
        moveHook_ = nullptr;
    }
    tWatchedTaskbar = nullptr;
    tMoveReported = false;
    if (tMoveWatcher == hwnd()) {
        tMoveWatcher = nullptr;
    }
    HWND bar = toHwnd(taskbar);
    if (bar == nullptr || hwnd() == nullptr) {
        return;
    }
    DWORD process = 0;
    const DWORD thread = GetWindowThreadProcessId(bar, &process);
    if (thread == 0) {
        return;
    }
    tMoveWatcher = hwnd();
    tWatchedTaskbar = bar;
    // Only the shell's own process: the moves of other programs' windows never wake this one.
    // (Some window systems do not tell a single thread's events apart.)
    moveHook_ = SetWinEventHook(EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_LOCATIONCHANGE, nullptr,
                                onTaskbarMove, process, 0, WINEVENT_OUTOFCONTEXT);
}

void MainWindow::settleTaskbar() {
    settleTicksLeft_ = kSettleTicks;
    if (hwnd() != nullptr) {
        SetTimer(hwnd(), kSettleTimer, kSettleIntervalMs, nullptr);
    }
}

void MainWindow::onSettleTick() {
    if (--settleTicksLeft_ <= 0) {
        KillTimer(hwnd(), kSettleTimer);
    }
    presenter_.taskbarAppeared();
}

void MainWindow::stopWatching() noexcept {
    for (HWINEVENTHOOK* hook : {&createHook_, &showHook_}) {
        if (*hook != nullptr) {
            UnhookWinEvent(*hook);
            *hook = nullptr;
        }
    }
    if (hwnd() != nullptr) {
        KillTimer(hwnd(), kSettleTimer);
    }
    settleTicksLeft_ = 0;
    if (tTaskbarWatcher == hwnd()) {
        tTaskbarWatcher = nullptr;
    }
}

} // namespace kesk::win
