// The whole program, started for real and driven from outside.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path exeDir() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(buf.size() * 2);
    }
    return fs::path(buf).parent_path();
}

struct FindCtx {
    DWORD pid;
    const wchar_t* cls;
    HWND found;
};

BOOL CALLBACK findTopWindow(HWND hwnd, LPARAM lp) {
    auto* ctx = reinterpret_cast<FindCtx*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[128] = {};
    GetClassNameW(hwnd, cls, 128);
    if (pid == ctx->pid && std::wstring(cls) == ctx->cls) {
        ctx->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND waitForWindow(DWORD pid, const wchar_t* cls, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 50) {
        FindCtx ctx{pid, cls, nullptr};
        EnumWindows(findTopWindow, reinterpret_cast<LPARAM>(&ctx));
        if (ctx.found != nullptr) {
            return ctx.found;
        }
        Sleep(50);
    }
    return nullptr;
}

// A fresh folder holding a copy of the program and its resources, as a user unpacks it.
fs::path stageProgram(const char* name) {
    fs::path dir = fs::temp_directory_path() / (std::string("kesk-e2e-") + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(exeDir() / "KeskVLM.exe", dir / "KeskVLM.exe");
    fs::path res(KESK_RESOURCES_DIR);
    std::error_code ec;
    fs::copy(res / "notFound.ico", dir / "notFound.ico", ec);
    fs::copy(res / "velora.ini", dir / "velora.ini", ec);
    fs::copy(res / "skin", dir / "skin", fs::copy_options::recursive, ec);
    return dir;
}

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
    fs::path dir = stageProgram("lifecycle");
    std::wstring cmd = L"\"" + (dir / "KeskVLM.exe").wstring() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               dir.c_str(), &si, &pi));
    HWND main = waitForWindow(pi.dwProcessId, L"KeskVLM.frmMain", 15000);
    EXPECT_NE(main, nullptr) << "the main window never appeared";
    if (main != nullptr) {
        EXPECT_FALSE(IsWindowVisible(main)) << "the main window stays hidden";
        PostMessageW(main, WM_CLOSE, 0, 0);
    }
    DWORD wait = WaitForSingleObject(pi.hProcess, 15000);
    if (wait != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
    }
    EXPECT_EQ(wait, WAIT_OBJECT_0) << "the process did not end after WM_CLOSE";
    DWORD code = 1234;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

TEST(Lifecycle, CarriesVersionInformation) {
    fs::path exe = exeDir() / "KeskVLM.exe";
    EXPECT_EQ(versionString(exe, L"ProductName"), L"KeskVLM");
    EXPECT_EQ(versionString(exe, L"ProductVersion"), L"0.0.59");
    EXPECT_NE(ExtractIconExW(exe.c_str(), -1, nullptr, nullptr, 0), 0u) << "no program icon";
}
