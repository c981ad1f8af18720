#pragma once

#include "ui/kit/SheetDialog.h"

#include <QString>

class ContentState;
class PlainButton;
class PlaylistLibrary;
class QLineEdit;

// The card that asks for a new playlist's name. Its field shows the window's
// newPlaylistName and writes every edit back; Create runs addPlaylist (and is
// disabled while the trimmed name is empty), Cancel runs cancelNewPlaylist.
// While the sheet is open, each change of the name writes
// "TextField input: <name>, color: black". Present it with a SheetPresenter
// on showNewPlaylistPrompt.
class NewPlaylistSheet : public SheetDialog {
    Q_OBJECT

public:
    static constexpr QSize cardSize{250, 150};
    static constexpr int fieldWidth = 180;

    NewPlaylistSheet(ContentState& state, PlaylistLibrary& library, QWidget* parent);

    QLineEdit* nameField() const { return m_field; }
    PlainButton* cancelButton() const { return m_cancel; }
    PlainButton* createButton() const { return m_create; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void followName();

    ContentState& m_state;
    QLineEdit* m_field;
    PlainButton* m_cancel;
    PlainButton* m_create;
    // The name the field showed last: a change is logged only when the name
    // differs from it, and the value the sheet opens with is not a change.
    QString m_shownName;
};
