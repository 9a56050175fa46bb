#include "settings/textcodec.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace kesk::ini {

namespace {

// Windows-1252 bytes 80..9F. The five bytes the code page leaves undefined map
// to the C1 controls of the same number, as the platform's converter does, so
// every byte has a character and the mapping is reversible.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char32_t kRawByteBase = 0xDC00;
constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Length of the well-formed UTF-8 sequence at s[i], or 0 if it is ill-formed.
// With allowSurrogates the internal form's ED A0..BF xx sequences count too.
std::size_t sequenceLength(std::string_view s, std::size_t i, bool allowSurrogates) noexcept {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    const std::size_t left = s.size() - i;
    auto cont = [&](std::size_t k) { return k < s.size() && (b(k) & 0xC0) == 0x80; };
    if (c < 0x80) {
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        return cont(i + 1) ? 2 : 0;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        if (left < 3 || !cont(i + 1) || !cont(i + 2)) {
            return 0;
        }
        const unsigned char c1 = b(i + 1);
        if (c == 0xE0 && c1 < 0xA0) {
            return 0;
        }
        if (c == 0xED && c1 >= 0xA0 && !allowSurrogates) {
            return 0;
        }
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (left < 4 || !cont(i + 1) || !cont(i + 2) || !cont(i + 3)) {
            return 0;
        }
        const unsigned char c1 = b(i + 1);
        if ((c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 >= 0x90)) {
            return 0;
        }
        return 4;
    }
    return 0;
}

char32_t codePointAt(std::string_view s, std::size_t i, std::size_t len) noexcept {
    const auto b = [&](std::size_t k) {
        return static_cast<char32_t>(static_cast<unsigned char>(s[k]));
    };
    switch (len) {
    case 1:
        return b(i);
    case 2:
        return ((b(i) & 0x1F) << 6) | (b(i + 1) & 0x3F);
    case 3:
        return ((b(i) & 0x0F) << 12) | ((b(i + 1) & 0x3F) << 6) | (b(i + 2) & 0x3F);
    default:
        return ((b(i) & 0x07) << 18) | ((b(i + 1) & 0x3F) << 12) | ((b(i + 2) & 0x3F) << 6) |
               (b(i + 3) & 0x3F);
    }
}

std::string decodeUtf8Keeping(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t len = sequenceLength(bytes, i, false);
        if (len == 0) {
            appendUtf8(out, kRawByteBase + static_cast<unsigned char>(bytes[i]));
            ++i;
        } else {
            out.append(bytes.substr(i, len));
            i += len;
        }
    }
    return out;
}

std::string decodeUtf16(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2;
    auto unit = [&](std::size_t k) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                     (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
    };
    for (std::size_t k = 0; k < units; ++k) {
        const char32_t u = unit(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
            const char32_t lo = unit(k + 1);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++k;
                continue;
            }
        }
        appendUtf8(out, u); // an unpaired surrogate is kept as itself
    }
    return out;
}

void appendUnit(std::string& out, char32_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>((u >> 8) & 0xFF));
}

std::string encodeUtf16(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t len = sequenceLength(text, i, true);
        char32_t cp = len == 0 ? kReplacement : codePointAt(text, i, len);
        len = len == 0 ? 1 : len;
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            appendUnit(out, 0xD800 + (cp >> 10));
            appendUnit(out, 0xDC00 + (cp & 0x3FF));
        } else {
            appendUnit(out, cp);
        }
    }
    return out;
}

// Internal form to UTF-8 bytes: kept raw bytes go back to being raw bytes.
std::string encodeUtf8(std::string_view text) {
    if (text.find('\xED') == std::string_view::npos) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t len = sequenceLength(text, i, true);
        if (len == 3 && static_cast<unsigned char>(text[i]) == 0xED) {
            const char32_t cp = codePointAt(text, i, 3);
            if (cp >= kRawByteBase + 0x80 && cp <= kRawByteBase + 0xFF) {
                out.push_back(static_cast<char>(cp - kRawByteBase));
                i += 3;
                continue;
            }
        }
        const std::size_t take = len == 0 ? 1 : len;
        out.append(text.substr(i, take));
        i += take;
    }
    return out;
}

char32_t foldChar(char32_t c) noexcept {
    if (c < 0x80) {
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    }
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
        return c + 32;
    }
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) {
            return c;
        }
        if (c == 0x178) {
            return 0xFF;
        }
        const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddPairs) {
            return (c % 2 == 1) ? c + 1 : c;
        }
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) {
        return c + 32;
    }
    if (c >= 0x410 && c <= 0x42F) {
        return c + 32;
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 80;
    }
    return c;
}

} // namespace

bool isAscii(std::string_view bytes) noexcept {
    // Eight bytes at a time: any high bit in the word is a byte of 0x80 or more.
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + i, sizeof word);
        if ((word & 0x8080808080808080ull) != 0) {
            return false;
        }
    }
    for (; i < bytes.size(); ++i) {
        if (static_cast<unsigned char>(bytes[i]) >= 0x80) {
            return false;
        }
    }
    return true;
}

bool isValidUtf8(std::string_view bytes) noexcept {
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = sequenceLength(bytes, i, false);
        if (len == 0) {
            return false;
        }
        i += len;
    }
    return true;
}

std::string decodeAnsi(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) {
            out.push_back(ch);
        } else if (b < 0xA0) {
            appendUtf8(out, kCp1252High[b - 0x80]);
        } else {
            appendUtf8(out, b);
        }
    }
    return out;
}

std::optional<std::string> encodeAnsi(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        const std::size_t len = sequenceLength(text, i, true);
        if (len == 0) {
            return std::nullopt;
        }
        const char32_t cp = codePointAt(text, i, len);
        i += len;
        if (cp >= 0xA0 && cp <= 0xFF) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        if (cp >= kRawByteBase + 0x80 && cp <= kRawByteBase + 0xFF) {
            out.push_back(static_cast<char>(cp - kRawByteBase));
            continue;
        }
        bool found = false;
        for (std::size_t k = 0; k < kCp1252High.size(); ++k) {
            if (kCp1252High[k] == cp) {
                out.push_back(static_cast<char>(0x80 + k));
                found = true;
                break;
            }
        }
        if (!found) {
            return std::nullopt;
        }
    }
    return out;
}

DecodedText decode(std::string_view bytes) {
    DecodedText d;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        d.encoding = Encoding::Utf16LE;
        std::string_view body = bytes.substr(2);
        if (body.size() % 2 != 0) {
            d.tail = std::string(body.substr(body.size() - 1));
            body.remove_suffix(1);
        }
        d.text = decodeUtf16(body);
        return d;
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        d.encoding = Encoding::Utf8Bom;
        d.text = decodeUtf8Keeping(bytes.substr(3));
        return d;
    }
    const bool ascii = isAscii(bytes);
    if (!ascii && isValidUtf8(bytes)) {
        d.encoding = Encoding::Utf8;
        d.text = std::string(bytes);
        return d;
    }
    d.encoding = Encoding::Ansi;
    d.text = ascii ? std::string(bytes) : decodeAnsi(bytes);
    return d;
}

std::string encode(Encoding& encoding, std::string_view text, std::string_view tail) {
    std::string out;
    switch (encoding) {
    case Encoding::Ansi:
        // An ANSI file whose bytes now happen to be valid UTF-8 would be read
        // back as UTF-8, with other text: it too becomes UTF-8 with BOM.
        if (auto ansi = encodeAnsi(text); ansi && (isAscii(*ansi) || !isValidUtf8(*ansi))) {
            out = std::move(*ansi);
            break;
        }
        encoding = Encoding::Utf8Bom;
        out = "\xEF\xBB\xBF" + encodeUtf8(text);
        break;
    case Encoding::Utf8:
        out = encodeUtf8(text);
        break;
    case Encoding::Utf8Bom:
        out = "\xEF\xBB\xBF" + encodeUtf8(text);
        break;
    case Encoding::Utf16LE:
        out = "\xFF\xFE" + encodeUtf16(text);
        break;
    }
    out.append(tail);
    return out;
}

std::string forCaller(std::string_view text) {
    std::string out;
    assignForCaller(text, out);
    return out;
}

void assignForCaller(std::string_view text, std::string& out) {
    if (isAscii(text)) {
        out.assign(text); // the usual value, and nothing to replace in it
        return;
    }
    out.clear();
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            out.push_back(text[i]);
            ++i;
            continue;
        }
        const std::size_t len = sequenceLength(text, i, false);
        if (len == 0) {
            // An internal surrogate-form sequence is one character, not three.
            const std::size_t internal = sequenceLength(text, i, true);
            appendUtf8(out, kReplacement);
            i += internal == 0 ? 1 : internal;
            continue;
        }
        out.append(text.substr(i, len));
        i += len;
    }
}

std::size_t countChars(std::string_view text) noexcept {
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t len = sequenceLength(text, i, true);
        i += len == 0 ? 1 : len;
        ++n;
    }
    return n;
}

std::string_view firstChars(std::string_view text, std::size_t n) noexcept {
    if (text.size() <= n) {
        return text; // no character is shorter than a byte
    }
    std::size_t i = 0;
    while (i < text.size() && n > 0) {
        const std::size_t len = sequenceLength(text, i, true);
        i += len == 0 ? 1 : len;
        --n;
    }
    return text.substr(0, i);
}

std::string foldName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    std::size_t i = 0;
    while (i < name.size()) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
            ++i;
            continue;
        }
        const std::size_t len = sequenceLength(name, i, true);
        if (len == 0) {
            out.push_back(name[i]);
            ++i;
            continue;
        }
        appendUtf8(out, foldChar(codePointAt(name, i, len)));
        i += len;
    }
    return out;
}

bool namesEqual(std::string_view a, std::string_view b) noexcept {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (ca < 0x80 && cb < 0x80) {
            const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
            if (lower(ca) != lower(cb)) {
                return false;
            }
            ++i;
            ++j;
            continue;
        }
        const std::size_t la = sequenceLength(a, i, true);
        const std::size_t lb = sequenceLength(b, j, true);
        const char32_t xa = la == 0 ? 0x110000 + ca : foldChar(codePointAt(a, i, la));
        const char32_t xb = lb == 0 ? 0x110000 + cb : foldChar(codePointAt(b, j, lb));
        if (xa != xb) {
            return false;
        }
        i += la == 0 ? 1 : la;
        j += lb == 0 ? 1 : lb;
    }
    return i == a.size() && j == b.size();
}

} // namespace kesk::ini
