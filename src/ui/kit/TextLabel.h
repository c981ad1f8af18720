#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

// A fixed line of interface text: its font and colour, nothing else (no
// focus, no selection, no rich text).
QLabel* makeTextLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent);
