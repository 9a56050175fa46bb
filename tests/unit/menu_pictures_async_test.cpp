// Builds whose pictures are read elsewhere: entries wait with placeholders, results are taken
// in their items' order whatever order they arrive in, and the end state is exactly that of a
// build that read every picture itself. Stale results never land on the wrong item, and a
// shared cache keeps unchanged sources from being read twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "unit/fake_picture_service.h"
#include "unit/menu_fixture.h"

namespace kesk::test {
namespace {

constexpr Pixel kIconFilePixel = 0xFF00AA00u;
constexpr Pixel kExePixel = 0xFFAA0000u;
constexpr Pixel kShellPixel = 0x800000AAu; // half transparent: the scratch colour shows
constexpr Pixel kBigPixel = 0xFF445566u;

class AsyncPictures : public MenuFixture {
  protected:
    void SetUp() override {
        MenuFixture::SetUp();
        desk.addPicture("C:/pics/a.ico", 32, 32, kIconFilePixel);
        desk.addPicture("C:/pics/big.png", 64, 48, kBigPixel);
        desk.addCorruptPicture("C:/pics/bad.ico");
        desk.addExe("C:/bin/c.exe", kExePixel);
        desk.addExe("C:/bin/g.exe", kExePixel + 1);
        desk.files.insert("C:/docs/d.txt");
        desk.shellIcons["C:/docs/d.txt"] = Bitmap(32, 32, kShellPixel);
        desk.directories.insert("C:/docs");
        desk.shellIcons["C:/docs"] = Bitmap(32, 32, kShellPixel + 2);
        writeSkin("[COLORS]\nLIST_BOX_BG=00FFFF\nLIST_BOX_FG=000000\n");
        writeCatalogue(mixedCatalogue());
    }

    // Every source, every outcome, items without a list, and two settings sections first.
    static std::string mixedCatalogue() {
        return std::string(kSettings) + item("A", "Tools", "C:/bin/c.exe", "C:/pics/a.ico") +
               item("B", "Applications", "C:/missing.exe") + item("C", "Tools", "C:/bin/c.exe") +
               item("D", "Documents", "C:/docs/d.txt") + item("E", "Games", "C:/bin/g.exe") +
               item("F", "Scripts", "   ") +
               item("G", "Scripts", "C:/bin/g.exe", "C:/pics/bad.ico") +
               item("H", "Applications", "C:/docs/d.txt", "C:/pics/big.png") +
               item("I", "Documents", "C:/docs") + item("J", "Tools", "C:/bin/c.exe");
    }

    // What a build that reads every picture itself gives.
    struct Snapshot {
        std::vector<MenuItem> items;
        std::array<std::vector<ListEntry>, catalogue::kGroupCount> entries;
        std::vector<std::string> largeKeys, smallKeys;
        std::vector<Pixel> large, small;
        bool operator==(const Snapshot&) const = default;
    };
    static Snapshot snapshot(const frmVelora& f) {
        const frmVeloraState& s = f.state();
        Snapshot snap;
        snap.items = s.menuItems;
        for (std::size_t k = 0; k < catalogue::kGroupCount; ++k) {
            snap.entries[k] = s.lstViewA[k].entries;
        }
        snap.largeKeys = s.vlImgList.keys;
        snap.smallKeys = s.vlImgListSmall.keys;
        snap.large = s.vlImgList.strip;
        snap.small = s.vlImgListSmall.strip;
        return snap;
    }
    Snapshot synchronousBuild() {
        frmVelora sync(desk);
        sync.Form_Load();
        sync.Form_Construct(); // the second build of a start-up, in the skin's colours
        EXPECT_FALSE(sync.state().lastBuildFailed) << sync.state().lastBuildError.description;
        return snapshot(sync);
    }
};

TEST_F(AsyncPictures, EntriesWaitWithPlaceholdersAndNothingIsReadDuringTheBuild) {
    FakePictureService service(desk, nullptr);
    frmVelora f(desk);
    f.setPictureService(&service);
    desk.picturesAsked.clear();
    f.Form_Load();
    const frmVeloraState& s = f.state();
    ASSERT_FALSE(s.lastBuildFailed) << s.lastBuildError.description;
    EXPECT_EQ(service.submits, 1);
    EXPECT_EQ(service.jobs().size(), 10u); // every item section, also the one without a list
    EXPECT_TRUE(f.picturesPending());
    // The build read the fallback and the skin, and asked nothing of any item's sources.
    EXPECT_TRUE(desk.iconCountAsked.empty());
    EXPECT_TRUE(desk.shellAsked.empty());
    EXPECT_TRUE(desk.readChecks.empty());
    EXPECT_EQ(std::count(desk.picturesAsked.begin(), desk.picturesAsked.end(), "C:/pics/a.ico"), 0);
    EXPECT_EQ(s.vlImgList.count(), 1);
    EXPECT_EQ(s.vlImgListSmall.count(), 1);
    std::size_t entries = 0;
    for (const ListViewState& list : s.lstViewA) {
        for (const ListEntry& e : list.entries) {
            EXPECT_EQ(e.largePicture, 0) << e.key;
            EXPECT_EQ(e.smallPicture, 0) << e.key;
            EXPECT_FALSE(e.red) << e.key; // not known yet
            ++entries;
        }
    }
    EXPECT_EQ(entries, 9u);
    EXPECT_EQ(keysOf(s.lstViewA[0]), (std::vector<std::string>{"ID 2", "ID 4", "ID 11"}));
}

TEST_F(AsyncPictures, AfterTheResultsTheStateIsThatOfABuildThatReadThemItself) {
    const Snapshot expected = synchronousBuild();
    // Sanity of the reference: every source occurs, and image numbers depend on earlier items.
    std::vector<std::int16_t> sources;
    for (const MenuItem& m : expected.items) {
        if (!m.Section.empty()) {
            sources.push_back(m.IconSource);
        }
    }
    EXPECT_EQ(sources, (std::vector<std::int16_t>{1, 3, 0, 2, 0, 3, 0, 1, 2, 0}));

    struct Row {
        const char* rule;
        // The order and batches in which the results reach the presenter.
        std::function<std::vector<std::vector<std::size_t>>(std::size_t)> batches;
    };
    const std::vector<Row> rows = {
        {"all at once in order",
         [](std::size_t n) {
             std::vector<std::size_t> all(n);
             for (std::size_t i = 0; i < n; ++i)
                 all[i] = i;
             return std::vector<std::vector<std::size_t>>{all};
         }},
        {"one by one, last first",
         [](std::size_t n) {
             std::vector<std::vector<std::size_t>> b;
             for (std::size_t i = n; i-- > 0;)
                 b.push_back({i});
             return b;
         }},
        {"shuffled batches of three",
         [](std::size_t n) {
             std::vector<std::size_t> all(n);
             for (std::size_t i = 0; i < n; ++i)
                 all[i] = i;
             std::mt19937 rng(12345);
             std::shuffle(all.begin(), all.end(), rng);
             std::vector<std::vector<std::size_t>> b;
             for (std::size_t i = 0; i < n; i += 3) {
                 b.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(i),
                                all.begin() + static_cast<std::ptrdiff_t>(std::min(n, i + 3)));
             }
             return b;
         }},
        {"each result twice",
         [](std::size_t n) {
             std::vector<std::vector<std::size_t>> b;
             for (std::size_t i = 0; i < n; ++i)
                 b.push_back({i, i});
             return b;
         }},
    };
    for (const Row& row : rows) {
        FakePictureService service(desk, nullptr);
        frmVelora f(desk);
        f.setPictureService(&service);
        f.Form_Load();
        f.Form_Construct();
        for (const auto& batch : row.batches(service.jobs().size())) {
            std::vector<PictureResult> results;
            for (std::size_t p : batch) {
                results.push_back(service.answer(p));
            }
            f.picturesArrived(std::move(results));
        }
        EXPECT_FALSE(f.picturesPending()) << row.rule;
        EXPECT_FALSE(f.state().lastBuildFailed) << row.rule;
        const Snapshot got = snapshot(f);
        EXPECT_EQ(got.items, expected.items) << row.rule;
        EXPECT_EQ(got.entries, expected.entries) << row.rule;
        EXPECT_EQ(got.largeKeys, expected.largeKeys) << row.rule;
        EXPECT_EQ(got.smallKeys, expected.smallKeys) << row.rule;
        EXPECT_TRUE(got.large == expected.large) << row.rule;
        EXPECT_TRUE(got.small == expected.small) << row.rule;
    }
}

TEST_F(AsyncPictures, AResultIsTakenOnlyOnceEveryEarlierItemsIsIn) {
    FakePictureService service(desk, nullptr);
    frmVelora f(desk);
    f.setPictureService(&service);
    f.Form_Load();
    // Item C (job 2) arrives before A and B: its number depends on them, so it waits.
    f.picturesArrived({service.answer(2)});
    EXPECT_EQ(f.state().vlImgList.count(), 1);
    EXPECT_EQ(f.state().lstViewA[0].entries[1].largePicture, 0);
    EXPECT_TRUE(f.picturePending(4));
    const std::int32_t batches = f.state().pictureBatches;
    f.picturesArrived({service.answer(0)}); // A: image 2
    EXPECT_EQ(f.state().lstViewA[0].entries[0].largePicture, 2);
    EXPECT_EQ(f.state().lstViewA[0].entries[1].largePicture, 0);
    EXPECT_GT(f.state().pictureBatches, batches);
    f.picturesArrived({service.answer(1)}); // B: missing, fallback and red; then C follows
    EXPECT_EQ(f.state().lstViewA[1].entries[0].largePicture, 1);
    EXPECT_TRUE(f.state().lstViewA[1].entries[0].red);
    EXPECT_EQ(f.state().lstViewA[0].entries[1].largePicture, 3);
    EXPECT_FALSE(f.picturePending(4));
    EXPECT_EQ(f.state().vlImgList.keys.back(), "S 3");
}

TEST_F(AsyncPictures, ResultsOfAnEarlierBuildAreDroppedNeverShownOnTheWrongItem) {
    FakePictureService service(desk, nullptr);
    frmVelora f(desk);
    f.setPictureService(&service);
    f.Form_Load();
    const std::vector<PictureResult> stale = service.answerAll();
    // The catalogue is rewritten while its pictures are read: the same places, other items.
    writeCatalogue(std::string(kSettings) + item("X", "Tools", "C:/docs/d.txt") +
                   item("Y", "Applications", "C:/missing.exe") +
                   item("Z", "Tools", "C:/bin/g.exe"));
    f.Form_Construct();
    EXPECT_EQ(service.submits, 2);
    EXPECT_GT(service.generation(), stale.front().generation);
    f.picturesArrived(stale);
    EXPECT_EQ(f.state().vlImgList.count(), 1);
    for (const ListViewState& list : f.state().lstViewA) {
        for (const ListEntry& e : list.entries) {
            EXPECT_EQ(e.largePicture, 0) << e.key;
        }
    }
    EXPECT_TRUE(f.picturesPending());
    f.picturesArrived(service.answerAll());
    EXPECT_FALSE(f.picturesPending());
    frmVelora sync(desk);
    sync.Form_Load();
    sync.Form_Construct();
    EXPECT_TRUE(snapshot(f) == snapshot(sync));
    EXPECT_EQ(f.state().menuItems[2].IconSource, IconFromSystem);
    EXPECT_EQ(f.state().menuItems[4].IconSource, IconFromExe);
}

TEST_F(AsyncPictures, ResultsThatNameNoJobOfTheBuildAreDropped) {
    FakePictureService service(desk, nullptr);
    frmVelora f(desk);
    f.setPictureService(&service);
    f.Form_Load();
    struct Row {
        const char* rule;
        std::function<void(PictureResult&)> spoil;
    };
    const std::vector<Row> rows = {
        {"a position past the last job", [](PictureResult& r) { r.position = 99; }},
        {"a record past the table", [](PictureResult& r) { r.item = 1000; }},
        {"a future generation", [](PictureResult& r) { r.generation += 1; }},
    };
    for (const Row& row : rows) {
        PictureResult r = service.answer(0);
        row.spoil(r);
        f.picturesArrived({r});
        EXPECT_EQ(f.state().vlImgList.count(), 1) << row.rule;
        EXPECT_TRUE(f.picturePending(2)) << row.rule;
    }
}

TEST_F(AsyncPictures, TheSharedCacheReadsNoUnchangedSourceAgainAndAChangedOneAgain) {
    fileio::FileStamp old;
    old.size = 100;
    for (const char* p : {"C:/bin/c.exe", "C:/bin/g.exe", "C:/pics/a.ico", "C:/docs/d.txt",
                          "C:/pics/big.png", "C:/docs", "C:/pics/bad.ico"}) {
        desk.stamps[p] = old;
    }
    PictureCache cache;
    FakePictureService service(desk, &cache);
    frmVelora f(desk);
    f.setPictureService(&service);
    f.Form_Load();
    f.picturesArrived(service.answerAll());
    // Later builds draw over the skin's colour; this one is what each of them must give.
    f.Form_Construct();
    f.picturesArrived(service.answerAll());
    const Snapshot first = snapshot(f);
    // Both builds together read C:/bin/c.exe once, for its three items.
    EXPECT_EQ(std::count(desk.iconCountAsked.begin(), desk.iconCountAsked.end(), "C:/bin/c.exe"),
              1);

    // A missing Target has no stamp and is asked every time, twice (its icons, the
    // shell); a blank one names no path and is never asked.
    constexpr std::size_t kUnstampedIconCounts = 1;
    constexpr std::size_t kUnstampedShellCalls = 1;
    struct Row {
        const char* rule;
        std::function<void()> change;
        std::size_t iconCounts, extracts, shellCalls, iconFileLoads;
    };
    const std::vector<Row> rows = {
        {"nothing changed: nothing is read", [] {}, 0, 0, 0, 0},
        {"a program was replaced: only it is read again",
         [&] { desk.stamps["C:/bin/c.exe"].modified += 1; }, 1, 1, 0, 0},
        {"a picture file was written: only it is read again",
         [&] { desk.stamps["C:/pics/a.ico"].size += 1; }, 0, 0, 0, 1},
        {"a document changed: its program icon question and the shell are asked again",
         [&] { desk.stamps["C:/docs/d.txt"].identity += 1; }, 1, 0, 1, 0},
        {"a file whose stamp cannot be told is read every time",
         [&] { desk.stamps.erase("C:/docs"); }, 1, 0, 1, 0},
    };
    for (const Row& row : rows) {
        row.change();
        desk.iconCountAsked.clear();
        desk.extractAsked.clear();
        desk.shellAsked.clear();
        desk.picturesAsked.clear();
        f.Form_Construct();
        f.picturesArrived(service.answerAll());
        EXPECT_EQ(desk.iconCountAsked.size(), kUnstampedIconCounts + row.iconCounts) << row.rule;
        EXPECT_EQ(desk.extractAsked.size(), row.extracts) << row.rule;
        EXPECT_EQ(desk.shellAsked.size(), kUnstampedShellCalls + row.shellCalls) << row.rule;
        // The fallback and the skin are the program's own and counted apart.
        const auto own = static_cast<std::size_t>(
            std::count_if(desk.picturesAsked.begin(), desk.picturesAsked.end(),
                          [](const std::string& p) { return p.rfind("C:/", 0) == 0; }));
        EXPECT_EQ(own, row.iconFileLoads) << row.rule;
        EXPECT_TRUE(snapshot(f) == first) << row.rule;
    }
}

TEST_F(AsyncPictures, TheEditorShowsTheSourceThatWonAlsoWhenOpenedBeforeItsPicture) {
    struct Row {
        const char* rule;
        std::size_t list, entry, record;
        // Jobs answered before the editor opens, and after it.
        std::vector<std::size_t> before, after;
        const char* shownAtOpen;
        const char* shownAtEnd;
    };
    const std::vector<Row> rows = {
        {"picture already taken", 0, 1, 4, {0, 1, 2}, {}, "Icon from EXE", "Icon from EXE"},
        {"arrived but waiting for an earlier item",
         0,
         1,
         4,
         {2},
         {0, 1},
         "Icon from EXE",
         "Icon from EXE"},
        {"not arrived: empty until it does", 2, 0, 5, {}, {3}, "", "Asked system for icon"},
        {"not arrived, the fallback wins", 1, 0, 3, {}, {1}, "", "Error! No icon!"},
        {"an other item's arrival leaves the field empty", 2, 0, 5, {}, {0}, "", ""},
    };
    for (const Row& row : rows) {
        FakePictureService service(desk, nullptr);
        frmVelora f(desk);
        f.setPictureService(&service);
        f.Form_Load();
        for (std::size_t p : row.before) {
            f.picturesArrived({service.answer(p)});
        }
        f.setEntrySelected(row.list, row.entry, true);
        f.lstViewA_ItemClick(row.list, row.entry);
        f.openItemEditor();
        ASSERT_EQ(f.state().txtEditItem[0].caption, f.state().menuItems[row.record].Name)
            << row.rule;
        EXPECT_EQ(f.state().txtEditItem[5].caption, row.shownAtOpen) << row.rule;
        for (std::size_t p : row.after) {
            f.picturesArrived({service.answer(p)});
        }
        EXPECT_EQ(f.state().txtEditItem[5].caption, row.shownAtEnd) << row.rule;
    }
}

TEST_F(AsyncPictures, WithoutAServiceABuildReadsItsPicturesItself) {
    frmVelora f(desk);
    f.Form_Load();
    EXPECT_FALSE(f.picturesPending());
    EXPECT_EQ(f.state().lstViewA[0].entries[0].largePicture, 2);
    EXPECT_EQ(f.state().vlImgList.count(), 9); // the fallback and eight found pictures
}

} // namespace
} // namespace kesk::test
