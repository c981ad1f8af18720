#pragma once

#include "ui/Shadow.h"

#include <QColor>
#include <QMargins>
#include <QRectF>

class QPainter;

// A card: a rounded rectangle with continuous corners over its soft shadow.
struct CardStyle {
    QColor fill;
    qreal cornerRadius = 0;
    ShadowStyle shadow;
};

namespace Card {

// Paints the card's shadow, then the card, in rect.
void paint(QPainter& painter, const QRectF& rect, const CardStyle& style);

// How far the card's shadow reaches beyond rect on each side (offset
// included), rounded up to whole points: the room to leave around a card.
QMargins shadowMargins(const ShadowStyle& shadow);

}  // namespace Card
