#pragma once

#include <QPointF>

class QObject;
class QWidget;

// A widget the user types text into: an editable line edit, text edit, plain
// text edit or spin box, or any widget that takes input-method text (an
// editable combo box, for one). Read-only fields are not: nothing is typed
// there, so the command keys keep working over them.
bool isTextEntry(const QWidget* widget);

// Whether key events now go to a text entry: the receiver itself is one, or
// the widget keys are delivered to is (a keyboard grabber, the focus widget of
// an open popup, else the application's focus widget), or the application's
// focus widget is one (a completer popup forwards keys to its field).
bool keysGoToTextEntry(const QObject* receiver);

// A control that takes the wheel itself (it sets the "takesWheel" property,
// as the speed control does): the receiver or one of its parents; for a
// turn handed to a window, the widget under the pointer at globalPosition.
// An open menu (a popup) takes every turn.
bool wheelGoesToControl(const QObject* receiver, const QPointF& globalPosition);

// Whether the event goes to a dialog in a window of its own (the Add Files
// dialog), which keeps its keys and wheel: its list scrolls, its buttons
// press, and so do its popups (a completer's list, its drop-downs). Sheets
// lie inside the main window, and the window's own menus are of it: neither
// is one. For keys, the widget keys are delivered to decides; for a turn handed
// to a window, the widget under the pointer at globalPosition.
bool keysGoToDialogWindow(const QObject* receiver);
// Whether keys go to a sheet: a dialog lying inside the window, which holds
// the widget keys are delivered to or the receiver (or is it).
bool keysGoToSheet(const QObject* receiver);
bool wheelGoesToDialogWindow(const QObject* receiver, const QPointF& globalPosition);
