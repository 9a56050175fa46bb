// fileExists against real Windows sharing rules and device names.
#include "support/mdFiles.h"
#include "win32/wtext.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace kesk {
namespace {

class FileExistsWin32Test : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t tmp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, tmp);
        dir_ = std::wstring(tmp) + L"kesk_files_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(dir_.c_str(), nullptr);
        file_ = dir_ + L"\\Gr\u00fc\u00dfe \u2603.txt";
        HANDLE h = CreateFileW(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(h, "x", 1, &written, nullptr);
        CloseHandle(h);
    }
    void TearDown() override {
        DeleteFileW(file_.c_str());
        RemoveDirectoryW(dir_.c_str());
    }
    HANDLE holdOpen(DWORD access, DWORD share) const {
        return CreateFileW(file_.c_str(), access, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    std::wstring dir_;
    std::wstring file_;
};

TEST_F(FileExistsWin32Test, LockedFileIsNotThereUntilReleased) {
    const std::string path = win::narrow(file_);
    ASSERT_TRUE(fileExists(path));

    HANDLE exclusive = holdOpen(GENERIC_READ, 0);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(fileExists(path));
    CloseHandle(exclusive);
    EXPECT_TRUE(fileExists(path));
}

TEST_F(FileExistsWin32Test, FileBeingWrittenByOthersCanStillBeRead) {
    HANDLE writer = holdOpen(GENERIC_WRITE, FILE_SHARE_READ);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fileExists(win::narrow(file_)));
    CloseHandle(writer);
}

TEST_F(FileExistsWin32Test, FoldersDevicesAndBadNames) {
    const std::string dir = win::narrow(dir_);
    const char* notFiles[] = {"NUL", "CON", "\\\\.\\NUL", "C:\\", "", "a<b>c|d?.txt"};
    for (const char* name : notFiles) {
        EXPECT_FALSE(fileExists(name)) << name;
    }
    EXPECT_FALSE(fileExists(dir));
    EXPECT_FALSE(fileExists(dir + "\\"));
    EXPECT_FALSE(fileExists(dir + "\\missing.txt"));
    EXPECT_FALSE(fileExists(dir + "\\bad\xff.txt"));
    EXPECT_TRUE(fileExists(dir + "\\Gr\xc3\xbc\xc3\x9f"
                                 "e \xe2\x98\x83.txt"));
}

} // namespace
} // namespace kesk
