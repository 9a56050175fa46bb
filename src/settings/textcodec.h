#pragma once
// Text encodings of INI files, decoded into one internal form so that the
// engine works on UTF-8 whatever the file holds, and encoded back so that
// every line the engine did not touch comes out byte for byte as it came in.
//
// The internal form is UTF-8 extended by two things that real UTF-8 cannot
// carry and that therefore never come from a caller:
//  - a byte that is not valid in a UTF-8 file is kept as the code point
//    U+DC00 + byte, written like a surrogate (ED B2/B3 xx);
//  - an unpaired surrogate of a UTF-16 file is kept as itself (ED A0..BF xx).
// Both survive decode + encode unchanged; callers only ever see them as
// U+FFFD (see forCaller()).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kesk::ini {

// The code page of files without a byte order mark: the system's ANSI code
// page on Windows, Windows-1252 elsewhere. Single-byte pages and double-byte
// pages (a lead byte and a trail byte per character, as Japanese, Chinese and
// Korean Windows use) are both a table; UTF-8 as the system code page is a
// mode of its own.
//
// A table holds only mappings that go both ways: a byte or pair maps to one
// character and that character back to exactly those bytes. A byte or pair
// without such a mapping is kept as raw bytes, so decoding and encoding again
// gives every file back unchanged, whatever code page wrote it. ASCII is
// always itself.
class CodePage {
  public:
    struct Mapping {
        std::uint16_t bytes; // one byte, or a pair as lead * 256 + trail
        char32_t ch;
    };

    // A table from `mappings`; a pair counts only when its first byte is one of
    // `leadBytes`. Mappings that would break the round trip are left out: a
    // byte or a character seen a second time, ASCII, surrogates, a single byte
    // that is a lead byte.
    CodePage(unsigned number, const std::vector<unsigned char>& leadBytes,
             const std::vector<Mapping>& mappings);

    static const CodePage& windows1252();
    // The system code page 65001: files are UTF-8, and bytes that are not are kept raw.
    static const CodePage& utf8();

    unsigned number() const noexcept { return number_; }
    bool isLeadByte(unsigned char b) const noexcept { return leadSlot_[b] != 0; }
    // What byte `b` alone stands for, or nothing (undefined, or a lead byte).
    std::optional<char32_t> single(unsigned char b) const noexcept;
    // What the pair stands for, or nothing.
    std::optional<char32_t> pair(unsigned char lead, unsigned char trail) const noexcept;

    // Appends the internal form of `bytes` to `out`.
    void decode(std::string_view bytes, std::string& out) const;
    // The bytes of `text` (internal form); nothing when a character has no bytes here.
    std::optional<std::string> encode(std::string_view text) const;

  private:
    struct Utf8Mode {};
    explicit CodePage(Utf8Mode);

    static constexpr char32_t kNone = 0xFFFFFFFF;

    unsigned number_ = 0;
    bool utf8_ = false;
    std::array<char32_t, 256> single_{};       // kNone: undefined or a lead byte
    std::array<std::uint8_t, 256> leadSlot_{}; // 0: no lead byte; else 1 + its block in pairs_
    std::vector<char16_t> pairs_;              // 256 per lead byte; 0: undefined
    std::unordered_map<char32_t, std::uint16_t> bytesOf_;
};

// The code page that files without a byte order mark are read and written in.
const CodePage& ansiCodePage() noexcept;
// Makes `page` that code page (nullptr: Windows-1252). It must live until the
// end of the program. Set it at start, before files are read: a file already
// parsed keeps the code page it was read with, for its writes too.
void setAnsiCodePage(const CodePage* page) noexcept;

enum class Encoding {
    Ansi,    // the system code page (see ansiCodePage())
    Utf8,    // valid UTF-8 with non-ASCII text and no byte order mark
    Utf8Bom, // EF BB BF
    Utf16LE, // FF FE
};

struct DecodedText {
    Encoding encoding = Encoding::Ansi;
    std::string text; // internal form, without the byte order mark
    std::string tail; // a last odd byte of a UTF-16 file, kept to be written back
};

DecodedText decode(std::string_view bytes, const CodePage& page = ansiCodePage());

// The bytes of `text` (internal form) in `encoding`, with its byte order mark
// and `tail`. When an ANSI file must hold a character that its code page has
// not, the whole file becomes UTF-8 with byte order mark and `encoding` says
// so: text is never replaced by '?'. The same happens when an ANSI file's
// bytes would read back as other text (as UTF-8, or a kept lead byte that
// would now pair with the byte after it). Should even UTF-8 read back as
// other text (kept raw bytes that together form a UTF-8 character), the file
// becomes UTF-16LE, which keeps every raw byte apart.
std::string encode(Encoding& encoding, std::string_view text, std::string_view tail = {},
                   const CodePage& page = ansiCodePage());

bool isValidUtf8(std::string_view bytes) noexcept;
bool isAscii(std::string_view bytes) noexcept;

// Valid UTF-8 for the rest of the program: every ill-formed sequence and
// every kept raw byte or unpaired surrogate becomes U+FFFD.
std::string forCaller(std::string_view text);
// The same into `out`, reusing its memory (`text` must not point into `out`).
void assignForCaller(std::string_view text, std::string& out);

// Counting and cutting in characters (code points of the internal form; a
// kept raw byte counts as one).
std::size_t countChars(std::string_view text) noexcept;
std::string_view firstChars(std::string_view text, std::size_t n) noexcept;

// Case-insensitive equality of names as the platform compares them: ASCII,
// the letters of the European code pages (Latin-1, Latin Extended-A, Greek,
// Cyrillic), and the full-width Latin letters of the East Asian ones.
bool namesEqual(std::string_view a, std::string_view b) noexcept;
// A key for hashing that agrees with namesEqual.
std::string foldName(std::string_view name);

} // namespace kesk::ini
