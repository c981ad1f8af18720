#include "ui/kit/MenuPopup.h"

#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QWidget>

void popUpMenuBy(QMenu& menu, const QWidget& anchor)
{
    const QPoint below = anchor.mapToGlobal(QPoint(0, anchor.height()));
    // The screen under the control: on screens one above the other, the
    // window's own may be another.
    const QScreen* screen = QGuiApplication::screenAt(anchor.mapToGlobal(QPoint(0, anchor.height() - 1)));
    if (!screen)
        screen = anchor.screen();
    const int height = menu.sizeHint().height();
    if (screen) {
        const QRect room = screen->availableGeometry();
        const QPoint above = anchor.mapToGlobal(QPoint(0, 0)) - QPoint(0, height);
        if (below.y() + height > room.bottom() + 1 && above.y() >= room.top()) {
            menu.popup(above);
            return;
        }
    }
    menu.popup(below);
}
