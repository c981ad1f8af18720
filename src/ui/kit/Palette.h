#pragma once

#include <QColor>

// The interface's named colours, as drawn in light mode. Every drawing of the
// interface picks its colours from here, so one look runs through the window.
enum class NamedColor { Blue, Cyan, Red, Orange, Green, Gray, White, Black, Clear };

namespace Palette {

// The named colour with its alpha multiplied by opacity (0 transparent, 1 as is).
QColor color(NamedColor name, qreal opacity = 1.0);

// A grey given by its white level in linear light (0 black, 1 white),
// converted to the sRGB values a painter expects.
QColor linearGray(qreal whiteLevel, qreal opacity = 1.0);

inline QColor blue(qreal opacity = 1.0) { return color(NamedColor::Blue, opacity); }
inline QColor cyan(qreal opacity = 1.0) { return color(NamedColor::Cyan, opacity); }
inline QColor red(qreal opacity = 1.0) { return color(NamedColor::Red, opacity); }
inline QColor orange(qreal opacity = 1.0) { return color(NamedColor::Orange, opacity); }
inline QColor green(qreal opacity = 1.0) { return color(NamedColor::Green, opacity); }
inline QColor gray(qreal opacity = 1.0) { return color(NamedColor::Gray, opacity); }
inline QColor white(qreal opacity = 1.0) { return color(NamedColor::White, opacity); }
inline QColor black(qreal opacity = 1.0) { return color(NamedColor::Black, opacity); }
inline QColor clear() { return color(NamedColor::Clear); }

// A colour with its alpha multiplied by opacity.
QColor withOpacity(QColor colour, qreal opacity);

// top painted over an opaque bottom: the opaque colour the eye sees.
QColor over(const QColor& top, const QColor& bottom);

// Relative luminance (0 black, 1 white) and the contrast ratio of two opaque
// colours, (lighter + 0.05) / (darker + 0.05), as the common accessibility
// guidelines define them.
double relativeLuminance(const QColor& colour);
double contrastRatio(const QColor& a, const QColor& b);

// The least contrast small text needs against its background.
inline constexpr double minimumTextContrast = 4.5;

// The darkest surface grey text is drawn on: the current playlist's blue
// tint over the list card, where the window's backdrop is at its bluest.
// Every other surface with grey text on it is lighter.
QColor darkestTextSurface();

// Grey text: gray at opacity, as it would show on white, darkened as little
// as it takes (keeping its hue) to stand at minimumTextContrast on
// darkestTextSurface(). Opaque.
QColor grayText(qreal opacity = 1.0);

}  // namespace Palette
