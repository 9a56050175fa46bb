#include "tray/mdTrayIcon.h"

namespace kesk {

std::string trayTip(std::string_view title) {
    std::size_t characters = 0;
    std::size_t i = 0;
    while (i < title.size() && characters < kTrayTipCharacters) {
        const auto b = static_cast<unsigned char>(title[i]);
        std::size_t len = 1;
        if ((b & 0xE0) == 0xC0) {
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
        }
        if (i + len > title.size()) {
            break; // a cut sequence at the end is dropped, not half kept
        }
        i += len;
        ++characters;
    }
    return std::string(title.substr(0, i));
}

TrayIconData makeTrayIconData(WindowId receiver, std::uint32_t callbackMessage, std::uintptr_t icon,
                              std::string_view title) {
    TrayIconData d;
    d.hWnd = receiver;
    d.uID = kTrayIconId;
    d.uFlags = kNifMessage | kNifIcon | kNifTip;
    d.uCallbackMessage = callbackMessage;
    d.hIcon = icon;
    d.szTip = trayTip(title);
    return d;
}

} // namespace kesk
