// The picture cache: which sources may be kept and under what, and what leaves it first.
#include "menu/picture_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kesk::test {
namespace {

constexpr std::int64_t kNow = 1'000'000'000'000;
constexpr std::int64_t kSecond = 10'000'000;

fileio::FileStamp stampAt(std::int64_t modified, std::uint64_t size = 100) {
    fileio::FileStamp s;
    s.size = size;
    s.modified = modified;
    s.changed = modified;
    s.identity = 7;
    return s;
}

TEST(PictureCacheKey, OnlySettledFilesThatCanBeToldAreKept) {
    struct Row {
        const char* rule;
        std::optional<fileio::FileStamp> stamp;
        bool kept;
    };
    fileio::FileStamp changedLately = stampAt(kNow - 60 * kSecond);
    changedLately.changed = kNow - kSecond / 2;
    const std::vector<Row> rows = {
        {"a file whose stamp cannot be told is read every time", std::nullopt, false},
        {"a file written a moment ago may change unseen", stampAt(kNow - kSecond), false},
        {"a file written in the future is not settled", stampAt(kNow + 60 * kSecond), false},
        {"a file whose attributes changed a moment ago is not settled", changedLately, false},
        {"a file settled for two seconds is kept", stampAt(kNow - 2 * kSecond), true},
        {"an old file is kept", stampAt(0), true},
    };
    for (const Row& row : rows) {
        const auto key =
            pictureCacheKey(PictureSourceKind::ExeIcon, "C:/a.exe", 32, row.stamp, kNow);
        EXPECT_EQ(key.has_value(), row.kept) << row.rule;
        if (key) {
            EXPECT_EQ(key->stamp, *row.stamp) << row.rule;
            EXPECT_EQ(key->path, "C:/a.exe") << row.rule;
        }
    }
}

TEST(PictureCache, AKeyFindsOnlyWhatWasKeptUnderExactlyIt) {
    PictureCacheKey base{PictureSourceKind::ExeIcon, "C:/a.exe", 32, stampAt(0)};
    struct Row {
        const char* rule;
        PictureCacheKey asked;
        bool found;
    };
    std::vector<Row> rows;
    rows.push_back({"the same key", base, true});
    {
        PictureCacheKey k = base;
        k.kind = PictureSourceKind::ShellIcon;
        rows.push_back({"the shell's icon of the same file is another picture", k, false});
        k.kind = PictureSourceKind::IconFile;
        rows.push_back({"the file as a picture is another picture", k, false});
    }
    {
        PictureCacheKey k = base;
        k.path = "C:/b.exe";
        rows.push_back({"another path", k, false});
        k.path = "C:/a.ex";
        rows.push_back({"a path that is a prefix", k, false});
    }
    {
        PictureCacheKey k = base;
        k.size = 16;
        rows.push_back({"another size", k, false});
    }
    {
        PictureCacheKey k = base;
        k.stamp.size = 101;
        rows.push_back({"the file grew", k, false});
        k = base;
        k.stamp.modified = 1;
        rows.push_back({"the file was written", k, false});
        k = base;
        k.stamp.identity = 8;
        rows.push_back({"the file was replaced by another", k, false});
    }
    for (const Row& row : rows) {
        PictureCache cache;
        CachedPicture p;
        p.found = true;
        p.large = Bitmap(32, 32, 0xFF010203u);
        cache.put(base, p);
        const CachedPicture* hit = cache.find(row.asked);
        EXPECT_EQ(hit != nullptr, row.found) << row.rule;
        if (hit != nullptr) {
            EXPECT_EQ(hit->large, p.large) << row.rule;
        }
    }
}

PictureCacheKey keyOf(const std::string& path) {
    return PictureCacheKey{PictureSourceKind::ExeIcon, path, 32, stampAt(0)};
}

CachedPicture icon(Pixel colour) {
    CachedPicture p;
    p.found = true;
    p.large = Bitmap(32, 32, colour);
    return p;
}

TEST(PictureCache, TheLeastRecentlyUsedLeaveFirstWhenTheBoundIsReached) {
    const std::size_t one = PictureCache::costOf(keyOf("a"), icon(0));
    struct Row {
        const char* rule;
        std::vector<std::string> steps; // "+x" puts x, "?x" looks x up
        std::vector<std::string> kept;
        std::vector<std::string> gone;
    };
    // The bound holds three pictures.
    const std::vector<Row> rows = {
        {"below the bound nothing leaves", {"+a", "+b", "+c"}, {"a", "b", "c"}, {}},
        {"the oldest put leaves first", {"+a", "+b", "+c", "+d"}, {"b", "c", "d"}, {"a"}},
        {"a look-up makes a picture recent",
         {"+a", "+b", "+c", "?a", "+d"},
         {"a", "c", "d"},
         {"b"}},
        {"putting a kept key again makes it recent without a second copy",
         {"+a", "+b", "+c", "+a", "+d"},
         {"a", "c", "d"},
         {"b"}},
        {"a miss changes no order", {"+a", "+b", "+c", "?x", "+d"}, {"b", "c", "d"}, {"a"}},
    };
    for (const Row& row : rows) {
        PictureCache cache(3 * one);
        for (const std::string& step : row.steps) {
            if (step[0] == '+') {
                cache.put(keyOf(step.substr(1)), icon(0));
            } else {
                cache.find(keyOf(step.substr(1)));
            }
            EXPECT_LE(cache.bytes(), cache.bound()) << row.rule;
        }
        for (const std::string& k : row.kept) {
            EXPECT_NE(cache.find(keyOf(k)), nullptr) << row.rule << ": " << k;
        }
        for (const std::string& k : row.gone) {
            EXPECT_EQ(cache.find(keyOf(k)), nullptr) << row.rule << ": " << k;
        }
        EXPECT_EQ(cache.count(), row.kept.size()) << row.rule;
        EXPECT_EQ(cache.bytes(), row.kept.size() * one) << row.rule;
    }
}

TEST(PictureCache, APictureLargerThanTheBoundIsNotKeptAndDropsNothing) {
    PictureCache cache(PictureCache::costOf(keyOf("a"), icon(0)) * 2);
    cache.put(keyOf("a"), icon(1));
    CachedPicture huge;
    huge.found = true;
    huge.large = Bitmap(512, 512);
    cache.put(keyOf("huge"), huge);
    EXPECT_EQ(cache.find(keyOf("huge")), nullptr);
    EXPECT_NE(cache.find(keyOf("a")), nullptr);
}

TEST(PictureCache, TheDefaultBoundIs32Megabytes) {
    EXPECT_EQ(PictureCache().bound(), std::size_t{32} << 20);
}

} // namespace
} // namespace kesk::test
