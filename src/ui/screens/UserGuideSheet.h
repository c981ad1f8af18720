#pragma once

#include "ui/kit/SheetDialog.h"

#include <QIcon>
#include <QStringList>

class ContentState;
class PlainButton;
class QLabel;
class QMenu;

// The Help card: the key guide, the seek-interval row with its menu, the
// credits and Close. The row, the menu's label and its check mark follow the
// window's seekInterval; a menu item runs setSeekInterval; Close turns
// showUserGuide off. Present it with a SheetPresenter on showUserGuide.
class UserGuideSheet : public SheetDialog {
    Q_OBJECT

public:
    static constexpr QSize cardSize{270, 494};

    // The keys beyond play, loop and seek, as the sheet lists them.
    static QStringList drillingKeyLines();
    static QString shownSeekInterval(double seconds);
    static constexpr int menuWidth = 60;
    static inline const QString developerName = QStringLiteral("The Rivetone Team");
    static inline const QString contactAddress = QStringLiteral("team@rivetone.example");

    UserGuideSheet(ContentState& state, QWidget* parent);

    QLabel* seekIntervalRow() const { return m_row; }
    // Shows the menu's label ("2s") and opens the menu below itself.
    PlainButton* seekIntervalButton() const { return m_menuButton; }
    QMenu* seekIntervalMenu() const { return m_menu; }
    PlainButton* closeButton() const { return m_close; }

private:
    void followSeekInterval();

    ContentState& m_state;
    QLabel* m_row;
    PlainButton* m_menuButton;
    QMenu* m_menu;
    PlainButton* m_close;
    QIcon m_checkmark;
};
