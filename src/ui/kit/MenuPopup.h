#pragma once

class QMenu;
class QWidget;

// Opens a chip's or a button's menu under it, as a push button's menu opens;
// where the screen has no room below (a window near its foot), above it.
// Left to itself, QMenu slides up over the control and the text beside it.
void popUpMenuBy(QMenu& menu, const QWidget& anchor);
