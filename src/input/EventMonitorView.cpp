#include "input/EventMonitorView.h"

#include "input/KeyCommands.h"

#include <QKeyEvent>
#include <QWheelEvent>

#include <cmath>

EventMonitorView::EventMonitorView(KeyPressCallback onKeyPress, WheelCallback onWheel, QWidget* parent)
    : QWidget(parent)
    , m_onKeyPress(std::move(onKeyPress))
    , m_onWheel(std::move(onWheel))
{
    // Click focus only: a click on the bare background takes the focus back
    // from a list, while Tab never lands on something the user cannot see.
    setFocusPolicy(Qt::ClickFocus);
    // Constructing with a parent sends no ParentChange to this class.
    if (parent)
        enterWindow();
}

void EventMonitorView::enterWindow()
{
    followParent();
    takeFocus();
}

bool EventMonitorView::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::ParentChange:
        if (parentWidget())
            enterWindow();
        else
            followParent();
        break;
    case QEvent::Show:
    case QEvent::WindowActivate:
        takeFocusIfUnclaimed();
        break;
    case QEvent::KeyPress:
        if (moveFocusOnTab(static_cast<QKeyEvent*>(event)))
            return true;
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

// Tab (Shift+Tab back) leaves the view for the window's first (last) control.
// The key is reported like any other that reaches the view first, so the
// view's log shows it as before; it only goes to the parents when there is
// no control to go to.
bool EventMonitorView::moveFocusOnTab(QKeyEvent* event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    const bool backTab = event->key() == Qt::Key_Backtab
        || (event->key() == Qt::Key_Tab && event->modifiers().testFlag(Qt::ShiftModifier));
    if (!backTab && event->key() != Qt::Key_Tab)
        return false;
    if (m_onKeyPress)
        m_onKeyPress(event);
    if (!focusNextPrevChild(!backTab))
        event->ignore();
    return true;
}

bool EventMonitorView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_followedParent && event->type() == QEvent::Resize)
        setGeometry(m_followedParent->rect());
    return QWidget::eventFilter(watched, event);
}

void EventMonitorView::followParent()
{
    QWidget* parent = parentWidget();
    if (m_followedParent == parent)
        return;
    if (m_followedParent)
        m_followedParent->removeEventFilter(this);
    m_followedParent = parent;
    if (!parent)
        return;
    parent->installEventFilter(this);
    setGeometry(parent->rect());
    lower();
}

void EventMonitorView::takeFocus()
{
    setFocus(Qt::OtherFocusReason);
}

// Another control that took the focus keeps it across deactivation; only a
// window where nothing (visible) holds the focus gets it back here.
void EventMonitorView::takeFocusIfUnclaimed()
{
    if (isWindow())
        return;
    const QWidget* holder = window()->focusWidget();
    if (!holder || holder == this || !holder->isVisible())
        takeFocus();
}

void EventMonitorView::keyPressEvent(QKeyEvent* event)
{
    if (m_onKeyPress && !isModifierOnlyKey(event->key()))
        m_onKeyPress(event);
    event->ignore();
}

void EventMonitorView::wheelEvent(QWheelEvent* event)
{
    const double deltaY = verticalWheelDelta(*event);
    if (m_onWheel && deltaY != 0 && !std::isnan(deltaY))
        m_onWheel(deltaY);
    event->accept();
}
