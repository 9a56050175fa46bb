#include "tray/mdTrayIcon.h"

#include <algorithm>

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

namespace {

std::size_t sequenceLength(unsigned char lead) {
    if ((lead & 0xE0) == 0xC0) {
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        return 3;
    }
    return (lead & 0xF8) == 0xF0 ? 4 : 1;
}

std::size_t utf16Units(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = sequenceLength(static_cast<unsigned char>(text[i]));
        units += len == 4 ? 2 : 1;
        i += len;
    }
    return units;
}

// `before` + `middle` + `after`, fitted to the balloon: a middle too long loses its
// beginning (shown as "..."), whose end tells the user most.
std::string fittedText(const std::string& before, std::string_view middle,
                       const std::string& after) {
    const std::string_view ellipsis = "...";
    const std::size_t frame = utf16Units(before) + utf16Units(after);
    if (frame + utf16Units(middle) <= kBalloonTextUnits) {
        return before + std::string(middle) + after;
    }
    const std::size_t room = kBalloonTextUnits > frame + ellipsis.size()
                                 ? kBalloonTextUnits - frame - ellipsis.size()
                                 : 0;
    // Drop whole characters from the front until the rest fits.
    std::size_t start = 0;
    std::size_t units = utf16Units(middle);
    while (start < middle.size() && units > room) {
        const std::size_t len = sequenceLength(static_cast<unsigned char>(middle[start]));
        units -= len == 4 ? 2 : 1;
        start += len;
    }
    start = std::min(start, middle.size());
    return before + std::string(ellipsis) + std::string(middle.substr(start)) + after;
}

} // namespace

std::string saveFailedText(std::string_view productName, std::string_view folder) {
    return fittedText(std::string(productName) + " could not save to ", folder,
                      ". Your change was not saved.");
}

std::string hotkeyRefusedText(std::string_view productName, std::string_view combination) {
    return fittedText("The hotkey ", combination,
                      " is taken by another program or is no valid combination. " +
                          std::string(productName) + " runs without it.");
}

TrayIconData makeTrayIconData(WindowId receiver, std::uint32_t callbackMessage, std::uintptr_t icon,
                              std::string_view title) {
    TrayIconData d;
    d.hWnd = receiver;
    d.uID = kTrayIconId;
    d.uFlags = TrayIconParts{true, true, true};
    d.uCallbackMessage = callbackMessage;
    d.hIcon = icon;
    d.szTip = trayTip(title);
    return d;
}

} // namespace kesk
