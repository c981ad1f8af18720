#include "ui/kit/PlainButton.h"

#include "input/KeyRepeats.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

PlainButton::PlainButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::TabFocus);
}

PlainButton::PlainButton(std::shared_ptr<const ButtonLabel> label, QWidget* parent)
    : PlainButton(parent)
{
    setLabel(std::move(label));
}

void PlainButton::setLabel(std::shared_ptr<const ButtonLabel> label)
{
    m_label = std::move(label);
    updateGeometry();
    update();
}

void PlainButton::setScale(qreal scale)
{
    if (scale == m_scale)
        return;
    m_scale = scale;
    update();
}

void PlainButton::setOverflowMargins(const QMargins& margins)
{
    m_overflow = margins;
    updateGeometry();
    update();
}

void PlainButton::setMinimumLabelWidth(qreal width)
{
    if (width == m_minimumLabelWidth)
        return;
    m_minimumLabelWidth = width;
    updateGeometry();
}

QRectF PlainButton::labelRect() const
{
    return QRectF(rect()).marginsRemoved(QMarginsF(m_overflow));
}

QSize PlainButton::sizeHint() const
{
    const QSizeF label = m_label ? m_label->sizeHint() : QSizeF();
    return QSize(int(std::ceil(std::max(label.width(), m_minimumLabelWidth))), int(std::ceil(label.height())))
        .grownBy(m_overflow);
}

QSize PlainButton::minimumSizeHint() const
{
    return sizeHint();
}

void PlainButton::paintEvent(QPaintEvent*)
{
    if (!m_label)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!isEnabled())
        painter.setOpacity(disabledOpacity);
    else if (isDown())
        painter.setOpacity(pressedOpacity);
    if (m_scale != 1.0) {
        const QPointF centre = QRectF(rect()).center();
        painter.translate(centre);
        painter.scale(m_scale, m_scale);
        painter.translate(-centre);
    }
    m_label->paint(painter, labelRect());
}

bool PlainButton::hitButton(const QPoint& position) const
{
    return labelRect().contains(position);
}

FocusOutline PlainButton::focusOutline() const
{
    const QRectF rect = labelRect();
    return {rect, m_label ? m_label->shapeCornerRadius(rect.size()) : 0};
}

void PlainButton::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter) {
        event->ignore();
        return;
    }
    // One press per press: a held Enter must not delete playlist after playlist.
    if (!KeyRepeats::isRepeat(*event))
        click();
    event->accept();
}

void PlainButton::keyReleaseEvent(QKeyEvent* event)
{
    event->ignore();
}

void PlainButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Qt takes a double-click's second press for a press of its own; a
    // button double-clicked by habit would act twice (Delete taking the next
    // playlist too).
    event->accept();
}
