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

}  // namespace Palette
