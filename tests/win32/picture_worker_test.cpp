// Item pictures read on the worker thread: a real view with a real worker ends with exactly
// the pictures of a build that read them itself, the window answers while they are read,
// stale work is dropped, and the worker ends when told, also when a source never answers.
#include "win32/picture_worker.h"

#include "support/appinfo.h"
#include "win32/desktop_test_pictures.h"
#include "win32/desktop_win32.h"
#include "win32/menu_view.h"
#include "win32/window_test_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace kesk::test {
namespace {

namespace fs = std::filesystem;

// Forwards to a real desktop, and can hold every question about a program's icons: for a
// while, or until released.
class HoldingDesktop final : public Desktop {
  public:
    struct Control {
        std::atomic<DWORD> delayMs{0};
        HANDLE release = nullptr; // while not set, iconCount waits for it
        std::atomic<int> iconCounts{0};
    };
    explicit HoldingDesktop(std::shared_ptr<Control> c) : c_(std::move(c)) {}

    Point cursorPos() override { return real_.cursorPos(); }
    ScreenMetrics screen() override { return real_.screen(); }
    Rect taskbarRect() override { return real_.taskbarRect(); }
    Rect startButtonRect() override { return real_.startButtonRect(); }
    std::vector<Colour> readScreen(const Rect& a) override { return real_.readScreen(a); }
    std::optional<Colour> systemColour(std::int32_t i) override { return real_.systemColour(i); }
    bool canOpenForReading(const std::string& p) override { return real_.canOpenForReading(p); }
    bool pathExists(const std::string& p) override { return real_.pathExists(p); }
    std::optional<fileio::FileStamp> fileStamp(const std::string& p) override {
        // Nothing is kept: every item is read, so the work lasts.
        return c_->delayMs > 0 || c_->release != nullptr ? std::nullopt : real_.fileStamp(p);
    }
    PictureError loadPicture(const std::string& p, const PictureRequest& r, Picture& out) override {
        return real_.loadPicture(p, r, out);
    }
    std::int32_t iconCount(const std::string& p) override {
        ++c_->iconCounts;
        if (c_->release != nullptr) {
            WaitForSingleObject(c_->release, INFINITE);
        }
        if (c_->delayMs > 0) {
            Sleep(c_->delayMs);
        }
        return real_.iconCount(p);
    }
    bool extractIcon(const std::string& p, std::int32_t i, std::int32_t s, Bitmap& out) override {
        return real_.extractIcon(p, i, s, out);
    }
    bool shellIcon(const std::string& p, std::int32_t s, Bitmap& out) override {
        return real_.shellIcon(p, s, out);
    }
    void beep() override {}
    void messageBox(const std::string&, const std::string&) override {}
    std::vector<std::string> processNames() override { return {}; }

  private:
    std::shared_ptr<Control> c_;
    win::Win32Desktop real_;
};

win::PictureWorker::DesktopMaker holding(std::shared_ptr<HoldingDesktop::Control> c) {
    return [c] { return std::make_unique<HoldingDesktop>(c); };
}

class PictureWorkerTest : public ::testing::Test {
  protected:
    ComScope com;
    TempDir dir{"pictureworker"};
    win::Win32Desktop desk;

    void SetUp() override {
        fs::create_directories(dir / "skin");
        fs::copy_file(fs::path(KESK_RESOURCES_DIR) / "notFound.ico", dir / "notFound.ico");
        writeText(dir / "skin" / "skin.ini", "[COLORS]\nLIST_BOX_BG=F0E0D0\nLIST_BOX_FG=402010\n");
        writeBytes(dir / "skin" / "Velora_BG.bmp",
                   makeBmp24(64, 64, [](int, int) { return 0x102030u; }));
        app::overrideForTests(u8(dir.path()), "KeskVLM");
    }
    void TearDown() override { app::overrideForTests("", ""); }

    void writeCatalogue(const std::string& items) {
        writeText(dir / "velora.ini",
                  "[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n" + items);
    }
    static std::string item(const std::string& section, const std::string& group,
                            const std::string& target, const std::string& icon = "") {
        return "[" + section + "]\nName=" + section + "\nTarget=" + target +
               "\nParam=\nWorkdir=\nIcon=" + icon + "\nGroup=" + group + "\n";
    }
    static std::string notepads(int n) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            s += item("Pad" + std::to_string(i), i % 2 ? "Tools" : "Scripts",
                      "C:\\windows\\notepad.exe");
        }
        return s;
    }

    struct Entry {
        std::string key;
        int image;
        bool operator==(const Entry&) const = default;
    };
    static std::vector<Entry> entriesOf(const win::MenuView& view, std::size_t k) {
        std::vector<Entry> out;
        HWND list = view.listView(k);
        const auto n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            LVITEMW it{};
            it.mask = LVIF_IMAGE | LVIF_PARAM;
            it.iItem = i;
            SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
            out.push_back(Entry{view.entryKey(k, it.lParam), it.iImage});
        }
        return out;
    }
};

TEST_F(PictureWorkerTest, EveryItemEndsWithThePictureOfABuildThatReadItItself) {
    writeBytes(dir / "notes.txt", Bytes{'h', 'i'});
    writeBytes(dir / "own.ico", makeIco({{32, 0xFF20A020u}}));
    writeBytes(dir / "bad.ico", Bytes{0, 0, 1, 0, 9, 9});
    fs::create_directories(dir / "folder");
    const std::string d = u8(dir.path());
    writeCatalogue(item("Own", "Applications", "C:\\windows\\notepad.exe", d + "\\own.ico") +
                   item("Gone", "Scripts", d + "\\missing.exe") +
                   item("Notes", "Documents", d + "\\notes.txt") +
                   item("Bad", "Tools", "C:\\windows\\system32\\cmd.exe", d + "\\bad.ico") +
                   item("Folder", "Documents", d + "\\folder") + item("Blank", "Scripts", "  ") +
                   item("Game", "Games", "C:\\windows\\notepad.exe") + notepads(30));

    frmVelora syncPresenter{desk};
    win::MenuView sync{syncPresenter};
    ASSERT_TRUE(sync.create());
    syncPresenter.Form_Load();
    syncPresenter.Form_Construct();
    sync.render();
    ASSERT_FALSE(syncPresenter.state().lastBuildFailed);

    win::PictureWorker worker;
    frmVelora presenter{desk};
    presenter.setPictureService(&worker);
    win::MenuView view{presenter};
    ASSERT_TRUE(view.create());
    view.setPictureWorker(&worker);
    view.load();
    presenter.Form_Construct(); // the second build of a start-up replaces the first's work
    view.render();
    ASSERT_TRUE(waitFor([&] { return !presenter.picturesPending(); }, 20000));

    EXPECT_EQ(presenter.state().menuItems, syncPresenter.state().menuItems);
    for (std::size_t k = 0; k < catalogue::kGroupCount; ++k) {
        EXPECT_EQ(presenter.state().lstViewA[k].entries, syncPresenter.state().lstViewA[k].entries);
        EXPECT_EQ(entriesOf(view, k), entriesOf(sync, k)) << "list " << k;
    }
    for (auto [mine, theirs] : {std::pair{view.largeImages(), sync.largeImages()},
                                std::pair{view.smallImages(), sync.smallImages()}}) {
        ASSERT_EQ(ImageList_GetImageCount(mine), ImageList_GetImageCount(theirs));
        for (int i = 0; i < ImageList_GetImageCount(mine); ++i) {
            EXPECT_EQ(imagePixels(mine, i), imagePixels(theirs, i)) << "image " << i;
        }
    }
}

TEST_F(PictureWorkerTest, SourcesReadAreCountedAndUnchangedOnesAreNotReadAgain) {
    const std::string d = u8(dir.path());
    const std::string base = notepads(20);
    writeCatalogue(base);
    win::PictureWorker worker;
    frmVelora presenter{desk};
    presenter.setPictureService(&worker);
    win::MenuView view{presenter};
    ASSERT_TRUE(view.create());
    view.setPictureWorker(&worker);
    view.load();
    const auto settle = [&] {
        return waitFor([&] { return worker.idle() && !presenter.picturesPending(); }, 20000);
    };
    ASSERT_TRUE(settle());
    const UINT message = RegisterWindowMessageW(win::kSourcesReadMessageName);
    ASSERT_NE(message, 0u);
    const std::uint64_t atStart = worker.sourcesRead();
    // Twenty items, one program: its icon is read once.
    EXPECT_EQ(atStart, 1u);

    struct Row {
        const char* rule;
        std::function<void()> change;
        std::uint64_t fewest, most; // sources this rebuild reads
    };
    const std::vector<Row> rows = {
        {"nothing changed: nothing is read", [] {}, 0, 0},
        {"the same program once more: nothing is read",
         [&] { writeCatalogue(base + item("More", "Tools", "C:\\windows\\notepad.exe")); }, 0, 0},
        {"a picture file written moments ago is read",
         [&] {
             writeBytes(dir / "fresh.ico", makeIco({{32, 0xFF2020A0u}}));
             writeCatalogue(base + item("Fresh", "Tools", "", d + "\\fresh.ico"));
         },
         1, 1},
        {"and read again while it is that young, for it may still change unseen", [] {}, 1, 1},
    };
    for (const Row& row : rows) {
        row.change();
        const std::uint64_t before = worker.sourcesRead();
        ASSERT_TRUE(presenter.Form_Construct()) << row.rule;
        view.render();
        ASSERT_TRUE(settle()) << row.rule;
        const std::uint64_t read = worker.sourcesRead() - before;
        EXPECT_GE(read, row.fewest) << row.rule;
        EXPECT_LE(read, row.most) << row.rule;
        // What the window tells a measurement from outside.
        EXPECT_EQ(static_cast<std::uint64_t>(SendMessageW(view.hwnd(), message, 0, 0)),
                  worker.sourcesRead())
            << row.rule;
    }
}

TEST_F(PictureWorkerTest, TheWindowAnswersWhilePicturesAreRead) {
    writeCatalogue(notepads(1000));
    auto control = std::make_shared<HoldingDesktop::Control>();
    control->delayMs = 2; // at least two seconds of reading
    win::PictureWorker worker(holding(control));
    frmVelora presenter{desk};
    presenter.setPictureService(&worker);
    win::MenuView view{presenter};
    ASSERT_TRUE(view.create());
    view.setPictureWorker(&worker);
    view.load();
    ASSERT_FALSE(presenter.state().lastBuildFailed);
    ASSERT_TRUE(presenter.picturesPending());

    // Another thread asks the window, as the system and other programs do, while this one
    // runs its messages.
    struct Probe {
        HWND window;
        std::atomic<int> answered{0};
        std::atomic<int> asked{0};
        std::atomic<bool> done{false};
        static DWORD WINAPI run(void* p) {
            auto& pr = *static_cast<Probe*>(p);
            for (int i = 0; i < 10; ++i) {
                DWORD_PTR r = 0;
                ++pr.asked;
                if (SendMessageTimeoutW(pr.window, WM_NULL, 0, 0, SMTO_NORMAL, 50, &r) != 0) {
                    ++pr.answered;
                }
                Sleep(30);
            }
            pr.done = true;
            return 0;
        }
    } probe{view.hwnd()};
    HANDLE t = CreateThread(nullptr, 0, &Probe::run, &probe, 0, nullptr);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(waitFor([&] { return probe.done.load(); }, 10000));
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    EXPECT_EQ(probe.answered.load(), probe.asked.load());
    EXPECT_TRUE(presenter.picturesPending()) << "the pictures were read before the probes ended";
    EXPECT_GT(presenter.state().pictureBatches, 0) << "no picture arrived meanwhile";
    EXPECT_GT(control->iconCounts.load(), 0);
    EXPECT_TRUE(worker.stop(1000));
}

TEST_F(PictureWorkerTest, AWorkerStoppedDuringItsRunEndsWithinOneSecond) {
    auto control = std::make_shared<HoldingDesktop::Control>();
    control->delayMs = 20;
    win::PictureWorker worker(holding(control));
    std::vector<PictureJob> jobs;
    for (std::size_t i = 0; i < 1000; ++i) {
        jobs.push_back(PictureJob{i, i, "", "C:\\windows\\notepad.exe"});
    }
    worker.submit(std::move(jobs), 1);
    ASSERT_TRUE(waitFor([&] { return control->iconCounts > 2; }, 5000));
    const ULONGLONG before = GetTickCount64();
    EXPECT_TRUE(worker.stop(1000));
    EXPECT_LT(GetTickCount64() - before, 1000u);
    EXPECT_LT(control->iconCounts.load(), 100);
}

TEST_F(PictureWorkerTest, ASourceThatNeverAnswersIsLeftBehindAfterTheBound) {
    auto control = std::make_shared<HoldingDesktop::Control>();
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(release, nullptr);
    control->release = release;
    {
        win::PictureWorker worker(holding(control));
        worker.submit({PictureJob{0, 0, "", "C:\\windows\\notepad.exe"}}, 1);
        ASSERT_TRUE(waitFor([&] { return control->iconCounts > 0; }, 5000));
        const ULONGLONG before = GetTickCount64();
        EXPECT_FALSE(worker.stop(200));
        EXPECT_LT(GetTickCount64() - before, 1000u);
        EXPECT_TRUE(worker.take().empty());
    }
    // The source answers at last: the abandoned thread ends on its own.
    SetEvent(release);
    Sleep(100);
    CloseHandle(release);
}

TEST_F(PictureWorkerTest, ALaterSubmissionDropsTheEarlierOnesWork) {
    auto control = std::make_shared<HoldingDesktop::Control>();
    control->delayMs = 5;
    win::PictureWorker worker(holding(control));
    std::vector<PictureJob> old;
    for (std::size_t i = 0; i < 200; ++i) {
        old.push_back(PictureJob{i, i, "", "C:\\windows\\notepad.exe"});
    }
    worker.submit(std::move(old), 1);
    ASSERT_TRUE(waitFor([&] { return control->iconCounts > 3; }, 5000));
    worker.submit(
        {PictureJob{0, 7, "", "C:\\windows\\notepad.exe"}, PictureJob{1, 8, "", "C:\\missing.exe"}},
        2);
    ASSERT_TRUE(waitFor([&] { return worker.idle(); }, 5000));
    const std::vector<PictureResult> got = worker.take();
    ASSERT_EQ(got.size(), 2u);
    for (const PictureResult& r : got) {
        EXPECT_EQ(r.generation, 2u);
    }
    EXPECT_EQ(got[0].item, 7u);
    EXPECT_EQ(got[0].source, IconFromExe);
    EXPECT_FALSE(got[0].targetMissing);
    EXPECT_EQ(got[1].item, 8u);
    EXPECT_EQ(got[1].source, IconNotFound);
    EXPECT_TRUE(got[1].targetMissing);
    EXPECT_LT(control->iconCounts.load(), 100);
}

TEST_F(PictureWorkerTest, AnIdleWorkerEndsItsThreadAndKeepsWhatItRead) {
    // A picture file, a program's icons, and an item with no source. The picture file is kept
    // only once it is older than its time stamps' resolution: until then it is read every time.
    const fs::path ico = dir / "notFound.ico";
    Sleep(2100);
    const std::vector<PictureJob> jobs = {
        PictureJob{0, 0, u8(ico), "C:\\windows\\notepad.exe"},
        PictureJob{1, 1, "", "C:\\windows\\notepad.exe"},
        PictureJob{2, 2, "", ""},
    };
    win::PictureWorker worker;
    std::vector<PictureResult> first;
    struct Row {
        const char* rule;
        std::vector<PictureJob> jobs;
        bool submit;
        std::uint64_t reads; // sources read by this step
        std::size_t results; // results it hands over
        bool sameAsFirst;    // its pictures are those of the first submission
    };
    const std::vector<Row> rows = {
        {"before any job no thread runs", {}, false, 0, 0, false},
        {"a submission runs a thread that reads each source once", jobs, true, 2, 3, false},
        {"the next one runs on a new thread and reads nothing again", jobs, true, 0, 3, true},
        {"a submission without jobs starts no thread", {}, true, 0, 0, false},
    };
    std::uint64_t generation = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        const std::uint64_t before = worker.sourcesRead();
        if (row.submit) {
            worker.submit(row.jobs, ++generation);
        }
        ASSERT_TRUE(waitFor([&] { return worker.idle() && !worker.threadRunning(); }, 20000));
        EXPECT_EQ(worker.sourcesRead() - before, row.reads);
        const std::vector<PictureResult> got = worker.take();
        ASSERT_EQ(got.size(), row.results);
        if (first.empty()) {
            first = got;
        }
        if (row.sameAsFirst) {
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].source, first[i].source) << i;
                EXPECT_EQ(got[i].large, first[i].large) << i;
                EXPECT_EQ(got[i].targetMissing, first[i].targetMissing) << i;
            }
        }
    }
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].source, IconFromIconFile);
    EXPECT_EQ(first[1].source, IconFromExe);
    EXPECT_EQ(first[2].source, IconNotFound);
}

} // namespace
} // namespace kesk::test
