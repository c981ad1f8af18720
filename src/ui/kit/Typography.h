#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QSizeF>
#include <QString>

#include <optional>

class QPainter;

// The named text styles of the interface. Sizes are in points, and a point
// is one device-independent pixel, the unit of every other length here. The
// styles follow the desktop's font: its family where the rounded face is
// missing, and its size, read when a font is made.
enum class TextStyle { Headline, Subheadline, Body, Caption, Caption2 };
enum class FontWeight { Regular, Medium, Bold };
// Rounded: the interface's rounded face; Default: the plain system sans.
enum class FontDesign { Default, Rounded };

namespace Typography {

inline const QString roundedFamilyName = QStringLiteral("NanumSquareRound");

// The desktop's font, as the platform reports it, unless one is set here
// (nullopt goes back to the platform's).
QFont desktopFont();
void setDesktopFont(std::optional<QFont> font);

// NanumSquareRound (Latin and Hangul in one rounded design) when installed,
// otherwise the desktop's own family.
QString roundedFamily();
// The desktop font's family.
QString systemFamily();

// The desktop font size the named styles were drawn for: Qt's own default,
// what a session without a desktop font setting gets and what the
// screenshots show.
inline constexpr qreal designedDesktopPointSize = 9;
// The desktop's font size against that one (between 0.75 and 2): a desktop
// asking for 12-point text gets every style a third larger.
qreal desktopTextScale();

// A style's size at the designed desktop size, and at the desktop's own.
qreal designedPointSize(TextStyle style);
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
