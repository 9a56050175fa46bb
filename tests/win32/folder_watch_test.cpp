// The folder watch: a folder that cannot be watched is skipped and the watch says when it has
// nothing to watch; a burst of writes in a watched folder comes as one call.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "win32/folder_watch.h"
#include "window_test_support.h"

namespace fs = std::filesystem;

namespace kesk::win {
namespace {

// Runs this thread's messages and the watch's waits, as the program's message loop does, until
// `done` or `ms` have passed; whether `done` came true.
template <class P> bool waitWatching(FolderWatch& watch, P done, int ms) {
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(ms);
    while (!done()) {
        if (GetTickCount64() > until) {
            return false;
        }
        test::pump();
        watch.wait(10);
    }
    return true;
}

class FolderWatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kesk-watch-" + std::to_string(GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::ofstream(dir_ / "a file") << "not a folder";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
};

TEST_F(FolderWatchTest, WhatCanBeWatchedDecidesWhetherTheWatchRuns) {
    struct Case {
        const char* rule;
        std::vector<std::wstring> folders;
        bool runs;
    };
    const std::wstring real = dir_.wstring();
    const Case cases[] = {
        {"nothing to watch", {}, false},
        {"a folder that does not exist", {real + L"\\missing"}, false},
        {"a file instead of a folder", {real + L"\\a file"}, false},
        {"an empty name", {L""}, false},
        {"a drive that does not exist", {L"B:\\nowhere\\at all"}, false},
        {"one real folder among missing ones", {real + L"\\missing", real}, true},
    };
    for (const Case& c : cases) {
        FolderWatch watch;
        EXPECT_EQ(watch.start(c.folders, [] { return DWORD{0}; }), c.runs) << c.rule;
        watch.stop();
    }
}

TEST_F(FolderWatchTest, ABurstOfWritesComesAsOneCallAndAWatchThatCouldNotStartCallsNever) {
    int calls = 0;
    FolderWatch watch;
    ASSERT_TRUE(watch.start({dir_.wstring()}, [&calls] {
        ++calls;
        return DWORD{0};
    }));
    FolderWatch failed;
    int failedCalls = 0;
    ASSERT_FALSE(failed.start({(dir_ / "missing").wstring()}, [&failedCalls] {
        ++failedCalls;
        return DWORD{0};
    }));
    for (int i = 0; i < 20; ++i) {
        std::ofstream(dir_ / "velora.ini", std::ios::trunc) << "[Window]\nn=" << i << "\n";
    }
    ASSERT_TRUE(waitWatching(
        watch, [&] { return calls > 0; }, 10000))
        << "the write was not heard";
    // Whatever else the burst sends arrives within the longest wait; none of it is a new call
    // unless the writes outlasted the quiet time, which twenty small writes do not.
    waitWatching(
        watch, [] { return false; }, 3 * static_cast<int>(FolderWatch::kLongestWaitMs));
    EXPECT_LE(calls, 2);
    EXPECT_EQ(failedCalls, 0);
    // A change after the watch ends is not heard.
    watch.stop();
    const int before = calls;
    std::ofstream(dir_ / "velora.ini", std::ios::trunc) << "[Window]\n";
    waitWatching(
        watch, [] { return false; }, 3 * static_cast<int>(FolderWatch::kLongestWaitMs));
    EXPECT_EQ(calls, before);
}

} // namespace
} // namespace kesk::win
