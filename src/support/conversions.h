#pragma once
// The number conversions of the old runtime that stored files and the
// catalogue's hand-edited values depend on. One place, so every reader of a
// number agrees on blanks, prefixes, rounding and range failures.

#include <cstdint>
#include <string_view>

namespace kesk::conv {

// Converts the digits that follow an "&H" prefix (the prefix itself is not
// part of `digits`). Hex digits are read up to the first other character;
// blanks, tabs and line feeds are skipped. No digit gives 0. A value up to
// FFFF is a signed 16-bit number, a larger one up to FFFFFFFF a signed 32-bit
// number. A larger value throws RuntimeError(Overflow).
std::int32_t hexDigitsToLong(std::string_view digits);

// Octal counterpart for "&O": up to 177777 signed 16-bit, up to 37777777777
// signed 32-bit, larger throws Overflow.
std::int32_t octDigitsToLong(std::string_view digits);

// Reads a number from the start of `text` the way the catalogue's integer
// values are read: blanks, tabs and line feeds anywhere are skipped; an
// optional sign, digits, an optional "." with decimals and an optional
// exponent (E or D, optional sign, digits); or "&H"/"&O" prefixed numbers.
// Reading stops at the first character that does not fit. No number gives 0.
// "." is the decimal separator whatever the locale. Never throws; an
// out-of-range &H/&O value reads as 0, a huge exponent as +/-infinity.
double textToNumber(std::string_view text) noexcept;

// Rounds to the nearest whole number, a tie to the even one (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double v) noexcept;

// Rounded (ties to even) and range-checked; NaN or out of range throws
// RuntimeError(Overflow).
std::int32_t toLong(double v);
std::int16_t toInteger(double v);

// Range checks on whole numbers; out of range throws RuntimeError(Overflow).
std::int32_t checkedLong(std::int64_t v);
std::int16_t checkedInteger(std::int64_t v);

// A stored colour or other value that is always hexadecimal: "0x"/"0X" and
// "&H"/"&h" prefixes are optional, a bare "255" is hexadecimal 255 (597).
// Anything that cannot be converted, including a value past FFFFFFFF, gives 0.
std::int32_t hexTextToLong(std::string_view text) noexcept;

// A stored whole number: textToNumber, then rounded into the signed 32-bit
// range. Throws RuntimeError(Overflow) outside that range.
std::int32_t valToLong(std::string_view text);

} // namespace kesk::conv
