#include "ui/kit/CardStyle.h"

#include "ui/kit/Palette.h"
#include "ui/kit/Shapes.h"

#include <QPainter>

#include <algorithm>

CardStyle CardStyle::standard()
{
    return {15, Palette::white(0.8), {{Palette::black(0.1), 10, {0, 5}}}};
}

void CardStyle::paint(QPainter& painter, const QRectF& rect) const
{
    const QPainterPath shape = Shapes::roundedRect(rect, cornerRadius);
    for (const ShadowStyle& shadow : shadows)
        Shadow::draw(painter, shape, shadow);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape, fill);
    painter.restore();
}

QMarginsF CardStyle::shadowMargins() const
{
    QMarginsF margins;
    for (const ShadowStyle& shadow : shadows) {
        const qreal reach = Shadow::reach(shadow.radius);
        margins.setLeft(std::max(margins.left(), reach - shadow.offset.x()));
        margins.setRight(std::max(margins.right(), reach + shadow.offset.x()));
        margins.setTop(std::max(margins.top(), reach - shadow.offset.y()));
        margins.setBottom(std::max(margins.bottom(), reach + shadow.offset.y()));
    }
    return margins;
}

QString CardStyle::slimScrollBarStyleSheet()
{
    return QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 10px; margin: 8px 2px 8px 0px; }"
        "QScrollBar::handle:vertical { background: rgba(0, 0, 0, 64); border-radius: 4px; min-height: 24px; }"
        "QScrollBar::handle:vertical:hover, QScrollBar::handle:vertical:pressed { background: rgba(0, 0, 0, 110); }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }");
}
