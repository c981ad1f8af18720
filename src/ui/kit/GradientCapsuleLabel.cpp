#include "ui/kit/GradientCapsuleLabel.h"

#include "ui/kit/Gradient.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Shapes.h"
#include "ui/kit/Typography.h"

#include <QPainter>

#include <algorithm>

GradientCapsuleLabel::GradientCapsuleLabel(QString title, QColor topColour, QColor bottomColour)
    : m_title(std::move(title))
    , m_topColour(std::move(topColour))
    , m_bottomColour(std::move(bottomColour))
    , m_font(Typography::font(TextStyle::Caption))
{
}

QSizeF GradientCapsuleLabel::sizeHint() const
{
    const QSizeF text = Typography::textSize(m_title, m_font);
    return {text.width() + 2 * horizontalPadding, text.height() + 2 * verticalPadding};
}

qreal GradientCapsuleLabel::shapeCornerRadius(const QSizeF& size) const
{
    return std::min(size.width(), size.height()) / 2;
}

void GradientCapsuleLabel::paint(QPainter& painter, const QRectF& rect) const
{
    const LinearGradient gradient{{Palette::withOpacity(m_topColour, backgroundOpacity),
                                   Palette::withOpacity(m_bottomColour, backgroundOpacity)},
                                  UnitPoint::top(),
                                  UnitPoint::bottom()};
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(Shapes::capsule(rect), gradient.brushIn(rect));
    painter.restore();
    Typography::drawCentered(painter, m_title, m_font, Palette::white(), rect.center());
}
