#include "ui/kit/GradientCapsulePainter.h"

#include "ui/kit/Gradient.h"
#include "ui/kit/Shapes.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Beyond these the image would be larger than the fill is worth.
constexpr int largestWidthPixels = 16384;
constexpr int largestHeightPixels = 128;
constexpr qreal largestDeviceCoordinate = 1 << 24;

// A premultiplied colour scaled by a coverage of 0..255, each channel
// rounded to the nearest level, two channels to a multiplication.
inline QRgb scaled(QRgb colour, int coverage)
{
    if (coverage >= 255)
        return colour;
    const uint a = uint(coverage);
    uint redBlue = (colour & 0xff00ff) * a;
    redBlue = ((redBlue + ((redBlue >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    uint alphaGreen = ((colour >> 8) & 0xff00ff) * a;
    alphaGreen = (alphaGreen + ((alphaGreen >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
    return alphaGreen | redBlue;
}

int coverageLevel(qreal coverage)
{
    return std::clamp(int(coverage * 255 + 0.5), 0, 255);
}

// How much of [from, from + 1) lies in [low, high].
qreal overlap(qreal from, qreal low, qreal high)
{
    return std::max<qreal>(0, std::min(from + 1, high) - std::max(from, low));
}

}  // namespace

const GradientCapsulePainter::EndProfile& GradientCapsulePainter::endProfile(qreal top, qreal height, qreal radius,
                                                                             int rows)
{
    EndProfile& profile = m_endProfile;
    if (profile.top == top && profile.height == height && profile.radius == radius && profile.rows == rows)
        return profile;
    // Fine enough that the curve's steep part near the tip, where the area
    // grows fastest, adds no visible error: 32 steps to a pixel at least.
    const int steps = std::max(EndProfile::fewestSteps, int(std::ceil(32 * radius)));
    profile = EndProfile{top, height, radius, rows, steps, steps / radius, {}, {}};
    const qreal middle = top + height / 2;
    const qreal stepWidth = radius / steps;
    for (int row = 0; row < rows; ++row) {
        profile.coverageByRow.push_back(overlap(row, top, top + height));
        qreal area = 0;
        profile.areasByRow.push_back(area);
        for (int step = 0; step < steps; ++step) {
            const qreal distance = (step + 0.5) * stepWidth;
            const qreal half = height / 2 - radius + std::sqrt(std::max<qreal>(0, radius * radius - distance * distance));
            area += overlap(row, middle - half, middle + half) * stepWidth;
            profile.areasByRow.push_back(area);
        }
    }
    return profile;
}

GradientCapsulePainter::GradientCapsulePainter(QColor from, QColor to)
    : m_from(from)
    , m_to(to)
{
}

void GradientCapsulePainter::paint(QPainter& painter, const QRectF& rect)
{
    const QRectF r = rect.normalized();
    if (r.isEmpty() || !std::isfinite(r.width()) || !std::isfinite(r.height()))
        return;
    // Rows of device pixels stand for the shape only where a point's two
    // axes scale alike and the image is laid over what is there.
    const QTransform toDevice = painter.deviceTransform();
    if (toDevice.type() > QTransform::TxScale || !(toDevice.m11() > 0) || toDevice.m11() != toDevice.m22() ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver) {
        paintAsPath(painter, r);
        return;
    }
    const QRectF deviceRect = toDevice.mapRect(r);
    // Far off the device, or too large to be worth an image: the path fill
    // clips it. Checked before any edge becomes a whole pixel number.
    const auto onDevice = [](qreal edge) { return std::abs(edge) < largestDeviceCoordinate; };
    if (!onDevice(deviceRect.left()) || !onDevice(deviceRect.right()) || !onDevice(deviceRect.top()) ||
        !onDevice(deviceRect.bottom())) {
        paintAsPath(painter, r);
        return;
    }
    const QPoint origin(int(std::floor(deviceRect.left())), int(std::floor(deviceRect.top())));
    const QSize pixels(int(std::ceil(deviceRect.right())) - origin.x(), int(std::ceil(deviceRect.bottom())) - origin.y());
    if (pixels.width() > largestWidthPixels || pixels.height() > largestHeightPixels) {
        paintAsPath(painter, r);
        return;
    }
    // Thinner than a speck covers nothing a level can show.
    if (pixels.isEmpty() || deviceRect.width() < 1e-3 || deviceRect.height() < 1e-3)
        return;
    render(deviceRect.translated(-origin), pixels);

    // Drawn in device pixels, so that the image lands on them one to one:
    // a copy, not a resampling.
    painter.save();
    painter.resetTransform();
    painter.setWorldTransform(painter.deviceTransform().inverted());
    painter.drawImage(origin, m_image, QRect(QPoint(), pixels));
    painter.restore();
}

void GradientCapsulePainter::paintAsPath(QPainter& painter, const QRectF& rect) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const LinearGradient gradient{{m_from, m_to}, UnitPoint::leading(), UnitPoint::trailing()};
    painter.fillPath(Shapes::capsule(rect), gradient.brushIn(rect));
    painter.restore();
}

void GradientCapsulePainter::render(const QRectF& shape, QSize pixels)
{
    const int columns = pixels.width();
    const int rows = pixels.height();
    if (m_image.width() < columns || m_image.height() < rows)
        m_image = QImage(std::max(columns, m_image.width()), std::max(rows, m_image.height()),
                         QImage::Format_ARGB32_Premultiplied);

    // The colour of each column, taken at its centre, interpolated between
    // the premultiplied ends as the painter's gradients are.
    const QRgb from = m_from.rgba64().premultiplied().toArgb32();
    const QRgb to = m_to.rgba64().premultiplied().toArgb32();
    const auto channel = [](QRgb colour, int shift) { return int((colour >> shift) & 0xff); };
    const int fromAlpha = channel(from, 24), fromRed = channel(from, 16), fromGreen = channel(from, 8),
              fromBlue = channel(from, 0);
    const int alphaSpan = channel(to, 24) - fromAlpha, redSpan = channel(to, 16) - fromRed,
              greenSpan = channel(to, 8) - fromGreen, blueSpan = channel(to, 0) - fromBlue;
    const auto mix = [](int start, int span, int t16) { return uint((start * 65536 + span * t16 + 32768) >> 16); };
    auto* colours = reinterpret_cast<QRgb*>(m_image.scanLine(0));
    const qreal step = 1 / shape.width();
    for (int column = 0; column < columns; ++column) {
        const qreal t = std::clamp((column + 0.5 - shape.left()) * step, 0.0, 1.0);
        const int t16 = int(t * 65536 + 0.5);
        colours[column] = mix(fromAlpha, alphaSpan, t16) << 24 | mix(fromRed, redSpan, t16) << 16 |
                          mix(fromGreen, greenSpan, t16) << 8 | mix(fromBlue, blueSpan, t16);
    }

    // Where the outline runs straight, a column is covered from the top
    // edge to the bottom one; at the ends, by what the end's area profile
    // gives between the column's two sides.
    const qreal radius = std::min(shape.width(), shape.height()) / 2;
    const qreal straightLeft = shape.left() + radius;
    const qreal straightRight = shape.right() - radius;
    const EndProfile& profile = endProfile(shape.top(), shape.height(), radius, rows);
    const int straightFrom = std::clamp(int(std::ceil(straightLeft)), 0, columns);
    const int straightTo = std::clamp(int(std::floor(straightRight)), straightFrom, columns);
    // A column's share of a row: what the left end covers between its
    // sides, what the straight part does, and what the right end does.
    m_curvedCoverage.clear();
    const auto measure = [&](int column) {
        const EndProfile::Place leftEndFrom = profile.placeOf(straightLeft - column - 1);
        const EndProfile::Place leftEndTo = profile.placeOf(straightLeft - column);
        const EndProfile::Place rightEndFrom = profile.placeOf(column - straightRight);
        const EndProfile::Place rightEndTo = profile.placeOf(column + 1 - straightRight);
        const qreal straight = std::clamp(column + 1 - straightLeft, 0.0, straightRight - straightLeft) -
                               std::clamp(column - straightLeft, 0.0, straightRight - straightLeft);
        for (int row = 0; row < rows; ++row) {
            const qreal covered = profile.area(row, leftEndTo) - profile.area(row, leftEndFrom) +
                                  profile.rowCoverage(row) * straight + profile.area(row, rightEndTo) -
                                  profile.area(row, rightEndFrom);
            m_curvedCoverage.push_back(coverageLevel(covered));
        }
    };
    for (int column = 0; column < straightFrom; ++column)
        measure(column);
    for (int column = straightTo; column < columns; ++column)
        measure(column);

    // Row 0 holds the colours until the end, so it is worked out last.
    for (int row = rows - 1; row >= 0; --row) {
        auto* line = reinterpret_cast<QRgb*>(m_image.scanLine(row));
        const int rowCoverage = coverageLevel(profile.rowCoverage(row));
        if (rowCoverage == 255) {
            if (row > 0)
                std::memcpy(line + straightFrom, colours + straightFrom, size_t(straightTo - straightFrom) * sizeof(QRgb));
        } else {
            for (int column = straightFrom; column < straightTo; ++column)
                line[column] = scaled(colours[column], rowCoverage);
        }
        const int* coverage = m_curvedCoverage.data() + row;
        const auto curved = [&](int column) {
            line[column] = scaled(colours[column], *coverage);
            coverage += rows;
        };
        for (int column = 0; column < straightFrom; ++column)
            curved(column);
        for (int column = straightTo; column < columns; ++column)
            curved(column);
    }
}
