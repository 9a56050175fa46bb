// Whole-file reads and atomic replacement, including a write that stops
// after any of its steps.

#include "platform/fileio.h"
#include "settings/clsINIFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using kesk::fileio::WriteStep;

namespace {

class FileIo : public testing::Test {
  protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("kesk_fileio_") + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "f.ini").string();
    }
    void TearDown() override {
        kesk::fileio::setWriteStepHookForTests({});
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir_, ec)) {
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(dir_, ec);
    }
    void put(const std::string& bytes) const {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string content() const { return kesk::fileio::readAll(path_, 1 << 20).value_or("<none>"); }
    std::size_t filesInDir() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(FileIo, WritesCreateAndReplace) {
    EXPECT_FALSE(kesk::fileio::stat(path_).has_value());
    ASSERT_TRUE(kesk::fileio::writeAtomic(path_, std::string("a\0b", 3)));
    EXPECT_EQ(content(), std::string("a\0b", 3));
    ASSERT_TRUE(kesk::fileio::writeAtomic(path_, "longer content"));
    EXPECT_EQ(content(), "longer content");
    ASSERT_TRUE(kesk::fileio::writeAtomic(path_, ""));
    EXPECT_EQ(content(), "");
    EXPECT_EQ(filesInDir(), 1u); // no temporary file left behind
    const auto st = kesk::fileio::stat(path_);
    ASSERT_TRUE(st.has_value());
    EXPECT_EQ(st->size, 0u);
    EXPECT_FALSE(st->readOnly);
}

TEST_F(FileIo, NonAsciiPaths) {
    const std::u8string wide = (dir_ / std::u8string(u8"K\u00E4se \u65E5.ini")).u8string();
    const std::string name(wide.begin(), wide.end());
    ASSERT_TRUE(kesk::fileio::writeAtomic(name, "x"));
    EXPECT_EQ(kesk::fileio::readAll(name, 10), "x");
    EXPECT_TRUE(fs::exists(fs::path(wide)));
}

TEST_F(FileIo, ReadRefusesWhatIsNoReadableFile) {
    EXPECT_FALSE(kesk::fileio::readAll(path_, 100).has_value());
    EXPECT_FALSE(kesk::fileio::readAll(dir_.string(), 100).has_value());
    EXPECT_FALSE(kesk::fileio::stat(dir_.string()).has_value());
    put("12345");
    EXPECT_FALSE(kesk::fileio::readAll(path_, 4).has_value());
    EXPECT_EQ(kesk::fileio::readAll(path_, 5), "12345");
}

TEST_F(FileIo, ImpossibleWritesLeaveEverythingAsItWas) {
    put("old");
    fs::permissions(path_,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_TRUE(kesk::fileio::stat(path_)->readOnly);
    EXPECT_FALSE(kesk::fileio::writeAtomic(path_, "new"));
    EXPECT_EQ(content(), "old");
    EXPECT_FALSE(kesk::fileio::writeAtomic((dir_ / "missing" / "f.ini").string(), "new"));
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
    EXPECT_FALSE(kesk::fileio::writeAtomic(dir_.string(), "new"));
    EXPECT_EQ(filesInDir(), 1u);
}

// A write stopped after any step, as by a crash or power loss, leaves a
// catalogue that reads entirely as before or entirely as after.
TEST_F(FileIo, InterruptedWriteLeavesOldOrNewCatalogue) {
    const std::string before = "; user's comment\r\n[Window]\r\nheightOffset=10\r\n\r\n[Item]\r\n"
                               "Name=Editor\r\nTarget=C:\\x.exe\r\n";
    const std::vector<WriteStep> steps = {WriteStep::CreateTemp, WriteStep::WriteData,
                                          WriteStep::Flush, WriteStep::Close, WriteStep::Replace};
    // The hook sees every step of a write, in order, so stopping at each of
    // them below leaves no moment of the write untried.
    std::vector<WriteStep> seen;
    kesk::fileio::setWriteStepHookForTests([&](WriteStep s) {
        seen.push_back(s);
        return true;
    });
    ASSERT_TRUE(kesk::fileio::writeAtomic(path_, "x"));
    EXPECT_EQ(seen, steps);
    for (const WriteStep stop : steps) {
        put(before);
        int calls = 0;
        kesk::fileio::setWriteStepHookForTests([&](WriteStep s) {
            ++calls;
            return s != stop;
        });
        kesk::clsINIFile ini;
        ini.setFilename(path_);
        ini.setValue("Window", "heightOffset", "250");
        kesk::fileio::setWriteStepHookForTests({});
        EXPECT_EQ(calls, static_cast<int>(stop) + 1);

        const std::string now = content();
        const std::string after = "; user's comment\r\n[Window]\r\nheightOffset=250\r\n\r\n"
                                  "[Item]\r\nName=Editor\r\nTarget=C:\\x.exe\r\n";
        if (stop == WriteStep::Replace) {
            EXPECT_EQ(now, after);
            EXPECT_EQ(ini.getString("Window", "heightOffset"), "250");
        } else {
            EXPECT_EQ(now, before) << static_cast<int>(stop);
            EXPECT_EQ(ini.getString("Window", "heightOffset"), "10");
        }
        EXPECT_EQ(ini.getString("Item", "Target"), "C:\\x.exe");
        // A crash may leave the temporary file; it never takes the catalogue's name.
        for (const auto& e : fs::directory_iterator(dir_)) {
            if (e.path().string() != path_) {
                fs::remove(e.path());
            }
        }
    }
}

} // namespace
