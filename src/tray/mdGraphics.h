#pragma once
// Colour helpers for the taskbar button's picture.

#include <cstdint>

#include "platform/desktop.h"

namespace kesk {

struct ColorRGB {
    std::int16_t red = 0;
    std::int16_t green = 0;
    std::int16_t blue = 0;
    bool operator==(const ColorRGB&) const = default;
};

// The three channels of a 0x00BBGGRR colour; the high byte is dropped.
ColorRGB splitColor(Colour c) noexcept;

// The colour with its red and green channels exchanged, blue kept and the high
// byte dropped. The screen's "unreadable" value 0xFFFFFFFF comes out white.
Colour exchangeRedGreen(Colour c) noexcept;

} // namespace kesk
