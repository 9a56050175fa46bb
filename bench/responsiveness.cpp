// Whether the whole program answers at once whatever the catalogue's size, measured from
// outside on a desktop with a taskbar. For catalogues of 100, 1,000 and 3,000 items (half of
// them distinct programs, the rest icon files, documents and one shared program) a copy of
// KeskVLM is started and watched while a thread of this program sends its windows a message
// every 10 ms:
//   - the longest wait for an answer from start until every entry shows its picture, in a
//     rebuild after an outside change (one item appended) and after 100 items at once;
//   - start to usable (a click on the button shows the menu) and start to complete (no
//     entry waits for its picture, read from the lists themselves), for a first and a
//     second start;
//   - the first click on the button against later ones, and "Refresh all" with the repaint
//     of the shown menu against the same press and release on no command;
//   - memory at idle against bench_minimal_app.
#ifdef _WIN32
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../tests/support/kesk_driver.h"
#include "win32/picture_worker.h"

namespace fs = std::filesystem;
namespace drv = kesk::driver;
using Clock = std::chrono::steady_clock;

namespace {

double msBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// --- Stalls ------------------------------------------------------------------------------------

// Sends WM_NULL to the watched windows every 10 ms and keeps how long each answer took.
class StallProbe {
  public:
    explicit StallProbe(Clock::time_point origin) : origin_(origin) {
        thread_ = std::thread([this] { run(); });
    }
    ~StallProbe() {
        stop_ = true;
        thread_.join();
    }
    StallProbe(const StallProbe&) = delete;
    StallProbe& operator=(const StallProbe&) = delete;

    void watch(HWND main, HWND menu) {
        std::lock_guard<std::mutex> hold(lock_);
        targets_[0] = main;
        targets_[1] = menu;
    }
    double now() const { return msBetween(origin_, Clock::now()); }
    // The longest wait that overlapped [from, to] (milliseconds since the origin).
    double longest(double from, double to) const {
        std::lock_guard<std::mutex> hold(lock_);
        double worst = 0;
        for (const Sample& s : samples_) {
            if (s.at < to && s.at + s.took > from) {
                worst = std::max(worst, s.took);
            }
        }
        return worst;
    }

  private:
    struct Sample {
        double at;
        double took;
    };
    void run() {
        while (!stop_) {
            HWND targets[2];
            {
                std::lock_guard<std::mutex> hold(lock_);
                targets[0] = targets_[0];
                targets[1] = targets_[1];
            }
            for (HWND h : targets) {
                if (h == nullptr || IsWindow(h) == FALSE) {
                    continue;
                }
                const double at = now();
                DWORD_PTR ignored = 0;
                if (SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, 120000, &ignored) != 0) {
                    const double took = now() - at;
                    std::lock_guard<std::mutex> hold(lock_);
                    samples_.push_back({at, took});
                }
            }
            Sleep(10);
        }
    }

    Clock::time_point origin_;
    mutable std::mutex lock_;
    HWND targets_[2] = {nullptr, nullptr};
    std::vector<Sample> samples_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// --- The catalogue -----------------------------------------------------------------------------

constexpr const char* kGroups[4] = {"Tools", "Applications", "Documents", "Scripts"};

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void put16(std::string& s, unsigned v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& s, std::uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

// A 32 by 32 picture, 32 bits a point, bottom-up, in a colour of its own.
std::string pixels(std::uint32_t seed) {
    std::string px;
    const std::uint32_t colour = 0xFF000000u | ((seed * 2654435761u) & 0x00FFFFFFu);
    for (int i = 0; i < 32 * 32; ++i) {
        put32(px, (i % 32 < 4 || i / 32 < 4) ? 0xFF202020u : colour);
    }
    return px;
}

std::string bitmapInfo(int height) {
    std::string h;
    put32(h, 40);
    put32(h, 32);
    put32(h, static_cast<std::uint32_t>(height));
    put16(h, 1);
    put16(h, 32);
    for (int i = 0; i < 6; ++i) {
        put32(h, 0);
    }
    return h;
}

std::string iconFile(std::uint32_t seed) {
    const std::string image = bitmapInfo(64) + pixels(seed) + std::string(32 * 4, '\0');
    std::string f;
    put16(f, 0);
    put16(f, 1);
    put16(f, 1);
    f += static_cast<char>(32);
    f += static_cast<char>(32);
    f += std::string(2, '\0');
    put16(f, 1);
    put16(f, 32);
    put32(f, static_cast<std::uint32_t>(image.size()));
    put32(f, 22);
    return f + image;
}

std::string bitmapFile(std::uint32_t seed) {
    const std::string image = bitmapInfo(32) + pixels(seed);
    std::string f = "BM";
    put32(f, static_cast<std::uint32_t>(14 + image.size()));
    put32(f, 0);
    put32(f, 14 + 40);
    return f + image;
}

// One item's section; `target`/`icon` as the catalogue holds them.
std::string section(const std::string& name, int group, const std::string& target,
                    const std::string& icon) {
    return "[" + name + "]\r\nName=" + name + "\r\nTarget=" + target +
           "\r\nParam=\r\nWorkdir=\r\nIcon=" + icon + "\r\nGroup=" + kGroups[group] + "\r\n";
}

struct Stage {
    fs::path dir;
    fs::path sources;
    int items = 0;
    int added = 0;
    std::string linkKind = "hard links";
    // Reads a start-up that takes every source once makes: one per distinct source question
    // (a document's program-icon question that finds none, then the shell's).
    int distinctReads = 0;
};

// A program copy in its own folder with a generated catalogue of `n` items: every second one
// a program of its own (a link to, or else a copy of, the program file: a real icon
// resource under a path of its own), then by turns an icon file, a bitmap, a document and
// the system's notepad.
Stage stage(int n) {
    Stage s;
    s.dir = drv::stageProgram("bench-responsiveness-" + std::to_string(n), drv::exeDir());
    s.sources = s.dir / "sources";
    s.items = n;
    fs::create_directories(s.sources);
    const fs::path program = s.dir / "KeskVLM.exe";
    std::string ini = "[Window]\r\nheightOffset=0\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n";
    bool notepadCounted = false;
    for (int i = 0; i < n; ++i) {
        const std::string name = "Item" + std::to_string(i);
        const int group = (i / 2) % 4;
        std::string target = "C:\\windows\\notepad.exe";
        std::string icon;
        if (i % 2 == 0) {
            const fs::path exe = s.sources / (name + ".exe");
            if (CreateHardLinkW(exe.c_str(), program.c_str(), nullptr) == FALSE) {
                fs::copy_file(program, exe, fs::copy_options::overwrite_existing);
                s.linkKind = "copies";
            }
            target = exe.string();
            s.distinctReads += 1;
        } else if (i % 8 == 1) {
            const fs::path f = s.sources / (name + ".ico");
            writeFile(f, iconFile(static_cast<std::uint32_t>(i)));
            icon = f.string();
            s.distinctReads += 1;
        } else if (i % 8 == 3) {
            const fs::path f = s.sources / (name + ".bmp");
            writeFile(f, bitmapFile(static_cast<std::uint32_t>(i)));
            icon = f.string();
            s.distinctReads += 1;
        } else if (i % 8 == 5) {
            const fs::path f = s.sources / (name + ".txt");
            writeFile(f, "item " + std::to_string(i) + "\r\n");
            target = f.string();
            s.distinctReads += 2;
        } else if (!notepadCounted) {
            s.distinctReads += 1;
            notepadCounted = true;
        }
        ini += section(name, group, target, icon);
    }
    writeFile(s.dir / "velora.ini", ini);
    // A file written moments ago may still change within its time stamp's resolution, so
    // the program reads such a source every time; the user's files are older than that.
    Sleep(2100);
    return s;
}

// Appends `count` documents to the catalogue, as a drop of that many files writes them.
void appendDocuments(Stage& s, int count) {
    std::string more;
    for (int i = 0; i < count; ++i) {
        const std::string name = "Added" + std::to_string(s.added++);
        const fs::path f = s.sources / (name + ".txt");
        writeFile(f, name + "\r\n");
        more += section(name, 2, f.string(), "");
    }
    std::ofstream out(s.dir / "velora.ini", std::ios::binary | std::ios::app);
    out << more;
}

// Sources the program's picture worker has read since it started; -1 when it does not answer.
double sourcesRead(HWND menu) {
    static const UINT message = RegisterWindowMessageW(kesk::win::kSourcesReadMessageName);
    DWORD_PTR n = 0;
    if (menu == nullptr || SendMessageTimeoutW(menu, message, 0, 0, SMTO_NORMAL, 10000, &n) == 0) {
        return -1;
    }
    return static_cast<double>(n);
}

// What the program has loaded that the minimal program has not: part of what its working
// set holds beyond the minimal program's.
void printExtraModules(HANDLE ours, HANDLE minimal) {
    std::map<std::wstring, double> mine;
    std::map<std::wstring, double> theirs;
    for (const auto& [name, kib] : drv::modulesOf(ours)) {
        mine[name] = kib;
    }
    for (const auto& [name, kib] : drv::modulesOf(minimal)) {
        theirs[name] = kib;
    }
    double total = 0;
    std::printf("modules loaded by KeskVLM and not by the minimal program (image KiB):");
    for (const auto& [name, kib] : mine) {
        if (theirs.count(name) == 0) {
            std::printf(" %ls %.0f", name.c_str(), kib);
            total += kib;
        }
    }
    std::printf("; %.0f KiB in all, %zu modules against %zu\n", total, mine.size(), theirs.size());
}

// --- The program's state, read from outside ----------------------------------------------------

// Whether every entry of the menu's lists shows a picture and the lists hold `expected`
// entries. Entries take their pictures in order, so each list is read on from the first
// entry that still waited last time; a final pass over everything confirms.
class PictureWatch {
  public:
    PictureWatch(HANDLE process, int expected)
        : scratch_(process, sizeof(LVITEMW)), expected_(expected) {}

    bool complete(HWND menu) {
        if (menu == nullptr || !scratch_.valid()) {
            return false;
        }
        const std::vector<HWND> lists = drv::descendants(menu, WC_LISTVIEWW);
        if (lists.size() != 4) {
            return false;
        }
        if (lists != lists_) {
            lists_ = lists;
            from_.assign(4, 0);
        }
        int total = 0;
        bool reachedEnd = true;
        for (std::size_t k = 0; k < 4; ++k) {
            const int n = drv::listCount(lists_[k]);
            total += n;
            from_[k] = std::min(from_[k], n);
            from_[k] = firstWaiting(lists_[k], from_[k], n);
            reachedEnd = reachedEnd && from_[k] == n;
        }
        if (total != expected_ || !reachedEnd) {
            return false;
        }
        for (std::size_t k = 0; k < 4; ++k) {
            const int n = drv::listCount(lists_[k]);
            from_[k] = firstWaiting(lists_[k], 0, n);
            if (from_[k] != n) {
                return false;
            }
        }
        return true;
    }
    void expect(int n) { expected_ = n; }

  private:
    int firstWaiting(HWND list, int from, int n) {
        for (int i = from; i < n; ++i) {
            int image = I_IMAGENONE;
            if (!drv::listItemImage(list, scratch_, i, image) || image < 0) {
                return i;
            }
        }
        return n;
    }

    drv::RemoteMemory scratch_;
    int expected_;
    std::vector<HWND> lists_;
    std::vector<int> from_;
};

// The item context panel: the menu's direct child panel without controls of its own.
HWND contextPanel(HWND menu) {
    for (HWND c = GetWindow(menu, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if (drv::hasClass(c, L"KeskVLM.Panel") && GetWindow(c, GW_CHILD) == nullptr) {
            return c;
        }
    }
    return nullptr;
}

// A press and release on the panel at a point in twips, sent so that each returns once the
// window has handled it, then the window's pending repaint carried out; milliseconds.
double pressPanel(HWND panel, HWND menu, int xTwips, int yTwips) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    const LPARAM at = MAKELPARAM(xTwips * dpi / 1440, yTwips * dpi / 1440);
    const Clock::time_point t0 = Clock::now();
    drv::sendWaiting(panel, WM_LBUTTONDOWN, MK_LBUTTON, at);
    drv::sendWaiting(panel, WM_LBUTTONUP, 0, at);
    RedrawWindow(menu, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    drv::sendWaiting(menu, WM_NULL, 0, 0);
    return msBetween(t0, Clock::now());
}

// "Refresh all" lies at (120, 960) twips, 1635 by 255; (30, 30) is on no command.
double refreshAll(HWND panel, HWND menu) {
    return pressPanel(panel, menu, 120 + 1635 / 2, 960 + 255 / 2);
}
double pressOnNothing(HWND panel, HWND menu) {
    return pressPanel(panel, menu, 30, 30);
}

// A click on the button, posted as the button's own messages so no two ever join into a
// double click; milliseconds until the menu's visibility changed (-1: it did not).
double clickButton(drv::Program& p, DWORD waitMs = 10000) {
    Sleep(GetDoubleClickTime() + 50);
    const bool wasVisible = p.menu() != nullptr;
    const Clock::time_point t0 = Clock::now();
    PostMessageW(p.button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(p.button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    while (msBetween(t0, Clock::now()) < waitMs) {
        if ((p.menu() != nullptr) != wasVisible) {
            return msBetween(t0, Clock::now());
        }
        Sleep(0);
    }
    return -1;
}

// --- Options ---------------------------------------------------------------------------------

// The catalogue sizes to measure: KESK_BENCH_SIZES ("100" or "100,1000"), else 100, 1,000 and
// 3,000. Empty when the variable holds anything but counts from 1 to 100,000.
std::vector<int> catalogueSizes() {
    char text[256] = {};
    const DWORD len = GetEnvironmentVariableA("KESK_BENCH_SIZES", text, sizeof text);
    if (len == 0 || len >= sizeof text) {
        return {100, 1000, 3000};
    }
    std::vector<int> sizes;
    int n = -1;
    for (const char* c = text;; ++c) {
        if (*c >= '0' && *c <= '9') {
            n = (n < 0 ? 0 : n) * 10 + (*c - '0');
            if (n > 100000) {
                return {};
            }
        } else if ((*c == ',' || *c == '\0') && n > 0) {
            sizes.push_back(n);
            n = -1;
            if (*c == '\0') {
                return sizes;
            }
        } else {
            return {};
        }
    }
}

// Seconds to keep both programs idle after the memory reading (KESK_BENCH_IDLE_HOLD), so that
// their memory can be taken apart from outside (/proc/PID/smaps of the Wine processes).
DWORD idleHoldMs() {
    char text[16] = {};
    const DWORD len = GetEnvironmentVariableA("KESK_BENCH_IDLE_HOLD", text, sizeof text);
    if (len == 0 || len >= sizeof text) {
        return 0;
    }
    return static_cast<DWORD>(std::min(std::atoi(text), 3600)) * 1000;
}

// --- One catalogue size ------------------------------------------------------------------------

struct Figures {
    double stallStart = -1, stallChange = -1, stallDrop = -1;
    double usable = -1, complete = -1, complete2 = -1, stallStart2 = -1;
    double rebuildComplete = -1;
    double firstClick = -1, laterClick = -1;
    double pressNothing = -1, rebuild = -1, rebuildAdded = -1, rebuildDrop = -1;
    drv::MemoryUse ours, minimal;
    double exitMs = -1;
    // Sources read: distinct ones in the catalogue; by the first start until complete and
    // idle (both start-up builds); by the second start; by the unchanged rebuilds (all of
    // them); by each rebuild after one added document (median).
    double distinctSources = -1, readStart = -1, readStart2 = -1, readUnchanged = -1,
           readAdded = -1;
};

// Starts the staged program and watches it until every picture is in. With `clickForMenu`
// the button is clicked as soon as it is there, and again after each answer that left the
// menu hidden, until the menu shows. False when the program never got that far.
bool startAndWatch(Stage& s, drv::Program& p, StallProbe& probe, bool clickForMenu, Figures& f,
                   bool second) {
    const double t0 = probe.now();
    if (!p.start()) {
        return false;
    }
    PictureWatch pictures(p.pi.hProcess, s.items + s.added);
    bool usable = !clickForMenu;
    double complete = -1;
    while (probe.now() - t0 < 300000 && (complete < 0 || !usable) && p.running()) {
        p.main = drv::topWindow(p.pi.dwProcessId, drv::kMainClass);
        p.button = drv::topWindow(p.pi.dwProcessId, drv::kButtonClass, true);
        const HWND menu = drv::topWindow(p.pi.dwProcessId, drv::kMenuClass);
        probe.watch(p.main, menu);
        if (!usable && p.button != nullptr) {
            const POINT c = p.buttonCentre();
            SetCursorPos(c.x, c.y);
            PostMessageW(p.button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
            PostMessageW(p.button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
            drv::sendWaiting(p.button, WM_NULL, 0, 0);
            for (int i = 0; i < 30 && !usable; ++i) {
                if (p.menu() != nullptr) {
                    usable = true;
                    f.usable = probe.now() - t0;
                }
                Sleep(10);
            }
        }
        if (complete < 0 && pictures.complete(menu)) {
            complete = probe.now() - t0;
        }
        Sleep(5);
    }
    if (complete < 0 || !usable) {
        return false;
    }
    (second ? f.complete2 : f.complete) = complete;
    (second ? f.stallStart2 : f.stallStart) = probe.longest(t0, t0 + complete);
    // Both start-up builds have ended by now; a moment more lets a read still under way end.
    Sleep(500);
    (second ? f.readStart2 : f.readStart) =
        sourcesRead(drv::topWindow(p.pi.dwProcessId, drv::kMenuClass));
    return true;
}

// Waits until every picture of the shown lists is in; milliseconds since `from` (on the
// probe's clock), -1 after a minute.
double untilComplete(drv::Program& p, PictureWatch& pictures, StallProbe& probe, double from) {
    while (probe.now() - from < 60000) {
        if (pictures.complete(p.menu(false))) {
            return probe.now() - from;
        }
        Sleep(5);
    }
    return -1;
}

bool measureSize(int n, HANDLE minimalProcess, Figures& f) {
    Stage s = stage(n);
    const int reps = n <= 1000 ? 5 : 2;
    StallProbe probe(Clock::now());
    {
        drv::Program first(s.dir);
        if (!startAndWatch(s, first, probe, true, f, false)) {
            std::printf("%d items: the program did not become usable and complete\n", n);
            return false;
        }
    }
    drv::Program p(s.dir);
    if (!startAndWatch(s, p, probe, false, f, true)) {
        std::printf("%d items: the second start did not complete\n", n);
        return false;
    }
    Sleep(2000);
    f.ours = drv::memoryOf(p.pi.hProcess);
    f.minimal = drv::memoryOf(minimalProcess);
    std::printf("%d items: ", n);
    printExtraModules(p.pi.hProcess, minimalProcess);
    if (const DWORD hold = idleHoldMs(); hold > 0) {
        std::printf("%d items: idle for %lu s (working set %.0f KiB, minimal %.0f KiB)\n", n,
                    static_cast<unsigned long>(hold / 1000), f.ours.workingSetKiB,
                    f.minimal.workingSetKiB);
        std::fflush(stdout);
        Sleep(hold);
    }

    // The pointer rests on the button, as after a real click, so the auto-hide leaves the
    // shown menu alone.
    const POINT c = p.buttonCentre();
    SetCursorPos(c.x, c.y);
    f.firstClick = clickButton(p);
    std::vector<double> later;
    for (int i = 0; i < 5; ++i) {
        clickButton(p); // hides
        later.push_back(clickButton(p));
    }
    f.laterClick = median(later);
    if (p.menu() == nullptr) {
        clickButton(p);
    }
    const HWND menu = p.menu(false);
    const HWND panel = menu != nullptr ? contextPanel(menu) : nullptr;
    if (panel == nullptr || p.menu() == nullptr) {
        std::printf("%d items: no shown menu with a context panel\n", n);
        return false;
    }
    PictureWatch pictures(p.pi.hProcess, s.items);
    std::vector<double> nothing, unchanged, completeAgain, added, addedReads;
    double worstChange = 0;
    f.distinctSources = s.distinctReads;
    const double readBefore = sourcesRead(menu);
    for (int i = 0; i < reps; ++i) {
        nothing.push_back(pressOnNothing(panel, menu));
        const double at = probe.now();
        unchanged.push_back(refreshAll(panel, menu));
        completeAgain.push_back(untilComplete(p, pictures, probe, at));
    }
    // The worker confirms every kept picture after the build; let it finish before counting.
    Sleep(1000);
    f.readUnchanged = sourcesRead(menu) - readBefore;
    for (int i = 0; i < reps; ++i) {
        appendDocuments(s, 1);
        // The appended document settles before the rebuild, as a user's file would be.
        Sleep(2100);
        pictures.expect(s.items + s.added);
        const double readAt = sourcesRead(menu);
        const double at = probe.now();
        added.push_back(refreshAll(panel, menu));
        const double done = untilComplete(p, pictures, probe, at);
        worstChange = std::max(worstChange, probe.longest(at, at + std::max(done, 0.0)));
        Sleep(500);
        addedReads.push_back(sourcesRead(menu) - readAt);
    }
    f.readAdded = median(addedReads);
    appendDocuments(s, 100);
    pictures.expect(s.items + s.added);
    const double at = probe.now();
    f.rebuildDrop = refreshAll(panel, menu);
    const double done = untilComplete(p, pictures, probe, at);
    f.stallDrop = probe.longest(at, at + std::max(done, 0.0));
    f.pressNothing = median(nothing);
    f.rebuild = median(unchanged);
    f.rebuildComplete = median(completeAgain);
    f.rebuildAdded = median(added);
    f.stallChange = worstChange;
    if (p.menu() == nullptr) {
        std::printf("%d items: the menu hid during the rebuilds\n", n);
    }

    const Clock::time_point closing = Clock::now();
    PostMessageW(p.main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(p.pi.hProcess, 10000) == WAIT_OBJECT_0) {
        f.exitMs = msBetween(closing, Clock::now());
    }
    std::printf("%d items: %d-item rounds, distinct programs as %s\n", n, reps, s.linkKind.c_str());
    std::fflush(stdout);
    return true;
}

void row(const char* name, const std::vector<Figures>& all, double Figures::*field,
         const char* unit = "ms") {
    std::printf("%-46s", name);
    for (const Figures& f : all) {
        std::printf(" %9.1f", f.*field);
    }
    std::printf("  %s\n", unit);
}

void ratioRow(const char* name, const std::vector<Figures>& all, double Figures::*a,
              double Figures::*b) {
    std::printf("%-46s", name);
    for (const Figures& f : all) {
        std::printf(" %9.2f", f.*b > 0 ? f.*a / f.*b : 0.0);
    }
    std::printf("\n");
}

} // namespace

int main() {
    if (drv::shownTaskbar() == nullptr) {
        std::puts("no taskbar: run this on a desktop with one (wine-run.sh --desktop)");
        return 1;
    }
    PROCESS_INFORMATION minimal = drv::startProcess(
        drv::quoted(drv::exeDir() / "bench_minimal_app.exe"), {}, CREATE_NO_WINDOW);
    if (minimal.hProcess == nullptr || !drv::waitFor([&] {
            const HWND w = drv::topWindow(minimal.dwProcessId, L"KeskBench.Minimal");
            return w != nullptr && drv::trayIconPresent(w);
        })) {
        std::puts("bench_minimal_app did not start");
        drv::endProcess(minimal);
        return 1;
    }

    const std::vector<int> sizes = catalogueSizes();
    if (sizes.empty()) {
        std::puts("KESK_BENCH_SIZES: give item counts separated by commas, e.g. 100,1000");
        drv::endProcess(minimal);
        return 1;
    }
    std::vector<Figures> all;
    for (int n : sizes) {
        Figures f;
        if (!measureSize(n, minimal.hProcess, f)) {
            drv::endProcess(minimal);
            return 1;
        }
        all.push_back(f);
    }
    PostMessageW(drv::topWindow(minimal.dwProcessId, L"KeskBench.Minimal"), WM_CLOSE, 0, 0);
    WaitForSingleObject(minimal.hProcess, 5000);
    drv::endProcess(minimal);

    std::printf("\n%-46s", "items");
    for (int n : sizes) {
        std::printf(" %9d", n);
    }
    std::printf("\n");
    row("longest stall: start to complete", all, &Figures::stallStart);
    row("longest stall: second start to complete", all, &Figures::stallStart2);
    row("longest stall: rebuild after one added item", all, &Figures::stallChange);
    row("longest stall: rebuild after 100 added items", all, &Figures::stallDrop);
    row("start to usable", all, &Figures::usable);
    row("start to complete", all, &Figures::complete);
    row("second start to complete", all, &Figures::complete2);
    row("unchanged rebuild to complete", all, &Figures::rebuildComplete);
    row("distinct source questions in the catalogue", all, &Figures::distinctSources, "");
    row("sources read: first start, both builds", all, &Figures::readStart, "");
    row("sources read: second start, both builds", all, &Figures::readStart2, "");
    row("sources read: all unchanged rebuilds", all, &Figures::readUnchanged, "");
    row("sources read: rebuild after one added document", all, &Figures::readAdded, "");
    row("first click to menu shown", all, &Figures::firstClick);
    row("later click to menu shown (median)", all, &Figures::laterClick);
    ratioRow("  first / later", all, &Figures::firstClick, &Figures::laterClick);
    row("press and release on no command (baseline)", all, &Figures::pressNothing);
    row("rebuild with repaint, unchanged", all, &Figures::rebuild);
    row("rebuild with repaint, one added item", all, &Figures::rebuildAdded);
    row("rebuild with repaint, 100 added items", all, &Figures::rebuildDrop);
    ratioRow("  unchanged / baseline", all, &Figures::rebuild, &Figures::pressNothing);
    std::printf("%-46s", "working set at idle, ours / minimal");
    for (const Figures& f : all) {
        std::printf(" %9.2f", f.minimal.workingSetKiB > 0
                                  ? f.ours.workingSetKiB / f.minimal.workingSetKiB
                                  : 0.0);
    }
    std::printf("  (%.0f / %.0f KiB at %d)\n", all[0].ours.workingSetKiB,
                all[0].minimal.workingSetKiB, sizes[0]);
    std::printf("%-46s", "private bytes at idle, ours / minimal");
    for (const Figures& f : all) {
        std::printf(" %9.2f",
                    f.minimal.privateKiB > 0 ? f.ours.privateKiB / f.minimal.privateKiB : 0.0);
    }
    std::printf("  (%.0f / %.0f KiB at %d)\n", all[0].ours.privateKiB, all[0].minimal.privateKiB,
                sizes[0]);
    std::printf("%-46s", "working set at idle, ours");
    for (const Figures& f : all) {
        std::printf(" %9.0f", f.ours.workingSetKiB);
    }
    std::printf("  KiB\n");
    row("close to process end", all, &Figures::exitMs);
    std::printf("usable at %d / usable at %d: %.2f\n", sizes.back(), sizes[0],
                all[0].usable > 0 ? all.back().usable / all[0].usable : 0.0);
    return 0;
}
#else
#include <cstdio>

int main() {
    std::puts("bench_responsiveness measures the Windows program; build it with a Windows preset");
    return 0;
}
#endif
