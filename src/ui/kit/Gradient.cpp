#include "ui/kit/Gradient.h"

#include <QLinearGradient>

QPointF UnitPoint::in(const QRectF& bounds) const
{
    return {bounds.left() + x * bounds.width(), bounds.top() + y * bounds.height()};
}

QBrush LinearGradient::brushIn(const QRectF& bounds) const
{
    if (colors.isEmpty())
        return Qt::NoBrush;
    if (colors.size() == 1)
        return QBrush(colors.front());
    QLinearGradient gradient(start.in(bounds), end.in(bounds));
    const qsizetype last = colors.size() - 1;
    for (qsizetype i = 0; i <= last; ++i)
        gradient.setColorAt(qreal(i) / qreal(last), colors[i]);
    gradient.setSpread(QGradient::PadSpread);
    return QBrush(gradient);
}

QBrush FillStyle::brushIn(const QRectF& bounds) const
{
    if (const auto* colour = std::get_if<QColor>(&m_style))
        return QBrush(*colour);
    return std::get<LinearGradient>(m_style).brushIn(bounds);
}
