#pragma once

#include "ui/kit/Gradient.h"

#include <QPainterPath>
#include <QSizeF>
#include <QString>

#include <optional>

class QPainter;

// The interface's symbol images, drawn as vector outlines so they stay sharp
// at any size and take any fill. Like a font glyph, a symbol is sized by a
// point size: its box is pointSize high and as wide as its design needs.
enum class Symbol {
    PlayFill,
    PauseFill,
    StopFill,
    QuestionmarkCircleFill,
    SpeakerWave3Fill,
    SpeakerFill,
    Checkmark,
    ChevronRight,  // a closed disclosure row
    ChevronDown,   // an open one
};

namespace Symbols {

// The symbol for a name such as "play.fill" or "chevron.right"; none for an unknown name.
std::optional<Symbol> named(const QString& name);
QString name(Symbol symbol);

// The box the symbol is drawn in at pointSize (origin top-left).
QSizeF size(Symbol symbol, qreal pointSize);

// The symbol's outline inside its box (fill it with the path's own fill rule).
// Outlines are built once per symbol and size (main thread only).
QPainterPath path(Symbol symbol, qreal pointSize);

// Fills the symbol with its box's top-left at topLeft. A gradient fill is
// laid over the box unless gradientBounds gives another rect (for a gradient
// shared with neighbouring text, say).
void draw(QPainter& painter, Symbol symbol, qreal pointSize, const QPointF& topLeft, const FillStyle& fill,
          std::optional<QRectF> gradientBounds = std::nullopt);

}  // namespace Symbols
