// What counts as another program's change of the files the menu is built from.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "menu/outside_changes.h"
#include "platform/own_writes.h"
#include "settings/profile.h"
#include "settings/profilestore.h"

namespace kesk {
namespace {

using fileio::FileStamp;
using Files = std::map<std::string, FileStamp>;

const std::string kCatalogue = "velora.ini";
const std::string kSkin = "skin.ini";
const std::string kBackground = "Velora_BG.bmp";

FileStamp stampOf(std::uint64_t version) {
    return FileStamp{100 + version, static_cast<std::int64_t>(1000 + version), 0, 7, false};
}

struct Step {
    const char* what;
    std::function<void(Files&, Files& own)> change;
    std::int64_t atMs;
    bool rebuild;
    std::int64_t recheckMs;
};

struct Case {
    const char* rule;
    bool catalogueAtBuild;
    std::vector<Step> steps;
};

const auto rewrite = [](const std::string& path, std::uint64_t version) {
    return [=](Files& files, Files&) { files[path] = stampOf(version); };
};
const auto ownSave = [](const std::string& path, std::uint64_t version) {
    return [=](Files& files, Files& own) { own[path] = files[path] = stampOf(version); };
};
const auto remove = [](const std::string& path) {
    return [=](Files& files, Files&) { files.erase(path); };
};
const auto nothing = [](Files&, Files&) {};

TEST(OutsideChanges, EachRule) {
    const std::vector<Case> cases = {
        {"nothing changed: no rebuild", true, {{"look", nothing, 10, false, 0}}},
        {"another program rewrote the catalogue: one rebuild",
         true,
         {{"rewrite", rewrite(kCatalogue, 2), 10, true, 0}}},
        {"our own save is no outside change",
         true,
         {{"own save", ownSave(kCatalogue, 2), 10, false, 0},
          {"look again", nothing, 20, false, 0}}},
        {"another program's save after ours still counts",
         true,
         {{"own save", ownSave(kCatalogue, 2), 10, false, 0},
          {"rewrite", rewrite(kCatalogue, 3), 20, true, 0}}},
        {"the skin's colours changed: rebuild", true, {{"skin", rewrite(kSkin, 5), 10, true, 0}}},
        {"a background picture that appears: rebuild",
         true,
         {{"picture", rewrite(kBackground, 1), 10, true, 0}}},
        {"a catalogue gone for a moment is waited for",
         true,
         {{"delete", remove(kCatalogue), 1000, false, 2000},
          {"still gone", nothing, 1500, false, 1500}}},
        {"a catalogue renamed back with new content within the wait: rebuild",
         true,
         {{"delete", remove(kCatalogue), 1000, false, 2000},
          {"rename", rewrite(kCatalogue, 9), 1300, true, 0}}},
        {"the same catalogue back within the wait: no rebuild",
         true,
         {{"delete", remove(kCatalogue), 1000, false, 2000},
          {"back", rewrite(kCatalogue, 1), 1300, false, 0}}},
        {"a catalogue gone for the whole wait: rebuild without it",
         true,
         {{"delete", remove(kCatalogue), 1000, false, 2000},
          {"still gone", nothing, 3000, true, 0}}},
        {"a clock that went back is no reason to wait forever",
         true,
         {{"delete", remove(kCatalogue), 5000, false, 2000}, {"still gone", nothing, 10, true, 0}}},
        {"a catalogue missing at the build and still missing: nothing to do",
         false,
         {{"look", nothing, 10, false, 0}, {"look later", nothing, 5000, false, 0}}},
        {"a catalogue missing at the build that shows up: rebuild",
         false,
         {{"appears", rewrite(kCatalogue, 1), 10, true, 0}}},
    };
    for (const Case& c : cases) {
        Files files = {{kSkin, stampOf(1)}};
        if (c.catalogueAtBuild) {
            files[kCatalogue] = stampOf(1);
        }
        Files own;
        const OutsideChanges::StampOf stat = [&](const std::string& p) -> std::optional<FileStamp> {
            const auto it = files.find(p);
            return it == files.end() ? std::nullopt : std::optional<FileStamp>(it->second);
        };
        const OutsideChanges::IsOwnWrite isOwn = [&](const std::string& p, const FileStamp& s) {
            const auto it = own.find(p);
            return it != own.end() && it->second == s;
        };
        OutsideChanges watch;
        watch.record({kCatalogue, kSkin, kBackground}, stat);
        for (const Step& step : c.steps) {
            step.change(files, own);
            const OutsideChanges::Verdict v = watch.check(step.atMs, stat, isOwn);
            EXPECT_EQ(v.rebuild, step.rebuild) << c.rule << " / " << step.what;
            EXPECT_EQ(v.recheckMs, step.recheckMs) << c.rule << " / " << step.what;
        }
    }
}

TEST(OutsideChanges, NothingRecordedIsNothingToWatch) {
    OutsideChanges watch;
    const auto v = watch.check(
        10, [](const std::string&) { return std::optional<FileStamp>(stampOf(1)); },
        [](const std::string&, const FileStamp&) { return false; });
    EXPECT_FALSE(v.rebuild);
}

// The store's saves are the program's own; a save by anyone else is not.
TEST(OwnWrites, TheStoresSavesAreOursOthersAreNot) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "kesk_own_writes";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = (dir / "velora.ini").string();
    std::ofstream(path, std::ios::binary) << "[Window]\r\nheightOffset=0\r\n";

    const std::optional<FileStamp> before = fileio::stat(path);
    ASSERT_TRUE(before);
    EXPECT_FALSE(fileio::isOwnWrite(path, *before)) << "a file we never wrote";

    const auto result = ini::update(
        path, false, [](ini::Profile& p) { return p.writeKey("Window", "heightOffset", "12"); });
    ASSERT_EQ(result, ini::UpdateResult::Written);
    const std::optional<FileStamp> saved = fileio::stat(path);
    ASSERT_TRUE(saved);
    EXPECT_TRUE(fileio::isOwnWrite(path, *saved)) << "our save";

    std::ofstream(path, std::ios::binary | std::ios::app) << "[Other]\r\nName=x\r\n";
    const std::optional<FileStamp> theirs = fileio::stat(path);
    ASSERT_TRUE(theirs);
    EXPECT_FALSE(fileio::isOwnWrite(path, *theirs)) << "another program's save after ours";
    fs::remove_all(dir);
}

} // namespace
} // namespace kesk
