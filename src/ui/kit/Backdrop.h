#pragma once

#include "ui/kit/CardStyle.h"
#include "ui/kit/Gradient.h"

#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <optional>

// A surface that paints a gradient and the cards that lie on it. A card's
// soft shadow spreads beyond the card's own rect, where the card widget
// cannot paint, so the surface beneath paints card and shadow for it: a card
// widget is then a plain transparent container for its content, laid out
// like any other widget and spaced by its visible edge.
class Backdrop : public QWidget {
    Q_OBJECT

public:
    explicit Backdrop(LinearGradient background, QWidget* parent = nullptr);

    // card must be a descendant of this surface. The card is drawn wherever
    // the widget is, while it is visible, until it is destroyed.
    void addCard(QWidget* card, CardStyle style);
    // Where a card is drawn, in this surface's coordinates; empty when hidden.
    QRectF cardRect(const QWidget* card) const;

    // The surface a widget lies on: its nearest Backdrop ancestor, if any.
    static const Backdrop* under(const QWidget* widget);
    // What lies beneath a descendant: where it sits and what the surface
    // shows there. Equal values paint alike.
    struct Beneath {
        QRect place;  // the widget's rect in this surface's coordinates
        QSize surfaceSize;
        QList<QRectF> cardRects;
        QRgb windowColour = 0;
        bool operator==(const Beneath&) const = default;
    };
    // None when the surface is not a window: something else then shows
    // through its translucent gradient, which it does not know.
    std::optional<Beneath> beneath(const QWidget* widget) const;
    // Paints what the window shows beneath a descendant (the window's own
    // colour, the gradient, the cards), with the descendant's top left at
    // the origin. A widget that paints this first can be opaque, and its
    // small repaints then leave the surface and all between alone.
    void paintBeneath(QPainter& painter, const Beneath& beneath) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Card {
        QPointer<QWidget> widget;
        CardStyle style;
    };
    // The surface as last drawn whole, for the small repaints that come many
    // times a second while playing (a bar's fill, a play head): a copy of it
    // instead of a gradient and the cards' shadows each time. Kept while
    // nothing it shows has changed; a card moved with its parent changes no
    // event of its own, so the cards' places are compared at every paint.
    struct Picture {
        QPixmap pixmap;
        QSize size;
        qreal devicePixelRatio = 1;
        QList<QRectF> cardRects;
    };

    QList<QRectF> cardRects() const;
    void paintSurface(QPainter& painter, const QRectF& exposed, const QList<QRectF>& cardRects) const;

    LinearGradient m_background;
    QList<Card> m_cards;
    std::optional<Picture> m_picture;
};
