#include "input/TextEntryFocus.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

// Mirrors the order in which Qt picks the receiver of a key event.
QWidget* keyboardTarget()
{
    if (QWidget* grabber = QWidget::keyboardGrabber())
        return grabber;
    if (QWidget* popup = QApplication::activePopupWidget())
        return popup->focusWidget() ? popup->focusWidget() : popup;
    return QApplication::focusWidget();
}

bool isDialogWindow(const QWidget* widget)
{
    // A popup (a completer's list, a combo box's list, a context menu) is of
    // its owner's window: its parent's, or the field's it serves.
    const QWidget* window = widget ? widget->window() : nullptr;
    for (int hop = 0; window && window->windowType() == Qt::Popup && hop < 8; ++hop) {
        const QWidget* owner = window->parentWidget() ? window->parentWidget() : window->focusProxy();
        window = owner ? owner->window() : nullptr;
    }
    return qobject_cast<const QDialog*>(window);
}

}  // namespace

bool isTextEntry(const QWidget* widget)
{
    if (!widget)
        return false;
    if (const auto* lineEdit = qobject_cast<const QLineEdit*>(widget))
        return !lineEdit->isReadOnly();
    if (const auto* textEdit = qobject_cast<const QTextEdit*>(widget))
        return !textEdit->isReadOnly();
    if (const auto* plainTextEdit = qobject_cast<const QPlainTextEdit*>(widget))
        return !plainTextEdit->isReadOnly();
    if (const auto* spinBox = qobject_cast<const QAbstractSpinBox*>(widget))
        return !spinBox->isReadOnly();
    return widget->testAttribute(Qt::WA_InputMethodEnabled);
}

bool keysGoToTextEntry(const QObject* receiver)
{
    if (receiver && receiver->isWidgetType() && isTextEntry(static_cast<const QWidget*>(receiver)))
        return true;
    return isTextEntry(keyboardTarget()) || isTextEntry(QApplication::focusWidget());
}

bool wheelGoesToControl(const QObject* receiver, const QPointF& globalPosition)
{
    // The toolkit hands every turn to an open menu, wherever the pointer
    // is: it is the menu's (a seek would move the track behind it, and the
    // control under the pointer never gets it).
    if (QApplication::activePopupWidget())
        return true;
    // The platform hands a turn to the window first; it goes on to the
    // widget under the pointer.
    if (receiver && !receiver->isWidgetType())
        receiver = QApplication::widgetAt(globalPosition.toPoint());
    for (const QObject* object = receiver; object; object = object->parent())
        if (object->property("takesWheel").toBool())
            return true;
    return false;
}

bool keysGoToDialogWindow(const QObject* receiver)
{
    if (receiver && receiver->isWidgetType())
        return isDialogWindow(static_cast<const QWidget*>(receiver));
    return isDialogWindow(keyboardTarget());
}

bool keysGoToSheet(const QObject* receiver)
{
    const auto inSheet = [](const QWidget* widget) {
        for (int hop = 0; widget && hop < 64; ++hop) {
            if (widget->isWindow()) {
                // A popup (the sheet's own menu) is of its owner.
                if (widget->windowType() != Qt::Popup)
                    return false;
                widget = widget->parentWidget() ? widget->parentWidget() : widget->focusProxy();
                continue;
            }
            if (qobject_cast<const QDialog*>(widget))
                return true;
            widget = widget->parentWidget();
        }
        return false;
    };
    // A key the sheet's button let pass goes on to the window behind it.
    return (receiver && receiver->isWidgetType() && inSheet(static_cast<const QWidget*>(receiver)))
        || inSheet(keyboardTarget());
}

bool wheelGoesToDialogWindow(const QObject* receiver, const QPointF& globalPosition)
{
    if (receiver && receiver->isWidgetType())
        return isDialogWindow(static_cast<const QWidget*>(receiver));
    return isDialogWindow(QApplication::widgetAt(globalPosition.toPoint()));
}
