#pragma once
// Stamps the build date: writes a fresh mdCompDateValue.h with today's date
// into the program's directory, so that a build made after a run carries the
// date of that run. The running program's own COMPILATION_DATE never changes.

#include <functional>
#include <string>

namespace kesk {

inline constexpr const char* kCompDateFileName = "mdCompDateValue.h";

// Today's date in the system's short date format (Windows: the user's locale
// setting; elsewhere dd.mm.yyyy).
std::string systemShortDate();

// Writes <app directory>/mdCompDateValue.h and returns
// "Compilation date set to " followed by today's date. A file that cannot be
// written throws RuntimeError(PathFileAccess).
std::string updateCompDate();

// The same with the directory and the source of today's date given. The date
// is asked for twice: once for the file and once for the result.
std::string updateCompDate(const std::string& directory, const std::function<std::string()>& today);

} // namespace kesk
