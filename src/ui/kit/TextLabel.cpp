#include "ui/kit/TextLabel.h"

#include <QLabel>
#include <QPalette>

QLabel* makeTextLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}
