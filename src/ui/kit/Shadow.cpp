#include "ui/kit/Shadow.h"

#include <QIODevice>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

// Box sizes for three passes whose combined variance matches sigma.
std::array<int, 3> boxRadiiFor(qreal sigma)
{
    constexpr int passes = 3;
    const qreal idealWidth = std::sqrt(12 * sigma * sigma / passes + 1);
    int lower = int(std::floor(idealWidth));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const qreal m = (12 * sigma * sigma - passes * lower * lower - 4 * passes * lower - 3 * passes) / (-4.0 * lower - 4);
    const int lowerCount = int(std::lround(m));
    std::array<int, 3> radii{};
    for (int i = 0; i < passes; ++i)
        radii[size_t(i)] = ((i < lowerCount ? lower : upper) - 1) / 2;
    return radii;
}

// One running-sum box pass along a line of `count` values `stride` apart.
void boxLine(uchar* line, int count, qsizetype stride, int radius, std::vector<int>& scratch)
{
    if (radius <= 0 || count <= 0)
        return;
    scratch.resize(size_t(count));
    for (int i = 0; i < count; ++i)
        scratch[size_t(i)] = line[i * stride];
    const int width = 2 * radius + 1;
    int sum = 0;
    // Outside the image everything is transparent.
    for (int i = 0; i <= std::min(radius, count - 1); ++i)
        sum += scratch[size_t(i)];
    for (int i = 0; i < count; ++i) {
        line[i * stride] = uchar((sum + width / 2) / width);
        const int entering = i + radius + 1;
        const int leaving = i - radius;
        if (entering < count)
            sum += scratch[size_t(entering)];
        if (leaving >= 0)
            sum -= scratch[size_t(leaving)];
    }
}

QSize imageSize(const QSizeF& shapeSize, qreal padding, qreal devicePixelRatio)
{
    return {int(std::ceil((shapeSize.width() + 2 * padding) * devicePixelRatio)),
            int(std::ceil((shapeSize.height() + 2 * padding) * devicePixelRatio))};
}

QByteArray keyFor(const QPainterPath& shapeAtOrigin, const ShadowStyle& style, qreal devicePixelRatio)
{
    // Packed by hand: this runs on every paint of every shadow, and a stream
    // costs more than the lookup it serves.
    // A 64th of a point is well below what a blur of any radius can show.
    const auto fixed = [](qreal value) { return qint32(std::lround(value * 64)); };
    std::vector<qint32> words;
    words.reserve(size_t(3 * shapeAtOrigin.elementCount() + 4));
    words.push_back(qint32(shapeAtOrigin.fillRule()));
    for (int i = 0; i < shapeAtOrigin.elementCount(); ++i) {
        const QPainterPath::Element e = shapeAtOrigin.elementAt(i);
        words.push_back(qint32(e.type));
        words.push_back(fixed(e.x));
        words.push_back(fixed(e.y));
    }
    words.push_back(qint32(style.color.rgba()));
    words.push_back(fixed(style.radius));
    words.push_back(fixed(devicePixelRatio));
    return QByteArray(reinterpret_cast<const char*>(words.data()), qsizetype(words.size() * sizeof(qint32)));
}

}  // namespace

namespace Shadow {

qreal reach(qreal radius)
{
    return std::max<qreal>(0, radius) * 1.5 + 1;
}

void blurAlpha(QImage& alpha8, qreal sigmaPixels)
{
    if (!(sigmaPixels > 0) || alpha8.isNull())
        return;
    Q_ASSERT(alpha8.format() == QImage::Format_Alpha8);
    const std::array<int, 3> radii = boxRadiiFor(sigmaPixels);
    std::vector<int> scratch;
    const int width = alpha8.width();
    const int height = alpha8.height();
    const qsizetype rowBytes = alpha8.bytesPerLine();
    uchar* bits = alpha8.bits();
    for (int radius : radii) {
        for (int y = 0; y < height; ++y)
            boxLine(bits + y * rowBytes, width, 1, radius, scratch);
        for (int x = 0; x < width; ++x)
            boxLine(bits + x, height, rowBytes, radius, scratch);
    }
}

void draw(QPainter& painter, const QPainterPath& shape, const ShadowStyle& style)
{
    ShadowCache::shared().draw(painter, shape, style);
}

}  // namespace Shadow

ShadowCache::ShadowCache(qint64 budgetBytes)
    : m_entries(qsizetype(std::max<qint64>(1, budgetBytes / 1024)))
{
}

ShadowCache& ShadowCache::shared()
{
    static ShadowCache cache;
    return cache;
}

void ShadowCache::draw(QPainter& painter, const QPainterPath& shape, const ShadowStyle& style)
{
    if (shape.isEmpty() || style.color.alpha() == 0)
        return;
    const QRectF bounds = shape.boundingRect();
    if (!std::isfinite(bounds.width()) || !std::isfinite(bounds.height()))
        return;
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPainterPath atOrigin = shape.translated(-bounds.topLeft());
    const qreal padding = Shadow::reach(style.radius);

    const QByteArray key = keyFor(atOrigin, style, dpr);
    QPixmap* image = m_entries.object(key);
    if (!image) {
        const QSize pixels = imageSize(bounds.size(), padding, dpr);
        const qint64 kib = std::max<qint64>(1, qint64(pixels.width()) * pixels.height() * 4 / 1024);
        // A shadow bigger than the whole budget could never stay cached and
        // would be blurred again on every paint; such a shape goes without.
        if (kib > m_entries.maxCost())
            return;
        // QCache owns what it is given and deletes it on eviction.
        m_entries.insert(key, new QPixmap(render(atOrigin, style, padding, dpr)), qsizetype(kib));
        image = m_entries.object(key);
    }
    painter.drawPixmap(bounds.topLeft() - QPointF(padding, padding) + style.offset, *image);
}

QPixmap ShadowCache::render(const QPainterPath& shapeAtOrigin, const ShadowStyle& style, qreal padding,
                            qreal devicePixelRatio)
{
    ++m_blurCount;
    const QSize pixels = imageSize(shapeAtOrigin.boundingRect().size(), padding, devicePixelRatio);

    QImage alpha(pixels, QImage::Format_Alpha8);
    alpha.fill(0);
    {
        QPainter silhouette(&alpha);
        silhouette.setRenderHint(QPainter::Antialiasing);
        silhouette.scale(devicePixelRatio, devicePixelRatio);
        silhouette.translate(padding, padding);
        silhouette.fillPath(shapeAtOrigin, Qt::black);
    }
    Shadow::blurAlpha(alpha, style.radius / 2 * devicePixelRatio);

    QImage tinted(pixels, QImage::Format_ARGB32_Premultiplied);
    const QRgb colour = style.color.rgba();
    const int r = qRed(colour), g = qGreen(colour), b = qBlue(colour), a = qAlpha(colour);
    for (int y = 0; y < pixels.height(); ++y) {
        const uchar* in = alpha.constScanLine(y);
        auto* out = reinterpret_cast<QRgb*>(tinted.scanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            const int coverage = in[x] * a / 255;
            out[x] = qRgba(r * coverage / 255, g * coverage / 255, b * coverage / 255, coverage);
        }
    }
    QPixmap pixmap = QPixmap::fromImage(std::move(tinted));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QMargins Shadow::margins(const ShadowStyle& shadow)
{
    if (shadow.color.alpha() == 0)
        return {};
    const qreal spread = reach(shadow.radius);
    const auto side = [spread](qreal offsetTowardSide) {
        return int(std::ceil(std::max<qreal>(0, spread + offsetTowardSide)));
    };
    return {side(-shadow.offset.x()), side(-shadow.offset.y()), side(shadow.offset.x()), side(shadow.offset.y())};
}
