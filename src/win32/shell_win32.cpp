#include "win32/shell_win32.h"

#include "win32/wtext.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <thread>
#include <utility>

namespace kesk::win {

namespace {

const wchar_t* orNull(const std::wstring& text) noexcept {
    return text.empty() ? nullptr : text.c_str();
}

struct ShellRequest {
    HWND owner = nullptr;
    std::wstring operation;
    std::wstring file;
    std::wstring parameters;
    std::wstring directory;
    INT show = SW_SHOWNORMAL;
};

HINSTANCE carryOut(const ShellRequest& r) noexcept {
    // Some associations are served by shell extensions that need COM on this
    // thread; keep whatever apartment the caller already set up.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    HINSTANCE result = ShellExecuteW(r.owner, orNull(r.operation), r.file.c_str(),
                                     orNull(r.parameters), orNull(r.directory), r.show);
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return result;
}

ShellRequest requestOf(OwnerHandle owner, const std::string& operation, const std::string& file,
                       const std::string& parameters, const std::string& directory,
                       std::int32_t showCommand) {
    return ShellRequest{reinterpret_cast<HWND>(owner),
                        widen(operation),
                        widen(file),
                        widen(parameters),
                        widen(directory),
                        static_cast<INT>(showCommand)};
}

bool elevated(const std::string& operation) noexcept {
    return operation.size() == 5 && (operation[0] | 0x20) == 'r' && (operation[1] | 0x20) == 'u' &&
           (operation[2] | 0x20) == 'n' && (operation[3] | 0x20) == 'a' &&
           (operation[4] | 0x20) == 's';
}

} // namespace

std::intptr_t Win32ShellExecutor::execute(OwnerHandle owner, const std::string& operation,
                                          const std::string& file, const std::string& parameters,
                                          const std::string& directory, std::int32_t showCommand) {
    ShellRequest r = requestOf(owner, operation, file, parameters, directory, showCommand);
    if (elevated(operation)) {
        // The system's consent prompt waits for the user, for minutes if need be: the window's
        // thread does not wait with it. The request counts as taken; a refusal shows nothing,
        // as no failed start does.
        r.owner = nullptr; // the prompt must not wait on a window that may go meanwhile
        std::thread([r = std::move(r)] { carryOut(r); }).detach();
        return kHandedOn;
    }
    return reinterpret_cast<std::intptr_t>(carryOut(r));
}

void Win32ShellExecutor::executeThen(OwnerHandle owner, const std::string& operation,
                                     const std::string& file, const std::string& parameters,
                                     const std::string& directory, std::int32_t showCommand,
                                     Done done) {
    if (window_ == nullptr || elevated(operation)) {
        done(execute(owner, operation, file, parameters, directory, showCommand));
        return;
    }
    ShellRequest r = requestOf(owner, operation, file, parameters, directory, showCommand);
    const WPARAM id = ++next_;
    waiting_.emplace(id, std::move(done));
    try {
        std::thread([r = std::move(r), window = window_, message = message_, id] {
            const HINSTANCE result = carryOut(r);
            // A window that went meanwhile takes no answer; nothing waits for it.
            PostMessageW(window, message, id, reinterpret_cast<LPARAM>(result));
        }).detach();
    } catch (...) {
        // No thread to be had: the request is carried out here.
        auto node = waiting_.extract(id);
        node.mapped()(execute(owner, operation, file, parameters, directory, showCommand));
    }
}

void Win32ShellExecutor::answer(WPARAM id, LPARAM result) {
    auto node = waiting_.extract(id);
    if (node.empty()) {
        return;
    }
    node.mapped()(static_cast<std::intptr_t>(result));
}

} // namespace kesk::win
