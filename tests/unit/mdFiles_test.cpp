#include "support/mdFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace kesk {
namespace {

constexpr const char* kUnwritten = "<unwritten>";

struct SplitCase {
    const char* path;
    const char* root;
    const char* directory;
    const char* fileName;
    const char* baseName;
    const char* extension;
};

TEST(SplitPath, EveryShapeOfPath) {
    const SplitCase cases[] = {
        {R"(C:\Tools\Editor\edit.exe)", "C:", R"(C:\Tools\Editor)", "edit.exe", "edit", "exe"},
        {R"(C:\readme.txt)", "C:", R"(C:\)", "readme.txt", "readme", "txt"},
        {R"(C:\Tools)", "C:", R"(C:\)", "Tools", "Tools", ""},
        {R"(\\server\share\file.txt)", R"(\\server)", R"(\\server\share)", "file.txt", "file",
         "txt"},
        {R"(\\server)", R"(\\server)", "", "", "", ""},
        {R"(\\server\file.txt)", R"(\\server)", R"(\\server)", "file.txt", "file", "txt"},
        {R"(D:\packs\archive.tar.gz)", "D:", R"(D:\packs)", "archive.tar.gz", "archive.tar", "gz"},
        {R"(C:\Users\me\.profile)", "C:", R"(C:\Users\me)", ".profile", "", "profile"},
        {"notes.txt", kUnwritten, "notes.txt", "", "", ""},
        {"", kUnwritten, "", "", "", ""},
        {"C:", "C:", R"(C:\)", "", "", ""},
        {R"(C:\)", "C:", R"(C:\)", "", "", ""},
        {R"(C:\dir.d\name)", "C:", R"(C:\dir.d)", "name", "name", ""},
        {R"(C:\Tools\trailing.)", "C:", R"(C:\Tools)", "trailing.", "trailing", ""},
        {R"(C:\Tools\)", "C:", R"(C:\Tools)", "", "", ""},
        {R"(\relative\x.ini)", kUnwritten, R"(\relative)", "x.ini", "x", "ini"},
        {R"(C:relative\x.ini)", kUnwritten, "C:relative", "x.ini", "x", "ini"},
        {"/usr/bin/tool.sh", kUnwritten, "/usr/bin/tool.sh", "", "", ""}, // only "\" separates
        {R"(C:\Müller\Ärger.txt)", "C:", R"(C:\Müller)", "Ärger.txt", "Ärger", "txt"},
    };
    for (const auto& c : cases) {
        // Outputs start with stale content: each one must be overwritten
        // (or, for the root, deliberately kept).
        std::string root = kUnwritten;
        std::string directory = "stale", fileName = "stale", baseName = "stale",
                    extension = "stale";
        splitPath(c.path, root, directory, fileName, baseName, extension);
        EXPECT_EQ(root, c.root) << "path: " << c.path;
        EXPECT_EQ(directory, c.directory) << "path: " << c.path;
        EXPECT_EQ(fileName, c.fileName) << "path: " << c.path;
        EXPECT_EQ(baseName, c.baseName) << "path: " << c.path;
        EXPECT_EQ(extension, c.extension) << "path: " << c.path;
    }
}

TEST(SplitPath, VeryLongPathIsSplitWhole) {
    const std::string dir = "C:\\" + std::string(40000, 'a');
    std::string root, directory, fileName, baseName, extension;
    splitPath(dir + "\\f.x", root, directory, fileName, baseName, extension);
    EXPECT_EQ(root, "C:");
    EXPECT_EQ(directory, dir);
    EXPECT_EQ(baseName, "f");
    EXPECT_EQ(extension, "x");
}

class FileExistsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("kesk_fileexists_" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string utf8(const std::filesystem::path& p) const {
        const auto u = p.u8string();
        return std::string(u.begin(), u.end());
    }
    std::filesystem::path dir_;
};

TEST_F(FileExistsTest, OnlyReadableFilesCount) {
    const auto file = dir_ / "present.txt";
    std::ofstream(file) << "x";
    const auto empty = dir_ / "empty.txt";
    std::ofstream{empty};
    const auto unicode = dir_ / pathFromUtf8("Grüße ☃.txt");
    std::ofstream(unicode) << "x";

    struct Case {
        std::string path;
        bool expected;
    };
    const Case cases[] = {
        {utf8(file), true},
        {utf8(empty), true},
        {utf8(unicode), true},
        {utf8(dir_), false},
        {utf8(dir_ / "missing.txt"), false},
        {utf8(dir_ / "missing" / "deeper.txt"), false},
        {"", false},
        {utf8(file) + std::string(1, '\0') + "tail", false},
        {utf8(file).substr(0, utf8(file).size() - 4) + std::string(1, '\0'), false},
        {utf8(dir_ / "a<b>c|d.txt"), false},
        {utf8(dir_ / "bad\xff\xfe.txt"), false},
        {std::string(5000, 'x'), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fileExists(c.path), c.expected) << "path: " << c.path;
    }
}

#ifndef _WIN32
// A named pipe opens for reading only once a writer comes; asking must not wait.
TEST_F(FileExistsTest, FifoIsNoFileAndDoesNotBlock) {
    const auto fifo = dir_ / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(fileExists(utf8(fifo)));
}
#endif

} // namespace
} // namespace kesk
