#pragma once

#include "state/ContentState.h"
#include "ui/kit/Binding.h"

#include <QObject>

class QDialog;

// Keeps a sheet on screen exactly while a flag of the window's state is true:
// shows it over the window it lies in when the flag turns true and
// hides it when the flag turns false. A sheet dismissed by the user (Escape,
// the Cancel and Done buttons) turns its flag false; nothing else changes.
// Lives as long as the sheet.
class SheetPresenter : public QObject {
    Q_OBJECT

public:
    // flag: ContentState::Field::ShowUserGuide or ShowNewPlaylistPrompt.
    SheetPresenter(QDialog& sheet, ContentState& state, ContentState::Field flag);

    // The binding of a sheet flag of the state.
    static Binding<bool> flagBinding(ContentState& state, ContentState::Field flag);

private:
    void follow();

    QDialog& m_sheet;
    const Binding<bool> m_shown;
};
