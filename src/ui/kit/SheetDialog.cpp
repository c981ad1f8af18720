#include "ui/kit/SheetDialog.h"

#include "ui/kit/Gradient.h"
#include "ui/kit/Palette.h"

#include <QKeyEvent>
#include <QPainter>
#include <QVBoxLayout>

CardStyle SheetDialog::cardStyle()
{
    return {15, Palette::white(0.95), {{Palette::black(0.2), 10, {0, 0}}}};
}

SheetDialog::SheetDialog(const QSize& cardSize, QWidget* parent)
    : QDialog(parent)
    , m_card(new QWidget(this))
    , m_cardLayout(new QVBoxLayout(m_card))
{
    static_assert(outerPadding >= 16, "the card's shadow (radius 10) reaches 16 points");
    m_card->setFixedSize(cardSize);
    m_card->setFocusPolicy(Qt::NoFocus);
    m_cardLayout->setContentsMargins(cardPadding, cardPadding, cardPadding, cardPadding);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(outerPadding, outerPadding, outerPadding, outerPadding);
    outer->addWidget(m_card, 0, Qt::AlignCenter);
    setFixedSize(cardSize + QSize(2 * outerPadding, 2 * outerPadding));
    // Nothing in a sheet but its text field takes the focus, so the window's
    // key commands keep reaching the monitor while a sheet is up.
    setFocusPolicy(Qt::NoFocus);
}

void SheetDialog::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // The sheet's own window takes the main window's soft background, so the
    // card reads as lying over the window rather than in a grey box.
    const LinearGradient background{{Palette::white(), Palette::blue(0.1)}, UnitPoint::topLeading(),
                                    UnitPoint::bottomTrailing()};
    painter.fillRect(rect(), background.brushIn(QRectF(rect())));
    cardStyle().paint(painter, QRectF(m_card->geometry()));
}

void SheetDialog::keyPressEvent(QKeyEvent* event)
{
    // QDialog would click a default push button on Return; a sheet creates or
    // closes only through its own buttons.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
