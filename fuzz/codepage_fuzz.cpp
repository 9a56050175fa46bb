// Fuzz target for the code pages of files without a byte order mark: any
// bytes decode and encode back to themselves in every kind of table, and
// text appended to them is written without loss, whatever the table holds.
//
// Input: byte 0 chooses the code page (Windows-1252, a double-byte table in
// the manner of the East Asian ones, UTF-8 as the system code page) and the
// text appended by the write; the rest is the file.

#include "settings/textcodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using kesk::ini::CodePage;
using kesk::ini::Encoding;

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Lead bytes 81..9F and E0..EF, each with a different run of trails (some
// ASCII, some high), single bytes A1..DF, and 80, A0, F0..FF undefined.
const CodePage& doubleByte() {
    static const CodePage page = [] {
        std::vector<unsigned char> leads;
        std::vector<CodePage::Mapping> m;
        char32_t next = 0x4E00;
        for (unsigned lead = 0x81; lead <= 0xEF; ++lead) {
            if (lead > 0x9F && lead < 0xE0) {
                continue;
            }
            leads.push_back(static_cast<unsigned char>(lead));
            const unsigned first = 0x40 + (lead % 7) * 9;
            const unsigned last = 0xFC - (lead % 5) * 11;
            for (unsigned t = first; t <= last; ++t) {
                if (t != 0x7F) {
                    m.push_back({static_cast<std::uint16_t>(lead * 256 + t), next++});
                }
            }
        }
        for (unsigned b = 0xA1; b <= 0xDF; ++b) {
            m.push_back({static_cast<std::uint16_t>(b), 0xFF61 + (b - 0xA1)});
        }
        return CodePage(932, leads, m);
    }();
    return page;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const CodePage* const pages[] = {&CodePage::windows1252(), &doubleByte(), &CodePage::utf8()};
    const CodePage& page = *pages[data[0] % 3];
    const char* const additions[] = {"x", "\xE4\xB8\x80", "\xC3\xA4", "\xEF\xBD\xA1",
                                     "\xF0\x9F\x98\x80"};
    const std::string addition = additions[(data[0] / 3) % 5];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    // The table alone: every byte sequence comes back unchanged.
    std::string text;
    page.decode(bytes, text);
    check(kesk::ini::isValidUtf8(kesk::ini::forCaller(text)), "decoded text for callers");
    const auto again = page.encode(text);
    check(again.has_value() && *again == bytes, "decode and encode must give the bytes back");

    // The whole file, with the detection of its encoding.
    const kesk::ini::DecodedText d = kesk::ini::decode(bytes, page);
    Encoding enc = d.encoding;
    check(kesk::ini::encode(enc, d.text, d.tail, page) == bytes, "file must come back unchanged");
    check(enc == d.encoding, "an untouched file keeps its encoding");

    // A write adds text: the result reads back as exactly the text written,
    // in the file's encoding or in a Unicode one, never with '?'.
    const std::string written = d.text + "\r\nk=" + addition;
    const std::string out = kesk::ini::encode(enc, written, d.tail, page);
    const kesk::ini::DecodedText back = kesk::ini::decode(out, page);
    check(back.text == written, "written text must read back unchanged");
    check(enc == d.encoding || enc == Encoding::Utf8Bom || enc == Encoding::Utf16LE,
          "a file only ever becomes Unicode with a byte order mark");
    check(back.encoding == enc || (enc == Encoding::Ansi && back.encoding == Encoding::Utf8),
          "the file must read back in the encoding it was written in");
    return 0;
}
