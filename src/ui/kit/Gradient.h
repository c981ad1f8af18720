#pragma once

#include <QBrush>
#include <QColor>
#include <QList>
#include <QPointF>
#include <QRectF>

#include <variant>

// A point in a shape's bounds given as fractions of its width and height:
// (0, 0) is the top-leading corner, (1, 1) the bottom-trailing one.
struct UnitPoint {
    qreal x = 0;
    qreal y = 0;

    static constexpr UnitPoint topLeading() { return {0, 0}; }
    static constexpr UnitPoint top() { return {0.5, 0}; }
    static constexpr UnitPoint topTrailing() { return {1, 0}; }
    static constexpr UnitPoint leading() { return {0, 0.5}; }
    static constexpr UnitPoint center() { return {0.5, 0.5}; }
    static constexpr UnitPoint trailing() { return {1, 0.5}; }
    static constexpr UnitPoint bottomLeading() { return {0, 1}; }
    static constexpr UnitPoint bottom() { return {0.5, 1}; }
    static constexpr UnitPoint bottomTrailing() { return {1, 1}; }

    // The point in bounds (leading is left: the interface is laid out left to right).
    QPointF in(const QRectF& bounds) const;
};

// A linear gradient whose colours are spread evenly from start to end;
// before start and after end the first and last colours continue.
struct LinearGradient {
    QList<QColor> colors;
    UnitPoint start = UnitPoint::top();
    UnitPoint end = UnitPoint::bottom();

    // A brush that lays the gradient over bounds.
    QBrush brushIn(const QRectF& bounds) const;
};

// What fills a shape, a symbol or text: one colour or a gradient that is laid
// over the bounds of the thing filled.
class FillStyle {
public:
    FillStyle(QColor colour) : m_style(colour) {}  // NOLINT: a colour is a fill
    FillStyle(LinearGradient gradient) : m_style(std::move(gradient)) {}  // NOLINT

    QBrush brushIn(const QRectF& bounds) const;

private:
    std::variant<QColor, LinearGradient> m_style;
};
