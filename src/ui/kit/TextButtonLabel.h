#pragma once

#include "ui/kit/ButtonLabel.h"
#include "ui/kit/Gradient.h"
#include "ui/kit/Shadow.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <optional>

// A text button's look: one line of text, padded, on a capsule or a rounded
// rectangle, optionally over a shadow (which the button must leave room for
// with its overflow margins).
class TextButtonLabel : public ButtonLabel {
public:
    struct Style {
        QFont font;
        QColor textColour;
        FillStyle background;
        qreal horizontalPadding = 0;
        qreal verticalPadding = 0;
        std::optional<qreal> cornerRadius;  // none: a capsule
        std::optional<ShadowStyle> shadow;
    };

    TextButtonLabel(QString text, Style style);

    const QString& text() const { return m_text; }
    const Style& style() const { return m_style; }

    QSizeF sizeHint() const override;
    // Paints the background over the whole rect and the text centred in it.
    void paint(QPainter& painter, const QRectF& rect) const override;
    qreal shapeCornerRadius(const QSizeF& size) const override;

private:
    QString m_text;
    Style m_style;
};
