#pragma once
// The single-instance count.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/desktop.h"

namespace kesk {

// Lower case for the letters a process name can carry: ASCII and the Latin,
// Greek and Cyrillic letters with a simple one-to-one small form. Everything
// else, malformed UTF-8 included, is kept byte for byte.
std::string lowerCaseName(std::string_view utf8);

// How many of `processes` (image file names) contain `exeFileName` after both
// were lower-cased: a plain substring test, so "MyKeskVLM.exe" counts for
// "KeskVLM.exe". The running program is among the processes, so 1 means it
// runs alone. Held at 32767.
std::int16_t countRunningExe(const std::vector<std::string>& processes,
                             std::string_view exeFileName);

// The same over the platform's process list (none when it cannot be taken).
std::int16_t countRunningExe(Desktop& desktop, std::string_view exeFileName);

} // namespace kesk
