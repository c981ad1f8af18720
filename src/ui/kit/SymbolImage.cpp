#include "ui/kit/SymbolImage.h"

#include <QPainter>

#include <cmath>

SymbolImage::SymbolImage(Symbol symbol, qreal pointSize, FillStyle fill, QWidget* parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_pointSize(pointSize)
    , m_fill(std::move(fill))
{
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(sizeHint());
}

QSize SymbolImage::sizeHint() const
{
    const QSizeF box = Symbols::size(m_symbol, m_pointSize);
    return {int(std::ceil(box.width())), int(std::ceil(box.height()))};
}

void SymbolImage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QSizeF box = Symbols::size(m_symbol, m_pointSize);
    const QPointF topLeft((width() - box.width()) / 2, (height() - box.height()) / 2);
    Symbols::draw(painter, m_symbol, m_pointSize, topLeft, m_fill);
}
