#include "settings/textcodec.h"

#include <array>
#include <atomic>
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
    if (c == 0x1A0 || c == 0x1AF) {
        return c + 1; // the two Vietnamese horned letters
    }
    if (c >= 0x386 && c <= 0x3AB) {
        // Greek, with the accented capitals of its code page; the platform
        // compares upper cases, and the final sigma's is sigma's.
        if (c == 0x386) {
            return 0x3AC;
        }
        if (c >= 0x388 && c <= 0x38A) {
            return c + 37;
        }
        if (c == 0x38C) {
            return 0x3CC;
        }
        if (c == 0x38E || c == 0x38F) {
            return c + 63;
        }
        return (c >= 0x391 && c != 0x3A2) ? c + 32 : c;
    }
    if (c == 0x3C2) {
        return 0x3C3;
    }
    if (c >= 0x400 && c <= 0x52F) {
        if (c <= 0x40F) {
            return c + 80;
        }
        if (c <= 0x42F) {
            return c + 32;
        }
        // Extended Cyrillic (Ukrainian ghe, the letters of the other Cyrillic
        // alphabets): capital and small alternate.
        const bool evenPairs =
            (c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F);
        if (evenPairs) {
            return (c % 2 == 0) ? c + 1 : c;
        }
        if (c >= 0x4C1 && c <= 0x4CE) {
            return (c % 2 == 1) ? c + 1 : c;
        }
        return c == 0x4C0 ? 0x4CF : c;
    }
    if (c >= 0xFF21 && c <= 0xFF3A) {
        return c + 32; // full-width Latin capitals
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

CodePage::CodePage(unsigned number, const std::vector<unsigned char>& leadBytes,
                   const std::vector<Mapping>& mappings)
    : number_(number) {
    single_.fill(kNone);
    for (unsigned b = 0; b < 0x80; ++b) {
        single_[b] = b;
    }
    std::uint8_t slots = 0;
    for (const unsigned char lead : leadBytes) {
        if (lead >= 0x80 && leadSlot_[lead] == 0) {
            leadSlot_[lead] = ++slots;
        }
    }
    pairs_.assign(static_cast<std::size_t>(slots) * 256, 0);
    bytesOf_.reserve(mappings.size());
    for (const Mapping& m : mappings) {
        const bool scalar = m.ch >= 0x80 && m.ch < 0x110000 && (m.ch < 0xD800 || m.ch > 0xDFFF);
        if (!scalar || bytesOf_.count(m.ch) != 0) {
            continue;
        }
        const auto hi = static_cast<unsigned char>(m.bytes >> 8);
        const auto lo = static_cast<unsigned char>(m.bytes & 0xFF);
        if (hi == 0) {
            if (lo < 0x80 || leadSlot_[lo] != 0 || single_[lo] != kNone) {
                continue;
            }
            single_[lo] = m.ch;
        } else {
            // Pairs are kept in 16 bits: the East Asian code pages map none beyond the BMP.
            if (leadSlot_[hi] == 0 || m.ch > 0xFFFF) {
                continue;
            }
            char16_t& slot = pairs_[(leadSlot_[hi] - 1u) * 256u + lo];
            if (slot != 0) {
                continue;
            }
            slot = static_cast<char16_t>(m.ch);
        }
        bytesOf_.emplace(m.ch, m.bytes);
    }
}

CodePage::CodePage(Utf8Mode) : number_(65001), utf8_(true) {
    single_.fill(kNone);
    for (unsigned b = 0; b < 0x80; ++b) {
        single_[b] = b;
    }
}

const CodePage& CodePage::windows1252() {
    static const CodePage page = [] {
        std::vector<Mapping> m;
        for (unsigned b = 0x80; b < 0x100; ++b) {
            const char32_t ch = b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char32_t>(b);
            m.push_back(Mapping{static_cast<std::uint16_t>(b), ch});
        }
        return CodePage(1252, {}, m);
    }();
    return page;
}

const CodePage& CodePage::utf8() {
    static const CodePage page{Utf8Mode{}};
    return page;
}

std::optional<char32_t> CodePage::single(unsigned char b) const noexcept {
    if (utf8_ && b >= 0x80) {
        return std::nullopt;
    }
    return single_[b] == kNone ? std::nullopt : std::optional<char32_t>(single_[b]);
}

std::optional<char32_t> CodePage::pair(unsigned char lead, unsigned char trail) const noexcept {
    if (leadSlot_[lead] == 0) {
        return std::nullopt;
    }
    const char16_t ch = pairs_[(leadSlot_[lead] - 1u) * 256u + trail];
    return ch == 0 ? std::nullopt : std::optional<char32_t>(ch);
}

void CodePage::decode(std::string_view bytes, std::string& out) const {
    if (utf8_) {
        out += decodeUtf8Keeping(bytes);
        return;
    }
    out.reserve(out.size() + bytes.size() + bytes.size() / 4);
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            continue;
        }
        if (leadSlot_[b] != 0) {
            // A lead byte without a defined pair (no trail, a trail that is not
            // one, a pair the code page leaves open) stays a raw byte, and the
            // byte after it is read on its own.
            if (i + 1 < n) {
                const auto trail = static_cast<unsigned char>(bytes[i + 1]);
                const char16_t ch = pairs_[(leadSlot_[b] - 1u) * 256u + trail];
                if (ch != 0) {
                    appendUtf8(out, ch);
                    ++i;
                    continue;
                }
            }
            appendUtf8(out, kRawByteBase + b);
            continue;
        }
        appendUtf8(out, single_[b] == kNone ? kRawByteBase + b : single_[b]);
    }
}

std::optional<std::string> CodePage::encode(std::string_view text) const {
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
        if (cp >= kRawByteBase + 0x80 && cp <= kRawByteBase + 0xFF) {
            out.push_back(static_cast<char>(cp - kRawByteBase));
        } else if (utf8_ && (cp < 0xD800 || cp > 0xDFFF)) {
            out.append(text.substr(i, len));
        } else {
            const auto it = bytesOf_.find(cp);
            if (it == bytesOf_.end()) {
                return std::nullopt;
            }
            if (it->second > 0xFF) {
                out.push_back(static_cast<char>(it->second >> 8));
            }
            out.push_back(static_cast<char>(it->second & 0xFF));
        }
        i += len;
    }
    return out;
}

namespace {
std::atomic<const CodePage*> installedPage{nullptr};
} // namespace

const CodePage& ansiCodePage() noexcept {
    const CodePage* page = installedPage.load(std::memory_order_acquire);
    return page != nullptr ? *page : CodePage::windows1252();
}

void setAnsiCodePage(const CodePage* page) noexcept {
    installedPage.store(page, std::memory_order_release);
}

DecodedText decode(std::string_view bytes, const CodePage& page) {
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
    if (ascii) {
        d.text = std::string(bytes);
    } else {
        page.decode(bytes, d.text);
    }
    return d;
}

std::string encode(Encoding& encoding, std::string_view text, std::string_view tail,
                   const CodePage& page) {
    std::string out;
    switch (encoding) {
    case Encoding::Ansi:
        // Bytes that would read back as other text (valid UTF-8 now that the
        // byte that made them invalid is gone; a kept lead byte that would
        // pair with what now follows it) make the file UTF-8 with BOM too.
        if (auto ansi = page.encode(text);
            ansi && (isAscii(*ansi) || decode(*ansi, page).text == text)) {
            out = std::move(*ansi);
            break;
        }
        out = encodeUtf8(text);
        if (decodeUtf8Keeping(out) == text) {
            encoding = Encoding::Utf8Bom;
            out.insert(0, "\xEF\xBB\xBF");
            break;
        }
        // Kept raw bytes side by side that UTF-8 would join into a character:
        // UTF-16 keeps each of them apart, as an unpaired surrogate.
        encoding = Encoding::Utf16LE;
        out = "\xFF\xFE" + encodeUtf16(text);
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
