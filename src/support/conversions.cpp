#include "support/conversions.h"

#include "support/errors.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace kesk::conv {

namespace {

// Walks a text the way the old runtime's number reader did: blanks, tabs and
// line feeds are invisible wherever they stand ("1 2" reads as 12).
class Cursor {
  public:
    explicit Cursor(std::string_view text) noexcept : text_(text) { skipBlanks(); }

    bool atEnd() const noexcept { return pos_ >= text_.size(); }
    char peek() const noexcept { return atEnd() ? '\0' : text_[pos_]; }
    void advance() noexcept {
        ++pos_;
        skipBlanks();
    }
    std::string_view rest() const noexcept {
        return text_.substr(pos_ < text_.size() ? pos_ : text_.size());
    }

  private:
    static bool isBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\n'; }
    void skipBlanks() noexcept {
        while (pos_ < text_.size() && isBlank(text_[pos_])) {
            ++pos_;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

bool isDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

int hexValue(char c) noexcept {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

char upper(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Reads digits of the given radix (8 or 16) and applies the old runtime's
// width rule: up to `max16` the value is a 16-bit pattern, up to FFFFFFFF a
// 32-bit one. The value is judged, not the count of digits, so leading zeros
// never matter.
std::int32_t radixDigitsToLong(std::string_view digits, unsigned radix, std::uint64_t max16) {
    constexpr std::uint64_t max32 = 0xFFFFFFFFull;
    Cursor cur(digits);
    std::uint64_t value = 0;
    while (!cur.atEnd()) {
        const int d = hexValue(cur.peek());
        if (d < 0 || static_cast<unsigned>(d) >= radix) {
            break;
        }
        value = value * radix + static_cast<unsigned>(d);
        if (value > max32) {
            raiseError(errnum::Overflow);
        }
        cur.advance();
    }
    if (value <= max16) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// The decimal part of the reader: sign, digits, "." and decimals, exponent
// with E or D. Stops at the first character that does not fit.
double readDecimal(Cursor& cur) noexcept {
    bool negative = false;
    if (cur.peek() == '+' || cur.peek() == '-') {
        negative = cur.peek() == '-';
        cur.advance();
    }
    std::string intDigits;
    std::string fracDigits;
    while (isDigit(cur.peek())) {
        intDigits += cur.peek();
        cur.advance();
    }
    if (cur.peek() == '.') {
        cur.advance();
        while (isDigit(cur.peek())) {
            fracDigits += cur.peek();
            cur.advance();
        }
    }
    if (intDigits.empty() && fracDigits.empty()) {
        return 0.0;
    }

    // The exponent counts only when a digit follows: "12E" and "12E+" read 12.
    long long exponent = 0;
    const char e = upper(cur.peek());
    if (e == 'E' || e == 'D') {
        Cursor look = cur;
        look.advance();
        bool expNegative = false;
        if (look.peek() == '+' || look.peek() == '-') {
            expNegative = look.peek() == '-';
            look.advance();
        }
        if (isDigit(look.peek())) {
            constexpr long long cap = 1'000'000; // far past any double; keeps the sum exact
            while (isDigit(look.peek())) {
                if (exponent < cap) {
                    exponent = exponent * 10 + (look.peek() - '0');
                }
                look.advance();
            }
            if (expNegative) {
                exponent = -exponent;
            }
            cur = look;
        }
    }

    // Where the first significant digit stands decides between a value too
    // large (infinity) and one too small (zero) when the parser gives up.
    const auto firstNonZero = intDigits.find_first_not_of('0');
    long long magnitude = 0;
    if (firstNonZero != std::string::npos) {
        magnitude = static_cast<long long>(intDigits.size() - firstNonZero) + exponent;
    } else {
        const auto fracNonZero = fracDigits.find_first_not_of('0');
        if (fracNonZero == std::string::npos) {
            return 0.0;
        }
        magnitude = -static_cast<long long>(fracNonZero) + exponent;
    }

    std::string normal;
    normal.reserve(intDigits.size() + fracDigits.size() + 16);
    normal += intDigits.empty() ? std::string("0") : intDigits;
    normal += '.';
    normal += fracDigits.empty() ? std::string("0") : fracDigits;
    normal += 'e';
    normal += std::to_string(exponent);

    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value,
                                           std::chars_format::scientific);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc()) {
        value = 0.0;
    }
    // A zero never keeps a sign: "-0" reads as plain 0.
    return (negative && value != 0.0) ? -value : value;
}

} // namespace

std::int32_t hexDigitsToLong(std::string_view digits) {
    return radixDigitsToLong(digits, 16, 0xFFFFu);
}

std::int32_t octDigitsToLong(std::string_view digits) {
    return radixDigitsToLong(digits, 8, 0177777u);
}

double textToNumber(std::string_view text) noexcept {
    try {
        Cursor cur(text);
        if (cur.peek() == '&') {
            cur.advance();
            const char kind = upper(cur.peek());
            if (kind != 'H' && kind != 'O') {
                return 0.0;
            }
            cur.advance();
            try {
                return kind == 'H' ? hexDigitsToLong(cur.rest()) : octDigitsToLong(cur.rest());
            } catch (const RuntimeError&) {
                return 0.0;
            }
        }
        return readDecimal(cur);
    } catch (...) {
        // Only memory exhaustion while collecting digits can get here.
        return 0.0;
    }
}

double roundHalfEven(double v) noexcept {
    if (!std::isfinite(v)) {
        return v;
    }
    const double down = std::floor(v);
    const double diff = v - down;
    if (diff < 0.5) {
        return down;
    }
    if (diff > 0.5) {
        return down + 1.0;
    }
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

std::int32_t toLong(double v) {
    const double r = roundHalfEven(v);
    if (std::isnan(r) || r < -2147483648.0 || r > 2147483647.0) {
        raiseError(errnum::Overflow);
    }
    return static_cast<std::int32_t>(r);
}

std::int16_t toInteger(double v) {
    const double r = roundHalfEven(v);
    if (std::isnan(r) || r < -32768.0 || r > 32767.0) {
        raiseError(errnum::Overflow);
    }
    return static_cast<std::int16_t>(r);
}

std::int32_t checkedLong(std::int64_t v) {
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max()) {
        raiseError(errnum::Overflow);
    }
    return static_cast<std::int32_t>(v);
}

std::int16_t checkedInteger(std::int64_t v) {
    if (v < std::numeric_limits<std::int16_t>::min() ||
        v > std::numeric_limits<std::int16_t>::max()) {
        raiseError(errnum::Overflow);
    }
    return static_cast<std::int16_t>(v);
}

std::int32_t hexTextToLong(std::string_view text) noexcept {
    try {
        if (text.size() >= 2) {
            const char a = upper(text[0]);
            const char b = upper(text[1]);
            if ((a == '0' && b == 'X') || (a == '&' && b == 'H')) {
                return hexDigitsToLong(text.substr(2));
            }
        }
        return hexDigitsToLong(text);
    } catch (...) {
        return 0;
    }
}

std::int32_t valToLong(std::string_view text) {
    return toLong(textToNumber(text));
}

} // namespace kesk::conv
