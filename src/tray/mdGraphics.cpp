#include "tray/mdGraphics.h"

namespace kesk {

ColorRGB splitColor(Colour c) noexcept {
    const auto u = static_cast<std::uint32_t>(c);
    ColorRGB s;
    s.red = static_cast<std::int16_t>(u & 0xFFu);
    s.green = static_cast<std::int16_t>((u & 0xFF00u) / 256u);
    s.blue = static_cast<std::int16_t>((u & 0xFF0000u) / 65536u);
    return s;
}

Colour exchangeRedGreen(Colour c) noexcept {
    const ColorRGB s = splitColor(c);
    return static_cast<Colour>(s.green + 256 * s.red + 65536 * s.blue);
}

} // namespace kesk
