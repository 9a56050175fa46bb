// The desktop's life (the COM apartment the picture decoders need) and its feedback to the
// user. The other jobs are in desktop_pictures, desktop_icons, desktop_screen, desktop_files
// and desktop_processes.
#include "win32/desktop_win32.h"

#include "win32/wtext.h"

#include <objbase.h>
#include <wincodec.h>

namespace kesk::win {

Win32Desktop::Win32Desktop(DecoderUse decoders) : decoderUse_(decoders) {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    comInitialized_ = SUCCEEDED(hr);
}

Win32Desktop::~Win32Desktop() {
    releaseDecoders();
    if (comInitialized_) {
        CoUninitialize();
    }
}

void Win32Desktop::beep() {
    MessageBeep(MB_OK);
}

void Win32Desktop::messageBox(const std::string& text, const std::string& title) {
    try {
        MessageBoxW(nullptr, widen(text).c_str(), widen(title).c_str(), MB_OK);
    } catch (...) {
        // Nothing to report a failed report to.
    }
}

} // namespace kesk::win
