// The hidden main window on a virtual desktop with a real taskbar: the button
// in the taskbar, the tray icon and its menu, the about box, the shut-down.
#include "win32/main_window.h"

#include "support/appinfo.h"
#include "tray/mdGraphics.h"
#include "win32/about_window.h"
#include "win32/desktop_win32.h"
#include "win32/handles.h"
#include "win32/messages.h"
#include "win32/tray_icon.h"
#include "win32/wtext.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kesk::test {
namespace {

class RecordingMenu : public MenuWindowPort {
  public:
    bool loaded = false;
    bool visible = false;
    int shows = 0;
    int hides = 0;
    int unloads = 0;
    int builds = 0;
    bool isVisible() override { return loaded && visible; }
    void show() override {
        ++shows;
        loaded = true;
        visible = true;
    }
    void hide() override {
        ++hides;
        visible = false;
    }
    void unload() override {
        ++unloads;
        loaded = false;
        visible = false;
    }
    void construct() override {
        ++builds;
        loaded = true;
    }
};

void pump(DWORD ms) {
    const DWORD until = GetTickCount() + ms;
    MSG m;
    do {
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        Sleep(5);
    } while (static_cast<LONG>(until - GetTickCount()) > 0);
}

// Runs `f` once from a thread timer, that is from inside whatever modal loop
// (a popup menu, the about box, a message box) is running by then.
std::function<void()>* pendingTimerWork = nullptr;
void CALLBACK runTimerWork(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (pendingTimerWork != nullptr) {
        auto work = std::move(*pendingTimerWork);
        delete pendingTimerWork;
        pendingTimerWork = nullptr;
        work();
    }
}
void later(DWORD ms, std::function<void()> f) {
    delete pendingTimerWork;
    pendingTimerWork = new std::function<void()>(std::move(f));
    SetTimer(nullptr, 0, ms, runTimerWork);
}

struct FoundWindow {
    const wchar_t* cls;
    HWND hwnd;
};
BOOL CALLBACK findClass(HWND hwnd, LPARAM lp) {
    auto* f = reinterpret_cast<FoundWindow*>(lp);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (std::wstring(cls) == f->cls && IsWindowVisible(hwnd) != FALSE) {
        f->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}
HWND threadWindow(const wchar_t* cls) {
    FoundWindow f{cls, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), findClass, reinterpret_cast<LPARAM>(&f));
    return f.hwnd;
}

// Message boxes differ in the control id of their icon; its style names it.
BOOL CALLBACK findIconStatic(HWND hwnd, LPARAM lp) {
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (lstrcmpiW(cls, L"Static") == 0 &&
        (GetWindowLongPtrW(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        SendMessageW(hwnd, STM_GETICON, 0, 0) != 0) {
        *reinterpret_cast<bool*>(lp) = true;
        return FALSE;
    }
    return TRUE;
}
bool hasIconControl(HWND box) {
    bool found = false;
    EnumChildWindows(box, findIconStatic, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::wstring textOf(HWND h) {
    wchar_t buf[256] = {};
    GetWindowTextW(h, buf, 256);
    return buf;
}

COLORREF screenPixel(int x, int y) {
    HDC dc = GetDC(nullptr);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(nullptr, dc);
    return c;
}

// Whether the shell still knows the icon: modifying an absent icon fails.
bool trayIconPresent(const TrayIconData& data) {
    NOTIFYICONDATAW nid = win::toNotifyIconData(data);
    return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

TEST(TrayNotifications, EachMouseMessageIsTold) {
    struct Row {
        const char* rule;
        LPARAM notification;
        TrayMouse told;
    };
    const Row rows[] = {
        {"move", WM_MOUSEMOVE, TrayMouse::Move},
        {"left down", WM_LBUTTONDOWN, TrayMouse::LeftDown},
        {"left up", WM_LBUTTONUP, TrayMouse::LeftUp},
        {"left double click", WM_LBUTTONDBLCLK, TrayMouse::LeftDoubleClick},
        {"right down", WM_RBUTTONDOWN, TrayMouse::RightDown},
        {"right up", WM_RBUTTONUP, TrayMouse::RightUp},
        {"right double click", WM_RBUTTONDBLCLK, TrayMouse::RightDoubleClick},
        {"middle up", WM_MBUTTONUP, TrayMouse::Other},
        {"the icon's identifier in the high word", MAKELPARAM(WM_RBUTTONUP, 1), TrayMouse::RightUp},
        {"a twips value is no message", WM_RBUTTONUP * 15, TrayMouse::Other},
        {"nothing", 0, TrayMouse::Other},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(win::trayMouseOf(r.notification), r.told) << r.rule;
    }
}

TEST(TrayNotifications, TheRecordCarriesTheFlagsOfItsParts) {
    struct Row {
        const char* rule;
        TrayIconParts parts;
        UINT flags;
    };
    const Row rows[] = {
        {"none", {}, 0},
        {"message", {true, false, false}, NIF_MESSAGE},
        {"icon", {false, true, false}, NIF_ICON},
        {"tip", {false, false, true}, NIF_TIP},
        {"all three, as the program fills it",
         {true, true, true},
         NIF_MESSAGE | NIF_ICON | NIF_TIP},
    };
    for (const Row& r : rows) {
        TrayIconData d;
        d.uFlags = r.parts;
        EXPECT_EQ(win::toNotifyIconData(d).uFlags, r.flags) << r.rule;
    }
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        main = std::make_unique<win::MainWindow>(desktop, menu, [this] { ++stamps; });
        main->terminate = [this] { ++terminations; };
        main->showMessage = [this](const std::string& text, const std::string& title) {
            messages.push_back(title + ": " + text);
        };
        ASSERT_TRUE(main->create(LoadIconW(nullptr, IDI_APPLICATION)));
        taskbar = FindWindowW(L"Shell_TrayWnd", L"");
        startButton = taskbar != nullptr ? GetWindow(taskbar, GW_CHILD) : nullptr;
    }
    void TearDown() override {
        main.reset();
        app::overrideForTests("", "");
    }
    // The start-up as the program runs it: Form_Load, then its steps on later turns.
    void load() {
        main->load();
        finishStartUp();
    }
    void finishStartUp() {
        for (int turns = 0; main->startingUp() && turns < 100; ++turns) {
            pump(10);
        }
        ASSERT_FALSE(main->startingUp());
    }
    bool haveTaskbar() const {
        return taskbar != nullptr && startButton != nullptr && IsWindowVisible(taskbar) != FALSE;
    }
    void click(HWND h, UINT down, UINT up) {
        SendMessageW(h, down, MK_LBUTTON, MAKELPARAM(4, 4));
        SendMessageW(h, up, 0, MAKELPARAM(4, 4));
    }

    win::Win32Desktop desktop;
    RecordingMenu menu;
    std::unique_ptr<win::MainWindow> main;
    int stamps = 0;
    int terminations = 0;
    std::vector<std::string> messages;
    HWND taskbar = nullptr;
    HWND startButton = nullptr;
};

TEST_F(MainWindowTest, StartUpPutsTheButtonOverTheStartButtonAndAnIconInTheTray) {
    if (!haveTaskbar()) {
        GTEST_SKIP() << "no taskbar on this desktop";
    }
    main->load();
    // The window's thread is back before the tray icon, the button and the menu's build.
    EXPECT_TRUE(main->startingUp());
    EXPECT_EQ(menu.builds, 0);
    EXPECT_FALSE(trayIconPresent(main->presenter().state().trayIconData));
    finishStartUp();
    EXPECT_EQ(stamps, 1);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(menu.builds, 1);
    HWND button = main->buttonWindow();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(GetParent(button), taskbar);
    EXPECT_TRUE(IsWindowVisible(button));
    RECT b{}, s{};
    GetWindowRect(button, &b);
    GetWindowRect(startButton, &s);
    EXPECT_TRUE(EqualRect(&b, &s)) << b.left << "," << b.top << "," << b.right << "," << b.bottom;
    EXPECT_EQ(textOf(startButton), L"start");
    EXPECT_FALSE(IsWindowVisible(main->hwnd()));
    EXPECT_NE(GetWindowLongPtrW(main->hwnd(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    EXPECT_TRUE(trayIconPresent(main->presenter().state().trayIconData));

    // What the screen shows over the start button is the picture, and the
    // picture is the uncovered start button with red and green exchanged.
    const Bitmap& picture = main->presenter().state().picStartBtn.picture;
    ASSERT_EQ(picture.width, s.right - s.left);
    ASSERT_EQ(picture.height, s.bottom - s.top);
    auto screenArea = [&] {
        pump(150);
        std::vector<Colour> out;
        for (int y = 0; y < picture.height; ++y) {
            for (int x = 0; x < picture.width; ++x) {
                out.push_back(static_cast<Colour>(screenPixel(s.left + x, s.top + y)));
            }
        }
        return out;
    };
    std::vector<Colour> shown;
    // The button paints in its own time on a busy machine.
    for (int tries = 0; tries < 20; ++tries) {
        shown = screenArea();
        bool all = true;
        for (int y = 0; y < picture.height && all; ++y) {
            for (int x = 0; x < picture.width && all; ++x) {
                all = shown[static_cast<std::size_t>(y * picture.width + x)] ==
                      toColour(picture.at(x, y));
            }
        }
        if (all) {
            break;
        }
    }
    ShowWindow(button, SW_HIDE);
    const std::vector<Colour> system = screenArea();
    ShowWindow(button, SW_SHOWNA);
    int mismatches = 0;
    int exchanged = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const auto i = static_cast<std::size_t>(y * picture.width + x);
            const Colour want = toColour(picture.at(x, y));
            mismatches += shown[i] != want;
            // The start button under the caption "start" may differ from the copy
            // taken under "VLM" only where the caption is drawn.
            exchanged += exchangeRedGreen(system[i]) == want;
        }
    }
    EXPECT_EQ(mismatches, 0) << "the button shows its picture";
    EXPECT_GT(exchanged, picture.width * picture.height * 3 / 4);
}

TEST_F(MainWindowTest, ClicksOnTheButtonToggleTheMenuAndADoubleClickHidesIt) {
    load();
    HWND button = main->buttonWindow();
    click(button, WM_LBUTTONDOWN, WM_LBUTTONUP);
    EXPECT_TRUE(menu.visible);
    click(button, WM_LBUTTONDOWN, WM_LBUTTONUP);
    EXPECT_FALSE(menu.visible);
    for (int i = 0; i < 1000; ++i) {
        click(button, WM_LBUTTONDOWN, WM_LBUTTONUP);
    }
    EXPECT_FALSE(menu.visible);
    EXPECT_EQ(menu.shows, 501);

    // A double click as the system delivers it: down, up, double click, up.
    click(button, WM_LBUTTONDOWN, WM_LBUTTONUP);
    click(button, WM_LBUTTONDBLCLK, WM_LBUTTONUP);
    EXPECT_FALSE(menu.visible);
    EXPECT_EQ(menu.shows, 502) << "the release ending a double click is no click";
    pump(200);
    // Whatever the shell opened for the posted press goes away again.
    keybd_event(VK_ESCAPE, 0, 0, 0);
    keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
    pump(100);
}

TEST_F(MainWindowTest, ADoubleClickWhoseReleaseWentElsewhereDoesNotSwallowTheNextClick) {
    load();
    HWND button = main->buttonWindow();
    click(button, WM_LBUTTONDOWN, WM_LBUTTONUP);
    // The shell's start button, pressed by the double click, took the release.
    SendMessageW(button, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(4, 4));
    pump(200);
    keybd_event(VK_ESCAPE, 0, 0, 0);
    keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
    pump(100);
    const int shows = menu.shows;
    click(button, WM_LBUTTONDOWN, WM_LBUTTONUP);
    EXPECT_TRUE(menu.visible) << "the next click shows the menu";
    EXPECT_EQ(menu.shows, shows + 1);
}

TEST_F(MainWindowTest, OnlyTheRightButtonsReleaseOverTheIconOpensTheTrayMenu) {
    load();
    struct Seen {
        bool open = false;
        int items = 0;
        std::wstring captions;
        bool firstChecked = false;
        bool separatorFourth = false;
    } seen;
    auto inspect = [&seen] {
        HWND popup = threadWindow(L"#32768");
        seen.open = popup != nullptr;
        if (popup != nullptr) {
            HMENU m = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
            seen.items = GetMenuItemCount(m);
            for (int i = 0; i < seen.items; ++i) {
                wchar_t text[64] = {};
                GetMenuStringW(m, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
                seen.captions += std::wstring(text) + L"|";
            }
            seen.firstChecked = (GetMenuState(m, 0, MF_BYPOSITION) & MF_CHECKED) != 0;
            seen.separatorFourth = (GetMenuState(m, 3, MF_BYPOSITION) & MF_SEPARATOR) != 0;
        }
        EndMenu();
    };
    for (const UINT message :
         {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN}) {
        seen = Seen{};
        later(150, inspect);
        PostMessageW(main->hwnd(), win::msg::kTrayNotify, 1, message);
        pump(400);
        EXPECT_FALSE(seen.open) << message;
    }
    seen = Seen{};
    later(150, inspect);
    PostMessageW(main->hwnd(), win::msg::kTrayNotify, 1, WM_RBUTTONUP);
    pump(400);
    ASSERT_TRUE(seen.open);
    EXPECT_EQ(seen.items, 5);
    EXPECT_EQ(seen.captions, L"VLM button|Open Windows Start Menu|About||Exit|");
    EXPECT_TRUE(seen.firstChecked);
    EXPECT_TRUE(seen.separatorFourth);
    EXPECT_EQ(terminations, 0) << "a dismissed menu runs nothing";
}

TEST_F(MainWindowTest, EndingTheSessionRunsTheShutDown) {
    load();
    const TrayIconData icon = main->presenter().state().trayIconData;
    ASSERT_TRUE(trayIconPresent(icon));
    HWND hwnd = main->hwnd();
    EXPECT_EQ(SendMessageW(hwnd, WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_EQ(terminations, 0) << "asking is not ending";
    EXPECT_TRUE(trayIconPresent(icon));
    SendMessageW(hwnd, WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(terminations, 0) << "a cancelled log-off leaves the program running";
    SendMessageW(hwnd, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(terminations, 1);
    EXPECT_FALSE(trayIconPresent(icon));
    EXPECT_EQ(menu.unloads, 1);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(MainWindowTest, CloseRunsTheShutDownOnce) {
    load();
    const TrayIconData icon = main->presenter().state().trayIconData;
    SendMessageW(main->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(menu.unloads, 1);
    EXPECT_FALSE(trayIconPresent(icon));
}

TEST_F(MainWindowTest, ANewTaskbarGetsTheIconBack) {
    load();
    const TrayIconData icon = main->presenter().state().trayIconData;
    ASSERT_TRUE(win::removeTrayIcon(icon));
    ASSERT_FALSE(trayIconPresent(icon));
    SendMessageW(main->hwnd(), win::taskbarCreatedMessage(), 0, 0);
    EXPECT_TRUE(trayIconPresent(icon));
    if (haveTaskbar()) {
        EXPECT_EQ(GetParent(main->buttonWindow()), taskbar);
    }
}

TEST_F(MainWindowTest, ADestroyedButtonIsMadeAgainOnTheNextAttach) {
    load();
    DestroyWindow(main->buttonWindow()); // as when its taskbar went away
    main->presenter().menuToggleVLM_Click();
    main->presenter().menuToggleVLM_Click();
    ASSERT_NE(main->buttonWindow(), nullptr);
    EXPECT_TRUE(IsWindow(main->buttonWindow()));
    click(main->buttonWindow(), WM_LBUTTONDOWN, WM_LBUTTONUP);
    EXPECT_TRUE(menu.visible);
}

TEST_F(MainWindowTest, TheAboutBoxIsModalShowsItsTextsAndClosesOnAnyKey) {
    load();
    struct Seen {
        bool open = false;
        std::wstring credits;
        int showsWhileOpen = -1;
        bool buttonDisabled = false;
    } seen;
    later(300, [&] {
        HWND box = threadWindow(win::kAboutWindowClass);
        seen.open = box != nullptr;
        if (box == nullptr) {
            return;
        }
        const int before = menu.shows;
        click(main->buttonWindow(), WM_LBUTTONDOWN, WM_LBUTTONUP);
        SendMessageW(main->hwnd(), win::msg::kTrayNotify, 1, WM_RBUTTONUP);
        seen.showsWhileOpen = menu.shows - before;
        seen.buttonDisabled = IsWindowEnabled(main->buttonWindow()) == FALSE;
        HWND edit = FindWindowExW(box, nullptr, L"Edit", nullptr);
        seen.credits = textOf(edit);
        // Any character key closes it, not only Escape or Enter.
        PostMessageW(edit, WM_CHAR, L'q', 0);
    });
    main->presenter().menuAbout_Click();
    EXPECT_TRUE(seen.open);
    EXPECT_EQ(seen.showsWhileOpen, 0) << "the button and the tray icon wait for the box";
    EXPECT_TRUE(seen.buttonDisabled);
    EXPECT_NE(seen.credits.find(L"\r\n"), std::wstring::npos) << "two lines of credits";
    EXPECT_EQ(threadWindow(win::kAboutWindowClass), nullptr);
    EXPECT_FALSE(main->presenter().state().aboutOpen);
    EXPECT_TRUE(IsWindowEnabled(main->buttonWindow()));
    click(main->buttonWindow(), WM_LBUTTONDOWN, WM_LBUTTONUP);
    EXPECT_TRUE(menu.visible);
}

TEST(StartButtonPlaces, OwnPlaceTaskbarAndHomeAndAboveTheMenu) {
    // A plain top-level window stands in for the hidden main window.
    win::StartButton button;
    HWND home = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(home, nullptr);
    ASSERT_TRUE(button.create(home));
    EXPECT_EQ(GetParent(button.hwnd()), home);

    // No taskbar: a top-most window of its own at the given screen place.
    button.moveInto(nullptr, RECT{0, 700, 60, 724});
    RECT r{};
    GetWindowRect(button.hwnd(), &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 700);
    EXPECT_EQ(r.right, 60);
    EXPECT_EQ(r.bottom, 724);
    EXPECT_EQ(GetWindow(button.hwnd(), GW_OWNER), nullptr);
    EXPECT_NE(GetWindowLongPtrW(button.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    // A top-most menu shown over it leaves it buried until it goes back on top.
    HWND menuWindow =
        CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 400, 300,
                        324, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(menuWindow, SW_SHOWNA);
    SetWindowPos(menuWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    auto above = [](HWND a, HWND b) {
        for (HWND w = GetWindow(b, GW_HWNDPREV); w != nullptr; w = GetWindow(w, GW_HWNDPREV)) {
            if (w == a) {
                return true;
            }
        }
        return false;
    };
    EXPECT_FALSE(above(button.hwnd(), menuWindow));
    button.stayAboveMenu();
    EXPECT_TRUE(above(button.hwnd(), menuWindow));

    // Into a window: owned by it, at the place given in its client pixels.
    HWND bar = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 100, 200, 300, 30, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    button.moveInto(bar, RECT{0, 0, 40, 20});
    GetWindowRect(button.hwnd(), &r);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 200);
    EXPECT_EQ(r.right, 140);
    EXPECT_EQ(GetParent(button.hwnd()), bar);
    EXPECT_EQ(GetWindow(button.hwnd(), GW_OWNER), bar);
    const HWND before = GetWindow(button.hwnd(), GW_HWNDPREV);
    button.stayAboveMenu(); // not in its own place: nothing moves
    EXPECT_EQ(GetWindow(button.hwnd(), GW_HWNDPREV), before);

    // Home again: a child of the main window, no owner left.
    button.moveToHome();
    EXPECT_EQ(GetParent(button.hwnd()), home);
    EXPECT_NE(GetWindowLongPtrW(button.hwnd(), GWL_STYLE) & WS_CHILD, 0);
    DestroyWindow(bar);
    DestroyWindow(menuWindow);
    DestroyWindow(home);
}

TEST_F(MainWindowTest, ASecondCopyGetsTheCriticalMessageAndEnds) {
    // "s.exe" is in this test program's name and in the system's own services.
    app::overrideForTests(app::directory(), "s");
    main->showMessage = nullptr;
    std::wstring text, caption;
    bool icon = false;
    later(300, [&] {
        HWND box = threadWindow(L"#32770");
        if (box == nullptr) {
            return;
        }
        caption = textOf(box);
        text = textOf(GetDlgItem(box, 0xFFFF));
        icon = hasIconControl(box);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    load();
    EXPECT_EQ(caption, L"Error");
    EXPECT_EQ(text, L"Sorry, aber KeskVLM ist schon gestartet!");
    EXPECT_TRUE(icon);
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(menu.builds, 0);
    EXPECT_FALSE(trayIconPresent(main->presenter().state().trayIconData));
}

} // namespace
} // namespace kesk::test
