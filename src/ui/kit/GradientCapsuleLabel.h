#pragma once

#include "ui/kit/ButtonLabel.h"

#include <QColor>
#include <QFont>
#include <QString>

// The small pill of the panel's and sheets' text buttons (New, Delete, Play,
// Create): white caption text on a capsule that runs from topColour to
// bottomColour, both at opacity 0.8.
class GradientCapsuleLabel : public ButtonLabel {
public:
    static constexpr qreal horizontalPadding = 10;
    static constexpr qreal verticalPadding = 5;
    static constexpr qreal backgroundOpacity = 0.8;

    GradientCapsuleLabel(QString title, QColor topColour, QColor bottomColour);

    const QString& title() const { return m_title; }

    QSizeF sizeHint() const override;
    void paint(QPainter& painter, const QRectF& rect) const override;
    qreal shapeCornerRadius(const QSizeF& size) const override;

private:
    QString m_title;
    QColor m_topColour;
    QColor m_bottomColour;
    QFont m_font;
};
