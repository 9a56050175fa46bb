#include "win32/codepage_win32.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kesk::win {

namespace {

using ini::CodePage;

// Every character of the BMP outside ASCII and the surrogates. Code points
// beyond it have no bytes in any ANSI code page.
std::wstring candidates() {
    std::wstring all;
    all.reserve(0x10000 - 0x80 - 0x800);
    for (std::uint32_t c = 0x80; c <= 0xFFFF; ++c) {
        if (c < 0xD800 || c > 0xDFFF) {
            all.push_back(static_cast<wchar_t>(c));
        }
    }
    return all;
}

bool isLead(const std::vector<unsigned char>& leads, unsigned char b) {
    for (const unsigned char l : leads) {
        if (l == b) {
            return true;
        }
    }
    return false;
}

// The bytes of one character, or nothing when the code page has none for it.
std::optional<std::uint16_t> bytesOf(wchar_t c, const std::vector<unsigned char>& leads) {
    char out[4] = {};
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &c, 1, out, sizeof out, "?",
                                      &usedDefault);
    if (usedDefault || n < 1 || n > 2) {
        return std::nullopt;
    }
    const auto b0 = static_cast<unsigned char>(out[0]);
    if (n == 2) {
        return isLead(leads, b0) ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(
                                       b0 * 256 + static_cast<unsigned char>(out[1])))
                                 : std::nullopt;
    }
    return isLead(leads, b0) ? std::nullopt : std::optional<std::uint16_t>(b0);
}

// The encoding direction for all characters in one call; the output splits
// into characters at the lead bytes. Nothing if it does not split into
// exactly one piece per character.
std::optional<std::vector<CodePage::Mapping>> encodeAll(const std::wstring& all,
                                                        const std::vector<unsigned char>& leads) {
    const int len = static_cast<int>(all.size());
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, all.data(), len, nullptr, 0,
                                         "?", nullptr);
    if (size <= 0) {
        return std::nullopt;
    }
    std::string out(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, all.data(), len, out.data(), size, "?",
                            nullptr) != size) {
        return std::nullopt;
    }
    std::vector<CodePage::Mapping> mappings;
    mappings.reserve(all.size());
    std::size_t pos = 0;
    for (const wchar_t c : all) {
        if (pos >= out.size()) {
            return std::nullopt;
        }
        const auto b = static_cast<unsigned char>(out[pos]);
        std::uint16_t bytes = b;
        if (isLead(leads, b)) {
            if (pos + 1 >= out.size()) {
                return std::nullopt;
            }
            bytes = static_cast<std::uint16_t>(b * 256 + static_cast<unsigned char>(out[pos + 1]));
            pos += 2;
        } else {
            ++pos;
        }
        if (bytes != '?') { // no character outside ASCII has the question mark
            mappings.push_back({bytes, static_cast<char32_t>(c)});
        }
    }
    if (pos != out.size()) {
        return std::nullopt;
    }
    return mappings;
}

// Keeps the mappings whose bytes the platform reads back as the same
// character. One call for all of them; one per mapping if that one fails.
std::vector<CodePage::Mapping> keepRoundTrips(const std::vector<CodePage::Mapping>& mappings) {
    std::string bytes;
    bytes.reserve(mappings.size() * 2);
    for (const auto& m : mappings) {
        if (m.bytes > 0xFF) {
            bytes.push_back(static_cast<char>(m.bytes >> 8));
        }
        bytes.push_back(static_cast<char>(m.bytes & 0xFF));
    }
    std::wstring back(mappings.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(),
                                      static_cast<int>(bytes.size()), back.data(),
                                      static_cast<int>(back.size()));
    std::vector<CodePage::Mapping> kept;
    kept.reserve(mappings.size());
    if (n == static_cast<int>(mappings.size())) {
        for (std::size_t i = 0; i < mappings.size(); ++i) {
            if (static_cast<char32_t>(back[i]) == mappings[i].ch) {
                kept.push_back(mappings[i]);
            }
        }
        return kept;
    }
    for (const auto& m : mappings) {
        char one[2] = {static_cast<char>(m.bytes & 0xFF), 0};
        int len = 1;
        if (m.bytes > 0xFF) {
            one[0] = static_cast<char>(m.bytes >> 8);
            one[1] = static_cast<char>(m.bytes & 0xFF);
            len = 2;
        }
        wchar_t w[4] = {};
        if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, one, len, w, 4) == 1 &&
            static_cast<char32_t>(w[0]) == m.ch) {
            kept.push_back(m);
        }
    }
    return kept;
}

const CodePage* buildSystemCodePage() {
    const UINT acp = GetACP();
    if (acp == CP_UTF8) {
        return &CodePage::utf8();
    }
    CPINFO info{};
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize < 1 || info.MaxCharSize > 2) {
        return &CodePage::windows1252(); // no table of ours can describe it
    }
    std::vector<unsigned char> leads;
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
        for (unsigned b = info.LeadByte[i]; b <= info.LeadByte[i + 1] && b < 0x100; ++b) {
            leads.push_back(static_cast<unsigned char>(b));
        }
    }
    const std::wstring all = candidates();
    auto mappings = encodeAll(all, leads);
    if (!mappings) {
        mappings.emplace();
        for (const wchar_t c : all) {
            if (const auto bytes = bytesOf(c, leads)) {
                mappings->push_back({*bytes, static_cast<char32_t>(c)});
            }
        }
    }
    static const CodePage page(acp, leads, keepRoundTrips(*mappings));
    return &page;
}

} // namespace

const ini::CodePage& systemCodePage() noexcept {
    static const CodePage* const page = []() noexcept -> const CodePage* {
        try {
            return buildSystemCodePage();
        } catch (...) {
            return &CodePage::windows1252(); // out of memory at start: the western default
        }
    }();
    return *page;
}

unsigned installSystemCodePage() noexcept {
    const ini::CodePage& page = systemCodePage();
    ini::setAnsiCodePage(&page);
    return page.number();
}

} // namespace kesk::win
