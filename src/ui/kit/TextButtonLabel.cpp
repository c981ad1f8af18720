#include "ui/kit/TextButtonLabel.h"

#include "ui/kit/Shapes.h"
#include "ui/kit/Typography.h"

#include <QPainter>

#include <algorithm>

TextButtonLabel::TextButtonLabel(QString text, Style style)
    : m_text(std::move(text))
    , m_style(std::move(style))
{
}

QSizeF TextButtonLabel::sizeHint() const
{
    const QSizeF text = Typography::textSize(m_text, m_style.font);
    return {text.width() + 2 * m_style.horizontalPadding, text.height() + 2 * m_style.verticalPadding};
}

qreal TextButtonLabel::shapeCornerRadius(const QSizeF& size) const
{
    return m_style.cornerRadius.value_or(std::min(size.width(), size.height()) / 2);
}

void TextButtonLabel::paint(QPainter& painter, const QRectF& rect) const
{
    const QPainterPath shape =
        m_style.cornerRadius ? Shapes::roundedRect(rect, *m_style.cornerRadius) : Shapes::capsule(rect);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_style.shadow)
        Shadow::draw(painter, shape, *m_style.shadow);
    painter.fillPath(shape, m_style.background.brushIn(rect));
    painter.restore();
    Typography::drawCentered(painter, m_text, m_style.font, m_style.textColour, rect.center());
}
