#include "support/conversions.h"
#include "support/errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>

namespace kesk::conv {
namespace {

// Runs `f` and returns the run-time error number it raised, or nothing.
template <class F> std::optional<std::int32_t> errorOf(F&& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return std::nullopt;
}

struct HexCase {
    const char* text;
    std::int32_t expected;
};

TEST(HexTextToLong, StoredValuesAreAlwaysHexadecimal) {
    const HexCase cases[] = {
        {"0xFF", 255},
        {"0XFF", 255},
        {"&HFF", 255},
        {"&hff", 255},
        {"FF", 255},
        {"255", 597},
        {"FF0000", 16711680},
        {"0xFFFF", -1},
        {"0x8000", -32768},
        {"0x7FFF", 32767},
        {"0x10000", 65536},
        {"0xFFFFFF", 16777215},
        {"0x7FFFFFFF", 2147483647},
        {"0x80000000", std::numeric_limits<std::int32_t>::min()},
        {"0xFFFFFFFF", -1},
        {"0x00FF00", -256},
        {"0x000000000000FFFF", -1}, // judged by value, not by the count of digits
        {"0x0000000000010000", 65536},
        {"xyz", 0},
        {"", 0},
        {"0x", 0},
        {"&H", 0},
        {"&", 0},
        {"0", 0},
        {"FFz9", 255},      // stops at the first non-digit
        {"&H F F", 255},    // blanks between digits are skipped
        {"\t\nFF", 255},    // not a prefix: the whole text is digits after blanks
        {"0x1FFFFFFFF", 0}, // past 32 bits: the failure is swallowed
        {"FFFFFFFFFFFFFFFFFFFF", 0},
        {"-1", 0},
        {" 0xFF", 0}, // a blank first means no prefix: "&H 0xFF" reads the 0 only
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hexTextToLong(c.text), c.expected) << "text: \"" << c.text << "\"";
    }
}

TEST(HexDigitsToLong, ValuesPast32BitsOverflow) {
    EXPECT_EQ(hexDigitsToLong("FFFFFFFF"), -1);
    EXPECT_EQ(errorOf([] { hexDigitsToLong("100000000"); }), errnum::Overflow);
    EXPECT_EQ(errorOf([] { hexDigitsToLong(std::string(5000, 'F')); }), errnum::Overflow);
    EXPECT_EQ(hexDigitsToLong(std::string(5000, '0') + "1"), 1);
}

TEST(OctDigitsToLong, WidthRuleMatchesHex) {
    const HexCase cases[] = {
        {"17", 15},
        {"177777", -1},
        {"100000", -32768},
        {"77777", 32767},
        {"200000", 65536},
        {"37777777777", -1},
        {"20000000000", std::numeric_limits<std::int32_t>::min()},
        {"8", 0},
        {"", 0},
        {"1 7", 15},
        {"178", 15},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(octDigitsToLong(c.text), c.expected) << "text: \"" << c.text << "\"";
    }
    EXPECT_EQ(errorOf([] { octDigitsToLong("40000000000"); }), errnum::Overflow);
}

struct NumberCase {
    const char* text;
    double expected;
};

TEST(TextToNumber, ReadsAsMuchOfANumberAsFits) {
    const NumberCase cases[] = {
        {"12px", 12},       {" 1 2", 12},
        {"\t1\n2", 12},     {"2.5", 2.5},
        {"-7", -7},         {"+7", 7},
        {"&H10", 16},       {"&h10", 16},
        {"& H 1 0", 16},    {"&HFFFF", -1},
        {"&H10000", 65536}, {"&O17", 15},
        {"&o17", 15},       {"&H1FFFFFFFF", 0}, // too wide for the hexadecimal reader
        {"&", 0},           {"&X10", 0},
        {"abc", 0},         {"", 0},
        {"+", 0},           {"-", 0},
        {"+-5", 0},         {"--5", 0},
        {".", 0},           {"-.", 0},
        {".5", 0.5},        {"-.5", -0.5},
        {"5.", 5},          {"1.2.3", 1.2},
        {"1,5", 1}, // "." is the only decimal separator
        {"1e3", 1000},      {"1E+3", 1000},
        {"2.5e-1", 0.25},   {"1D2", 100},
        {"1d-2", 0.01},     {"1 e 2", 100},
        {"12E", 12},        {"12E+", 12},
        {"12E-x", 12},      {"1\r2", 1}, // a carriage return is not a blank
        {"007", 7},         {"123456789012", 123456789012.0},
        {"1e-999", 0},      {"0e99999999999999999999", 0},
        {"-0", 0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(textToNumber(c.text), c.expected) << "text: \"" << c.text << "\"";
    }
    EXPECT_FALSE(std::signbit(textToNumber("-0")));
}

TEST(TextToNumber, HugeExponentsGiveInfinity) {
    EXPECT_EQ(textToNumber("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(textToNumber("-1e999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(textToNumber("1e99999999999999999999999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(textToNumber(std::string(400, '9')), std::numeric_limits<double>::infinity());
    EXPECT_EQ(textToNumber("0." + std::string(400, '0') + "1"), 0.0);
}

TEST(RoundHalfEven, TiesGoToTheEvenNeighbour) {
    const NumberCase cases[] = {
        {"0.5", 0},
        {"1.5", 2},
        {"2.5", 2},
        {"3.5", 4},
        {"-0.5", 0},
        {"-1.5", -2},
        {"-2.5", -2},
        {"-3.5", -4},
        {"2.49999", 2},
        {"2.50001", 3},
        {"-2.50001", -3},
        {"0.49999999999999994", 0},
        {"4503599627370497", 4503599627370497.0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(roundHalfEven(textToNumber(c.text)), c.expected) << "value: " << c.text;
    }
    EXPECT_TRUE(std::isnan(roundHalfEven(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(roundHalfEven(std::numeric_limits<double>::infinity()),
              std::numeric_limits<double>::infinity());
}

struct RangeCase {
    double value;
    std::optional<std::int64_t> expected; // nothing: overflow
};

TEST(ToLong, RoundsThenChecksTheSigned32BitRange) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const RangeCase cases[] = {
        {2147483647.0, 2147483647},
        {2147483647.4, 2147483647},
        {2147483646.5, 2147483646},
        {2147483647.5, std::nullopt}, // the tie rounds up to 2^31
        {2147483648.0, std::nullopt},
        {-2147483648.0, -2147483648LL},
        {-2147483648.5, -2147483648LL}, // the tie rounds to the even -2^31
        {-2147483648.6, std::nullopt},
        {-2147483649.0, std::nullopt},
        {0.5, 0},
        {-0.5, 0},
        {nan, std::nullopt},
        {inf, std::nullopt},
        {-inf, std::nullopt},
    };
    for (const auto& c : cases) {
        std::int32_t got = 0;
        const auto err = errorOf([&] { got = toLong(c.value); });
        if (c.expected) {
            EXPECT_FALSE(err) << "value " << c.value;
            EXPECT_EQ(got, *c.expected) << "value " << c.value;
        } else {
            EXPECT_EQ(err, errnum::Overflow) << "value " << c.value;
        }
    }
}

TEST(ToInteger, RoundsThenChecksTheSigned16BitRange) {
    const RangeCase cases[] = {
        {32767.0, 32767},         {32767.49, 32767},
        {32766.5, 32766},         {32767.5, std::nullopt},
        {32768.0, std::nullopt},  {-32768.0, -32768},
        {-32768.5, -32768},       {-32768.51, std::nullopt},
        {-32769.0, std::nullopt}, {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const auto& c : cases) {
        std::int16_t got = 0;
        const auto err = errorOf([&] { got = toInteger(c.value); });
        if (c.expected) {
            EXPECT_FALSE(err) << "value " << c.value;
            EXPECT_EQ(got, *c.expected) << "value " << c.value;
        } else {
            EXPECT_EQ(err, errnum::Overflow) << "value " << c.value;
        }
    }
}

TEST(CheckedRanges, EdgesPassAndOneBeyondOverflows) {
    EXPECT_EQ(checkedLong(2147483647LL), 2147483647);
    EXPECT_EQ(checkedLong(-2147483648LL), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(errorOf([] { checkedLong(2147483648LL); }), errnum::Overflow);
    EXPECT_EQ(errorOf([] { checkedLong(-2147483649LL); }), errnum::Overflow);
    EXPECT_EQ(checkedInteger(32767), 32767);
    EXPECT_EQ(checkedInteger(-32768), -32768);
    EXPECT_EQ(errorOf([] { checkedInteger(32768); }), errnum::Overflow);
    EXPECT_EQ(errorOf([] { checkedInteger(-32769); }), errnum::Overflow);
}

TEST(ValToLong, StoredWholeNumbers) {
    struct Case {
        const char* text;
        std::optional<std::int32_t> expected;
    };
    const Case table[] = {
        {"12px", 12},
        {"  1  2", 12},
        {"2.5", 2},
        {"3.5", 4},
        {"-7", -7},
        {"&H10", 16},
        {"abc", 0},
        {"", 0},
        {"123456789012", std::nullopt},
        {"2147483647", 2147483647},
        {"2147483648", std::nullopt},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"-2147483649", std::nullopt},
        {"1e999", std::nullopt},
        {"&HFFFFFFFF", -1},
    };
    for (const auto& c : table) {
        std::int32_t got = 0;
        const auto err = errorOf([&] { got = valToLong(c.text); });
        if (c.expected) {
            EXPECT_FALSE(err) << "text: \"" << c.text << "\"";
            EXPECT_EQ(got, *c.expected) << "text: \"" << c.text << "\"";
        } else {
            EXPECT_EQ(err, errnum::Overflow) << "text: \"" << c.text << "\"";
        }
    }
}

TEST(Conversions, HostileTextNeverCrashes) {
    const std::string megabyteOfDigits(1 << 20, '7');
    EXPECT_EQ(textToNumber(megabyteOfDigits), std::numeric_limits<double>::infinity());
    EXPECT_EQ(hexTextToLong(megabyteOfDigits), 0);
    EXPECT_EQ(errorOf([&] { valToLong(megabyteOfDigits); }), errnum::Overflow);
    EXPECT_EQ(textToNumber("&H" + megabyteOfDigits), 0.0);
    EXPECT_EQ(textToNumber(std::string(1 << 20, '-')), 0.0);
    EXPECT_EQ(textToNumber(std::string(1 << 20, ' ')), 0.0);
    EXPECT_EQ(textToNumber("1e" + megabyteOfDigits), std::numeric_limits<double>::infinity());

    std::string allBytes;
    for (int b = 255; b >= 0; --b) {
        allBytes += static_cast<char>(b);
    }
    EXPECT_EQ(textToNumber(allBytes), 0.0);
    EXPECT_EQ(hexTextToLong(allBytes), 0);
    EXPECT_EQ(textToNumber(std::string("4\0"
                                       "2",
                                       3)),
              4.0); // NUL ends the number
}

// Blanks, tabs and line feeds are invisible to the reader, wherever they stand;
// and the only failure a stored number can raise is overflow.
TEST(Conversions, RandomTextBlanksAreInvisible) {
    const std::string alphabet =
        std::string("0123456789+-.eEdD&HhOoxX,aF \t\n\r\xff") + std::string(1, '\0');
    std::mt19937 rng(20080209);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 24);
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const int n = length(rng);
        for (int k = 0; k < n; ++k) {
            text += alphabet[pick(rng)];
        }
        std::string squeezed;
        for (char c : text) {
            if (c != ' ' && c != '\t' && c != '\n') {
                squeezed += c;
            }
        }
        const double a = textToNumber(text);
        const double b = textToNumber(squeezed);
        ASSERT_FALSE(std::isnan(a)) << text;
        ASSERT_EQ(a, b) << "text: \"" << text << "\"";
        const auto err = errorOf([&] { valToLong(text); });
        ASSERT_TRUE(!err || *err == errnum::Overflow) << text;
    }
}

} // namespace
} // namespace kesk::conv
