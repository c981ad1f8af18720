#pragma once

#include "ui/kit/SheetDialog.h"

#include <QString>

class ContentState;
class PlainButton;
class PlaylistLibrary;
class QLineEdit;

// The card that asks for a new playlist's name. Its field shows the window's
// newPlaylistName and writes every edit back; Create runs addPlaylist (and is
// disabled while the trimmed name is empty and an input method composes
// nothing; a syllable still being composed is committed into the name as
// Create is pressed), Cancel runs cancelNewPlaylist.
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
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followName();
    void enableCreate();
    void finishComposing();

    ContentState& m_state;
    QLineEdit* m_field;
    PlainButton* m_cancel;
    PlainButton* m_create;
    // The name the field showed last: a change is logged only when the name
    // differs from it, and the value the sheet opens with is not a change.
    QString m_shownName;
    // What an input method is composing in the field, not yet part of its
    // text (a Hangul syllable stays open until the next key ends it).
    QString m_composing;
};
