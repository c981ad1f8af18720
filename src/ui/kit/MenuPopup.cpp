#include "ui/kit/MenuPopup.h"

#include <QActionGroup>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QWidget>

namespace {

// A menu of choices opens with the one in force highlighted, as a push
// button's list does: Up and Down (and Return) go on from it, not from the
// top item.
void openAtChoiceInForce(QMenu& menu)
{
    for (QAction* item : menu.actions()) {
        if (item->isChecked() && item->actionGroup() && item->actionGroup()->isExclusive()) {
            menu.setActiveAction(item);
            return;
        }
    }
}

}  // namespace

void popUpMenuBy(QMenu& menu, const QWidget& anchor)
{
    const QPoint below = anchor.mapToGlobal(QPoint(0, anchor.height()));
    // The screen under the control: on screens one above the other, the
    // window's own may be another.
    const QScreen* screen = QGuiApplication::screenAt(anchor.mapToGlobal(QPoint(0, anchor.height() - 1)));
    if (!screen)
        screen = anchor.screen();
    const int height = menu.sizeHint().height();
    QPoint at = below;
    if (screen) {
        const QRect room = screen->availableGeometry();
        const QPoint above = anchor.mapToGlobal(QPoint(0, 0)) - QPoint(0, height);
        if (below.y() + height > room.bottom() + 1 && above.y() >= room.top())
            at = above;
    }
    menu.popup(at);
    openAtChoiceInForce(menu);
}
