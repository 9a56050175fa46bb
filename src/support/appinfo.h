#pragma once
// Facts about the running program that the old runtime exposed as globals.

#include <string>

namespace kesk::app {

inline constexpr const char* kTitle = "KeskVLM";
inline constexpr const char* kProductName = "KeskVLM";
inline constexpr int kVersionMajor = 0;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionRevision = 59;

// Directory of the running executable, without a trailing separator (UTF-8).
// On Windows a path with backslashes ("C:\Programs\KeskVLM").
std::string directory();

// File name of the running executable without its directory and without its
// extension ("KeskVLM" as shipped; whatever the file is called at run time).
std::string exeName();

// Tests may pin both to known values; an empty text restores the real ones.
void overrideForTests(const std::string& dir, const std::string& exeBaseName);

} // namespace kesk::app
