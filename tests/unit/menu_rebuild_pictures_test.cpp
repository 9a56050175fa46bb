// Rebuilds while the pictures are read elsewhere: an item the last build showed takes its
// picture at once from the images that build made, so an unchanged catalogue shows no
// placeholder and changes nothing; the service's answers then confirm each picture or replace
// it, renumbering what follows. Whatever changed, the end state is that of a build that read
// every picture itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>

#include "unit/fake_picture_service.h"
#include "unit/menu_fixture.h"

namespace kesk::test {
namespace {

constexpr Pixel kIconFilePixel = 0xFF00AA00u;
constexpr Pixel kExePixel = 0xFFAA0000u;
constexpr Pixel kOtherExePixel = 0xFF0000AAu;
constexpr Pixel kShellPixel = 0x800000AAu;

class RebuildPictures : public MenuFixture {
  protected:
    void SetUp() override {
        MenuFixture::SetUp();
        desk.addPicture("C:/pics/a.ico", 32, 32, kIconFilePixel);
        desk.addExe("C:/bin/c.exe", kExePixel);
        desk.addExe("C:/bin/g.exe", kExePixel + 1);
        desk.files.insert("C:/docs/d.txt");
        desk.shellIcons["C:/docs/d.txt"] = Bitmap(32, 32, kShellPixel);
        writeSkin("[COLORS]\nLIST_BOX_BG=00FFFF\nLIST_BOX_FG=000000\n");
        writeCatalogue(catalogueText());
    }

    // Items in every list, a missing target and a found picture after it, so that numbers
    // depend on earlier items.
    static std::string catalogueText(const std::string& more = "") {
        return std::string(kSettings) + item("A", "Tools", "C:/bin/c.exe", "C:/pics/a.ico") +
               item("B", "Applications", "C:/missing.exe") + item("C", "Tools", "C:/bin/c.exe") +
               item("D", "Documents", "C:/docs/d.txt") + item("E", "Scripts", "C:/bin/g.exe") +
               item("F", "Tools", "C:/bin/g.exe") + more;
    }

    struct Snapshot {
        std::vector<MenuItem> items;
        std::array<std::vector<ListEntry>, catalogue::kGroupCount> entries;
        std::vector<std::string> largeKeys, smallKeys;
        std::vector<Pixel> large, small;
        std::vector<std::uint64_t> largeDigests;
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
        snap.largeDigests = s.vlImgList.digests;
        return snap;
    }
    Snapshot synchronousBuild() {
        frmVelora sync(desk);
        sync.Form_Load();
        sync.Form_Construct();
        EXPECT_FALSE(sync.state().lastBuildFailed) << sync.state().lastBuildError.description;
        return snapshot(sync);
    }
    // Both start-up builds, every picture in.
    static void startSettled(frmVelora& f, FakePictureService& service) {
        f.setPictureService(&service);
        f.Form_Load();
        f.picturesArrived(service.answerAll());
        f.Form_Construct(); // the second start-up build, in the skin's colours
        f.picturesArrived(service.answerAll());
    }
    // Sections whose entries show a placeholder.
    static std::set<std::string> waiting(const frmVelora& f) {
        std::set<std::string> out;
        for (const ListViewState& list : f.state().lstViewA) {
            for (const ListEntry& e : list.entries) {
                if (e.largePicture <= 0) {
                    out.insert(e.text);
                }
            }
        }
        return out;
    }
};

TEST_F(RebuildPictures, KnownPicturesShowAtOnceAndTheAnswersEndInTheSynchronousState) {
    struct Row {
        const char* rule;
        std::function<void()> change;
        // Entries that wait for their picture right after the rebuild.
        std::set<std::string> waitAfterBuild;
        // Whether the rebuild alone (before any answer) already shows the final state.
        bool finalAtOnce;
        // A build between the change and the rebuild watched: a build draws over the list
        // colour the build before it took from the skin.
        bool buildBetween = false;
    };
    const std::vector<Row> rows = {
        {"nothing changed: nothing waits, nothing changes", [] {}, {}, true},
        {"one item appended: only it waits",
         [&] {
             desk.files.insert("C:/docs/e.txt");
             desk.shellIcons["C:/docs/e.txt"] = Bitmap(32, 32, kShellPixel + 9);
             writeCatalogue(catalogueText(item("G", "Documents", "C:/docs/e.txt")));
         },
         {"G"},
         false},
        {"an item with a new picture put first: the later ones wait for its number too",
         [&] {
             desk.files.insert("C:/docs/e.txt");
             desk.shellIcons["C:/docs/e.txt"] = Bitmap(32, 32, kShellPixel + 9);
             writeCatalogue(std::string(kSettings) + item("G", "Tools", "C:/docs/e.txt") +
                            catalogueText().substr(std::string(kSettings).size()));
         },
         {"A", "B", "C", "D", "E", "F", "G"},
         false},
        {"one item appended with a known program and picture: nothing waits",
         [&] { writeCatalogue(catalogueText(item("G", "Documents", "C:/docs/d.txt"))); },
         {},
         true},
        {"one item removed: nothing waits, later pictures renumbered at once",
         [&] {
             writeCatalogue(
                 std::string(kSettings) + item("A", "Tools", "C:/bin/c.exe", "C:/pics/a.ico") +
                 item("B", "Applications", "C:/missing.exe") +
                 item("D", "Documents", "C:/docs/d.txt") + item("E", "Scripts", "C:/bin/g.exe") +
                 item("F", "Tools", "C:/bin/g.exe"));
         },
         {},
         true},
        {"a program's icon changed: shown as it was until its answer replaces it",
         [&] { desk.addExe("C:/bin/c.exe", kOtherExePixel); },
         {},
         false},
        {"a picture file went missing: later numbers move down when its answer comes",
         [&] { desk.pictures.erase("C:/pics/a.ico"); },
         {},
         false},
        {"a missing target appeared: red goes and a picture is added before later ones",
         [&] { desk.addExe("C:/missing.exe", kOtherExePixel); },
         {},
         false},
        {"the list colour changed: pictures are drawn over it, so every one waits",
         [&] { writeSkin("[COLORS]\nLIST_BOX_BG=FF00FF\nLIST_BOX_FG=000000\n"); },
         {"A", "B", "C", "D", "E", "F"},
         false,
         true},
    };
    for (const Row& row : rows) {
        // Each row from the same start: a fresh desktop and program folder.
        TearDown();
        desk = FakeDesktop{};
        SetUp();
        FakePictureService service(desk, nullptr);
        frmVelora f(desk);
        startSettled(f, service);
        ASSERT_FALSE(f.picturesPending()) << row.rule;

        row.change();
        const Snapshot expected = synchronousBuild();
        if (row.buildBetween) {
            f.Form_Construct();
            f.picturesArrived(service.answerAll());
        }
        f.Form_Construct();
        EXPECT_EQ(waiting(f), row.waitAfterBuild) << row.rule;
        EXPECT_EQ(snapshot(f) == expected, row.finalAtOnce) << row.rule;

        // The answers in an order that confirms later pictures before earlier ones change.
        std::vector<PictureResult> answers = service.answerAll();
        std::reverse(answers.begin(), answers.end());
        for (PictureResult& r : answers) {
            f.picturesArrived({r});
        }
        EXPECT_FALSE(f.picturesPending()) << row.rule;
        EXPECT_FALSE(f.state().lastBuildFailed) << row.rule;
        EXPECT_TRUE(snapshot(f) == expected) << row.rule;
        for (std::size_t i = 0; i < f.state().menuItems.size(); ++i) {
            EXPECT_FALSE(f.picturePending(i)) << row.rule << ": record " << i;
        }
    }
}

TEST_F(RebuildPictures, AnUnchangedRebuildLeavesTheShownStateAsItWas) {
    FakePictureService service(desk, nullptr);
    frmVelora f(desk);
    startSettled(f, service);
    const Snapshot before = snapshot(f);
    const std::int32_t batches = f.state().pictureBatches;

    f.Form_Construct();
    EXPECT_TRUE(snapshot(f) == before);
    f.picturesArrived(service.answerAll());
    EXPECT_TRUE(snapshot(f) == before);
    // The answers only confirmed: no batch of changed pictures for the view to take.
    EXPECT_EQ(f.state().pictureBatches, batches + 1); // the rebuild's own, taken at once
}

TEST_F(RebuildPictures, ARebuildThatFailsBeforeItsImagesKeepsTheImagesShown) {
    FakePictureService service(desk, nullptr);
    frmVelora f(desk);
    startSettled(f, service);
    const Snapshot before = snapshot(f);
    ASSERT_GT(before.largeKeys.size(), 1u);

    // The fallback picture, the lists' first image, can no longer be read.
    desk.pictures.erase(own(catalogue::kFallbackIconFile));
    desk.stamps.erase(own(catalogue::kFallbackIconFile));
    f.Form_Construct();
    ASSERT_TRUE(f.state().lastBuildFailed);
    const Snapshot after = snapshot(f);
    EXPECT_EQ(after.largeKeys, before.largeKeys);
    EXPECT_TRUE(after.large == before.large && after.small == before.small);
}

TEST_F(RebuildPictures, TheEditorWaitsForTheAnswerNotForTheProvisionalPicture) {
    FakePictureService service(desk, nullptr);
    frmVelora f(desk);
    startSettled(f, service);
    // C's program now has no icon: the shell answers for it instead.
    desk.icons["C:/bin/c.exe"].clear();
    desk.files.insert("C:/bin/c.exe");
    desk.shellIcons["C:/bin/c.exe"] = Bitmap(32, 32, kShellPixel + 5);
    f.Form_Construct();
    f.setEntrySelected(0, 1, true);
    f.lstViewA_ItemClick(0, 1);
    f.openItemEditor();
    ASSERT_EQ(f.state().txtEditItem[0].caption, "C");
    EXPECT_EQ(f.state().txtEditItem[5].caption, "");
    f.picturesArrived(service.answerAll());
    EXPECT_EQ(f.state().txtEditItem[5].caption, "Asked system for icon");
}

TEST_F(RebuildPictures, APictureFileOfTheLargeSizeIsKeptOnceInTheCache) {
    struct Row {
        const char* rule;
        std::int32_t width, height;
        bool keptOnce;
    };
    const std::vector<Row> rows = {
        {"32 by 32: its top-left part is the picture itself", 32, 32, true},
        {"64 by 48: the top-left part is kept apart", 64, 48, false},
        {"16 by 16: scaled up, the top-left part is smaller", 16, 16, false},
    };
    for (const Row& row : rows) {
        const std::string path = "C:/pics/" + std::to_string(row.width) + ".png";
        desk.addPicture(path, row.width, row.height, kIconFilePixel);
        // Every point its own colour: a scaled picture differs from its top-left part.
        desk.pictures[path].pixel = [](std::int32_t x, std::int32_t y) {
            return Pixel{0xFF000000u | static_cast<Pixel>(x * 7 + y * 1300)};
        };
        desk.stamps[path] = fileio::FileStamp{};
        PictureCache cache;
        PictureResolver cached(desk, &cache);
        PictureResolver direct(desk, nullptr);
        const PictureJob job{0, 0, path, "C:/bin/c.exe"};
        const PictureResult first = cached.resolve(job);
        const PictureResult again = cached.resolve(job); // from the cache
        const PictureResult read = direct.resolve(job);
        EXPECT_EQ(cached.sourcesRead(), 1u) << row.rule;
        for (const PictureResult* r : {&first, &again}) {
            EXPECT_EQ(r->source, IconFromIconFile) << row.rule;
            EXPECT_EQ(r->large.pixels, read.large.pixels) << row.rule;
            EXPECT_EQ(r->topLeft.width, read.topLeft.width) << row.rule;
            EXPECT_EQ(r->topLeft.pixels, read.topLeft.pixels) << row.rule;
        }
        // Kept apart, the top-left part would count its own pixels.
        const std::size_t both =
            (read.large.pixels.size() + read.topLeft.pixels.size()) * sizeof(Pixel);
        EXPECT_EQ(cache.bytes() < both, row.keptOnce) << row.rule;
    }
}

TEST(ImageListDigests, FollowTheImagesThroughAddsAndTruncation) {
    ImageList large;
    ImageList small;
    large.imageWidth = large.imageHeight = 2;
    small.imageWidth = small.imageHeight = 1;
    struct Row {
        const char* rule;
        Bitmap image;
        bool sameDigestAsFirst;
    };
    const std::vector<Row> rows = {
        {"the same pixels", Bitmap(2, 2, 0xFF010203u), true},
        {"one pixel other",
         [] {
             Bitmap b(2, 2, 0xFF010203u);
             b.pixels[3] = 0xFF010204u;
             return b;
         }(),
         false},
        {"a larger picture cut to the same", Bitmap(3, 3, 0xFF010203u), true},
        {"a smaller one, transparent where it does not reach", Bitmap(1, 1, 0xFF010203u), false},
    };
    addImagePair(large, small, "first", Bitmap(2, 2, 0xFF010203u), Bitmap(1, 1, 0u));
    for (const Row& row : rows) {
        addImagePair(large, small, row.rule, row.image, Bitmap(1, 1, 0u));
        ASSERT_EQ(large.digests.size(), static_cast<std::size_t>(large.count())) << row.rule;
        EXPECT_EQ(large.digests.back() == large.digests.front(), row.sameDigestAsFirst) << row.rule;
        EXPECT_TRUE(large.holds(large.keys.size() - 1, row.image)) << row.rule;
        EXPECT_EQ(large.holds(0, row.image), row.sameDigestAsFirst) << row.rule;
    }
    large.truncate(2);
    EXPECT_EQ(large.count(), 2);
    EXPECT_EQ(large.digests.size(), 2u);
    EXPECT_EQ(large.strip.size(), 8u);
    EXPECT_FALSE(large.holds(2, Bitmap(2, 2, 0xFF010203u)));
}

} // namespace
} // namespace kesk::test
