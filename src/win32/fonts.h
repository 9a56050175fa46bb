#pragma once
// The face of the menu window's labels, lists and fields.

#include <string>

namespace kesk::win {

// The menu was designed in "MS Sans Serif", a bitmap face with a handful of fixed sizes that
// neither scales with the DPI nor renders the menu's 9.75 and 12 points. Its scalable successor,
// "Microsoft Sans Serif", has the same design and metrics and is on every Windows we run on; where
// a system lacks it (a bare Wine prefix), the system's message font takes its place.
const std::wstring& labelFaceName();

} // namespace kesk::win
