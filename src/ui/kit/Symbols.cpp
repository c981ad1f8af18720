#include "ui/kit/Symbols.h"

#include "ui/kit/Shapes.h"

#include <QHash>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QTransform>

#include <cmath>

namespace {

// Designs are drawn in a box designUnits high (large enough that the path
// operations, which flatten curves at a fixed tolerance, keep them round);
// aspect is the box's width over its height.
constexpr qreal designUnits = 100;

struct Design {
    qreal aspect;
    QPainterPath outline;
};

QPainterPath stroked(const QPainterPath& centreLine, qreal width)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(centreLine);
}

// A polygon whose corners are rounded by `rounding`; the result is `rounding`
// larger on every side than the polygon given.
QPainterPath roundedPolygon(const QPolygonF& polygon, qreal rounding)
{
    QPainterPath sharp;
    sharp.addPolygon(polygon);
    sharp.closeSubpath();
    return sharp.united(stroked(sharp, 2 * rounding));
}

QPainterPath polyline(std::initializer_list<QPointF> points)
{
    QPainterPath line;
    auto it = points.begin();
    line.moveTo(*it);
    for (++it; it != points.end(); ++it)
        line.lineTo(*it);
    return line;
}

QPainterPath speakerBody()
{
    // A small box with a cone opening to the right.
    return roundedPolygon(QPolygonF{{10, 37}, {25, 37}, {48, 16}, {48, 84}, {25, 63}, {10, 63}}, 5);
}

Design design(Symbol symbol)
{
    switch (symbol) {
    case Symbol::PlayFill:
        return {0.86, roundedPolygon(QPolygonF{{16, 12}, {78, 50}, {16, 88}}, 7)};
    case Symbol::PauseFill: {
        QPainterPath bars = Shapes::roundedRect(QRectF(10, 8, 22, 84), 6);
        bars.addPath(Shapes::roundedRect(QRectF(46, 8, 22, 84), 6));
        return {0.78, bars};
    }
    case Symbol::StopFill:
        return {0.9, Shapes::roundedRect(QRectF(9, 14, 72, 72), 12)};
    case Symbol::QuestionmarkCircleFill: {
        const QPainterPath disc = Shapes::circle(QRectF(2, 2, 96, 96));
        // The mark: a hook over a short stem, and a dot, cut out of the disc.
        const QRectF hookCircle(50 - 15, 38 - 15, 30, 30);
        QPainterPath hook;
        hook.arcMoveTo(hookCircle, 165);
        hook.arcTo(hookCircle, 165, -225);
        hook.lineTo(50, 56);
        hook.lineTo(50, 60);
        QPainterPath mark = stroked(hook, 11);
        mark.addEllipse(QPointF(50, 76), 6.5, 6.5);
        return {1.0, disc.subtracted(mark)};
    }
    case Symbol::SpeakerFill:
        return {0.56, speakerBody()};
    case Symbol::SpeakerWave3Fill: {
        QPainterPath waves;
        const QPointF centre(50, 50);
        for (qreal radius : {16.0, 31.0, 46.0}) {
            const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
            waves.arcMoveTo(circle, 48);
            waves.arcTo(circle, 48, -96);
        }
        return {1.04, speakerBody().united(stroked(waves, 7.5))};
    }
    case Symbol::Checkmark:
        return {1.0, stroked(polyline({{14, 54}, {40, 80}, {86, 20}}), 12)};
    case Symbol::ChevronRight:
        return {0.6, stroked(polyline({{18, 14}, {44, 50}, {18, 86}}), 12)};
    case Symbol::ChevronDown:
        return {1.0, stroked(polyline({{14, 34}, {50, 66}, {86, 34}}), 12)};
    }
    return {1.0, {}};
}

struct CacheKey {
    Symbol symbol;
    qreal pointSize;
    bool operator==(const CacheKey&) const = default;
};

size_t qHash(const CacheKey& key, size_t seed = 0)
{
    return qHashMulti(seed, int(key.symbol), key.pointSize);
}

constexpr std::pair<Symbol, const char*> symbolNames[] = {
    {Symbol::PlayFill, "play.fill"},
    {Symbol::PauseFill, "pause.fill"},
    {Symbol::StopFill, "stop.fill"},
    {Symbol::QuestionmarkCircleFill, "questionmark.circle.fill"},
    {Symbol::SpeakerWave3Fill, "speaker.wave.3.fill"},
    {Symbol::SpeakerFill, "speaker.fill"},
    {Symbol::Checkmark, "checkmark"},
    {Symbol::ChevronRight, "chevron.right"},
    {Symbol::ChevronDown, "chevron.down"},
};

}  // namespace

namespace Symbols {

std::optional<Symbol> named(const QString& name)
{
    for (const auto& [symbol, text] : symbolNames) {
        if (name == QLatin1String(text))
            return symbol;
    }
    return std::nullopt;
}

QString name(Symbol symbol)
{
    for (const auto& [candidate, text] : symbolNames) {
        if (candidate == symbol)
            return QString::fromLatin1(text);
    }
    return {};
}

QSizeF size(Symbol symbol, qreal pointSize)
{
    return {design(symbol).aspect * pointSize, pointSize};
}

QPainterPath path(Symbol symbol, qreal pointSize)
{
    static QHash<CacheKey, QPainterPath> cache;
    const CacheKey key{symbol, pointSize};
    if (const auto it = cache.constFind(key); it != cache.constEnd())
        return *it;
    // Keep the outline's own fill rule: cut-outs such as the question mark rely on it.
    const QPainterPath outline =
        QTransform::fromScale(pointSize / designUnits, pointSize / designUnits).map(design(symbol).outline);
    cache.insert(key, outline);
    return outline;
}

void draw(QPainter& painter, Symbol symbol, qreal pointSize, const QPointF& topLeft, const FillStyle& fill,
          std::optional<QRectF> gradientBounds)
{
    const QRectF box(topLeft, size(symbol, pointSize));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(topLeft);
    const QRectF brushBounds = gradientBounds.value_or(box).translated(-topLeft);
    painter.fillPath(path(symbol, pointSize), fill.brushIn(brushBounds));
    painter.restore();
}

}  // namespace Symbols
