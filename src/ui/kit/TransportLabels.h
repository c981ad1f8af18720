#pragma once

#include "ui/kit/ButtonLabel.h"
#include "ui/kit/Shadow.h"
#include "ui/kit/Symbols.h"

#include <QFont>
#include <QList>
#include <QMargins>

#include <algorithm>

// The looks of the main window's transport buttons: white shapes lifted off
// the background by a dark shadow below right and a light one above left,
// with their symbols and text in a blue-to-cyan gradient.
namespace TransportLook {

// Dark below right, then light above left.
QList<ShadowStyle> shadows();
// The room a button needs around its label so that the shadows are not cut.
QMargins overflowMargins();

}  // namespace TransportLook

// A symbol at size 20 with 15 of padding on a white circle: play/pause and stop.
class RoundSymbolLabel : public ButtonLabel {
public:
    static constexpr qreal symbolPointSize = 20;
    static constexpr qreal padding = 15;

    explicit RoundSymbolLabel(Symbol symbol);

    Symbol symbol() const { return m_symbol; }

    // The same for every symbol, so swapping play for pause moves nothing.
    QSizeF sizeHint() const override;
    void paint(QPainter& painter, const QRectF& rect) const override;
    // A circle.
    qreal shapeCornerRadius(const QSizeF& size) const override { return std::min(size.width(), size.height()) / 2; }

private:
    Symbol m_symbol;
};

// The question-mark symbol and "Help" on a white rounded rectangle.
class HelpLabel : public ButtonLabel {
public:
    static constexpr qreal symbolPointSize = 16;
    static constexpr qreal spacing = 5;
    static constexpr qreal horizontalPadding = 12;
    static constexpr qreal verticalPadding = 8;
    static constexpr qreal cornerRadius = 10;

    HelpLabel();

    QSizeF sizeHint() const override;
    void paint(QPainter& painter, const QRectF& rect) const override;
    qreal shapeCornerRadius(const QSizeF&) const override { return cornerRadius; }

private:
    QSizeF contentSize() const;

    QFont m_font;
    QString m_text;
};
