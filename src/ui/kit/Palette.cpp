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

namespace {

double linearChannel(double encoded)
{
    return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

double encodedChannel(double linear)
{
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

// The colour with its channels scaled in linear light: the same hue, darker.
QColor darkened(const QColor& colour, double factor)
{
    const auto channel = [factor](float encoded) {
        return float(std::clamp(encodedChannel(linearChannel(encoded) * factor), 0.0, 1.0));
    };
    return QColor::fromRgbF(channel(colour.redF()), channel(colour.greenF()), channel(colour.blueF()));
}

}  // namespace

QColor over(const QColor& top, const QColor& bottom)
{
    const float alpha = top.alphaF();
    const auto mix = [alpha](float upper, float lower) { return upper * alpha + lower * (1 - alpha); };
    return QColor::fromRgbF(mix(top.redF(), bottom.redF()), mix(top.greenF(), bottom.greenF()),
                            mix(top.blueF(), bottom.blueF()));
}

double relativeLuminance(const QColor& colour)
{
    return 0.2126 * linearChannel(colour.redF()) + 0.7152 * linearChannel(colour.greenF())
        + 0.0722 * linearChannel(colour.blueF());
}

double contrastRatio(const QColor& a, const QColor& b)
{
    const double first = relativeLuminance(a);
    const double second = relativeLuminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor darkestTextSurface()
{
    // The backdrop runs from white to blue at 0.1; cards are white at 0.8.
    const QColor backdrop = over(blue(0.1), white());
    const QColor card = over(white(0.8), backdrop);
    return over(blue(0.1), card);
}

QColor grayText(qreal opacity)
{
    static const QColor surface = darkestTextSurface();
    const QColor asDesigned(over(gray(opacity), white()).rgb());
    // The 8-bit colour is what is drawn, so that is what must pass. Halving
    // the interval forty times finds the lightest that does.
    if (contrastRatio(asDesigned, surface) >= minimumTextContrast)
        return asDesigned;
    double passing = 0;
    double failing = 1;
    for (int step = 0; step < 40; ++step) {
        const double factor = (passing + failing) / 2;
        if (contrastRatio(QColor(darkened(asDesigned, factor).rgb()), surface) >= minimumTextContrast)
            passing = factor;
        else
            failing = factor;
    }
    return QColor(darkened(asDesigned, passing).rgb());
}

}  // namespace Palette
