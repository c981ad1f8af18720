#pragma once

#include "ui/kit/Gradient.h"
#include "ui/kit/Symbols.h"

#include <QWidget>

// A symbol shown on its own, at a point size and in a fill; it takes exactly
// the symbol's box.
class SymbolImage : public QWidget {
    Q_OBJECT

public:
    SymbolImage(Symbol symbol, qreal pointSize, FillStyle fill, QWidget* parent = nullptr);

    Symbol symbol() const { return m_symbol; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol m_symbol;
    qreal m_pointSize;
    FillStyle m_fill;
};
