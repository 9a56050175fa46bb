// The whole program, started for real and driven from outside.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/kesk_driver.h"

namespace fs = std::filesystem;
using namespace kesk::driver;

namespace {

std::wstring versionString(const fs::path& exe, const wchar_t* name) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    if (size == 0) {
        return {};
    }
    std::vector<char> data(size);
    if (!GetFileVersionInfoW(exe.c_str(), 0, size, data.data())) {
        return {};
    }
    std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(data.data(), key.c_str(), &value, &len) || len == 0) {
        return {};
    }
    return std::wstring(static_cast<const wchar_t*>(value));
}

} // namespace

TEST(Lifecycle, StartsAndEndsCleanlyOnClose) {
    const fs::path dir = stageProgram("e2e-lifecycle", KESK_RESOURCES_DIR);
    PROCESS_INFORMATION pi = startProcess(quoted(dir / "KeskVLM.exe"), dir);
    ASSERT_NE(pi.hProcess, nullptr);
    HWND main = nullptr;
    waitFor([&] { return (main = topWindow(pi.dwProcessId, kMainClass)) != nullptr; }, 15000);
    EXPECT_NE(main, nullptr) << "the main window never appeared";
    if (main != nullptr) {
        EXPECT_FALSE(IsWindowVisible(main)) << "the main window stays hidden";
        PostMessageW(main, WM_CLOSE, 0, 0);
    }
    const DWORD wait = WaitForSingleObject(pi.hProcess, 15000);
    EXPECT_EQ(wait, WAIT_OBJECT_0) << "the process did not end after WM_CLOSE";
    DWORD code = 1234;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    endProcess(pi);
}

TEST(Lifecycle, CarriesVersionInformation) {
    fs::path exe = exeDir() / "KeskVLM.exe";
    EXPECT_EQ(versionString(exe, L"ProductName"), L"KeskVLM");
    EXPECT_EQ(versionString(exe, L"ProductVersion"), L"0.0.59");
    EXPECT_NE(ExtractIconExW(exe.c_str(), -1, nullptr, nullptr, 0), 0u) << "no program icon";
}
