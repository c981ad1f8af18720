#include "ui/kit/Backdrop.h"

#include <QEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

Backdrop::Backdrop(LinearGradient background, QWidget* parent)
    : QWidget(parent)
    , m_background(std::move(background))
{
}

void Backdrop::addCard(QWidget* card, CardStyle style)
{
    Q_ASSERT(card && isAncestorOf(card));
    m_cards.append({card, std::move(style)});
    card->installEventFilter(this);
    update();
}

QRectF Backdrop::cardRect(const QWidget* card) const
{
    if (!card || !card->isVisibleTo(this))
        return {};
    return QRectF(QRect(card->mapTo(this, QPoint()), card->size()));
}

// A card that moves or changes size takes its shadow along, and the shadow
// lies outside the card, where Qt does not know to repaint.
bool Backdrop::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        update();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

const Backdrop* Backdrop::under(const QWidget* widget)
{
    for (const QWidget* above = widget ? widget->parentWidget() : nullptr; above; above = above->parentWidget())
        if (const auto* surface = qobject_cast<const Backdrop*>(above))
            return surface;
    return nullptr;
}

std::optional<Backdrop::Beneath> Backdrop::beneath(const QWidget* widget) const
{
    if (!isWindow() || !isAncestorOf(widget))
        return std::nullopt;
    return Beneath{QRect(widget->mapTo(this, QPoint()), widget->size()), size(), cardRects(),
                   palette().brush(backgroundRole()).color().rgba()};
}

void Backdrop::paintBeneath(QPainter& painter, const Beneath& beneath) const
{
    painter.save();
    painter.translate(-beneath.place.topLeft());
    const QRectF exposed(beneath.place);
    // What Qt fills a window with before it paints.
    painter.fillRect(exposed, palette().brush(backgroundRole()));
    const bool pictureCurrent = m_picture && m_picture->size == beneath.surfaceSize &&
                                m_picture->cardRects == beneath.cardRects &&
                                m_picture->devicePixelRatio == painter.device()->devicePixelRatioF();
    if (pictureCurrent)
        painter.drawPixmap(exposed.topLeft(), m_picture->pixmap, QRectF(exposed.topLeft() * m_picture->devicePixelRatio,
                                                                        exposed.size() * m_picture->devicePixelRatio));
    else
        paintSurface(painter, exposed, beneath.cardRects);
    painter.restore();
}

QList<QRectF> Backdrop::cardRects() const
{
    QList<QRectF> rects;
    rects.reserve(m_cards.size());
    for (const Card& card : m_cards)
        rects.append(cardRect(card.widget));
    return rects;
}

void Backdrop::paintSurface(QPainter& painter, const QRectF& exposed, const QList<QRectF>& cardRects) const
{
    painter.fillRect(exposed, m_background.brushIn(QRectF(rect())));
    for (qsizetype i = 0; i < m_cards.size(); ++i) {
        const QRectF& where = cardRects[i];
        const CardStyle& style = m_cards[i].style;
        if (where.isEmpty() || !where.marginsAdded(style.shadowMargins()).intersects(exposed))
            continue;
        style.paint(painter, where);
    }
}

void Backdrop::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const qreal dpr = painter.paintEngine()->paintDevice()->devicePixelRatioF();
    const QList<QRectF> rects = cardRects();
    if (m_picture && m_picture->size == size() && m_picture->devicePixelRatio == dpr && m_picture->cardRects == rects) {
        painter.drawPixmap(0, 0, m_picture->pixmap);
        return;
    }
    // A whole paint (the window opened or resized) is drawn directly: while a
    // size keeps changing, a copy would be made for nothing.
    if (QRegion(rect()).subtracted(event->region()).isEmpty()) {
        m_picture.reset();
        paintSurface(painter, event->rect().toRectF(), rects);
        return;
    }
    QPixmap pixmap(QSize(int(std::ceil(width() * dpr)), int(std::ceil(height() * dpr))));
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);  // the gradient is translucent over what lies beneath
    {
        QPainter onPixmap(&pixmap);
        paintSurface(onPixmap, QRectF(rect()), rects);
    }
    m_picture = Picture{std::move(pixmap), size(), dpr, rects};
    painter.drawPixmap(0, 0, m_picture->pixmap);
}
