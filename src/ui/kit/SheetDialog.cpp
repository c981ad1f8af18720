#include "ui/kit/SheetDialog.h"

#include "ui/kit/Palette.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>

CardStyle SheetDialog::cardStyle()
{
    // White at 0.95 on a sheet as opaque as a window's surface comes out
    // white. Straight on the window, its last 5 % let the track's name and
    // the moving play head show through the text one reads.
    return {15, Palette::white(), {{Palette::black(0.2), 10, {0, 0}}}};
}

namespace {

// The content of a card cut to a low window. A turn of the wheel over it is
// its own even at either end: passed on, the window's wheel seek would take
// it, and the track behind would jump while the learner reads.
class CardScrollArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;

protected:
    void wheelEvent(QWheelEvent* event) override
    {
        QScrollArea::wheelEvent(event);
        if (verticalScrollBar()->maximum() > 0)
            event->accept();
    }
};

}  // namespace

SheetDialog::SheetDialog(const QSize& cardSize, QWidget* parent)
    : QDialog(parent ? parent->window() : nullptr)
    , m_designedCardSize(cardSize)
    , m_card(new QWidget(this))
    , m_scroll(new CardScrollArea(m_card))
    , m_content(new QWidget)
    , m_cardLayout(new QVBoxLayout(m_content))
{
    // A plain child widget: QDialog would make it a window of its own.
    setWindowFlags(Qt::Widget);
    m_card->setFixedSize(cardSize);
    m_card->setFocusPolicy(Qt::NoFocus);
    m_cardLayout->setContentsMargins(cardPadding, cardPadding, cardPadding, cardPadding);
    // The content scrolls only in a window lower than the card, where the
    // card is cut to the window's height: what lies below (a Close button)
    // stays within reach. Transparent, it shows the card painted behind it.
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->verticalScrollBar()->setStyleSheet(CardStyle::slimScrollBarStyleSheet());
    m_scroll->setWidgetResizable(true);
    m_scroll->setWidget(m_content);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_content->setAutoFillBackground(false);
    auto* cardLayout = new QVBoxLayout(m_card);
    cardLayout->setContentsMargins(0, 0, 0, 0);
    cardLayout->addWidget(m_scroll);
    m_scrollLayout = cardLayout;
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_card, 0, Qt::AlignCenter);
    // Takes the focus itself when none of its controls wants it, so that
    // Escape reaches it and no key goes to the window behind.
    setFocusPolicy(Qt::StrongFocus);
    hide();
    if (parentWidget())
        parentWidget()->installEventFilter(this);
    m_card->installEventFilter(this);
}

void SheetDialog::coverHost()
{
    if (parentWidget())
        setGeometry(parentWidget()->rect());
    fitCard();
    raise();
}

// The designed size, unless the text, made larger with the desktop's font,
// needs more: a line cut off would hide a key. No larger than the window:
// in a lower one the content scrolls, one scroll bar wider.
void SheetDialog::fitCard()
{
    m_cardLayout->setContentsMargins(cardPadding, cardPadding, cardPadding, cardPadding);
    QSize cardSize = m_designedCardSize.expandedTo(m_cardLayout->sizeHint());
    const QSize host = parentWidget() ? parentWidget()->size() : cardSize;
    const bool scrolls = cardSize.height() > host.height();
    if (scrolls)
        cardSize.rwidth() += m_scroll->verticalScrollBar()->sizeHint().width();
    // Cut, it keeps off the window's edges, its corners in view.
    m_card->setFixedSize(cardSize.boundedTo(host - QSize(0, scrolls ? 2 * cutCardMargin : 0)));
    // The scrolling part keeps clear of the rounded corners (the scroll bar
    // would stand out past them); the padding above and below gives it room.
    const int corner = scrolls ? int(std::ceil(cardStyle().cornerRadius)) : 0;
    m_scrollLayout->setContentsMargins(0, corner, 0, corner);
    m_cardLayout->setContentsMargins(cardPadding, cardPadding - corner, cardPadding, cardPadding - corner);
    // Over a card that scrolls, the wheel scrolls it rather than seek, on
    // the bands above and below the scrolling part too.
    m_card->setProperty("takesWheel", scrolls);
    // The card and its shadow are painted by the sheet: placed now rather than
    // at the layout's next turn, and painted whole, or the picture of the card
    // where it was would stay on the veil.
    layout()->activate();
    update();
}

void SheetDialog::showEvent(QShowEvent* event)
{
    QWidget* focused = QApplication::focusWidget();
    m_focusBefore = focused && focused != this && !isAncestorOf(focused) ? focused : nullptr;
    QDialog::showEvent(event);
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
    if (field)
        m_scroll->ensureWidgetVisible(field);
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
    m_scroll->ensureWidgetVisible(chain.at(to));
    return true;
}

bool SheetDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible())
        coverHost();
    // A turn over the card's rim, outside the scrolling part, scrolls it too.
    if (watched == m_card && event->type() == QEvent::Wheel && m_card->property("takesWheel").toBool()) {
        QCoreApplication::sendEvent(m_scroll->verticalScrollBar(), event);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
