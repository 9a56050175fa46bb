#include "win32/shell_win32.h"

#include "win32/wtext.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

namespace kesk::win {

namespace {

const wchar_t* orNull(const std::wstring& text) noexcept {
    return text.empty() ? nullptr : text.c_str();
}

} // namespace

std::intptr_t Win32ShellExecutor::execute(OwnerHandle owner, const std::string& operation,
                                          const std::string& file, const std::string& parameters,
                                          const std::string& directory, std::int32_t showCommand) {
    const std::wstring wOperation = widen(operation);
    const std::wstring wFile = widen(file);
    const std::wstring wParameters = widen(parameters);
    const std::wstring wDirectory = widen(directory);

    // Some associations are served by shell extensions that need COM on this
    // thread; keep whatever apartment the caller already set up.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    HINSTANCE result =
        ShellExecuteW(reinterpret_cast<HWND>(owner), orNull(wOperation), wFile.c_str(),
                      orNull(wParameters), orNull(wDirectory), static_cast<INT>(showCommand));
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return reinterpret_cast<std::intptr_t>(result);
}

} // namespace kesk::win
