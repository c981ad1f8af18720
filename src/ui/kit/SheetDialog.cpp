#include "ui/kit/SheetDialog.h"

#include "ui/kit/Palette.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QVBoxLayout>

CardStyle SheetDialog::cardStyle()
{
    return {15, Palette::white(0.95), {{Palette::black(0.2), 10, {0, 0}}}};
}

SheetDialog::SheetDialog(const QSize& cardSize, QWidget* parent)
    : QDialog(parent ? parent->window() : nullptr)
    , m_designedCardSize(cardSize)
    , m_card(new QWidget(this))
    , m_cardLayout(new QVBoxLayout(m_card))
{
    // A plain child widget: QDialog would make it a window of its own.
    setWindowFlags(Qt::Widget);
    m_card->setFixedSize(cardSize);
    m_card->setFocusPolicy(Qt::NoFocus);
    m_cardLayout->setContentsMargins(cardPadding, cardPadding, cardPadding, cardPadding);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_card, 0, Qt::AlignCenter);
    // Takes the focus itself when none of its controls wants it, so that
    // Escape reaches it and no key goes to the window behind.
    setFocusPolicy(Qt::StrongFocus);
    hide();
    if (parentWidget())
        parentWidget()->installEventFilter(this);
}

void SheetDialog::coverHost()
{
    if (parentWidget())
        setGeometry(parentWidget()->rect());
    raise();
}

void SheetDialog::showEvent(QShowEvent* event)
{
    QWidget* focused = QApplication::focusWidget();
    m_focusBefore = focused && focused != this && !isAncestorOf(focused) ? focused : nullptr;
    QDialog::showEvent(event);
    // The designed size, unless the text, made larger with the desktop's
    // font, needs more: a line cut off would hide a key. It grows no further
    // than the window, where Close would go out of reach.
    QSize cardSize = m_designedCardSize.expandedTo(m_cardLayout->sizeHint());
    if (parentWidget())
        cardSize = cardSize.boundedTo(parentWidget()->size().expandedTo(m_designedCardSize));
    m_card->setFixedSize(cardSize);
    // QDialog centres a dialog over its parent in screen terms; a sheet
    // covers its window instead.
    coverHost();
    // A field to type into takes the focus at once; buttons wait for Tab (a
    // ring on one the learner did not choose would only puzzle).
    QWidget* field = nullptr;
    for (QWidget* child : findChildren<QWidget*>())
        if (!field && child->isVisibleTo(this) && child->isEnabled() && child->focusPolicy() == Qt::StrongFocus)
            field = child;
    m_field = field;
    (field ? field : this)->setFocus(Qt::OtherFocusReason);
}

void SheetDialog::focusInEvent(QFocusEvent* event)
{
    // A click on the card or the veil lands on the sheet itself (nothing
    // there takes a click's focus): a sheet with a field keeps the keys
    // there, or the name being typed would run the window's commands.
    if (event->reason() == Qt::MouseFocusReason && m_field && m_field->isVisible() && m_field->isEnabled()) {
        m_field->setFocus(Qt::MouseFocusReason);
        return;
    }
    QDialog::focusInEvent(event);
}

void SheetDialog::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Palette::black(veilOpacity));
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

// Tab moves among the sheet's own controls and wraps around inside it: the
// window behind is out of reach while the sheet is up.
bool SheetDialog::focusNextPrevChild(bool next)
{
    // Asked by Qt as the sheet hides with the focus in it: the focus goes
    // back to where it was, not to the hidden sheet.
    if (!isVisible()) {
        if (m_focusBefore && m_focusBefore->isVisible() && m_focusBefore->isEnabled())
            m_focusBefore->setFocus(Qt::OtherFocusReason);
        else
            return QDialog::focusNextPrevChild(next);
        return true;
    }
    QList<QWidget*> chain;
    for (QWidget* at = nextInFocusChain(); at && at != this; at = at->nextInFocusChain())
        if (isAncestorOf(at) && at->isVisible() && at->isEnabled() && (at->focusPolicy() & Qt::TabFocus))
            chain.append(at);
    if (chain.isEmpty()) {
        setFocus(Qt::TabFocusReason);
        return true;
    }
    const qsizetype at = chain.indexOf(focusWidget());
    const qsizetype count = chain.size();
    const qsizetype to = at < 0 ? (next ? 0 : count - 1) : (at + (next ? 1 : count - 1)) % count;
    chain.at(to)->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

bool SheetDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible())
        coverHost();
    return QDialog::eventFilter(watched, event);
}
