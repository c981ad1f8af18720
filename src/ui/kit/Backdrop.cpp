#include "ui/kit/Backdrop.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

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

void Backdrop::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), m_background.brushIn(QRectF(rect())));
    const QRectF exposed = event->rect().toRectF();
    for (const Card& card : std::as_const(m_cards)) {
        const QRectF where = cardRect(card.widget);
        if (where.isEmpty() || !where.marginsAdded(card.style.shadowMargins()).intersects(exposed))
            continue;
        card.style.paint(painter, where);
    }
}
