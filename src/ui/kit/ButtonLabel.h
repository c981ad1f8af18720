#pragma once

#include <QRectF>
#include <QSizeF>

#include <functional>

class QPainter;

// The whole look of a plain button: it says how big it wants to be and paints
// itself into the rect the button gives it. The button adds nothing but its
// pressed and disabled dimming and its scale.
class ButtonLabel {
public:
    virtual ~ButtonLabel() = default;
    virtual QSizeF sizeHint() const = 0;
    virtual void paint(QPainter& painter, const QRectF& rect) const = 0;
    // The corners of the shape painted into a rect of this size, for the
    // focus ring to follow; half the shorter side or more is a capsule.
    virtual qreal shapeCornerRadius(const QSizeF&) const { return 0; }
};

// A label made of two callbacks, for one-off looks.
class PainterLabel : public ButtonLabel {
public:
    using SizeFunction = std::function<QSizeF()>;
    using PaintFunction = std::function<void(QPainter&, const QRectF&)>;

    PainterLabel(SizeFunction size, PaintFunction paint)
        : m_size(std::move(size))
        , m_paint(std::move(paint))
    {
    }

    QSizeF sizeHint() const override { return m_size ? m_size() : QSizeF(); }
    void paint(QPainter& painter, const QRectF& rect) const override
    {
        if (m_paint)
            m_paint(painter, rect);
    }

private:
    SizeFunction m_size;
    PaintFunction m_paint;
};
