#include "ui/Card.h"

#include "ui/Shapes.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace Card {

void paint(QPainter& painter, const QRectF& rect, const CardStyle& style)
{
    const QPainterPath shape = Shapes::roundedRect(rect, style.cornerRadius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    Shadow::draw(painter, shape, style.shadow);
    painter.fillPath(shape, style.fill);
    painter.restore();
}

QMargins shadowMargins(const ShadowStyle& shadow)
{
    if (shadow.color.alpha() == 0)
        return {};
    const qreal reach = Shadow::reach(shadow.radius);
    const auto side = [reach](qreal offsetTowardSide) {
        return int(std::ceil(std::max<qreal>(0, reach + offsetTowardSide)));
    };
    return {side(-shadow.offset.x()), side(-shadow.offset.y()), side(shadow.offset.x()), side(shadow.offset.y())};
}

}  // namespace Card
