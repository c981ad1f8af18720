#pragma once

#include "ui/kit/Shadow.h"

#include <QColor>
#include <QList>
#include <QMarginsF>
#include <QRectF>
#include <QString>

class QPainter;

// The look of a card: a rounded rectangle with continuous corners, a fill,
// and soft shadows painted beneath it in order.
struct CardStyle {
    qreal cornerRadius = 0;
    QColor fill;
    QList<ShadowStyle> shadows;

    // The window's cards (the player card, the playlist list): white at 0.8,
    // corner radius 15, a faint black shadow 10 soft and 5 down.
    static CardStyle standard();

    // Paints the shadows, then the card, into rect.
    void paint(QPainter& painter, const QRectF& rect) const;

    // How far beyond the card its shadows reach on each side.
    QMarginsF shadowMargins() const;

    // A style sheet for the scroll bar of what scrolls in a card: slim, out
    // of the card's way, a rounded grey thumb on no groove, no arrows.
    static QString slimScrollBarStyleSheet();
};
