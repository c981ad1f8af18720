#pragma once

#include "ui/kit/CardStyle.h"

#include <QDialog>
#include <QPointer>

class QScrollArea;
class QVBoxLayout;

// A sheet: a card of a fixed size shown inside the main window, over a
// veil that dims the window behind it. It is a child of the window, not a
// window of its own, so no window manager decorates, titles or moves it.
// While it is up it covers the whole window (clicks behind it go nowhere),
// Tab and Shift+Tab stay among its own controls, and Escape dismisses it as
// in any dialog; Return and Enter do nothing (a sheet has no default button).
class SheetDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int cardPadding = 20;
    // The veil over the window behind the card.
    static constexpr double veilOpacity = 0.3;
    // Above and below a card cut to a window lower than itself.
    static constexpr int cutCardMargin = 8;

    static CardStyle cardStyle();

    // parent: a widget of the window the sheet lies in.
    SheetDialog(const QSize& cardSize, QWidget* parent);

    // The card; its layout (padding 20) holds the content, which scrolls in
    // a window lower than the card.
    QWidget* card() const { return m_card; }
    QVBoxLayout* cardLayout() const { return m_cardLayout; }

protected:
    void showEvent(QShowEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void coverHost();
    void fitCard();

    const QSize m_designedCardSize;
    QWidget* m_card;
    QScrollArea* m_scroll;
    QVBoxLayout* m_scrollLayout = nullptr;  // the card's own, around m_scroll
    QWidget* m_content;  // inside m_scroll; holds m_cardLayout
    QVBoxLayout* m_cardLayout;
    QPointer<QWidget> m_focusBefore;  // where the focus goes back to when the sheet closes
    QPointer<QWidget> m_field;        // the field to type into, if the sheet has one
};
