#pragma once
// The system's ANSI code page, taken from the platform, as the code page of
// the files that carry no byte order mark.

#include "settings/textcodec.h"

namespace kesk::win {

// The table of the system's ANSI code page: every byte and lead/trail pair
// that the platform converts to a character and back to the same bytes
// without a best fit. Built on first use and kept for the whole run.
const ini::CodePage& systemCodePage() noexcept;

// Makes systemCodePage() the code page of every file read from now on. Call
// it once at start, before any file is read. Returns the code page's number.
unsigned installSystemCodePage() noexcept;

} // namespace kesk::win
