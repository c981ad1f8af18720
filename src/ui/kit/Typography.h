#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QSizeF>
#include <QString>

#include <optional>

class QPainter;

// The named text styles of the interface. Sizes are in points, and a point
// is one device-independent pixel, the unit of every other length here.
enum class TextStyle { Headline, Subheadline, Body, Caption, Caption2 };
enum class FontWeight { Regular, Medium, Bold };
// Rounded: the interface's rounded face; Default: the plain system sans.
enum class FontDesign { Default, Rounded };

namespace Typography {

inline const QString roundedFamilyName = QStringLiteral("NanumSquareRound");

// NanumSquareRound (Latin and Hangul in one rounded design) when installed,
// otherwise the system sans.
QString roundedFamily();
QString systemFamily();

qreal pointSize(TextStyle style);
FontWeight defaultWeight(TextStyle style);

// A font for a named style, in its default weight unless one is given.
QFont font(TextStyle style, FontDesign design = FontDesign::Rounded, std::optional<FontWeight> weight = std::nullopt);
// A font of a given size, for symbols and other fixed-size text.
QFont systemFont(qreal pointSize, FontWeight weight = FontWeight::Regular, FontDesign design = FontDesign::Rounded);

// The size one line of text takes: its advance and the font's line height.
QSizeF textSize(const QString& text, const QFont& font);

// Draws one line of text centred on centre.
void drawCentered(QPainter& painter, const QString& text, const QFont& font, const QColor& colour,
                  const QPointF& centre);

}  // namespace Typography
