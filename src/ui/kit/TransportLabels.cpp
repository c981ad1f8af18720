#include "ui/kit/TransportLabels.h"

#include "ui/kit/Gradient.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Shapes.h"
#include "ui/kit/Typography.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

LinearGradient symbolGradient()
{
    return {{Palette::blue(), Palette::cyan()}, UnitPoint::top(), UnitPoint::bottom()};
}

void paintLifted(QPainter& painter, const QPainterPath& shape)
{
    for (const ShadowStyle& shadow : TransportLook::shadows())
        Shadow::draw(painter, shape, shadow);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape, Palette::white());
    painter.restore();
}

}  // namespace

namespace TransportLook {

QList<ShadowStyle> shadows()
{
    return {{Palette::black(0.2), 5, {2, 2}}, {Palette::white(0.7), 5, {-2, -2}}};
}

QMargins overflowMargins()
{
    qreal reach = 0;
    for (const ShadowStyle& shadow : shadows())
        reach = std::max(reach, Shadow::reach(shadow.radius) + std::max(std::abs(shadow.offset.x()),
                                                                        std::abs(shadow.offset.y())));
    const int side = int(std::ceil(reach));
    return {side, side, side, side};
}

}  // namespace TransportLook

RoundSymbolLabel::RoundSymbolLabel(Symbol symbol)
    : m_symbol(symbol)
{
}

QSizeF RoundSymbolLabel::sizeHint() const
{
    const qreal side = symbolPointSize + 2 * padding;
    return {side, side};
}

void RoundSymbolLabel::paint(QPainter& painter, const QRectF& rect) const
{
    paintLifted(painter, Shapes::circle(rect));
    const QSizeF box = Symbols::size(m_symbol, symbolPointSize);
    const QPointF topLeft(rect.center().x() - box.width() / 2, rect.center().y() - box.height() / 2);
    Symbols::draw(painter, m_symbol, symbolPointSize, topLeft, symbolGradient());
}

HelpLabel::HelpLabel()
    : m_font(Typography::font(TextStyle::Caption))
    , m_text(QCoreApplication::translate("HelpLabel", "Help"))
{
}

QSizeF HelpLabel::contentSize() const
{
    const QSizeF symbol = Symbols::size(Symbol::QuestionmarkCircleFill, symbolPointSize);
    const QSizeF text = Typography::textSize(m_text, m_font);
    return {symbol.width() + spacing + text.width(), std::max(symbol.height(), text.height())};
}

QSizeF HelpLabel::sizeHint() const
{
    const QSizeF content = contentSize();
    return {content.width() + 2 * horizontalPadding, content.height() + 2 * verticalPadding};
}

void HelpLabel::paint(QPainter& painter, const QRectF& rect) const
{
    paintLifted(painter, Shapes::roundedRect(rect, cornerRadius));

    const QSizeF content = contentSize();
    const QRectF contentRect(rect.center().x() - content.width() / 2, rect.center().y() - content.height() / 2,
                             content.width(), content.height());
    // One gradient runs over symbol and text together.
    const LinearGradient gradient = symbolGradient();
    const QSizeF symbol = Symbols::size(Symbol::QuestionmarkCircleFill, symbolPointSize);
    Symbols::draw(painter, Symbol::QuestionmarkCircleFill, symbolPointSize,
                  {contentRect.left(), contentRect.center().y() - symbol.height() / 2}, gradient, contentRect);

    const QSizeF text = Typography::textSize(m_text, m_font);
    const QRectF textRect(contentRect.left() + symbol.width() + spacing, contentRect.center().y() - text.height() / 2,
                          text.width(), text.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(m_font);
    painter.setPen(QPen(gradient.brushIn(contentRect), 0));
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, m_text);
    painter.restore();
}
