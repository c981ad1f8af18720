#include "ui/kit/Palette.h"

#include <algorithm>
#include <cmath>

namespace Palette {

QColor withOpacity(QColor colour, qreal opacity)
{
    colour.setAlphaF(float(std::clamp(colour.alphaF() * opacity, 0.0, 1.0)));
    return colour;
}

QColor color(NamedColor name, qreal opacity)
{
    QColor base;
    switch (name) {
    case NamedColor::Blue: base = QColor(0x00, 0x7A, 0xFF); break;
    case NamedColor::Cyan: base = QColor(0x32, 0xAD, 0xE6); break;
    case NamedColor::Red: base = QColor(0xFF, 0x3B, 0x30); break;
    case NamedColor::Orange: base = QColor(0xFF, 0x95, 0x00); break;
    case NamedColor::Green: base = QColor(0x34, 0xC7, 0x59); break;
    case NamedColor::Gray: base = QColor(0x8E, 0x8E, 0x93); break;
    case NamedColor::White: base = QColor(0xFF, 0xFF, 0xFF); break;
    case NamedColor::Black: base = QColor(0x00, 0x00, 0x00); break;
    case NamedColor::Clear: base = QColor(0, 0, 0, 0); break;
    }
    return withOpacity(base, opacity);
}

QColor linearGray(qreal whiteLevel, qreal opacity)
{
    const double linear = std::clamp(whiteLevel, 0.0, 1.0);
    // The sRGB transfer curve: linear near black, a 2.4 power above.
    const double encoded = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
    QColor grey = QColor::fromRgbF(float(encoded), float(encoded), float(encoded));
    return withOpacity(grey, opacity);
}

}  // namespace Palette
