// The menu window's height, its placement after a drag of the headline, and
// the auto-hide.
#include "menu/frmVelora.h"

#include <algorithm>
#include <cmath>

#include "settings/clsINIFile.h"
#include "support/conversions.h"

namespace kesk {

void frmVelora::lblHeadline_MouseMove(std::int16_t Button, std::int16_t, double, double) noexcept {
    if (Button != 1) {
        return;
    }
    // Everything is worked out first and written last, so a step that fails
    // (a taskbar or screen the numbers cannot hold) leaves the window as it was.
    guardEvent([this] {
        const Point cursor = desktop_.cursorPos();
        const double tppy = twipsPerPixelY();
        const std::int32_t oldTop = s_.top;
        const double headlinePixels = s_.lblHeadline.height / tppy;
        // Puts the middle of the headline one pixel above the pointer.
        const std::int32_t newTop =
            conv::toLong(tppy * (std::int64_t{cursor.y} - 1) - tppy * headlinePixels / 2);
        const std::int64_t delta = std::int64_t{newTop} - oldTop;

        // An offset the layout could not take (a damaged catalogue value that
        // made the build fail) starts from the height the window really has.
        std::int64_t offset = s_.heightOffset;
        if (offset < kMinHeightOffset || offset > kMaxHeightOffset) {
            offset = std::int64_t{s_.height} - kWindowDesignHeight;
        }
        offset = std::clamp<std::int64_t>(offset - delta, kMinHeightOffset, kMaxHeightOffset);
        const auto newOffset = static_cast<std::int32_t>(offset);

        const double windowHeight = static_cast<double>(newOffset) + kWindowDesignHeight;
        if (menuEdge_ != ScreenEdge::Bottom || placedUnderPointer_) {
            // Beside a bar on another edge, or on another monitor, the window keeps its corner
            // by the start button it was placed by.
            const std::optional<StartButtonChoice> bar =
                placedUnderPointer_ ? placedBy_ : chooseStartButton(desktop_.shellReport());
            if (bar && (bar->edge != ScreenEdge::Bottom || placedUnderPointer_)) {
                applyHeightOffset(newOffset);
                s_.heightOffset = newOffset;
                placeBeside(*bar, windowHeight);
                fitToRoom();
                return;
            }
            menuEdge_ = ScreenEdge::Bottom;
        }
        const std::int16_t tb = getTaskbarHeight();
        const double screenHeight = desktop_.screen().heightPixels * tppy;
        const std::int32_t top = conv::toLong(screenHeight - windowHeight - tb * tppy);
        const std::int16_t topPixels = conv::toInteger((screenHeight - windowHeight) / tppy - tb);

        applyHeightOffset(newOffset);
        s_.heightOffset = newOffset;
        s_.top = top;
        s_.menuTopPixels = topPixels;
        fitToRoom();
    });
}

void frmVelora::Timer_Mouse_Pos_Check_Timer() noexcept {
    if (!s_.visible) {
        mousePosCheckArmed_ = false;
        return;
    }
    const Point cursor = desktop_.cursorPos();
    const double tppx = twipsPerPixelX();
    const double tppy = twipsPerPixelY();
    const double leftPixels = s_.left / tppx;
    bool away = false;
    if (menuEdge_ == ScreenEdge::Bottom) {
        away = cursor.x > leftPixels + s_.width / tppx + kMenuSideSlack ||
               cursor.x < leftPixels - kMenuSideSlack || cursor.y < shownTopPixels();
    } else {
        const auto px = [](double v) { return static_cast<std::int32_t>(std::floor(v)); };
        const double top = shownTopPixels();
        const Rect menu{px(leftPixels), px(top), px(leftPixels + s_.width / tppx),
                        px(top + (s_.height - s_.cutTwips) / tppy)};
        away = pointerLeftMenu(menuEdge_, menu, cursor);
    }
    if (!away) {
        pointerMustEnterFirst_ = false;
    } else if (!pointerMustEnterFirst_) {
        s_.visible = false;
        mousePosCheckArmed_ = false;
    }
}

void frmVelora::shownFromKeyboard() noexcept {
    pointerMustEnterFirst_ = true;
    keyboardOpened_ = true;
}

void frmVelora::Form_Paint() noexcept {
    mousePosCheckArmed_ = true;
}

void frmVelora::Form_MouseUp(std::int16_t, std::int16_t, double, double) noexcept {
    unloadRequested_ = true;
}

void frmVelora::Form_Unload() noexcept {
    mousePosCheckArmed_ = false;
    unloadRequested_ = false;
    guardEvent([this] {
        clsINIFile ini;
        ini.setFilename(catalogue::cataloguePath());
        ini.setValue(catalogue::kSectionWindow, catalogue::kKeyHeightOffset,
                     std::to_string(s_.heightOffset));
        reportFailedSave(ini);
    });
}

void frmVelora::windowHidden() noexcept {
    mousePosCheckArmed_ = false;
}

void frmVelora::Show() noexcept {
    s_.visible = true;
    pointerMustEnterFirst_ = false;
    keyboardOpened_ = false;
    clearQuery(); // every showing starts without a query
}

void frmVelora::Hide() noexcept {
    s_.visible = false;
    mousePosCheckArmed_ = false;
}

} // namespace kesk
