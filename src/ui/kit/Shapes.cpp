#include "ui/kit/Shapes.h"

#include <QLineF>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

struct Corner {
    QPointF point;     // the sharp corner the curve replaces
    QPointF incoming;  // unit vector along the edge that runs into the corner
    QPointF outgoing;  // unit vector along the edge that leaves it
};

// Appends one corner, starting from the point `extent` before the corner on
// the incoming edge (the path must already stand there) and ending `extent`
// after it on the outgoing edge. The middle is a circular arc of `radius`;
// with smoothing the arc is shorter and two cubic easings join it to the
// edges with matching tangents.
void appendCorner(QPainterPath& path, const Corner& corner, qreal radius, qreal smoothing)
{
    const QPointF& k = corner.point;
    const QPointF& u = corner.incoming;
    const QPointF& v = corner.outgoing;
    const qreal extent = radius * (1 + smoothing);
    // The easing takes smoothing * 45 degrees from each end of the quarter circle.
    const qreal alpha = smoothing * std::numbers::pi / 4;
    const qreal sinA = std::sin(alpha);
    const qreal cosA = std::cos(alpha);

    const QPointF arcStart = k - radius * (1 - sinA) * u + radius * (1 - cosA) * v;
    const QPointF arcEnd = k - radius * (1 - cosA) * u + radius * (1 - sinA) * v;

    if (alpha > 1e-9) {
        // The easing's last control point sits on the edge where the arc's
        // tangent meets it; the other two divide the rest in the ratio 2:1.
        const qreal tangentFoot = radius * (1 - sinA) + radius * (1 - cosA) * cosA / sinA;
        const qreal third = (extent - tangentFoot) / 3;
        path.cubicTo(k - (extent - 2 * third) * u, k - tangentFoot * u, arcStart);
    }

    // One cubic per arc: the handle length 4/3 * tan(theta / 4) keeps it
    // within a fraction of a percent of the circle.
    const qreal theta = std::numbers::pi / 2 - 2 * alpha;
    const qreal handle = radius * 4.0 / 3.0 * std::tan(theta / 4);
    const QPointF startTangent = cosA * u + sinA * v;
    const QPointF endTangent = sinA * u + cosA * v;
    path.cubicTo(arcStart + handle * startTangent, arcEnd - handle * endTangent, arcEnd);

    if (alpha > 1e-9) {
        const qreal tangentFoot = radius * (1 - sinA) + radius * (1 - cosA) * cosA / sinA;
        const qreal third = (extent - tangentFoot) / 3;
        path.cubicTo(k + tangentFoot * v, k + (extent - 2 * third) * v, k + extent * v);
    }
}

}  // namespace

namespace Shapes {

QPainterPath roundedRect(const QRectF& rect, qreal cornerRadius)
{
    QPainterPath path;
    const QRectF r = rect.normalized();
    if (r.isEmpty() || !std::isfinite(r.width()) || !std::isfinite(r.height()))
        return path;
    if (!(cornerRadius > 0)) {
        path.addRect(r);
        return path;
    }

    const qreal halfShortSide = std::min(r.width(), r.height()) / 2;
    const qreal radius = std::min(cornerRadius, halfShortSide);
    // Let the smoothing use whatever room is left between the corners.
    const qreal smoothing = std::clamp(halfShortSide / radius - 1, 0.0, cornerSmoothing);
    const qreal extent = radius * (1 + smoothing);

    const Corner corners[] = {
        {r.topRight(), {1, 0}, {0, 1}},
        {r.bottomRight(), {0, 1}, {-1, 0}},
        {r.bottomLeft(), {-1, 0}, {0, -1}},
        {r.topLeft(), {0, -1}, {1, 0}},
    };
    path.moveTo(r.left() + extent, r.top());
    for (const Corner& corner : corners) {
        path.lineTo(corner.point - extent * corner.incoming);
        appendCorner(path, corner, radius, smoothing);
    }
    path.closeSubpath();
    return path;
}

QPainterPath capsule(const QRectF& rect)
{
    const QRectF r = rect.normalized();
    return roundedRect(r, std::min(r.width(), r.height()) / 2);
}

QPainterPath circle(const QRectF& rect)
{
    QPainterPath path;
    const QRectF r = rect.normalized();
    if (r.isEmpty())
        return path;
    const qreal diameter = std::min(r.width(), r.height());
    QRectF square(0, 0, diameter, diameter);
    square.moveCenter(r.center());
    path.addEllipse(square);
    return path;
}

}  // namespace Shapes
