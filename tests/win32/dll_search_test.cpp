// Where the program's delayed DLLs come from when the DLL search cannot be limited (Windows 7
// without KB2533623): by full path from the system folder, except comctl32, which the
// manifest's activation context must find by name.

#include "win32/dll_search.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

namespace {

// NotLoaded: nothing is loaded, from anywhere.
enum class Outcome { SystemFolder, NotLoaded };

struct LoadCase {
    const char* rule;
    const char* name;
    Outcome expected;
};

void PrintTo(const LoadCase& c, std::ostream* os) {
    *os << c.rule;
}

std::wstring lower(std::wstring s) {
    for (wchar_t& c : s) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return s;
}

std::wstring folderOf(HMODULE module) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring s(path, n < MAX_PATH ? n : 0);
    const auto slash = s.find_last_of(L"\\/");
    return lower(slash == std::wstring::npos ? std::wstring() : s.substr(0, slash));
}

std::wstring systemFolder() {
    wchar_t path[MAX_PATH];
    const UINT n = GetSystemDirectoryW(path, MAX_PATH);
    return lower(std::wstring(path, n < MAX_PATH ? n : 0));
}

class DelayedLoad : public testing::TestWithParam<LoadCase> {};

TEST_P(DelayedLoad, ComesFromTheSystemFolderOnly) {
    const LoadCase& c = GetParam();
    const HMODULE module = kesk::win::loadDelayedFromSystemFolder(c.name);
    if (c.expected == Outcome::NotLoaded) {
        EXPECT_EQ(module, nullptr) << c.rule;
        return;
    }
    ASSERT_NE(module, nullptr) << c.rule;
    EXPECT_EQ(folderOf(module), systemFolder()) << c.rule;
}

const LoadCase kLoadCases[] = {
    {"a system DLL comes from the system folder", "version.dll", Outcome::SystemFolder},
    {"the name's case does not matter", "UxTheme.DLL", Outcome::SystemFolder},
    {"comctl32 is left to the activation context (by name)", "comctl32.dll", Outcome::NotLoaded},
    {"comctl32 in capitals too", "COMCTL32.DLL", Outcome::NotLoaded},
    {"a relative path is refused", "..\\version.dll", Outcome::NotLoaded},
    {"a full path is refused", "C:\\planted\\version.dll", Outcome::NotLoaded},
    {"a forward slash is refused", "sub/version.dll", Outcome::NotLoaded},
    {"a drive-relative name is refused", "C:version.dll", Outcome::NotLoaded},
    {"an empty name is refused", "", Outcome::NotLoaded},
    {"no name is refused", nullptr, Outcome::NotLoaded},
    {"an overlong name is refused",
     "a123456789b123456789c123456789d123456789e123456789f123456789g123456789.dll",
     Outcome::NotLoaded},
    {"a DLL the system folder lacks is not loaded", "kesk_not_a_system_dll.dll",
     Outcome::NotLoaded},
    // The build puts planted.dll beside this test program: the standard order would load it.
    {"a DLL beside the program is not loaded from there", "planted.dll", Outcome::NotLoaded},
};

INSTANTIATE_TEST_SUITE_P(Rules, DelayedLoad, testing::ValuesIn(kLoadCases));

} // namespace
