#pragma once
// UTF-8 inside the program, UTF-16 at every Win32 call.

#include <string>
#include <string_view>

namespace kesk::win {

// Invalid UTF-8 sequences become U+FFFD rather than being dropped silently.
std::wstring widen(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string narrow(std::wstring_view utf16);

} // namespace kesk::win
