// Records how it was started, for the shell tests: the full command line, the
// current directory, the show command it was given and its arguments, one per
// line, UTF-8. The report goes to the file named by KESK_ARGDUMP_OUT (the
// environment passes from the test through the shell), else beside the exe.
#include <windows.h>

#include <string>

namespace {

std::string utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int len = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), len, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), len, out.data(), n, nullptr, nullptr);
    }
    return out;
}

std::wstring reportPath() {
    wchar_t buf[4096];
    const DWORD n = GetEnvironmentVariableW(L"KESK_ARGDUMP_OUT", buf, 4096);
    if (n > 0 && n < 4096) {
        return std::wstring(buf, n);
    }
    const DWORD m = GetModuleFileNameW(nullptr, buf, 4096);
    std::wstring self(buf, m);
    return self + L".out";
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring report = L"cmdline=" + std::wstring(GetCommandLineW()) + L"\n";

    wchar_t cwd[4096];
    const DWORD n = GetCurrentDirectoryW(4096, cwd);
    report += L"cwd=" + std::wstring(cwd, n < 4096 ? n : 0) + L"\n";

    STARTUPINFOW si{};
    si.cb = sizeof si;
    GetStartupInfoW(&si);
    const int show = (si.dwFlags & STARTF_USESHOWWINDOW) != 0 ? si.wShowWindow : -1;
    report += L"show=" + std::to_wstring(show) + L"\n";

    for (int i = 0; i < argc; ++i) {
        report += L"arg=" + std::wstring(argv[i]) + L"\n";
    }

    // Written under another name and renamed, so a waiting test never reads
    // half a report.
    const std::wstring target = reportPath();
    const std::wstring temp = target + L".part";
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return 1;
    }
    const std::string bytes = utf8(report);
    DWORD written = 0;
    const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    if (!ok || written != bytes.size()) {
        return 1;
    }
    return MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
