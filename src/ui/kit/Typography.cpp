#include "ui/kit/Typography.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace Typography {

namespace {

std::optional<QFont>& desktopFontOverride()
{
    static std::optional<QFont> font;
    return font;
}

}  // namespace

QFont desktopFont()
{
    // Not the application's font: the application sets that from a style.
    return desktopFontOverride().value_or(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
}

void setDesktopFont(std::optional<QFont> font)
{
    desktopFontOverride() = std::move(font);
}

QString systemFamily()
{
    return desktopFont().family();
}

QString roundedFamily()
{
    static const bool installed = QFontDatabase::families().contains(roundedFamilyName);
    return installed ? roundedFamilyName : systemFamily();
}

qreal desktopTextScale()
{
    const QFont desktop = desktopFont();
    qreal points = desktop.pointSizeF();
    if (points <= 0 && desktop.pixelSize() > 0)
        points = desktop.pixelSize() * 72.0 / 96.0;
    if (points <= 0)
        return 1.0;
    // Bounded so that a stray setting cannot shrink the text to nothing or
    // push the fixed-width columns past all use.
    return std::clamp(points / designedDesktopPointSize, 0.75, 2.0);
}

qreal designedPointSize(TextStyle style)
{
    switch (style) {
    case TextStyle::Headline: return 13;
    case TextStyle::Subheadline: return 11;
    case TextStyle::Body: return 13;
    case TextStyle::Caption: return 10;
    case TextStyle::Caption2: return 10;
    }
    return 13;
}

qreal pointSize(TextStyle style)
{
    return designedPointSize(style) * desktopTextScale();
}

FontWeight defaultWeight(TextStyle style)
{
    return style == TextStyle::Headline ? FontWeight::Bold : FontWeight::Regular;
}

QFont font(TextStyle style, FontDesign design, std::optional<FontWeight> weight)
{
    return systemFont(pointSize(style), weight.value_or(defaultWeight(style)), design);
}

QFont systemFont(qreal pointSize, FontWeight weight, FontDesign design)
{
    QFont font(design == FontDesign::Rounded ? roundedFamily() : systemFamily());
    // Lengths everywhere are device-independent pixels; a font's "point size"
    // would be scaled by the screen's logical DPI instead.
    font.setPixelSize(std::max(1, int(std::lround(pointSize))));
    switch (weight) {
    case FontWeight::Regular: font.setWeight(QFont::Normal); break;
    case FontWeight::Medium: font.setWeight(QFont::Medium); break;
    case FontWeight::Bold: font.setWeight(QFont::Bold); break;
    }
    return font;
}

QSizeF textSize(const QString& text, const QFont& font)
{
    const QFontMetricsF metrics(font);
    return {metrics.horizontalAdvance(text), metrics.height()};
}

void drawCentered(QPainter& painter, const QString& text, const QFont& font, const QColor& colour,
                  const QPointF& centre)
{
    const QSizeF size = textSize(text, font);
    const QRectF box(centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(), size.height());
    painter.save();
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.restore();
}

}  // namespace Typography
