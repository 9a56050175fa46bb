#include "support/errors.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

namespace kesk {
namespace {

TEST(RuntimeError, CarriesNumberSourceAndDescription) {
    try {
        raiseError(errnum::FileNotFound, "custom text", "Module.proc");
        FAIL() << "raiseError returned";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.record(), (ErrorRecord{53, "Module.proc", "custom text"}));
        EXPECT_STREQ(e.what(), "custom text");
    }
}

TEST(RuntimeError, StandardDescriptionsWhenNoneIsGiven) {
    struct Case {
        std::int32_t number;
        const char* description;
    };
    const Case cases[] = {
        {errnum::Overflow, "Overflow"},
        {errnum::OutOfMemory, "Out of memory"},
        {errnum::SubscriptOutOfRange, "Subscript out of range"},
        {errnum::FileNotFound, "File not found"},
        {errnum::PathFileAccess, "Path/File access error"},
        {errnum::PathNotFound, "Path not found"},
        {errnum::InvalidPicture, "Invalid picture"},
        {12345, "Application-defined or object-defined error"},
    };
    for (const auto& c : cases) {
        const RuntimeError e(c.number);
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.record().description, c.description) << c.number;
        EXPECT_TRUE(e.record().source.empty());
    }
}

TEST(RecordOf, MapsEveryKindOfException) {
    const auto recordFrom = [](auto thrower) {
        try {
            thrower();
        } catch (...) {
            return recordOf(std::current_exception());
        }
        return ErrorRecord{-1, "nothing thrown", ""};
    };
    EXPECT_EQ(recordFrom([] { raiseError(errnum::PathNotFound, "", "src"); }),
              (ErrorRecord{76, "src", "Path not found"}));
    EXPECT_EQ(recordFrom([] { throw std::bad_alloc(); }), (ErrorRecord{7, "", "Out of memory"}));
    EXPECT_EQ(recordFrom([] { throw std::runtime_error("boom"); }), (ErrorRecord{51, "", "boom"}));
    EXPECT_EQ(recordFrom([] { throw 3; }), (ErrorRecord{51, "", "Internal error"}));
}

TEST(GuardEvent, SwallowsFailuresAndReportsThem) {
    int ran = 0;
    ErrorRecord rec{1, "before", "before"};
    EXPECT_TRUE(guardEvent([&] { ++ran; }, &rec));
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(rec, (ErrorRecord{1, "before", "before"})); // untouched on success

    EXPECT_FALSE(guardEvent([&] { raiseError(errnum::Overflow); }, &rec));
    EXPECT_EQ(rec.number, errnum::Overflow);
    EXPECT_FALSE(guardEvent([] { throw 1; }));
    EXPECT_FALSE(guardEvent([] { throw std::bad_alloc(); }, &rec));
    EXPECT_EQ(rec.number, errnum::OutOfMemory);
}

// The skip-and-continue style: each failing step is passed over, the rest runs.
TEST(SkipOnError, LaterStepsStillRun) {
    std::string trace;
    ErrorRecord last;
    skipOnError([&] { trace += "a"; });
    skipOnError(
        [&] {
            trace += "b";
            raiseError(errnum::Overflow);
            trace += "never";
        },
        &last);
    skipOnError([&] { trace += "c"; });
    EXPECT_EQ(trace, "abc");
    EXPECT_EQ(last.number, errnum::Overflow);
}

} // namespace
} // namespace kesk
