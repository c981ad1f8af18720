#pragma once

#include "ui/kit/CardStyle.h"

#include <QDialog>

class QVBoxLayout;

// A sheet: a small dialog over the main window whose content sits on a white
// card of a fixed size, with room around the card for its shadow. Return and
// Enter do nothing in a sheet (a sheet has no default button); Escape and the
// window's close button dismiss it as in any dialog.
class SheetDialog : public QDialog {
    Q_OBJECT

public:
    // Between the card and the sheet's edge; the card's shadow fits inside.
    static constexpr int outerPadding = 16;
    static constexpr int cardPadding = 20;

    static CardStyle cardStyle();

    SheetDialog(const QSize& cardSize, QWidget* parent);

    // The card; its layout (padding 20) holds the content.
    QWidget* card() const { return m_card; }
    QVBoxLayout* cardLayout() const { return m_cardLayout; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* m_card;
    QVBoxLayout* m_cardLayout;
};
