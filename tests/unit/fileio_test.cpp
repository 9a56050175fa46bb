// Whole-file reads and atomic replacement, including a write that stops
// after any of its steps.

#include "platform/fileio.h"
#include "settings/clsINIFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
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

// How the platform's final path of a file becomes the path every program uses.
TEST(FinalPathForm, TableOfRules) {
    const std::string deep = "C:\\" + std::string(300, 'd') + "\\velora.ini";
    struct Row {
        const char* rule;
        std::string reported;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"a drive path loses the prefix", "\\\\?\\C:\\Tools\\velora.ini", "C:\\Tools\\velora.ini"},
        {"a drive's root", "\\\\?\\D:\\", "D:\\"},
        {"a share keeps its double backslash", "\\\\?\\UNC\\host\\share\\velora.ini",
         "\\\\host\\share\\velora.ini"},
        {"the UNC marker in any case", "\\\\?\\unc\\host\\share\\x", "\\\\host\\share\\x"},
        {"a volume by its GUID stays", "\\\\?\\Volume{1b3b}\\velora.ini",
         "\\\\?\\Volume{1b3b}\\velora.ini"},
        {"a path too long for the plain form stays", "\\\\?\\" + deep, "\\\\?\\" + deep},
        {"a name ending in a dot stays", "\\\\?\\C:\\a.\\velora.ini", "\\\\?\\C:\\a.\\velora.ini"},
        {"a name ending in a space stays", "\\\\?\\C:\\a \\velora.ini",
         "\\\\?\\C:\\a \\velora.ini"},
        {"a device name stays", "\\\\?\\C:\\dir\\CON.ini", "\\\\?\\C:\\dir\\CON.ini"},
        {"a numbered device name stays", "\\\\?\\C:\\lpt1", "\\\\?\\C:\\lpt1"},
        {"a name that only starts like a device goes", "\\\\?\\C:\\console\\com10",
         "C:\\console\\com10"},
        {"a path without the prefix is kept", "C:\\x\\y", "C:\\x\\y"},
        {"the bare prefix is kept", "\\\\?\\", "\\\\?\\"},
        {"a drive letter must be a letter", "\\\\?\\1:\\x", "\\\\?\\1:\\x"},
        {"UNC without a host stays", "\\\\?\\UNC\\", "\\\\?\\UNC\\"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(kesk::fileio::withoutVerbatimPrefix(r.reported), r.expected) << r.rule;
    }
}

#ifndef _WIN32

// Writes through symbolic links (and hard links) of every kind: the link stays
// what it was and the write lands where it leads, or nothing is written at all.
TEST_F(FileIo, LinksTableOfRules) {
    struct Row {
        const char* rule;
        // Builds the case under `dir` and gives the path to write.
        std::function<fs::path(const fs::path& dir)> make;
        bool written;
        // What must hold afterwards.
        std::function<void(const fs::path& dir, const char* rule)> check;
    };
    const auto text = [](const fs::path& p) {
        return kesk::fileio::readAll(p.string(), 1 << 20).value_or("<none>");
    };
    const auto write = [](const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
    };
    // Nothing but the named entries in a folder: no temporary file left anywhere.
    const auto only = [](const fs::path& folder, std::vector<std::string> names, const char* rule) {
        std::vector<std::string> seen;
        for (const auto& e : fs::directory_iterator(folder)) {
            seen.push_back(e.path().filename().string());
        }
        std::sort(seen.begin(), seen.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(seen, names) << rule << " in " << folder;
    };
    const std::vector<Row> rows = {
        {"a link to a file in another folder keeps the link and writes the target",
         [&](const fs::path& d) {
             fs::create_directories(d / "sync");
             write(d / "sync" / "velora.ini", "old");
             fs::create_directories(d / "prog");
             fs::create_symlink(d / "sync" / "velora.ini", d / "prog" / "velora.ini");
             return d / "prog" / "velora.ini";
         },
         true,
         [&](const fs::path& d, const char* rule) {
             EXPECT_TRUE(fs::is_symlink(d / "prog" / "velora.ini")) << rule;
             EXPECT_EQ(text(d / "sync" / "velora.ini"), "new") << rule;
             only(d / "sync", {"velora.ini"}, rule);
             only(d / "prog", {"velora.ini"}, rule);
         }},
        {"a relative link keeps the link and writes the target",
         [&](const fs::path& d) {
             fs::create_directories(d / "sync");
             write(d / "sync" / "velora.ini", "old");
             fs::create_symlink("sync/velora.ini", d / "velora.ini");
             return d / "velora.ini";
         },
         true,
         [&](const fs::path& d, const char* rule) {
             EXPECT_TRUE(fs::is_symlink(d / "velora.ini")) << rule;
             EXPECT_EQ(fs::read_symlink(d / "velora.ini"), fs::path("sync/velora.ini")) << rule;
             EXPECT_EQ(text(d / "sync" / "velora.ini"), "new") << rule;
         }},
        {"a chain of links keeps every link",
         [&](const fs::path& d) {
             write(d / "real.ini", "old");
             fs::create_symlink(d / "real.ini", d / "middle.ini");
             fs::create_symlink(d / "middle.ini", d / "velora.ini");
             return d / "velora.ini";
         },
         true,
         [&](const fs::path& d, const char* rule) {
             EXPECT_TRUE(fs::is_symlink(d / "velora.ini")) << rule;
             EXPECT_TRUE(fs::is_symlink(d / "middle.ini")) << rule;
             EXPECT_EQ(text(d / "real.ini"), "new") << rule;
             only(d, {"real.ini", "middle.ini", "velora.ini"}, rule);
         }},
        {"a linked folder on the path stays a link",
         [&](const fs::path& d) {
             fs::create_directories(d / "real");
             write(d / "real" / "velora.ini", "old");
             fs::create_directory_symlink(d / "real", d / "prog");
             return d / "prog" / "velora.ini";
         },
         true,
         [&](const fs::path& d, const char* rule) {
             EXPECT_TRUE(fs::is_symlink(d / "prog")) << rule;
             EXPECT_EQ(text(d / "real" / "velora.ini"), "new") << rule;
             only(d / "real", {"velora.ini"}, rule);
         }},
        {"a new file through a linked folder lands in the real folder",
         [&](const fs::path& d) {
             fs::create_directories(d / "real");
             fs::create_directory_symlink(d / "real", d / "prog");
             return d / "prog" / "velora.ini";
         },
         true,
         [&](const fs::path& d, const char* rule) {
             EXPECT_TRUE(fs::is_symlink(d / "prog")) << rule;
             EXPECT_EQ(text(d / "real" / "velora.ini"), "new") << rule;
         }},
        {"a dangling link is refused and creates nothing",
         [&](const fs::path& d) {
             fs::create_symlink(d / "gone" / "velora.ini", d / "velora.ini");
             fs::create_symlink(d / "nowhere.ini", d / "other.ini");
             return d / "other.ini";
         },
         false,
         [&](const fs::path& d, const char* rule) {
             EXPECT_TRUE(fs::is_symlink(d / "other.ini")) << rule;
             EXPECT_FALSE(fs::exists(d / "nowhere.ini")) << rule;
             only(d, {"velora.ini", "other.ini"}, rule);
         }},
        {"a link to itself is refused",
         [&](const fs::path& d) {
             fs::create_symlink(d / "velora.ini", d / "velora.ini");
             return d / "velora.ini";
         },
         false,
         [&](const fs::path& d, const char* rule) {
             EXPECT_TRUE(fs::is_symlink(d / "velora.ini")) << rule;
             only(d, {"velora.ini"}, rule);
         }},
        {"two links to each other are refused",
         [&](const fs::path& d) {
             fs::create_symlink(d / "b.ini", d / "a.ini");
             fs::create_symlink(d / "a.ini", d / "b.ini");
             return d / "a.ini";
         },
         false,
         [&](const fs::path& d, const char* rule) {
             only(d, {"a.ini", "b.ini"}, rule);
         }},
        {"a link to a folder is refused",
         [&](const fs::path& d) {
             fs::create_directories(d / "folder");
             fs::create_directory_symlink(d / "folder", d / "velora.ini");
             return d / "velora.ini";
         },
         false,
         [&](const fs::path& d, const char* rule) {
             EXPECT_TRUE(fs::is_symlink(d / "velora.ini")) << rule;
             EXPECT_TRUE(fs::is_empty(d / "folder")) << rule;
         }},
        {"a link to a read-only file is refused",
         [&](const fs::path& d) {
             write(d / "real.ini", "old");
             fs::permissions(d / "real.ini", fs::perms::owner_read);
             fs::create_symlink(d / "real.ini", d / "velora.ini");
             return d / "velora.ini";
         },
         false,
         [&](const fs::path& d, const char* rule) {
             EXPECT_EQ(text(d / "real.ini"), "old") << rule;
             only(d, {"real.ini", "velora.ini"}, rule);
         }},
        {"a link to a file of a read-only file system is refused",
         [&](const fs::path& d) {
             fs::create_symlink("/proc/version", d / "velora.ini");
             return d / "velora.ini";
         },
         false,
         [&](const fs::path& d, const char* rule) {
             EXPECT_TRUE(fs::is_symlink(d / "velora.ini")) << rule;
             only(d, {"velora.ini"}, rule);
         }},
        {"a hard-linked file is replaced: the other name keeps the old content",
         [&](const fs::path& d) {
             write(d / "velora.ini", "old");
             fs::create_hard_link(d / "velora.ini", d / "copy.ini");
             return d / "velora.ini";
         },
         true,
         [&](const fs::path& d, const char* rule) {
             EXPECT_EQ(text(d / "velora.ini"), "new") << rule;
             EXPECT_EQ(text(d / "copy.ini"), "old") << rule;
             EXPECT_EQ(fs::hard_link_count(d / "velora.ini"), 1u) << rule;
         }},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        const fs::path d = dir_ / ("case" + std::to_string(i));
        fs::create_directories(d);
        const fs::path target = r.make(d);
        EXPECT_EQ(kesk::fileio::writeAtomic(target.string(), "new"), r.written) << r.rule;
        r.check(d, r.rule);
    }
}

#endif

} // namespace
