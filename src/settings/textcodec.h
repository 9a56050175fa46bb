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

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kesk::ini {

enum class Encoding {
    Ansi,    // Windows-1252, the default and the only 8-bit code page we read and write
    Utf8,    // valid UTF-8 with non-ASCII text and no byte order mark
    Utf8Bom, // EF BB BF
    Utf16LE, // FF FE
};

struct DecodedText {
    Encoding encoding = Encoding::Ansi;
    std::string text; // internal form, without the byte order mark
    std::string tail; // a last odd byte of a UTF-16 file, kept to be written back
};

DecodedText decode(std::string_view bytes);

// The bytes of `text` (internal form) in `encoding`, with its byte order mark
// and `tail`. When an ANSI file must hold a character that Windows-1252 has
// not, the whole file becomes UTF-8 with byte order mark and `encoding` says
// so: text is never replaced by '?'. The same happens when an ANSI file's
// bytes would now read as UTF-8 (the byte that made them invalid was removed).
std::string encode(Encoding& encoding, std::string_view text, std::string_view tail = {});

// Windows-1252 alone; nothing when a character has no byte there.
std::optional<std::string> encodeAnsi(std::string_view text);
std::string decodeAnsi(std::string_view bytes);

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

// Case-insensitive equality of names as the platform compares them: ASCII
// and the common European letters (Latin-1, Latin Extended-A, Greek, Cyrillic).
bool namesEqual(std::string_view a, std::string_view b) noexcept;
// A key for hashing that agrees with namesEqual.
std::string foldName(std::string_view name);

} // namespace kesk::ini
