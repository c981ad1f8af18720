#pragma once

#include <QPainterPath>
#include <QRectF>

// Outlines of the interface's shapes, as paths in the coordinates of the rect
// they are built for. Fill or stroke them with any painter.
namespace Shapes {

// How far the smoothed corner starts before the corner point, in corner radii.
inline constexpr qreal cornerSmoothing = 0.6;

// A rounded rectangle with continuous corners: each corner eases out of the
// straight edge (curvature grows gradually instead of jumping onto a circle),
// so the corner reaches cornerRadius * (1 + cornerSmoothing) along each edge.
// When the rect is too small for that, the smoothing shrinks until the corner
// is a plain quarter circle, and the radius is limited to half the shorter side.
// An empty rect gives an empty path; a radius of 0 or less a plain rectangle.
QPainterPath roundedRect(const QRectF& rect, qreal cornerRadius);

// A rect whose shorter sides are half circles.
QPainterPath capsule(const QRectF& rect);

// The largest circle centred in rect.
QPainterPath circle(const QRectF& rect);

}  // namespace Shapes
