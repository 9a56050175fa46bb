#include "win32/fonts.h"

#include <windows.h>

namespace kesk::win {

namespace {

constexpr wchar_t kScalableFace[] = L"Microsoft Sans Serif";

int CALLBACK noteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0; // one is enough
}

bool faceInstalled(const wchar_t* face) {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return false;
    }
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExW(screen, &lf, noteFace, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

std::wstring chooseFace() {
    if (faceInstalled(kScalableFace)) {
        return kScalableFace;
    }
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof ncm;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0) != 0 &&
        ncm.lfMessageFont.lfFaceName[0] != L'\0') {
        return ncm.lfMessageFont.lfFaceName;
    }
    return L"Tahoma";
}

} // namespace

const std::wstring& labelFaceName() {
    // Fonts installed while we run are not worth a lookup per build.
    static const std::wstring face = chooseFace();
    return face;
}

} // namespace kesk::win
