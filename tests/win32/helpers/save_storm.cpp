// Saves a catalogue again and again as other programs do, and counts the saves that fail:
//
//   save_storm CATALOGUE COUNT REPORT
//
// Save i writes a catalogue with the one item "Save <i>" in Tools. Even saves open the file
// for writing (truncating it, sharing reading only, as editors do), write and close it; odd
// saves write a temporary file beside it, delete the catalogue and rename the temporary file
// over its name. No step is retried. REPORT receives "saves=N", "failures=K" and a line for
// each failure (the save, the step, the system's error code), written under another name and
// renamed, so that a waiting reader never sees half of it. The exit code is 0 when every
// save succeeded, 1 otherwise, 2 for wrong arguments.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

std::string catalogueText(long i) {
    return "[Window]\r\nheightOffset=0\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n"
           "[Save]\r\nName=Save " +
           std::to_string(i) +
           "\r\nTarget=C:\\windows\\notepad.exe\r\nParam=\r\nWorkdir=\r\nIcon=\r\n"
           "Group=Tools\r\n";
}

// 0, or the system's error code of the step that failed.
DWORD writeWhole(const std::wstring& path, const std::string& text, DWORD share) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    const DWORD error = ok ? 0 : GetLastError();
    CloseHandle(h);
    if (error == 0 && written != text.size()) {
        return ERROR_WRITE_FAULT;
    }
    return error;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        return 2;
    }
    const std::wstring catalogue = argv[1];
    const long count = std::wcstol(argv[2], nullptr, 10);
    const std::wstring report = argv[3];
    const std::wstring temp = catalogue + L".save";
    if (count <= 0) {
        return 2;
    }
    long failures = 0;
    std::string failed;
    const auto fail = [&](long i, const char* step, DWORD code) {
        ++failures;
        failed += "save " + std::to_string(i) + " " + step + " " + std::to_string(code) + "\n";
    };
    for (long i = 1; i <= count; ++i) {
        const std::string text = catalogueText(i);
        if (i % 2 == 0) {
            if (const DWORD e = writeWhole(catalogue, text, FILE_SHARE_READ)) {
                fail(i, "write", e);
            }
        } else {
            if (const DWORD e = writeWhole(temp, text, 0)) {
                fail(i, "write-temporary", e);
                continue;
            }
            if (!DeleteFileW(catalogue.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
                fail(i, "delete", GetLastError());
            }
            if (!MoveFileW(temp.c_str(), catalogue.c_str())) {
                fail(i, "rename", GetLastError());
            }
        }
        // A moment between saves, so that the program's rebuilds fall among them.
        Sleep(5);
    }
    const std::string out =
        "saves=" + std::to_string(count) + "\nfailures=" + std::to_string(failures) + "\n" + failed;
    const std::wstring part = report + L".part";
    HANDLE h = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(h, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
        CloseHandle(h);
        MoveFileExW(part.c_str(), report.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    return failures == 0 ? 0 : 1;
}
