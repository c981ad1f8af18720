#pragma once

#include <QByteArray>
#include <QCache>
#include <QColor>
#include <QMargins>
#include <QPainterPath>
#include <QPixmap>
#include <QPointF>

class QPainter;

// A soft shadow: the shape's silhouette in colour, blurred by radius (a
// Gaussian whose standard deviation is half the radius, so it fades out about
// 1.5 radii beyond the edge), moved by offset.
struct ShadowStyle {
    QColor color;
    qreal radius = 0;
    QPointF offset;
};

// Blurred shadow images, made once per silhouette and reused for every paint.
// A shape's entry is keyed by its outline relative to its bounds (so moving a
// shape reuses its shadow), the colour, the radius and the device pixel ratio.
// Least recently used entries go once the cache holds more than its byte
// budget. Main thread only, like all painting.
class ShadowCache {
public:
    static constexpr qint64 defaultBudgetBytes = 16 * 1024 * 1024;

    explicit ShadowCache(qint64 budgetBytes = defaultBudgetBytes);

    // The cache every widget of the window shares.
    static ShadowCache& shared();

    // Paints the shadow of shape (in the painter's coordinates) with the
    // painter's current transform and opacity. Paint it before the shape.
    void draw(QPainter& painter, const QPainterPath& shape, const ShadowStyle& style);

    // How many shadow images were blurred, and how many are held now.
    int blurCount() const { return m_blurCount; }
    int entryCount() const { return int(m_entries.count()); }
    void clear() { m_entries.clear(); }

private:
    QPixmap render(const QPainterPath& shapeAtOrigin, const ShadowStyle& style, qreal padding,
                   qreal devicePixelRatio);

    QCache<QByteArray, QPixmap> m_entries;  // cost in kibibytes
    int m_blurCount = 0;
};

namespace Shadow {

// Paints shape's shadow through the shared cache.
void draw(QPainter& painter, const QPainterPath& shape, const ShadowStyle& style);

// How far the shadow of radius reaches beyond the shape (before any offset).
qreal reach(qreal radius);
// The room to leave around a shape for its shadow on each side, offset
// included, rounded up to whole points.
QMargins margins(const ShadowStyle& shadow);

// Blurs the alpha values of an 8-bit image in place with three box blurs,
// which together approximate a Gaussian of the given standard deviation (pixels).
void blurAlpha(QImage& alpha8, qreal sigmaPixels);

}  // namespace Shadow
