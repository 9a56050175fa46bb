// The menu's work queue: jobs run one after another away from the posting thread, a queue
// that ran dry takes new jobs, a failing job does not stop it, and jobs still waiting when it
// goes are dropped.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "win32/menu_port.h"

namespace kesk::win {
namespace {

struct Record {
    std::mutex lock;
    std::vector<int> ran;
    std::vector<DWORD> threads;
    void add(int n) {
        const std::lock_guard<std::mutex> hold(lock);
        ran.push_back(n);
        threads.push_back(GetCurrentThreadId());
    }
    std::size_t count() {
        const std::lock_guard<std::mutex> hold(lock);
        return ran.size();
    }
};

bool waitUntil(const std::function<bool()>& done, DWORD ms = 5000) {
    const ULONGLONG until = GetTickCount64() + ms;
    while (!done()) {
        if (GetTickCount64() > until) {
            return false;
        }
        Sleep(2);
    }
    return true;
}

TEST(WorkQueue, RunsItsJobsAwayFromThePosterInOrderAndOutlivesAFailingOne) {
    struct Case {
        const char* rule;
        std::vector<int> rounds; // jobs posted per round; the queue runs dry in between
        bool failFirst;
    };
    const Case cases[] = {
        {"one job", {1}, false},
        {"many jobs in one round keep their order", {50}, false},
        {"a queue that ran dry takes the next round", {3, 3, 3}, false},
        {"a job that throws does not stop the rest", {5}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        Record record;
        WorkQueue queue;
        int next = 0;
        std::vector<int> expected;
        for (const int round : c.rounds) {
            for (int i = 0; i < round; ++i, ++next) {
                const int n = next;
                const bool fail = c.failFirst && n == 0;
                queue.post([&record, n, fail] {
                    record.add(n);
                    if (fail) {
                        throw std::runtime_error("a job's own failure");
                    }
                });
                expected.push_back(n);
            }
            ASSERT_TRUE(waitUntil([&] { return record.count() == expected.size(); }));
        }
        EXPECT_EQ(record.ran, expected);
        for (const DWORD t : record.threads) {
            EXPECT_NE(t, GetCurrentThreadId());
        }
    }
}

TEST(WorkQueue, JobsStillWaitingWhenTheQueueGoesAreDropped) {
    auto started = std::make_shared<std::atomic<bool>>(false);
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto laterRan = std::make_shared<std::atomic<bool>>(false);
    {
        WorkQueue queue;
        queue.post([started, release] {
            started->store(true);
            while (!release->load()) {
                Sleep(1);
            }
        });
        queue.post([laterRan] { laterRan->store(true); });
        ASSERT_TRUE(waitUntil([&] { return started->load(); }));
    } // the queue goes while its first job runs
    release->store(true);
    Sleep(200);
    EXPECT_FALSE(laterRan->load());
}

} // namespace
} // namespace kesk::win
